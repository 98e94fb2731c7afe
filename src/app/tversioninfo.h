// The about window "バージョン情報".
#pragma once
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TVersionINFO : public QWidget {
    Q_OBJECT
public:
    explicit TVersionINFO(QWidget* parent = nullptr);

    QLabel* ProductName;
    QLabel* Version;
    QLabel* MakerLink;
    QLabel* Image1;
    QLabel* HelperLink;
    QPlainTextEdit* Memo1;
    QPushButton* Button1;
};

// A label drawn as a link (blue, underlined, hand cursor); a click opens url with the desktop's handler.
QLabel* linkLabel(const QString& caption, const QString& url, QWidget* parent = nullptr);
