#pragma once

#include <QRect>
#include <QWidget>

namespace glowmere::gui {

// Moves a top-level widget so that its frame sits in the middle of the
// available area of its screen.
void centerOnScreen(QWidget* w);
// Moves (and where it must, shrinks) a top-level widget so that its whole
// frame lies inside the available area of the screen it is on.
void keepOnScreen(QWidget* w);
// Where a popover of `size` opens beside `anchor` (global coordinates): on
// the `preferred` side when it fits there, else on the opposite side, else on
// one of the other two; aligned with the anchor's middle. It stays inside
// `window` where the window has room for it, and inside `screen` always.
enum class Side { Above, Below, Left, Right };
QRect popoverRect(const QRect& anchor, QSize size, Side preferred, const QRect& window, const QRect& screen);

// Shows, raises and activates a top-level widget, fully on its screen.
void bringToFront(QWidget* w);

}  // namespace glowmere::gui
