#include "gui/widgets/ToggleSwitch.h"

#include <QPainter>
#include <QPainterPath>

namespace glowmere::gui {

ToggleSwitch::ToggleSwitch(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const double r = track.height() / 2;
    const bool on = isChecked();
    p.setPen(QPen(on ? QColor(38, 150, 70) : QColor(0, 0, 0, 60), 1));
    p.setBrush(on ? QColor(52, 199, 89) : QColor(120, 124, 132));
    if (!isEnabled()) p.setOpacity(0.45);
    p.drawRoundedRect(track, r, r);
    // "I" / "O" marks in the track, as on a power switch.
    p.setPen(QPen(QColor(255, 255, 255, 200), 1.6));
    if (on) {
        const double x = track.left() + r;
        p.drawLine(QPointF(x, track.center().y() - 4), QPointF(x, track.center().y() + 4));
    } else {
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(track.right() - r, track.center().y()), 3.5, 3.5);
    }
    const QPointF knob(on ? track.right() - r : track.left() + r, track.center().y());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawEllipse(knob + QPointF(0, 1), r - 1.5, r - 1.5);
    p.setBrush(Qt::white);
    p.drawEllipse(knob, r - 2, r - 2);
    if (hasFocus()) {
        p.setOpacity(1);
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), r + 1, r + 1);
    }
}

}  // namespace glowmere::gui
