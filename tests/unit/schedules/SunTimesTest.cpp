#include "schedules/SunTimes.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/Log.h"
#include "schedules/Location.h"
#include "unit/schedules/ScheduleFixture.h"

namespace glowmere {
namespace {

using namespace std::chrono;
using testing::ScheduleFixture;

int secondsOfDay(const std::string& hhmmss) {
    int h = std::atoi(hhmmss.substr(0, 2).c_str()), m = std::atoi(hhmmss.substr(3, 2).c_str());
    int s = hhmmss.size() > 6 ? std::atoi(hhmmss.substr(6, 2).c_str()) : 0;
    return h * 3600 + m * 60 + s;
}

// Reference figures from an independent almanac calculation (local clock
// times, sea level), summer and winter in both hemispheres, whole-hour and
// half-hour zones.
struct Reference {
    const char* place;
    double latitude, longitude;
    const char* zone;
    int year, month, day;
    const char* sunrise;
    const char* sunset;
};
const Reference references[] = {
    {"London", 51.5074, -0.1278, "Europe/London", 2026, 6, 21, "04:43:03", "21:21:23"},
    {"London", 51.5074, -0.1278, "Europe/London", 2026, 12, 5, "07:48:39", "15:53:10"},
    {"Sydney", -33.8688, 151.2093, "Australia/Sydney", 2026, 6, 21, "07:00:00", "16:53:46"},
    {"Sydney", -33.8688, 151.2093, "Australia/Sydney", 2026, 12, 5, "05:37:01", "19:54:07"},
    {"Buenos Aires", -34.6037, -58.3816, "America/Argentina/Buenos_Aires", 2026, 6, 21, "08:00:14", "17:50:14"},
    {"Buenos Aires", -34.6037, -58.3816, "America/Argentina/Buenos_Aires", 2026, 12, 5, "05:33:28", "19:54:23"},
    {"New York", 40.7128, -74.006, "America/New_York", 2026, 6, 21, "05:24:56", "20:30:32"},
    {"New York", 40.7128, -74.006, "America/New_York", 2026, 12, 5, "07:04:11", "16:28:39"},
    {"Kolkata", 22.5726, 88.3639, "Asia/Kolkata", 2026, 6, 21, "04:52:44", "18:23:47"},
    {"Kolkata", 22.5726, 88.3639, "Asia/Kolkata", 2026, 12, 5, "06:02:20", "16:51:33"},
    {"Reykjavik", 64.1466, -21.9426, "Atlantic/Reykjavik", 2026, 12, 5, "10:55:19", "15:41:02"},
    {"Cape Town", -33.9249, 18.4241, "Africa/Johannesburg", 2026, 6, 21, "07:51:16", "17:44:46"},
    {"Cape Town", -33.9249, 18.4241, "Africa/Johannesburg", 2026, 12, 5, "05:28:00", "19:45:25"},
    {"Adelaide", -34.9285, 138.6007, "Australia/Adelaide", 2026, 6, 21, "07:23:11", "17:11:27"},
    {"Adelaide", -34.9285, 138.6007, "Australia/Adelaide", 2026, 12, 5, "05:54:43", "20:17:18"},
};

TEST(SunCalculation, AgreesWithReferenceWithinTwoMinutes) {
    for (const Reference& r : references) {
        auto zone = *platform::TimeZone::named(r.zone);
        local_days day{year{r.year} / month{static_cast<unsigned>(r.month)} /
                       std::chrono::day{static_cast<unsigned>(r.day)}};
        auto times = computeSunTimes({r.latitude, r.longitude, 0}, day, zone);
        ASSERT_TRUE(times) << r.place;
        ASSERT_TRUE(isTimeText(times->sunrise) && isTimeText(times->sunset)) << r.place;
        // Our texts drop the seconds, so they stand for the middle of their minute.
        EXPECT_LE(std::abs(secondsOfDay(times->sunrise) + 30 - secondsOfDay(r.sunrise)), 120)
            << r.place << " " << r.month << ": " << times->sunrise << " vs " << r.sunrise;
        EXPECT_LE(std::abs(secondsOfDay(times->sunset) + 30 - secondsOfDay(r.sunset)), 120)
            << r.place << " " << r.month << ": " << times->sunset << " vs " << r.sunset;
    }
}

TEST(SunCalculation, PolarDayAndNightGiveNoTimes) {
    auto zone = *platform::TimeZone::named("Europe/Oslo");
    EXPECT_FALSE(computeSunTimes({78.22, 15.65, 0}, local_days{year{2026} / June / 21}, zone));
    EXPECT_FALSE(computeSunTimes({78.22, 15.65, 0}, local_days{year{2026} / December / 21}, zone));
}

TEST(SunService, ReplyReading) {
    EXPECT_EQ(parseSunServiceReply("<sun><sunrise>07:58:31</sunrise><sunset>15:53:40</sunset></sun>"),
              (SunTimes{"07:58", "15:53"}));
    EXPECT_FALSE(parseSunServiceReply("<sun><sunrise>07:58:31</sunrise></sun>"));
    EXPECT_FALSE(parseSunServiceReply("<sunrise>7:58</sunrise><sunset>15:53</sunset>"));
    EXPECT_FALSE(parseSunServiceReply("<sunrise>25:00</sunrise><sunset>15:53</sunset>"));
    EXPECT_FALSE(parseSunServiceReply("<sunrise>07:5"));
    EXPECT_FALSE(parseSunServiceReply("<html>Service unavailable</html>"));
    EXPECT_FALSE(parseSunServiceReply(""));
}

// The offset field is whole hours, truncated toward zero.
TEST(SunService, FetchAsksWithPositionDateAndOffset) {
    struct Case {
        const char* zone;
        const char* path;
    };
    const Case cases[] = {{"Europe/London", "/sun/51.500000/-0.120000/05/12/0/0"},
                          {"Europe/Paris", "/sun/51.500000/-0.120000/05/12/1/0"},
                          {"America/St_Johns", "/sun/51.500000/-0.120000/05/12/-3/0"},
                          {"Asia/Kathmandu", "/sun/51.500000/-0.120000/05/12/5/0"}};
    for (const Case& c : cases) {
        ScheduleFixture f;
        f.setLocal(c.zone, 2026, 12, 5, 12, 0);
        f.manager.setSunServiceClient(&f.http);
        f.defaults.setObject(ScheduleManager::sunServiceKey, "http://sun.example");
        f.http.reply("GET", "/0", "<result><sunrise>07:58:31</sunrise><sunset>15:53:40</sunset></result>");
        f.manager.locationManagerDidUpdateToLocationFromLocation({51.5, -0.12, 10}, std::nullopt);
        ASSERT_EQ(f.http.requests().size(), 1u) << c.zone;
        EXPECT_EQ(f.http.requests()[0].url, std::string("http://sun.example") + c.path);
        EXPECT_EQ(f.defaults.stringForKey("sunrise"), "07:58");
        EXPECT_EQ(f.defaults.stringForKey("sunset"), "15:53");
        EXPECT_EQ(f.manager.sunSource(), "web service");
    }
}

TEST(SunService, FailuresKeepTheStoredTimes) {
    ScheduleFixture f("Europe/Paris");
    f.manager.setSunServiceClient(&f.http);
    f.defaults.setObject(ScheduleManager::sunServiceKey, "http://sun.example");
    f.defaults.setObject("sunrise", "06:10");
    f.defaults.setObject("sunset", "19:40");
    // Unreachable, an error page, a reply without tags, tags without times.
    f.http.fail("GET", "/0", 1);
    EXPECT_FALSE(f.manager.updateSunTimes());
    f.http.reply("GET", "/0", "<html>oops</html>", 1);
    EXPECT_FALSE(f.manager.updateSunTimes());
    f.http.reply("GET", "/0", "<sunrise>--:--:--</sunrise><sunset>xx</sunset>", 1);
    EXPECT_FALSE(f.manager.updateSunTimes());
    EXPECT_EQ(f.defaults.stringForKey("sunrise"), "06:10");
    EXPECT_EQ(f.defaults.stringForKey("sunset"), "19:40");
}

TEST(SunFetch, GatedByTheLastDailyAdjustment) {
    ScheduleFixture f("Europe/London");
    f.defaults.setObject("latitude", 51.5);
    f.defaults.setObject("longitude", -0.12);
    DefaultsLocation location(f.defaults, "Europe/London");
    f.manager.setLocation(&location);
    auto now = floor<seconds>(f.clock.now());
    f.defaults.setObject(ScheduleManager::dailyChecksKey, Value(Value::Date(now - hours(23))));
    EXPECT_FALSE(f.manager.fetchSunriseSunetTimes());
    EXPECT_FALSE(f.defaults.hasObject("sunrise"));
    f.defaults.setObject(ScheduleManager::dailyChecksKey, Value(Value::Date(now - hours(24))));
    EXPECT_TRUE(f.manager.fetchSunriseSunetTimes());
    EXPECT_TRUE(isTimeText(f.defaults.stringForKey("sunrise")));
    EXPECT_EQ(f.manager.sunSource(), "calculated");
}

TEST(SunFetch, PositionReports) {
    ScheduleFixture f("Europe/London");
    f.manager.locationManagerDidUpdateToLocationFromLocation({51.5, -0.12, 10}, std::nullopt);
    ASSERT_TRUE(f.defaults.hasObject("sunrise"));
    EXPECT_FLOAT_EQ(f.manager.latitude(), 51.5f);
    // The same report again changes nothing; a new one is kept but fetches
    // nothing while times are stored.
    f.defaults.setObject("sunrise", "01:23");
    f.manager.locationManagerDidUpdateToLocationFromLocation({51.5, -0.12, 10}, GeoPosition{51.5, -0.12, 10});
    f.manager.locationManagerDidUpdateToLocationFromLocation({48.85, 2.35, 10}, GeoPosition{51.5, -0.12, 10});
    EXPECT_FLOAT_EQ(f.manager.latitude(), 48.85f);
    EXPECT_EQ(f.defaults.stringForKey("sunrise"), "01:23");
}

TEST(Location, DefaultsFirstThenTheZoneTable) {
    const std::string table =
        "# comment\n"
        "GB,GG,IM,JE\t+513030-0000731\tEurope/London\n"
        "AU\t-3352+15113\tAustralia/Sydney\tNew South Wales (most areas)\n"
        "XX\tgarbage\tEtc/Broken\n";
    auto london = DefaultsLocation::positionInZoneTable(table, "Europe/London");
    ASSERT_TRUE(london);
    EXPECT_NEAR(london->latitude, 51.5083, 0.001);
    EXPECT_NEAR(london->longitude, -0.1253, 0.001);
    auto sydney = DefaultsLocation::positionInZoneTable(table, "Australia/Sydney");
    ASSERT_TRUE(sydney);
    EXPECT_NEAR(sydney->latitude, -33.8667, 0.001);
    EXPECT_NEAR(sydney->longitude, 151.2167, 0.001);
    EXPECT_FALSE(DefaultsLocation::positionInZoneTable(table, "Etc/Broken"));
    EXPECT_FALSE(DefaultsLocation::positionInZoneTable(table, "Mars/Olympus"));
    EXPECT_FALSE(DefaultsLocation::parseIso6709("+9930+00000"));

    platform::DefaultsStore defaults;
    DefaultsLocation system(defaults, "Europe/Berlin");  // the real table
    auto berlin = system.currentPosition();
    ASSERT_TRUE(berlin);
    EXPECT_NEAR(berlin->latitude, 52.5, 0.1);
    defaults.setObject("latitude", "-33.9");
    defaults.setObject("longitude", 18.4);
    EXPECT_EQ(system.currentPosition(), (GeoPosition{-33.9, 18.4, 100}));
    defaults.setObject("latitude", 123.0);  // not on the globe
    EXPECT_NEAR(system.currentPosition()->latitude, 52.5, 0.1);
}

TEST(Location, AnEnteredPositionWinsOverTheServiceUntilItIsLetGo) {
    platform::DefaultsStore defaults;
    DefaultsLocation location(defaults, "Europe/Berlin");
    EXPECT_EQ(location.chosenPosition()->source, PositionSource::ZoneCity);
    EXPECT_TRUE(location.takeServicePosition({48.1, 11.6, 30}));
    EXPECT_EQ(location.chosenPosition(), (ChosenPosition{{48.1, 11.6, 100}, PositionSource::LocationService}));

    const std::pair<const char*, const char*> refused[] = {
        {"91", "0"}, {"0", "-180.5"}, {"", "13"}, {"52.5N", "13"}, {"nan", "0"}, {"1e3", "0"}};
    for (const auto& [lat, lon] : refused) {
        std::string why;
        EXPECT_FALSE(location.enterPosition(lat, lon, &why)) << lat << " " << lon;
        EXPECT_FALSE(why.empty());
    }
    EXPECT_EQ(location.chosenPosition()->source, PositionSource::LocationService);
    ASSERT_TRUE(location.enterPosition(" 52,52 ", "+13.405"));
    EXPECT_EQ(location.chosenPosition(), (ChosenPosition{{52.52, 13.405, 100}, PositionSource::Entered}));
    EXPECT_FALSE(location.takeServicePosition({48.1, 11.6, 30}));
    EXPECT_EQ(location.chosenPosition()->source, PositionSource::Entered);
    location.forgetEnteredPosition();
    EXPECT_EQ(location.chosenPosition()->source, PositionSource::ZoneCity);
}

}  // namespace
}  // namespace glowmere
