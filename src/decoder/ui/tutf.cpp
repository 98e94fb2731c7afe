// The UTF-8 decoder window.
#include "decoder/ui/tutf.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>
#include <exception>

#include "decoder/urlconv.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"
#include "qtedge/windowkeys.h"

namespace {

// A decoded line may hold a zero byte or CR/LF (from %00, %0D, %0A). The text area would split the
// line at CR/LF and cannot show a zero byte, so these become their control pictures, which keeps
// every line at its position.
QString shownLine(const std::string& cp932) {
    QString text = toQString(cp932);
    for (QChar& c : text) {
        if (c == QChar(0x00)) c = QChar(0x2400);       // ␀
        else if (c == QChar(0x0D)) c = QChar(0x240D);  // ␍
        else if (c == QChar(0x0A)) c = QChar(0x240A);  // ␊
    }
    return text;
}

}  // namespace

TUTF::TUTF(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName("UTF");
    setWindowTitle(QStringLiteral("UTF-8デコーダ"));

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    RunButton = new QPushButton(QStringLiteral("開始(&D)"), this);
    RunButton->setObjectName("RunButton");
    RunButton->setFixedSize(75, 25);
    connect(RunButton, &QPushButton::clicked, this, &TUTF::RunButtonClick);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(RunButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 8, 8);
    layout->addWidget(Memo1, 1);
    layout->addLayout(buttonRow);

    // 484 x 312 outside, less a usual frame and title bar.
    resize(476, 285);
    move(309, 344);
    closeWithKeys(this, true);
}

void TUTF::RunButtonClick() {
    runCommand(this, [this] { decodeLines(); });
}

void TUTF::decodeLines() {
    QTextDocument* document = Memo1->document();
    if (document->isEmpty()) return;

    // The lines are counted once, before anything changes.
    const int count = document->blockCount();
    QStringList decoded;
    decoded.reserve(count);
    std::exception_ptr error;
    for (QTextBlock block = document->begin(); block.isValid() && decoded.size() < count; block = block.next()) {
        try {
            decoded << shownLine(decoder::URLDecode(fromQString(block.text())));
        } catch (...) {
            error = std::current_exception();
            break;
        }
    }

    if (!decoded.isEmpty()) {
        // One edit for all replaced lines: fast for long texts, and one step to undo.
        QTextCursor cursor(document);
        cursor.beginEditBlock();
        cursor.setPosition(0);
        const QTextBlock last = document->findBlockByNumber(static_cast<int>(decoded.size()) - 1);
        cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
        cursor.insertText(decoded.join(QChar('\n')));
        cursor.endEditBlock();
    }
    if (error) std::rethrow_exception(error);
}
