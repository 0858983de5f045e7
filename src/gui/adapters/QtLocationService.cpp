#include "gui/adapters/QtLocationService.h"

#include <QGeoPositionInfoSource>

#include "platform/Log.h"

namespace glowmere::gui {

QtLocationService::QtLocationService(Receiver receiver, Factory factory, QObject* parent)
    : QObject(parent), receiver_(std::move(receiver)), factory_(std::move(factory)) {}

void QtLocationService::start() {
    if (started_) return;
    started_ = true;
    source_ = factory_ ? factory_(this) : QGeoPositionInfoSource::createDefaultSource(this);
    if (!source_) {
        platform::log(
            "no location service on this desktop; sun times use the entered position or the time zone's "
            "main city");
        return;
    }
    connect(source_, &QGeoPositionInfoSource::positionUpdated, this, [this](const QGeoPositionInfo& info) {
        if (!info.isValid()) return;
        const QGeoCoordinate c = info.coordinate();
        GeoPosition position{c.latitude(), c.longitude(), 0};
        if (info.hasAttribute(QGeoPositionInfo::HorizontalAccuracy))
            position.horizontalAccuracy = info.attribute(QGeoPositionInfo::HorizontalAccuracy);
        if (receiver_) receiver_(position);
    });
    connect(source_, &QGeoPositionInfoSource::errorOccurred, this, [](QGeoPositionInfoSource::Error error) {
        platform::log("the location service gave no position (error " + std::to_string(static_cast<int>(error)) +
                      "); sun times use the entered position or the time zone's main city");
    });
    // One answer is enough: the computer does not move far between days.
    source_->requestUpdate(60000);
}

}  // namespace glowmere::gui
