#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <string>

namespace glowmere::gui::icons {

// The application's own images, drawn here so that nothing is taken from
// elsewhere and they stay sharp at any scale.

// The lamp outline of the status item: one colour on transparent ground, in
// `colour` (a template image takes the bar's text colour).
QPixmap lightbulb(int size, QColor colour, qreal devicePixelRatio = 1.0);
// The application icon: a lit bulb on a round tile, drawn at each of these
// sizes (the icon theme's, from 16 to 256 pixels).
inline constexpr int applicationSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
QIcon application();
QIcon pencil();
QIcon moon();
// The tray's bulb: drawn in `colour` with a thin halo of the opposite
// lightness, so it stands out on light and dark panels alike; `warning`
// adds a red badge (the bridge does not answer).
QIcon trayBulb(QColor colour, bool warning);
// An image by resource name ("lightbulb_trans_Template", ...); a null icon
// for a name it does not know.
QIcon named(const std::string& name, QColor templateColour);

}  // namespace glowmere::gui::icons
