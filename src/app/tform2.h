// The progress window "アクション" that an analysis reports into.
#pragma once
#include <cstddef>
#include <string>

#include <QElapsedTimer>
#include <QWidget>

class QPlainTextEdit;
class QProgressBar;
class QGroupBox;

class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    void showProgress();
    void hideProgress();
    // Appended below the messages of earlier analyses; the pane is never cleared.
    void message(const std::string& cp932);
    void setRange(std::size_t maximum);  // position 0
    void setPosition(std::size_t position);

    QProgressBar* ProgressBar1;
    QGroupBox* GroupBox1;
    QPlainTextEdit* Memo2;

private:
    // Lets the window paint, at most every 50 ms, while the analysis keeps the event loop: window
    // system and paint events are handled, user input waits until the analysis has ended.
    void refresh(bool now);
    QElapsedTimer sinceRefresh_;
};
