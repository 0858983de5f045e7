#include "gui/widgets/LevelMeterWidget.h"

#include <QPainter>
#include <algorithm>

#include "gui/widgets/ControlWidgets.h"

namespace glowmere::gui {

LevelMeterWidget::LevelMeterWidget(platform::LevelIndicator& indicator, QWidget* parent)
    : QWidget(parent), indicator_(indicator) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    mirrorControl(this, indicator_, [this] {
        setEnabled(indicator_.isEnabled());
        update();
    });
}

void LevelMeterWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double lo = indicator_.minValue(), hi = indicator_.maxValue();
    auto x = [&](double v) { return frame.left() + frame.width() * std::clamp((v - lo) / (hi - lo), 0.0, 1.0); };
    const double value = indicator_.doubleValue();
    const double warning = indicator_.warningValue();
    const double critical = indicator_.criticalValue();

    p.setPen(palette().color(QPalette::Mid));
    p.setBrush(palette().color(QPalette::Base));
    p.drawRoundedRect(frame, 3, 3);
    if (isEnabled() && value > lo) {
        struct Band {
            double from, to;
            QColor colour;
        } bands[] = {{lo, std::min(value, warning), QColor(0x3c, 0xb3, 0x4a)},
                     {std::max(lo, warning), std::min(value, critical), QColor(0xf0, 0xb4, 0x29)},
                     {std::max(lo, critical), value, QColor(0xe0, 0x4b, 0x3a)}};
        p.setPen(Qt::NoPen);
        for (const auto& band : bands) {
            if (band.to <= band.from) continue;
            p.setBrush(band.colour);
            p.drawRect(QRectF(QPointF(x(band.from), frame.top() + 2), QPointF(x(band.to), frame.bottom() - 2)));
        }
    }
    if (critical > lo && critical < hi) {
        p.setPen(QPen(palette().color(QPalette::WindowText), 1.5));
        p.drawLine(QPointF(x(critical), frame.top()), QPointF(x(critical), frame.bottom()));
    }
}

}  // namespace glowmere::gui
