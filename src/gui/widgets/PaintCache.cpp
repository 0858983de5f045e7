#include "gui/widgets/PaintCache.h"

#include <QPixmap>
#include <QPixmapCache>

namespace glowmere::gui {

void paintCached(QPainter& painter, QPoint topLeft, QSize size, const QString& key, qreal devicePixelRatio,
                 const std::function<void(QPainter&)>& draw) {
    if (size.isEmpty()) return;
    const QString fullKey =
        QStringLiteral("glowmere:%1:%2x%3@%4").arg(key).arg(size.width()).arg(size.height()).arg(devicePixelRatio);
    QPixmap picture;
    if (!QPixmapCache::find(fullKey, &picture)) {
        picture = QPixmap(size * devicePixelRatio);
        picture.setDevicePixelRatio(devicePixelRatio);
        picture.fill(Qt::transparent);
        QPainter p(&picture);
        draw(p);
        p.end();
        QPixmapCache::insert(fullKey, picture);
    }
    painter.drawPixmap(topLeft, picture);
}

}  // namespace glowmere::gui
