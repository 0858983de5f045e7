#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "schedules/Location.h"

class QGeoPositionInfoSource;

namespace glowmere::gui {

// The desktop's location service (GeoClue, through Qt Positioning), asked
// once for the computer's position when a schedule item follows the sun.
// Nothing waits for it: the position arrives later, or never (no service,
// no permission), and is handed on. Lives on the Qt thread.
class QtLocationService : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<QGeoPositionInfoSource*(QObject* parent)>;
    using Receiver = std::function<void(const GeoPosition&)>;

    // `factory` makes the position source (tests give their own); none: the
    // desktop's default source.
    explicit QtLocationService(Receiver receiver, Factory factory = {}, QObject* parent = nullptr);

    // Asks for the position; only the first call does anything.
    void start();
    bool started() const { return started_; }

private:
    Receiver receiver_;
    Factory factory_;
    bool started_ = false;
    QPointer<QGeoPositionInfoSource> source_;
};

}  // namespace glowmere::gui
