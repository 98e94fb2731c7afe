// The progress window of transfers.
#include "ftp/ui/transferprogress.h"

#include <algorithm>
#include <exception>
#include <thread>

#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace {

class DownLoadProgress : public QDialog {
public:
    DownLoadProgress(QWidget* parent, ftp::TFtpManager& manager, const QString& what, std::atomic<bool>& stop,
                     const std::atomic<bool>& finished)
        : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
          manager_(manager),
          stopFlag_(stop),
          finished_(finished) {
        setObjectName("DownLoadProgress");
        setWindowTitle(QStringLiteral("ダウンロード中"));
        setWindowModality(Qt::ApplicationModal);
        // Wide enough for the title bar to show the whole title beside its button.
        setMinimumWidth(340);
        auto* layout = new QVBoxLayout(this);
        auto* file = new QLabel(what, this);
        file->setTextFormat(Qt::PlainText);
        layout->addWidget(file);
        bytes_ = new QLabel(this);
        bytes_->setObjectName("ReceivedLabel");
        layout->addWidget(bytes_);
        stop_ = new QPushButton(QStringLiteral("中止"), this);
        stop_->setObjectName("CancelButton");
        layout->addWidget(stop_, 0, Qt::AlignRight);
        connect(stop_, &QPushButton::clicked, this, &DownLoadProgress::reject);
        connect(&poll_, &QTimer::timeout, this, &DownLoadProgress::update);
        clock_.start();
        poll_.start(50);
        update();
    }
    // Escape, the close button and 中止 all stop the transfer; the window goes when it has ended.
    void reject() override {
        stopFlag_ = true;
        manager_.Cancel();
        stop_->setEnabled(false);
        bytes_->setText(QStringLiteral("中止しています…"));
    }

private:
    void update() {
        if (finished_) {
            poll_.stop();
            accept();
            return;
        }
        if (stop_->isEnabled()) bytes_->setText(progressText());
    }

    // "受信済み 1,234 / 5,678 バイト (21 %)  毎秒 12.3 KB"; without the size where the server gave none.
    QString progressText() const {
        const QLocale locale = QLocale::system();
        const long long received = manager_.Received(), expected = manager_.Expected();
        QString text = QStringLiteral("受信済み %1").arg(locale.toString(received));
        if (expected > 0)
            text += QStringLiteral(" / %1 バイト (%2 %)")
                        .arg(locale.toString(expected))
                        .arg(std::min<long long>(100, received * 100 / expected));
        else
            text += QStringLiteral(" バイト");
        const double seconds = double(clock_.elapsed()) / 1000.0;
        if (seconds >= 0.5)
            text += QStringLiteral("  毎秒 %1 KB").arg(locale.toString(double(received) / 1024.0 / seconds, 'f', 1));
        return text;
    }

    ftp::TFtpManager& manager_;
    std::atomic<bool>& stopFlag_;
    const std::atomic<bool>& finished_;
    QLabel* bytes_;
    QPushButton* stop_;
    QTimer poll_;
    QElapsedTimer clock_;
};

}  // namespace

void runUnderProgress(QWidget* parent, ftp::TFtpManager& manager, const QString& what, std::atomic<bool>& stop,
                      const std::function<void()>& job) {
    std::atomic<bool> finished{false};
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            job();
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });
    // A quick one is over before its window would flash up.
    for (int i = 0; i < 20 && !finished; ++i) QThread::msleep(10);
    if (!finished) {
        DownLoadProgress window(parent, manager, what, stop, finished);
        window.exec();
    }
    worker.join();
    if (failure) std::rethrow_exception(failure);
}
