#include "gui/widgets/StripSlider.h"

#include <QAccessible>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "gui/widgets/ControlWidgets.h"
#include "gui/widgets/PaintCache.h"

namespace glowmere::gui {

using platform::Control;
using platform::Slider;

StripSlider::StripSlider(std::shared_ptr<Slider> slider, Look look, GuiContext& context, Qt::Orientation orientation,
                         QWidget* parent)
    : QSlider(orientation, parent), slider_(std::move(slider)), look_(look), context_(context) {
    // Narrow ranges (decibels, say) get tenths so the slider does not jump.
    const double span = slider_->maxValue() - slider_->minValue();
    scale_ = span > 0 && span < 200 ? 10 : 1;
    setRange(toPosition(slider_->minValue()), toPosition(slider_->maxValue()));
    setTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(orientation == Qt::Vertical ? QSize(22, 60) : QSize(60, 22));
    setPageStep(std::max(1, (maximum() - minimum()) / 16));
    setSingleStep(std::max(1, (maximum() - minimum()) / 255));
    trailing_.setSingleShot(true);
    connect(&trailing_, &QTimer::timeout, this, [this] {
        if (isSliderDown() && throttle_.takeDue(context_.clock().now())) send(value());
    });
    connect(this, &QSlider::sliderMoved, this, &StripSlider::userMoved);
    connect(this, &QSlider::valueChanged, this, [this] {
        if (!updating_) showValue();
    });
    connect(this, &QSlider::sliderReleased, this, [this] {
        trailing_.stop();
        throttle_.released(context_.clock().now());
        // Where it was let go is always sent, unless that was sent already.
        if (value() != lastSent_) send(value());
    });
    connect(this, &QSlider::valueChanged, this, [this](int position) {
        // Clicks on the groove, the wheel and the keyboard: one change, one send.
        if (!updating_ && !isSliderDown()) send(position);
    });
    mirrorControl(this, *slider_, [this] { refreshFromModel(); });
    refreshFromModel();
}

int StripSlider::toPosition(double value) const {
    return static_cast<int>(std::lround(value * scale_));
}

void StripSlider::refreshFromModel() {
    refreshCommon(this, *slider_);
    // Never pull the knob from under the user's pointer; the release sends
    // the user's value, and the next change after it shows the model's.
    if (isSliderDown()) return;
    updating_ = true;
    setValue(toPosition(slider_->doubleValue()));
    updating_ = false;
    update();
}

void StripSlider::userMoved(int position) {
    if (throttle_.moved(context_.clock().now())) {
        trailing_.stop();
        send(position);
        return;
    }
    if (auto due = throttle_.dueIn(context_.clock().now())) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*due).count();
        if (!trailing_.isActive()) trailing_.start(static_cast<int>(std::max<long long>(1, ms)));
    }
}

void StripSlider::send(int position) {
    lastSent_ = position;
    const double value = toModel(position);
    context_.forwarder().forward(slider_, [value](Control& c) { static_cast<Slider&>(c).setDoubleValue(value); });
}

QString StripSlider::valueText() const {
    const double v = model().doubleValue();
    switch (look_) {
        case Look::Brightness:
            return tr("%1%").arg(std::lround(v / 255.0 * 100));
        case Look::Saturation:
            // The position runs the other way from the saturation.
            return tr("%1%").arg(std::lround((255.0 - v) / 255.0 * 100));
        case Look::Warmth:
            return tr("%1 K").arg(v > 0 ? std::lround(1e6 / v / 10) * 10 : 0);
        case Look::Hue:
            return tr("%1°").arg(std::lround(v / 65536.0 * 360) % 360);
        case Look::Plain:
            break;
    }
    return QString::number(v, 'g', 4);
}

void StripSlider::showValue() {
    const QString text = valueText();
    setAccessibleDescription(text);
    QAccessibleValueChangeEvent event(this, text);
    QAccessible::updateAccessibility(&event);
    setToolTip(text);
    if (!isSliderDown() && !hasFocus()) return;
    // Beside the handle, where the eye is.
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    QToolTip::showText(mapToGlobal(handle.topRight() + QPoint(4, 0)), text, this);
}

void StripSlider::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QSlider::wheelEvent(event);
}

QColor StripSlider::colourAt(double f) const {
    const double hue = hueSource_ ? std::fmod(std::max(0.0, hueSource_()), 1.0) : 0.11;
    switch (look_) {
        case Look::Hue:
            return QColor::fromHsvF(static_cast<float>(std::min(0.999, f)), 0.85f, 1.0f);
        case Look::Saturation:
            // The slider shows saturation inverted: the top is white.
            return QColor::fromHsvF(static_cast<float>(hue), static_cast<float>(1.0 - f), 1.0f);
        case Look::Brightness:
            return QColor::fromHsvF(static_cast<float>(hue), 0.25f, static_cast<float>(0.12 + 0.88 * f));
        case Look::Warmth: {
            // Low mireds (the bottom) are cool blue-white, high ones warm amber.
            const QColor cool(200, 222, 255), warm(255, 160, 60);
            return QColor::fromRgbF(static_cast<float>(cool.redF() + (warm.redF() - cool.redF()) * f),
                                    static_cast<float>(cool.greenF() + (warm.greenF() - cool.greenF()) * f),
                                    static_cast<float>(cool.blueF() + (warm.blueF() - cool.blueF()) * f));
        }
        case Look::Plain:
            break;
    }
    return palette().color(QPalette::Highlight);
}

