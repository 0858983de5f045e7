#pragma once

#include <QSlider>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "gui/adapters/SendThrottle.h"
#include "gui/app/GuiContext.h"
#include "platform/Controls.h"

namespace glowmere::gui {

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

}  // namespace glowmere::gui
