#pragma once

#include <QPainter>
#include <QPoint>
#include <QSize>
#include <QString>
#include <functional>

namespace glowmere::gui {

// Draws what `draw` paints into a `size` box at `topLeft`, from a picture
// kept under `key` (which must name everything the picture depends on); the
// first use paints it. Every strip of a big house looks alike, so a rebuild
// or a scroll copies a few pictures instead of antialiasing each gradient
// and caption again (Qt thread).
void paintCached(QPainter& painter, QPoint topLeft, QSize size, const QString& key, qreal devicePixelRatio,
                 const std::function<void(QPainter&)>& draw);

}  // namespace glowmere::gui
