// むにゃろ: reads one web-server access log at a time and shows what it found.
#include <QApplication>

#include "app/startup.h"
#include "common/programdir.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("munyaro"));
    return startUp(app, common::programDir());
}
