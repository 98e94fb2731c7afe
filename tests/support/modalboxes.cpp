// Watching the modal windows a command opens.
#include "support/modalboxes.h"

#include <QAbstractButton>
#include <QApplication>

ModalWatcher::ModalWatcher(std::function<void(QWidget*)> handle) : handle_(std::move(handle)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) handle_(modal);
    });
    timer_.start();
}

void whileModal(const std::function<void()>& action, const std::function<void(QWidget*)>& handle) {
    ModalWatcher watcher(handle);
    action();
}

SeenBox answerBox(QMessageBox* box, QMessageBox::StandardButton answer) {
    SeenBox seen{box->objectName(),
                 box->windowTitle(),
                 box->text(),
                 box->detailedText(),
                 box->icon(),
                 box->standardButtons(),
                 QApplication::overrideCursor() != nullptr,
                 box->informativeText()};
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
    else if (QAbstractButton* b = box->button(answer)) b->click();
    else box->done(answer);
    return seen;
}

BoxCatcher::BoxCatcher(QMessageBox::StandardButton answer)
    : watcher_([this, answer](QWidget* modal) {
          if (auto* box = qobject_cast<QMessageBox*>(modal)) boxes_.push_back(answerBox(box, answer));
      }) {}

QStringList BoxCatcher::texts() const {
    QStringList out;
    for (const SeenBox& b : boxes_) out << b.text;
    return out;
}

std::vector<SeenBox> boxesShownBy(const std::function<void()>& action, QMessageBox::StandardButton answer) {
    BoxCatcher catcher(answer);
    action();
    return catcher.boxes();
}
