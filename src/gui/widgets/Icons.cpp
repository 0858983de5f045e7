#include "gui/widgets/Icons.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <functional>
#include <iterator>
#include <vector>

namespace glowmere::gui::icons {

namespace {

// The bulb's outline in a 64 x 64 box: a round glass narrowing into the neck,
// then the screw base.
QPainterPath bulbGlass() {
    QPainterPath glass;
    glass.moveTo(24, 44);
    glass.cubicTo(24, 38, 14, 33, 14, 23);
    glass.cubicTo(14, 12, 22, 5, 32, 5);
    glass.cubicTo(42, 5, 50, 12, 50, 23);
    glass.cubicTo(50, 33, 40, 38, 40, 44);
    glass.closeSubpath();
    return glass;
}

void drawBase(QPainter& p, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(23, 46, 18, 4.5), 2, 2);
    p.drawRoundedRect(QRectF(23, 52, 18, 4.5), 2, 2);
    p.drawRoundedRect(QRectF(27, 58, 10, 3.5), 1.75, 1.75);
}

QPixmap canvas(int size, qreal dpr) {
    QPixmap pixmap(QSize(size, size) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// An icon drawn by `draw` at each size, on a canvas scaled so that `unit`
// points span the whole icon.
QIcon drawnIcon(const std::vector<int>& sizes, double unit, const std::function<void(QPainter&)>& draw) {
    QIcon icon;
    for (int size : sizes) {
        QPixmap pixmap = canvas(size, 1.0);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / unit, size / unit);
        draw(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

QPixmap lightbulb(int size, QColor colour, qreal dpr) {
    QPixmap pixmap = canvas(size, dpr);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(QPen(colour, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(bulbGlass());
    // The filament.
    QPainterPath filament;
    filament.moveTo(27, 36);
    filament.lineTo(27, 27);
    filament.lineTo(32, 32);
    filament.lineTo(37, 27);
    filament.lineTo(37, 36);
    p.setPen(QPen(colour, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(filament);
    drawBase(p, colour);
    return pixmap;
}

QIcon application() {
    const std::vector<int> sizes(std::begin(applicationSizes), std::end(applicationSizes));
    return drawnIcon(sizes, 64.0, [](QPainter& p) {
        QRadialGradient tile(QPointF(32, 26), 34);
        tile.setColorAt(0, QColor(64, 58, 92));
        tile.setColorAt(1, QColor(28, 26, 44));
        p.setPen(Qt::NoPen);
        p.setBrush(tile);
        p.drawRoundedRect(QRectF(1, 1, 62, 62), 14, 14);
        // The glow around the glass.
        QRadialGradient glow(QPointF(32, 23), 26);
        glow.setColorAt(0, QColor(255, 214, 120, 170));
        glow.setColorAt(1, QColor(255, 180, 80, 0));
        p.setBrush(glow);
        p.drawEllipse(QPointF(32, 23), 27, 27);
        QLinearGradient glass(QPointF(20, 6), QPointF(44, 44));
        glass.setColorAt(0, QColor(255, 246, 200));
        glass.setColorAt(1, QColor(255, 186, 72));
        p.setBrush(glass);
        p.setPen(QPen(QColor(255, 255, 255, 120), 1.2));
        p.drawPath(bulbGlass());
        drawBase(p, QColor(200, 204, 214));
    });
}

// Every strip shows the pencil and the moon: drawn once (on the window
// thread, where icons are made) and shared; kept past the application, whose
// end would otherwise see pixmaps go after it.
QIcon pencil() {
    static const QIcon* icon = new QIcon(drawnIcon({16, 32}, 16.0, [](QPainter& p) {
        p.translate(8, 8);
        p.rotate(-45);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(235, 235, 240));
        p.drawRect(QRectF(-4.5, -1.6, 8, 3.2));
        QPainterPath tip;
        tip.moveTo(3.5, -1.6);
        tip.lineTo(6.5, 0);
        tip.lineTo(3.5, 1.6);
        tip.closeSubpath();
        p.drawPath(tip);
        p.setBrush(QColor(255, 140, 140));
        p.drawRect(QRectF(-6.5, -1.6, 1.6, 3.2));
    }));
    return *icon;
}

QIcon moon() {
    static const QIcon* icon = new QIcon(drawnIcon({16, 32}, 16.0, [](QPainter& p) {
        QPainterPath disc;
        disc.addEllipse(QPointF(8, 8), 6, 6);
        QPainterPath bite;
        bite.addEllipse(QPointF(11, 5.5), 5, 5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 214, 120));
        p.drawPath(disc.subtracted(bite));
    }));
    return *icon;
}

QIcon trayBulb(QColor colour, bool warning) {
    const QColor halo = colour.lightness() > 128 ? QColor(0, 0, 0, 170) : QColor(255, 255, 255, 190);
    QIcon icon;
    for (int size : {16, 18, 22, 24, 32, 36, 48, 64}) {
        QPixmap pixmap = canvas(size, 1.0);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        // The halo: the bulb drawn a little bolder underneath.
        const QPixmap under = lightbulb(size, halo);
        for (QPointF d : {QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1)}) p.drawPixmap(d, under);
        p.drawPixmap(0, 0, lightbulb(size, colour));
        if (warning) {
            const double r = size * 0.22;
            p.setPen(QPen(QColor(255, 255, 255), std::max(1.0, size / 24.0)));
            p.setBrush(QColor(220, 50, 47));
            p.drawEllipse(QPointF(size - r - 0.5, size - r - 0.5), r, r);
        }
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon named(const std::string& name, QColor templateColour) {
    if (name == "lightbulb_trans_Template") {
        QIcon icon;
        for (int size : {16, 18, 22, 24, 32, 36, 48, 64}) icon.addPixmap(lightbulb(size, templateColour));
        return icon;
    }
    if (name == "glowmere") return application();
    return {};
}

}  // namespace glowmere::gui::icons
