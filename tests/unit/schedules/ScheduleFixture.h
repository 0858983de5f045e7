#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "bridge/BridgeBridge.h"
#include "platform/Clock.h"
#include "platform/DefaultsStore.h"
#include "platform/RunLoop.h"
#include "platform/TimeZone.h"
#include "schedules/ScheduleManager.h"
#include "support/FakeHttpClient.h"

namespace glowmere::testing {

// An instant given as local wall time in a named zone.
inline platform::Clock::TimePoint localInstant(const std::string& zone, int y, int mo, int d, int h, int mi,
                                               int s = 0) {
    using namespace std::chrono;
    auto tz = *platform::TimeZone::named(zone);
    local_seconds local{local_days{year{y} / month{static_cast<unsigned>(mo)} / day{static_cast<unsigned>(d)}}};
    return platform::Clock::TimePoint(tz.toSys(local + hours(h) + minutes(mi) + seconds(s)));
}

// A schedule manager on a fake clock, an in-memory defaults store and a
// scripted bridge (user "u1" at 10.0.0.2), its run loop pumped by hand.
struct ScheduleFixture {
    explicit ScheduleFixture(const std::string& zone = "UTC",
                             platform::Clock::TimePoint start = platform::FakeClock::defaultStart())
        : clock(start),
          loop(clock),
          bridge(http, defaults, clock),
          manager(bridge, defaults, loop, *platform::TimeZone::named(zone)) {
        defaults.setObject("username", "u1");
        bridge.setBridgeIP("10.0.0.2");
    }
    void setLocal(const std::string& zone, int y, int mo, int d, int h, int mi, int s = 0) {
        manager.setTimeZone(*platform::TimeZone::named(zone));
        clock.setNow(localInstant(zone, y, mo, d, h, mi, s));
    }

    platform::FakeClock clock;
    platform::RunLoop loop;
    platform::DefaultsStore defaults;
    FakeHttpClient http;
    BridgeBridge bridge;
    ScheduleManager manager;
};

}  // namespace glowmere::testing
