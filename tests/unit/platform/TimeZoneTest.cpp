#include "platform/TimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace glowmere::platform;
using namespace std::chrono;

namespace {

sys_seconds utc(int y, unsigned m, unsigned d, int h, int min) {
    return sys_days(year(y) / month(m) / day(d)) + hours(h) + minutes(min);
}

local_seconds local(int y, unsigned m, unsigned d, int h, int min) {
    return local_days(year(y) / month(m) / day(d)) + hours(h) + minutes(min);
}

TEST(TimeZone, OffsetsFollowSummerTime) {
    auto berlin = TimeZone::named("Europe/Berlin");
    ASSERT_TRUE(berlin);
    EXPECT_EQ(berlin->offsetAt(utc(2012, 6, 14, 5, 0)), hours(2));
    EXPECT_EQ(berlin->offsetAt(utc(2024, 1, 9, 12, 0)), hours(1));
    auto kolkata = TimeZone::named("Asia/Kolkata");
    EXPECT_EQ(kolkata->offsetAt(utc(2024, 1, 9, 12, 0)), hours(5) + minutes(30));
    auto newYork = TimeZone::named("America/New_York");
    EXPECT_EQ(newYork->toLocal(utc(2024, 1, 9, 2, 0)), local(2024, 1, 8, 21, 0));
    EXPECT_FALSE(TimeZone::named("Not/AZone"));
}

TEST(TimeZone, LocalTimesInGapsAndOverlapsDoNotFail) {
    auto berlin = *TimeZone::named("Europe/Berlin");
    // 02:30 does not exist on 31 March 2024: it becomes 03:30 summer time.
    EXPECT_EQ(berlin.toSys(local(2024, 3, 31, 2, 30)), utc(2024, 3, 31, 1, 30));
    // 02:30 happens twice on 27 October 2024: the earlier one is taken.
    EXPECT_EQ(berlin.toSys(local(2024, 10, 27, 2, 30)), utc(2024, 10, 27, 0, 30));
    EXPECT_EQ(berlin.toSys(local(2024, 7, 1, 7, 0)), utc(2024, 7, 1, 5, 0));
}

TEST(TimeZone, TheLocalZoneFollowsTZ) {
    const char* saved = std::getenv("TZ");
    std::string previous = saved ? saved : "";
    ::setenv("TZ", "Australia/Adelaide", 1);
    EXPECT_EQ(TimeZone::local().name(), "Australia/Adelaide");
    ::setenv("TZ", ":Asia/Tokyo", 1);
    EXPECT_EQ(TimeZone::local().name(), "Asia/Tokyo");
    if (saved)
        ::setenv("TZ", previous.c_str(), 1);
    else
        ::unsetenv("TZ");
}

}  // namespace