void StripSlider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // The strip of a lamp that is off is shown dimmed.
    const double opacity = parentWidget() && parentWidget()->property("lampOff").toBool() ? 0.45 : 1.0;
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const bool vertical = orientation() == Qt::Vertical;
    const double grooveWidth = look_ == Look::Plain ? 4 : 10;
    QRectF groove;
    if (vertical)
        groove = QRectF((width() - grooveWidth) / 2, 4, grooveWidth, height() - 8);
    else
        groove = QRectF(4, (height() - grooveWidth) / 2, width() - 8, grooveWidth);

    // The groove's colours depend on the look and, for saturation and
    // brightness, on the strip's hue; the pictures are shared by the strips.
    const double hue = hueSource_ ? std::fmod(std::max(0.0, hueSource_()), 1.0) : 0.11;
    const QString grooveKey = QStringLiteral("sliderGroove:%1:%2:%3:%4:%5")
                                  .arg(static_cast<int>(look_))
                                  .arg(vertical)
                                  .arg(opacity)
                                  .arg(look_ == Look::Hue || look_ == Look::Warmth ? 0.0 : hue, 0, 'g', 17)
                                  .arg(palette().color(QPalette::Mid).rgba());
    paintCached(p, QPoint(0, 0), size(), grooveKey, devicePixelRatioF(), [&](QPainter& g) {
        g.setRenderHint(QPainter::Antialiasing);
        g.setOpacity(opacity);
        QLinearGradient gradient(vertical ? groove.bottomLeft() : groove.topLeft(),
                                 vertical ? groove.topLeft() : groove.topRight());
        if (look_ == Look::Plain) {
            gradient.setColorAt(0, palette().color(QPalette::Mid));
            gradient.setColorAt(1, palette().color(QPalette::Mid));
        } else {
            const int stops = look_ == Look::Hue ? 12 : 4;
            for (int i = 0; i <= stops; ++i) gradient.setColorAt(double(i) / stops, colourAt(double(i) / stops));
        }
        g.setPen(QPen(QColor(0, 0, 0, 90), 1));
        g.setBrush(gradient);
        g.drawRoundedRect(groove, grooveWidth / 2, grooveWidth / 2);
    });

    // The knob: a round cap filled with the colour under it.
    const double range = std::max(1, maximum() - minimum());
    const double fraction = (value() - minimum()) / range;
    const double radius = 8;
    // Kept inside the widget so the cap and its shadow are never clipped.
    QPointF centre = handle.center();
    if (vertical)
        centre.setY(std::clamp(centre.y(), radius + 1.5, height() - radius - 2.5));
    else
        centre.setX(std::clamp(centre.x(), radius + 1.5, width() - radius - 1.5));
    const QColor fill = look_ == Look::Plain ? palette().color(QPalette::Button) : colourAt(fraction);
    const bool focus = hasFocus();
    const QColor ring = palette().color(QPalette::Highlight);
    // Drawn around the whole pixel under the centre; the key keeps the
    // centre's fraction of a pixel, so the cap sits exactly where it would.
    constexpr int margin = 13;
    const QPoint origin(static_cast<int>(std::floor(centre.x())) - margin,
                        static_cast<int>(std::floor(centre.y())) - margin);
    const QPointF inside = centre - QPointF(origin);
    const QString knobKey = QStringLiteral("sliderKnob:%1:%2:%3:%4:%5:%6")
                                .arg(fill.rgba())
                                .arg(focus ? ring.rgba() : 0)
                                .arg(focus)
                                .arg(opacity)
                                .arg(inside.x())
                                .arg(inside.y());
    paintCached(p, origin, QSize(2 * margin, 2 * margin), knobKey, devicePixelRatioF(), [&](QPainter& k) {
        k.setRenderHint(QPainter::Antialiasing);
        k.setOpacity(opacity);
        k.setPen(Qt::NoPen);
        k.setBrush(QColor(0, 0, 0, 70));
        k.drawEllipse(inside + QPointF(0, 1.2), radius + 0.5, radius + 0.5);
        k.setBrush(QColor(250, 250, 250));
        k.drawEllipse(inside, radius, radius);
        k.setBrush(fill);
        k.drawEllipse(inside, radius - 3, radius - 3);
        if (focus) {
            k.setPen(QPen(ring, 1.5));
            k.setBrush(Qt::NoBrush);
            k.drawEllipse(inside, radius + 1.5, radius + 1.5);
        }
    });
}

}  // namespace glowmere::gui
