#pragma once

#include <QFontMetrics>
#include <QLabel>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "gui/app/GuiContext.h"
#include "gui/widgets/StripSlider.h"
#include "gui/widgets/ToggleSwitch.h"
#include "platform/Controls.h"
#include "platform/Views.h"

namespace glowmere::gui {

// Style hints: the identifier a template gives a control's view tells the
// front end how to draw it. The logic never reads these.
namespace style {
inline constexpr const char* hueSlider = "slider.hue";
inline constexpr const char* saturationSlider = "slider.saturation";
inline constexpr const char* brightnessSlider = "slider.brightness";
inline constexpr const char* colourTemperatureSlider = "slider.ct";
inline constexpr const char* horizontalSlider = "slider.horizontal";
inline constexpr const char* onOffSwitch = "switch";
inline constexpr const char* checkbox = "checkbox";
inline constexpr const char* renameButton = "button.rename";
inline constexpr const char* duskButton = "button.dusk";
inline constexpr const char* stripLabel = "label.strip";
inline constexpr const char* caption = "label.caption";
inline constexpr const char* message = "label.message";
inline constexpr const char* editField = "field";
}  // namespace style

// A strip's name in at most two lines of `width`, broken between words;
// what does not fit ends in an ellipsis. `complete`: all of it fits.
QStringList stripNameLines(const QString& name, const QFontMetrics& metrics, int width, bool* complete = nullptr);

// Calls `refresh` on the Qt thread after every change of `control` (from any
// thread), at most one call waiting at a time; stops once `owner` is gone.
void mirrorControl(QObject* owner, platform::Control& control, std::function<void()> refresh);
// A word-wrapped plain-text label that shows `field`'s text, kept in step.
QLabel* mirroredLabel(platform::TextField& field, QWidget* parent);

// Enables and hides `widget` as its control says.
void refreshCommon(QWidget* widget, const platform::Control& control);

// Makes the widget that shows `view`'s control (a slider, button, text field
// or pop-up button), mirroring it and forwarding the user's changes.
QWidget* makeControlWidget(const std::shared_ptr<platform::View>& view, GuiContext& context, QWidget* parent);

}  // namespace glowmere::gui
