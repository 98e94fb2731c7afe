// Keys that close a secondary window.
#include "qtedge/windowkeys.h"

#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

void closeWithKeys(QWidget* window, bool ctrlW) {
    auto add = [window](const QKeySequence& keys) {
        auto* shortcut = new QShortcut(keys, window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
    };
    add(QKeySequence(Qt::Key_Escape));
    if (ctrlW) add(QKeySequence(Qt::CTRL | Qt::Key_W));
}
