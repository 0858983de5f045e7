#include "gui/widgets/Throbber.h"

#include <QPainter>
#include <QTimer>
#include <algorithm>

namespace glowmere::gui {

Throbber::Throbber(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
    timer_->setInterval(80);
    connect(timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % 12;
        update();
    });
    hide();
}

void Throbber::setSpinning(bool spinning) {
    if (spinning) {
        timer_->start();
        show();
    } else {
        timer_->stop();
        hide();
    }
}

bool Throbber::isSpinning() const {
    return timer_->isActive();
}

void Throbber::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(width() / 2.0, height() / 2.0);
    const double r = std::min(width(), height()) / 2.0 - 2;
    for (int i = 0; i < 12; ++i) {
        const int age = (step_ - i + 12) % 12;
        QColor c = palette().color(QPalette::WindowText);
        c.setAlphaF(static_cast<float>(1.0 - age / 13.0));
        p.setPen(QPen(c, std::max(2.0, r / 5), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -r * 0.5), QPointF(0, -r));
        p.rotate(30);
    }
}

}  // namespace glowmere::gui
