#include <gtest/gtest.h>

#include <thread>

#include "integration/schedules/SimScheduleFixture.h"
#include "platform/BackgroundThread.h"
#include "platform/Log.h"

namespace glowmere {
namespace {

using nlohmann::json;
using testing::SimScheduleFixture;

using testing::Every;
using testing::Friday;
using testing::Monday;

// An item registered by the engine switches the simulated lamp at the right
// local time and weekday, while the bridge's clock runs in UTC.
TEST(EndToEnd, OnTimeJustAfterMidnightInZonesAheadOfUtc) {
    for (const char* zone : {"Europe/Berlin", "Asia/Tokyo", "Asia/Kolkata"}) {
        SimScheduleFixture f;
        f.at(zone, 2026, 12, 6, 12, 0);  // Sunday noon
        f.setLamp("2", false);
        f.manager.addAction(SimScheduleFixture::item(Action::On, "2", "00:30", "00:00", Monday));
        f.runBridgeTo(2026, 12, 7, 0, 29, 50);
        EXPECT_FALSE(f.lampOn("2")) << zone;
        f.runBridgeTo(2026, 12, 7, 0, 30, 5);
        EXPECT_TRUE(f.lampOn("2")) << zone << ": Monday 00:30 local";
        f.setLamp("2", false);
        f.runBridgeTo(2026, 12, 8, 0, 31, 0);
        EXPECT_FALSE(f.lampOn("2")) << zone << ": not on Tuesday";
        f.runBridgeTo(2026, 12, 14, 0, 30, 5);
        EXPECT_TRUE(f.lampOn("2")) << zone << ": next Monday";
    }
}

TEST(EndToEnd, OnAndOffWithTheOffTimeNextMorning) {
    SimScheduleFixture f;
    f.at("America/New_York", 2026, 12, 11, 12, 0);  // Friday noon, five hours behind UTC
    f.setLamp("2", false);
    f.manager.addAction(SimScheduleFixture::item(Action::OnAndOff, "2", "22:00", "06:00", Friday));
    f.runBridgeTo(2026, 12, 11, 21, 59, 50);
    EXPECT_FALSE(f.lampOn("2"));
    f.runBridgeTo(2026, 12, 11, 22, 0, 5);
    EXPECT_TRUE(f.lampOn("2")) << "Friday 22:00";
    f.runBridgeTo(2026, 12, 12, 5, 59, 50);
    EXPECT_TRUE(f.lampOn("2"));
    f.runBridgeTo(2026, 12, 12, 6, 0, 5);
    EXPECT_FALSE(f.lampOn("2")) << "Saturday 06:00";
    f.runBridgeTo(2026, 12, 12, 22, 5, 0);
    EXPECT_FALSE(f.lampOn("2")) << "not on Saturday evening";
}

TEST(EndToEnd, VariedItemFiresWithinItsWindow) {
    SimScheduleFixture f;
    f.at("Europe/Berlin", 2026, 12, 9, 8, 0);
    f.setLamp("2", false);
    Action a = SimScheduleFixture::item(Action::On, "2", "12:00", "00:00", Every);
    a.setObjectForKey(true, "vary");
    f.sim.clearRequestLog();
    f.manager.addAction(a);
    std::string time = f.postedSchedules().at(0)["time"];
    EXPECT_GE(time, "W127/T10:30:00");  // 11:30 local
    EXPECT_LE(time, "W127/T11:29:00");  // 12:29 local
    f.runBridgeTo(2026, 12, 9, 11, 29, 59);
    EXPECT_FALSE(f.lampOn("2"));
    f.runBridgeTo(2026, 12, 9, 12, 29, 1);
    EXPECT_TRUE(f.lampOn("2"));
    EXPECT_EQ(f.manager.collection()[0]->objectForKey("ontime"), Value("12:00"));
}

// Registered on Saturday in winter time (UTC+1); from Sunday the zone is
// UTC+2. The hourly check after the change re-times the bridge schedule.
TEST(EndToEnd, SevenOClockStaysSevenAcrossSummerTime) {
    for (bool spring : {true, false}) {
        SimScheduleFixture f;
        platform::LogCapture log;
        if (spring)
            f.at("Europe/Berlin", 2026, 3, 28, 12, 0);
        else
            f.at("Europe/Berlin", 2026, 10, 24, 12, 0);
        int day = spring ? 29 : 25, month = spring ? 3 : 10;
        f.manager.addAction(SimScheduleFixture::item(Action::On, "2", "07:00", "00:00", Every));
        f.setLamp("2", false);
        f.runBridgeTo(2026, month, day, 3, 30, 0);
        f.sim.clearRequestLog();
        f.manager.hourlyCheck();
        EXPECT_TRUE(log.contains("re-timing  after a change of the UTC offset"));
        auto puts = f.requests("PUT");
        ASSERT_EQ(puts.size(), 1u);
        EXPECT_NE(puts[0].find(spring ? "W127/T05:00:00" : "W127/T06:00:00"), std::string::npos) << puts[0];
        f.runBridgeTo(2026, month, day, 6, 59, 50);
        EXPECT_FALSE(f.lampOn("2")) << (spring ? "spring" : "autumn");
        f.runBridgeTo(2026, month, day, 7, 0, 5);
        EXPECT_TRUE(f.lampOn("2")) << (spring ? "spring" : "autumn");

        // Stored with the new offset: the next check leaves it alone.
        EXPECT_EQ(f.defaults.objectForKey(ScheduleManager::actionsKey).at(0)[ScheduleManager::utcOffsetKey].intValue(),
                  spring ? 7200 : 3600);
        f.sim.clearRequestLog();
        f.manager.hourlyCheck();
        EXPECT_TRUE(f.requests("PUT").empty());
    }
}

// The daily adjustment on its own thread, the item changes handed to the
// controller loop running on another.
TEST(DailyAdjustment, RetimesVariedAndSunLinkedItemsOnceADay) {
    SimScheduleFixture f;
    f.at("Europe/Berlin", 2026, 12, 9, 12, 0);
    DefaultsLocation location(f.defaults, "Europe/Berlin");
    f.defaults.setObject("latitude", 52.52);
    f.defaults.setObject("longitude", 13.40);
    f.manager.setLocation(&location);

    Action varied = SimScheduleFixture::item(Action::OnAndOff, "1", "22:00", "06:00", Friday);
    varied.setObjectForKey(true, "vary");
    Action linked = SimScheduleFixture::item(Action::OnAndOff, "2", "18:00", "07:00", Every);
    linked.setObjectForKey(true, "linksunrisesunset");
    linked.setEnabled(false);  // re-registered all the same
    f.manager.addAction(varied);
    f.manager.addAction(linked);
    auto variedIds = f.manager.collection()[0]->scheduleIDs();
    ASSERT_EQ(variedIds.size(), 2u);
    EXPECT_TRUE(f.manager.collection()[1]->scheduleIDs().empty());
    f.sim.clearRequestLog();

    std::jthread controller([&] { f.loop.run(); });
    platform::BackgroundThread daily(f.clock, [&](std::stop_token stop) { f.manager.adjustTimes(stop); });
    ASSERT_TRUE(f.clock.waitForWaiters(2));
    f.clock.advance(std::chrono::hours(1));
    ASSERT_TRUE(f.clock.waitForWaiters(2));

    // Varied: each schedule's time moved, on with the plain mask, off
    // (before the on time) with the shifted one.
    auto puts = f.requests("PUT");
    ASSERT_EQ(puts.size(), 2u);
    EXPECT_NE(puts[0].find("/schedules/" + variedIds[0] + " {\"time\":\"W004/T2"), std::string::npos) << puts[0];
    EXPECT_NE(puts[1].find("/schedules/" + variedIds[1] + " {\"time\":\"W002/T0"), std::string::npos) << puts[1];

    // Sun-linked: an hour after sunrise and an hour before sunset, new schedules.
    auto sun =
        computeSunTimes({52.52, 13.40, 0}, std::chrono::local_days{std::chrono::year{2026} / std::chrono::December / 9},
                        f.manager.timeZone());
    ASSERT_TRUE(sun);
    EXPECT_EQ(f.defaults.stringForKey("sunrise"), sun->sunrise);
    auto plusHour = [](const std::string& t, int d) {
        int m = *ScheduleManager::stringToNumber(t) + d * 60;
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d", m / 60, m % 60);
        return std::string(text);
    };
    std::vector<Value> stored;
    f.loop.postAndWait([&] {
        stored = {f.manager.collection()[0]->getDictionary(), f.manager.collection()[1]->getDictionary()};
    });
    EXPECT_EQ(stored[1]["offtime"], Value(plusHour(sun->sunrise, 1)));
    EXPECT_EQ(stored[1]["ontime"], Value(plusHour(sun->sunset, -1)));
    EXPECT_EQ(stored[1]["bridgeID"].size(), 2u);
    EXPECT_EQ(stored[0]["ontime"], Value("22:00")) << "the stored varied times never drift";
    Value saved = f.defaults.objectForKey(ScheduleManager::actionsKey);
    EXPECT_EQ(saved.at(1)["bridgeID"], stored[1]["bridgeID"]) << "stored when it happened";
    EXPECT_TRUE(f.defaults.objectForKey(ScheduleManager::dailyChecksKey).isDate());

    // Within the day the hourly checks do nothing more.
    f.sim.clearRequestLog();
    f.clock.advance(std::chrono::hours(1));
    ASSERT_TRUE(f.clock.waitForWaiters(2));
    EXPECT_TRUE(f.sim.requestLog().empty());

    daily.requestStop();
    daily.join();
    f.loop.quit();
}

TEST(DailyAdjustment, SunLinkedItemsKeepTheirTimesWithoutSunTimes) {
    SimScheduleFixture f;
    platform::LogCapture log;
    f.at("Europe/Berlin", 2026, 12, 9, 12, 0);
    f.defaults.setObject(ScheduleManager::sunServiceKey, "http://127.0.0.1:1");
    f.manager.setSunServiceClient(&f.http);
    Action linked = SimScheduleFixture::item(Action::OnAndOff, "2", "18:00", "07:00", Every);
    linked.setObjectForKey(true, "linksunrisesunset");
    f.manager.addAction(linked);
    auto ids = f.manager.collection()[0]->scheduleIDs();
    f.manager.hourlyCheck();
    EXPECT_FALSE(f.defaults.hasObject("sunrise"));
    EXPECT_EQ(f.manager.collection()[0]->objectForKey("ontime"), Value("18:00"));
    EXPECT_EQ(f.manager.collection()[0]->scheduleIDs(), ids);
    EXPECT_TRUE(log.containsSubstring("no sunrise or sunset known"));
}

}  // namespace
}  // namespace glowmere
