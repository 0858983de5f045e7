#include "gui/widgets/WindowPlacement.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <algorithm>

namespace glowmere::gui {

namespace {

QScreen* screenOf(QWidget* w) {
    if (QScreen* s = QGuiApplication::screenAt(w->frameGeometry().center())) return s;
    return w->screen() ? w->screen() : QGuiApplication::primaryScreen();
}

}  // namespace

void centerOnScreen(QWidget* w) {
    QScreen* screen = screenOf(w);
    if (!screen) return;
    QRect frame = w->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    w->move(frame.topLeft());
    keepOnScreen(w);
}

void keepOnScreen(QWidget* w) {
    QScreen* screen = screenOf(w);
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    QRect frame = w->frameGeometry();
    const QSize decoration = frame.size() - w->size();
    if (frame.width() > area.width() || frame.height() > area.height()) {
        w->resize(std::min(w->width(), area.width() - decoration.width()),
                  std::min(w->height(), area.height() - decoration.height()));
        frame = w->frameGeometry();
    }
    const int x = std::clamp(frame.x(), area.left(), std::max(area.left(), area.right() + 1 - frame.width()));
    const int y = std::clamp(frame.y(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height()));
    if (x != frame.x() || y != frame.y()) w->move(x, y);
}

void bringToFront(QWidget* w) {
    keepOnScreen(w);
    w->show();
    w->raise();
    w->activateWindow();
    // The frame's decoration is known only once the window is shown.
    QTimer::singleShot(0, w, [p = QPointer<QWidget>(w)] {
        if (p) keepOnScreen(p);
    });
}

}  // namespace glowmere::gui
