// Watching the modal windows a command opens: message boxes are noted and answered, other dialogs are
// handed to the test. The command runs the box's own event loop, so the box is answered from inside it.
#pragma once
#include <functional>
#include <vector>

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>

// What a message box showed.
struct SeenBox {
    QString name;  // objectName
    QString title;
    QString text;
    QString detail;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool busyCursor = false;  // an override cursor was still set while the box was up
    QString informative;      // the informative text under the main one
};

// While it lives, each visible modal window is handed to handle, which must close it.
class ModalWatcher {
public:
    explicit ModalWatcher(std::function<void(QWidget*)> handle);
    ModalWatcher(const ModalWatcher&) = delete;
    ModalWatcher& operator=(const ModalWatcher&) = delete;

private:
    std::function<void(QWidget*)> handle_;
    QTimer timer_;
};

// Runs action; each modal window that opens meanwhile is handed to handle, which must close it.
void whileModal(const std::function<void()>& action, const std::function<void(QWidget*)>& handle);

// Notes what box shows, then clicks its OK button, or answer where it has no OK (a question).
// Clicked, not closed: a question's answer is the button that was clicked.
SeenBox answerBox(QMessageBox* box, QMessageBox::StandardButton answer = QMessageBox::No);

// Answers every message box that opens while it lives, as answerBox does, and keeps what each showed.
class BoxCatcher {
public:
    explicit BoxCatcher(QMessageBox::StandardButton answer = QMessageBox::No);
    const std::vector<SeenBox>& boxes() const { return boxes_; }
    QStringList texts() const;

private:
    std::vector<SeenBox> boxes_;
    ModalWatcher watcher_;
};

// Runs action and returns the message boxes it showed, each answered as answerBox does.
std::vector<SeenBox> boxesShownBy(const std::function<void()>& action,
                                  QMessageBox::StandardButton answer = QMessageBox::No);
