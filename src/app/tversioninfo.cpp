// The about window.
#include "app/tversioninfo.h"

#include <algorithm>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

#include "analysis/chart.h"
#include "qtedge/windowkeys.h"

namespace {

// This program's own credits. The UTF-8 decoder follows the published standards, so they are named.
const char* const kVersion = MUNYARO_VERSION;  // the project's version, given by the build
const char* const kMaker = "むにゃろ開発チーム";
const char* const kMakerLinkText = "Qt 6 で作られています";
const char* const kMakerUrl = "https://www.qt.io/";
const char* const kHelper = "IETF (RFC 3986 / RFC 3629)";
const char* const kHelperLinkText = "RFC 3986 を読む";
const char* const kHelperUrl = "https://www.rfc-editor.org/rfc/rfc3986";
const char* const kNote = "UTF-8 デコーダは、RFC 3986 のパーセントエンコードと\n"
                          "RFC 3629 の UTF-8 の定義に従って、URL の文字列を\n"
                          "読める形に戻しています。";

// A small picture of the hourly chart, drawn here so the program needs no image file.
QPixmap chartIcon() {
    QPixmap pixmap(48, 48);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    p.drawLine(4, 2, 4, 45);
    const analysis::Rgb bar = analysis::kBarColour;
    const int lengths[] = {30, 18, 38, 24, 12};
    for (int i = 0; i < 5; ++i) p.fillRect(5, 4 + i * 8, lengths[i], 6, QColor(bar.r, bar.g, bar.b));
    return pixmap;
}

}  // namespace

QLabel* linkLabel(const QString& caption, const QString& url, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setText(QStringLiteral("<a href=\"%1\" style=\"color:#0000ff; text-decoration:underline\">%2</a>")
                       .arg(url.toHtmlEscaped(), caption.toHtmlEscaped()));
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(true);  // QDesktopServices::openUrl: the desktop's URL handler
    label->setCursor(Qt::PointingHandCursor);
    label->setToolTip(url);
    return label;
}

TVersionINFO::TVersionINFO(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName("VersionINFO");
    setWindowTitle(QStringLiteral("バージョン情報"));

    ProductName = new QLabel(QStringLiteral("むにゃろ"), this);
    ProductName->setObjectName("ProductName");
    QFont big = font();
    big.setPointSize(12);
    big.setBold(true);
    ProductName->setFont(big);

    auto* versionCaption = new QLabel(QStringLiteral("バージョン："), this);
    Version = new QLabel(QString::fromUtf8(kVersion), this);
    Version->setObjectName("Version");
    QFont bold = font();
    bold.setBold(true);
    Version->setFont(bold);

    auto* makerCaption = new QLabel(QStringLiteral("制作："), this);
    auto* maker = new QLabel(QString::fromUtf8(kMaker), this);
    MakerLink = linkLabel(QString::fromUtf8(kMakerLinkText), QString::fromUtf8(kMakerUrl), this);
    MakerLink->setObjectName("MakerLink");

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setPixmap(chartIcon());

    auto* helperCaption = new QLabel(QStringLiteral("協力："), this);
    auto* helper = new QLabel(QString::fromUtf8(kHelper), this);
    HelperLink = linkLabel(QString::fromUtf8(kHelperLinkText), QString::fromUtf8(kHelperUrl), this);
    HelperLink->setObjectName("HelperLink");

    Memo1 = new QPlainTextEdit(QString::fromUtf8(kNote), this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->viewport()->setAutoFillBackground(false);
    // Sized to its three lines, so none of the note is cut off.
    int noteWidth = 0;
    for (const QString& line : QString::fromUtf8(kNote).split(QLatin1Char('\n')))
        noteWidth = std::max(noteWidth, Memo1->fontMetrics().horizontalAdvance(line));
    const int frame = 2 * static_cast<int>(Memo1->document()->documentMargin()) + 4;
    Memo1->setFixedSize(noteWidth + frame, Memo1->fontMetrics().lineSpacing() * 3 + frame);

    Button1 = new QPushButton(QStringLiteral("閉じる(&C)"), this);
    Button1->setObjectName("Button1");
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QWidget::close);

    auto* credits = new QGridLayout;
    credits->addWidget(versionCaption, 0, 0);
    credits->addWidget(Version, 0, 1);
    credits->addWidget(makerCaption, 1, 0);
    credits->addWidget(maker, 1, 1);
    credits->addWidget(MakerLink, 2, 1);
    credits->addWidget(helperCaption, 3, 0);
    credits->addWidget(helper, 3, 1);
    credits->addWidget(HelperLink, 4, 1);
    credits->setColumnStretch(1, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    auto* right = new QVBoxLayout;
    right->addWidget(ProductName);
    right->addLayout(credits);
    top->addLayout(right, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Memo1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    closeWithKeys(this, false);
}
