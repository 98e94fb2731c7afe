// The progress window.
#include "app/tform2.h"

#include "app/showwindow.h"

#include <algorithm>
#include <climits>

#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWindow>

#include "qtedge/qtext.h"
#include "qtedge/windowkeys.h"

namespace {
constexpr qint64 kRefreshMs = 50;
constexpr qint64 kFirstExposeMs = 300;
}  // namespace

TForm2::TForm2(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint) {
    setObjectName("Form2");
    setWindowTitle(QStringLiteral("アクション"));

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    GroupBox1 = new QGroupBox(QStringLiteral("アクション"), this);
    GroupBox1->setObjectName("GroupBox1");
    Memo2 = new QPlainTextEdit(GroupBox1);
    Memo2->setObjectName("Memo2");
    Memo2->setReadOnly(true);
    Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* inner = new QVBoxLayout(GroupBox1);
    inner->setContentsMargins(6, 4, 6, 6);
    inner->addWidget(Memo2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(ProgressBar1);
    layout->addWidget(GroupBox1, 1);

    setFixedSize(340, 151);
    move(309, 340);
    closeWithKeys(this, false);
}

void TForm2::showProgress() {
    if (!isVisible()) {
        keepOnScreen(this);
        show();
    }
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) raise();
    // A window just shown is painted only once the window system has mapped it.
    QElapsedTimer waited;
    waited.start();
    do {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    } while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < kFirstExposeMs);
    refresh(true);
}

void TForm2::hideProgress() { hide(); }

void TForm2::message(const std::string& cp932) {
    Memo2->appendPlainText(toQString(cp932));
    Memo2->verticalScrollBar()->setValue(Memo2->verticalScrollBar()->maximum());
    refresh(false);
}

void TForm2::setRange(std::size_t maximum) {
    ProgressBar1->setRange(0, static_cast<int>(std::min<std::size_t>(maximum, INT_MAX)));
    ProgressBar1->setValue(0);
    refresh(false);
}

void TForm2::setPosition(std::size_t position) {
    ProgressBar1->setValue(static_cast<int>(std::min<std::size_t>(position, INT_MAX)));
    refresh(false);
}

void TForm2::refresh(bool now) {
    if (!isVisible()) return;
    if (!now && sinceRefresh_.isValid() && sinceRefresh_.elapsed() < kRefreshMs) return;
    sinceRefresh_.start();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
