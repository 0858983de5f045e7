#pragma once

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <QSlider>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "gui/adapters/SendThrottle.h"
#include "gui/app/GuiContext.h"
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

// A vertical (or horizontal) slider that mirrors a platform slider and
// forwards what the user does at the throttled send rate, with a painted
// gradient groove.
class StripSlider : public QSlider {
    Q_OBJECT
public:
    enum class Look { Plain, Hue, Saturation, Brightness, Warmth };

    StripSlider(std::shared_ptr<platform::Slider> slider, Look look, GuiContext& context, Qt::Orientation orientation,
                QWidget* parent = nullptr);

    platform::Slider& model() const { return *slider_; }
    // The hue (0..1) the saturation and brightness grooves are tinted with.
    void setHueSource(std::function<double()> source) { hueSource_ = std::move(source); }
    void refreshFromModel();
    // The value as a user reads it: brightness and saturation in percent,
    // warmth in kelvin, hue in degrees.
    QString valueText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    // The wheel moves a slider only once the user chose it (keyboard focus);
    // otherwise it scrolls what lies under the pointer.
    void wheelEvent(QWheelEvent* event) override;

private:
    void send(int position);
    void userMoved(int position);
    double toModel(int position) const { return position / scale_; }
    int toPosition(double value) const;
    QColor colourAt(double fraction) const;  // 0 bottom/left .. 1 top/right
    // Shows the value beside the handle while it moves, and tells assistive
    // technology.
    void showValue();

    std::shared_ptr<platform::Slider> slider_;
    Look look_;
    GuiContext& context_;
    SendThrottle throttle_;
    QTimer trailing_;
    double scale_ = 1;
    bool updating_ = false;
    std::optional<int> lastSent_;
    std::function<double()> hueSource_;
};

// The strip's on/off switch: a painted two-state toggle.
class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit ToggleSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {46, 24}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Makes the widget that shows `view`'s control (a slider, button, text field
// or pop-up button), mirroring it and forwarding the user's changes.
QWidget* makeControlWidget(const std::shared_ptr<platform::View>& view, GuiContext& context, QWidget* parent);

}  // namespace glowmere::gui
