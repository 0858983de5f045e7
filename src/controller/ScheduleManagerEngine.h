#pragma once

#include "controller/ScheduleEngine.h"
#include "schedules/ScheduleManager.h"

namespace glowmere {

// The main controller's view of the real schedule manager.
class ScheduleManagerEngine final : public ScheduleEngine {
public:
    explicit ScheduleManagerEngine(ScheduleManager& manager) : manager_(manager) {}

    bool requiresLocationManager() override { return manager_.requiresLocationManager(); }
    void matchBridgeWithInternal() override { manager_.matchBridgeWithInternal(); }
    void adjustTimes(std::stop_token stop) override { manager_.adjustTimes(stop); }
    void saveActions() override { manager_.saveActions(); }

private:
    ScheduleManager& manager_;
};

}  // namespace glowmere
