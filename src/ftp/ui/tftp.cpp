// The FTP download dialog.
#include "ftp/ui/tftp.h"

TFTP::TFTP(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("FTP");
    setWindowTitle(QStringLiteral("FTPマネージャ"));
}

void TFTP::FormCreate() {}
