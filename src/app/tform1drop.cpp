// A log dropped on the main window.
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "app/tform1.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) return;
    event->acceptProposedAction();
    // The file manager waits for the drop to end: the analysis runs once it has.
    const QList<QUrl> urls = event->mimeData()->urls();
    QMetaObject::invokeMethod(
        this, [this, urls] { openDropped(urls); }, Qt::QueuedConnection);
}

void TForm1::openDropped(const QList<QUrl>& urls) {
    if (analysing_) return;
    if (urls.size() != 1 || !urls.front().isLocalFile()) {
        showUnicodeErrorBox(this, QStringLiteral("ログファイルを1つだけドロップしてください"));
        return;
    }
    const QString file = urls.front().toLocalFile();
    if (QFileInfo(file).isDir()) {
        showUnicodeErrorBox(
            this, QStringLiteral("フォルダは開けません。ログファイルを1つドロップしてください: %1").arg(file));
        return;
    }
    const std::string path = pathFromQString(file);
    runCommand(this, [&] { LogCounting(path); });
}
