// The UTF-8 decoder window: percent-encoded lines pasted into Memo1 are decoded in place.
#pragma once
#include <QWidget>

class QPlainTextEdit;
class QPushButton;

class TUTF : public QWidget {
    Q_OBJECT
public:
    explicit TUTF(QWidget* parent = nullptr);

    // Decodes the lines of Memo1 from the first on; a line that does not decode stops the run with
    // the lines before it replaced and shows "不正なURL" in the error box.
    void RunButtonClick();

private:
    // Throws the error of the first line that does not decode, after replacing the lines before it.
    void decodeLines();

    QPlainTextEdit* Memo1;
    QPushButton* RunButton;
};
