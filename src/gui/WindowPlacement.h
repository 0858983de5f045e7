#pragma once

#include <QWidget>

namespace glowmere::gui {

// Moves a top-level widget so that its frame sits in the middle of the
// available area of its screen.
void centerOnScreen(QWidget* w);
// Shows, raises and activates a top-level widget.
void bringToFront(QWidget* w);

}  // namespace glowmere::gui
