// The font of the line panes.
#include "qtedge/linefont.h"

#include <QApplication>
#include <QStringList>

QFont lineFont() {
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Noto Mono"), QStringLiteral("IPAGothic"),
                      QStringLiteral("ＭＳ ゴシック")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}
