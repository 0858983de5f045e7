#pragma once

#include <stop_token>

namespace glowmere {

// What the main controller asks of the schedule engine: whether it needs the
// computer's position, to match its items against the bridge's schedules,
// to run the hourly time adjustment (until asked to stop; it runs on a
// thread of its own) and to store its items.
class ScheduleEngine {
public:
    virtual ~ScheduleEngine() = default;
    virtual bool requiresLocationManager() = 0;
    virtual void matchBridgeWithInternal() = 0;
    virtual void adjustTimes(std::stop_token stop) = 0;
    virtual void saveActions() = 0;
};

}  // namespace glowmere
