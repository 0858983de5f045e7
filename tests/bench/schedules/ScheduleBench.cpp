// What the schedule engine costs: the local sun calculation, and the daily
// work over loopback (registering, re-timing, importing 50 items' schedules).
// Prints figures; asserts only that the work was done.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "../BenchAim.h"
#include "integration/schedules/SimScheduleFixture.h"

namespace glowmere {
namespace {

using Steady = std::chrono::steady_clock;
using testing::millisSince;
using testing::SimScheduleFixture;

TEST(ScheduleBench, SunCalculationForAYear) {
    auto zone = *platform::TimeZone::named("Europe/London");
    auto first = std::chrono::local_days{std::chrono::year{2026} / std::chrono::January / 1};
    auto start = Steady::now();
    int found = 0;
    for (int d = 0; d < 365; ++d)
        if (computeSunTimes({51.5, -0.12, 0}, first + std::chrono::days(d), zone)) ++found;
    double ms = millisSince(start);
    std::printf("sun times, 365 days at London: %.3f ms total, %.1f us per day\n", ms, ms * 1000 / 365);
    EXPECT_EQ(found, 365);
}

TEST(ScheduleBench, RegisterRetimeAndImportFiftyItems) {
    SimScheduleFixture f;
    f.at("Europe/Berlin", 2026, 12, 9, 12, 0);
    auto start = Steady::now();
    for (int i = 0; i < 50; ++i) {
        Action a = SimScheduleFixture::item(Action::OnAndOff, "1", "07:00", "22:00");
        a.setObjectForKey(true, "vary");
        f.manager.addAction(a);
    }
    double registerMs = millisSince(start);

    start = Steady::now();
    f.manager.hourlyCheck();  // no date stored: the daily adjustment runs
    double dailyMs = millisSince(start);

    platform::DefaultsStore otherDefaults;
    otherDefaults.setObject("username", f.sim.user());
    BridgeBridge otherBridge(f.http, otherDefaults, f.clock);
    otherBridge.setBridgeIP(f.sim.address());
    ScheduleManager other(otherBridge, otherDefaults, f.loop, f.manager.timeZone());
    start = Steady::now();
    other.importFromBridge();
    double importMs = millisSince(start);

    std::printf(
        "50 On & Off items (100 schedules) over loopback: register %.1f ms, daily re-timing %.1f ms, "
        "import on a second computer %.1f ms\n",
        registerMs, dailyMs, importMs);
    EXPECT_EQ(other.collection().size(), 100u);
}

}  // namespace
}  // namespace glowmere
