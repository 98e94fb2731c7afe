// Showing a window where it can be seen.
#include "app/showwindow.h"

#include <algorithm>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void keepOnScreen(QWidget* window) {
    QScreen* screen = window->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    // Before its first show a window has no frame yet; its title bar and borders are estimated.
    const QRect frame = window->isVisible() ? window->frameGeometry() : window->geometry().adjusted(-8, -31, 8, 8);
    if (area.contains(frame)) return;
    const QPoint offset = window->pos() - frame.topLeft();
    const QSize border = frame.size() - window->size();
    if (frame.width() > area.width() || frame.height() > area.height())
        window->resize(std::min(window->width(), area.width() - border.width()),
                       std::min(window->height(), area.height() - border.height()));
    const QSize size = window->size() + border;
    const int x = std::clamp(frame.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    const int y = std::clamp(frame.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    window->move(QPoint(x, y) + offset);
}

void showWindow(QWidget* window) {
    if (!window) return;
    if (window->isMinimized()) window->showNormal();
    if (!window->isVisible()) keepOnScreen(window);
    window->show();
    // Qt's offscreen platform (tests, benchmarks) has no stacking order to change.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) return;
    window->raise();
    window->activateWindow();
}
