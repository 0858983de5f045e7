#include "gui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>

namespace glowmere::gui {

void centerOnScreen(QWidget* w) {
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = w->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    w->move(frame.topLeft());
}

void bringToFront(QWidget* w) {
    w->show();
    w->raise();
    w->activateWindow();
}

}  // namespace glowmere::gui
