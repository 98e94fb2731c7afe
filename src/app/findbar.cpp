// The find bar under a pane.
#include "app/findbar.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "app/linesearch.h"
#include "qtedge/linefont.h"

FindBar::FindBar(QWidget* parent) : QWidget(parent) {
    setObjectName("FindBar");
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    auto* label = new QLabel(QStringLiteral("検索"));
    edit = new QLineEdit;
    edit->setObjectName("FindEdit");
    edit->setClearButtonEnabled(true);
    edit->setFont(lineFont());
    label->setBuddy(edit);
    previous = new QPushButton(QStringLiteral("前へ"));
    previous->setObjectName("FindPrevious");
    next = new QPushButton(QStringLiteral("次へ"));
    next->setObjectName("FindNext");
    for (QPushButton* b : {previous, next}) b->setAutoDefault(false);
    caseSensitive = new QCheckBox(QStringLiteral("大文字と小文字を区別"));
    caseSensitive->setObjectName("FindCase");
    regex = new QCheckBox(QStringLiteral("正規表現"));
    regex->setObjectName("FindRegex");
    regex->setToolTip(LineMatcher::regexSyntax());
    onlyMatching = new QCheckBox(QStringLiteral("一致した行だけ表示"));
    onlyMatching->setObjectName("FindOnlyMatching");
    count = new QLabel;
    count->setObjectName("FindCount");
    closeButton = new QToolButton;
    closeButton->setObjectName("FindClose");
    closeButton->setText(QStringLiteral("×"));
    closeButton->setToolTip(QStringLiteral("閉じる (Esc)"));
    closeButton->setAutoRaise(true);

    auto* first = new QHBoxLayout;
    first->setSpacing(4);
    first->addWidget(label);
    first->addWidget(edit, 1);
    first->addWidget(previous);
    first->addWidget(next);
    first->addWidget(closeButton);
    auto* second = new QHBoxLayout;
    second->setSpacing(8);
    second->addWidget(caseSensitive);
    second->addWidget(regex);
    second->addWidget(onlyMatching);
    second->addStretch(1);
    second->addWidget(count);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 3, 4, 3);
    layout->setSpacing(2);
    layout->addLayout(first);
    layout->addLayout(second);

    connect(edit, &QLineEdit::textChanged, this, &FindBar::queryChanged);
    connect(caseSensitive, &QCheckBox::toggled, this, &FindBar::queryChanged);
    connect(regex, &QCheckBox::toggled, this, &FindBar::queryChanged);
    connect(onlyMatching, &QCheckBox::toggled, this, &FindBar::filterToggled);
    connect(previous, &QPushButton::clicked, this, &FindBar::previousRequested);
    connect(next, &QPushButton::clicked, this, &FindBar::nextRequested);
    connect(closeButton, &QToolButton::clicked, this, &FindBar::closeRequested);
    edit->installEventFilter(this);
}

FindQuery FindBar::query() const { return {edit->text(), caseSensitive->isChecked(), regex->isChecked()}; }

void FindBar::setCount(const QString& text) { count->setText(text); }

bool FindBar::handleKey(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_F3: shift ? emit previousRequested() : emit nextRequested(); return true;
        case Qt::Key_Escape: emit closeRequested(); return true;
        default: return false;
    }
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit && event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent*>(event))) return true;
    return QWidget::eventFilter(watched, event);
}

void FindBar::keyPressEvent(QKeyEvent* event) {
    // Enter on a check box or button does what the box or button does; F3 and Esc work everywhere.
    if (event->key() == Qt::Key_F3 || event->key() == Qt::Key_Escape) {
        handleKey(event);
        return;
    }
    QWidget::keyPressEvent(event);
}
