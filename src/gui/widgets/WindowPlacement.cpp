#include "gui/widgets/WindowPlacement.h"

#include <QEvent>
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

namespace {

constexpr int popoverGap = 4;

QRect beside(const QRect& anchor, QSize size, Side side) {
    QRect r(QPoint(0, 0), size);
    switch (side) {
        case Side::Above:
            r.moveBottom(anchor.top() - popoverGap);
            r.moveLeft(anchor.center().x() - size.width() / 2);
            break;
        case Side::Below:
            r.moveTop(anchor.bottom() + popoverGap);
            r.moveLeft(anchor.center().x() - size.width() / 2);
            break;
        case Side::Left:
            r.moveRight(anchor.left() - popoverGap);
            r.moveTop(anchor.center().y() - size.height() / 2);
            break;
        case Side::Right:
            r.moveLeft(anchor.right() + popoverGap);
            r.moveTop(anchor.center().y() - size.height() / 2);
            break;
    }
    return r;
}

// Slides `r` along the side it sits on until it lies inside `area` (as far
// as it can), leaving the distance to the anchor as it is.
QRect slideInto(QRect r, Side side, const QRect& area) {
    const bool vertical = side == Side::Above || side == Side::Below;
    if (vertical)
        r.moveLeft(std::clamp(r.left(), area.left(), std::max(area.left(), area.right() + 1 - r.width())));
    else
        r.moveTop(std::clamp(r.top(), area.top(), std::max(area.top(), area.bottom() + 1 - r.height())));
    return r;
}

Side opposite(Side side) {
    switch (side) {
        case Side::Above:
            return Side::Below;
        case Side::Below:
            return Side::Above;
        case Side::Left:
            return Side::Right;
        case Side::Right:
            return Side::Left;
    }
    return side;
}

}  // namespace

QRect popoverRect(const QRect& anchor, QSize size, Side preferred, const QRect& window, const QRect& screen) {
    const bool vertical = preferred == Side::Above || preferred == Side::Below;
    const Side order[] = {preferred, opposite(preferred), vertical ? Side::Right : Side::Below,
                          vertical ? Side::Left : Side::Above};
    const QRect inWindow = window.intersected(screen);
    for (const QRect& area : {inWindow, screen}) {
        if (area.width() < size.width() || area.height() < size.height()) continue;
        for (Side side : order) {
            const QRect r = slideInto(beside(anchor, size, side), side, area);
            if (area.contains(r)) return r;
        }
    }
    // Nowhere beside the anchor: on the screen, as near it as can be.
    QRect r = beside(anchor, size, preferred);
    r.moveLeft(std::clamp(r.left(), screen.left(), std::max(screen.left(), screen.right() + 1 - r.width())));
    r.moveTop(std::clamp(r.top(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - r.height())));
    return r;
}

namespace {

// A window manager places a window and adds its frame after the window is
// shown, and it may put a window as big as the screen at some offset where
// it runs off the edges. The first moves and resizes after showing are
// its: the window is brought back inside the screen after each of them.
class KeepOnScreenAfterShow : public QObject {
public:
    explicit KeepOnScreenAfterShow(QWidget* window) : QObject(window), window_(window) {
        setObjectName(name);
        window->installEventFilter(this);
    }
    static constexpr const char* name = "keepOnScreenAfterShow";

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == window_ && (e->type() == QEvent::Move || e->type() == QEvent::Resize)) {
            if (++seen_ >= 6) deleteLater();
            QTimer::singleShot(0, window_, [p = QPointer<QWidget>(window_)] {
                if (p) keepOnScreen(p);
            });
        }
        return false;
    }

private:
    QWidget* window_;
    int seen_ = 0;
};

}  // namespace

void bringToFront(QWidget* w) {
    keepOnScreen(w);
    if (!w->isVisible() && !w->findChild<QObject*>(KeepOnScreenAfterShow::name, Qt::FindDirectChildrenOnly))
        new KeepOnScreenAfterShow(w);
    w->show();
    w->raise();
    w->activateWindow();
    // The frame's decoration is known only once the window is shown.
    QTimer::singleShot(0, w, [p = QPointer<QWidget>(w)] {
        if (p) keepOnScreen(p);
    });
}

}  // namespace glowmere::gui
