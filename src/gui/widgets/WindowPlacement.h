#pragma once

#include <QWidget>

namespace glowmere::gui {

// Moves a top-level widget so that its frame sits in the middle of the
// available area of its screen.
void centerOnScreen(QWidget* w);
// Moves (and where it must, shrinks) a top-level widget so that its whole
// frame lies inside the available area of the screen it is on.
void keepOnScreen(QWidget* w);
// Shows, raises and activates a top-level widget, fully on its screen.
void bringToFront(QWidget* w);

}  // namespace glowmere::gui
