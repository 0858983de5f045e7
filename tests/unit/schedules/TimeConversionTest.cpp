#include <gtest/gtest.h>

#include "platform/Controls.h"
#include "unit/schedules/ScheduleFixture.h"

namespace glowmere {
namespace {

using testing::ScheduleFixture;

Action withDays(int mask) {
    Action a;
    const char* keys[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    for (int i = 0; i < 7; ++i) a.setObjectForKey((mask & (64 >> i)) != 0, keys[i]);
    return a;
}

TEST(WeekdayMask, PlainAndShifted) {
    struct Case {
        int days;
        const char* plain;
        const char* shifted;
    };
    const Case cases[] = {{0, "000", "000"}, {127, "127", "127"}, {124, "124", "062"},
                          {3, "003", "065"}, {1, "001", "064"},   {2, "002", "001"}};
    for (const Case& c : cases) {
        EXPECT_EQ(ScheduleManager::getBinaryForWeekdays(withDays(c.days)), c.plain);
        EXPECT_EQ(ScheduleManager::getShiftedBinaryForWeekdays(withDays(c.days)), c.shifted);
    }
    // A missing day reads false.
    EXPECT_EQ(ScheduleManager::getBinaryForWeekdays(Action(Value::map({{"mon", true}}))), "064");
}

TEST(WeekdayMask, RotatingBackAndForthIsLossless) {
    EXPECT_EQ(ScheduleManager::rotateMask(64, -1), 1);  // Monday, a day earlier: Sunday
    EXPECT_EQ(ScheduleManager::rotateMask(1, 1), 64);   // Sunday, a day later: Monday
    for (int mask = 0; mask < 128; ++mask) {
        EXPECT_EQ(ScheduleManager::rotateMask(ScheduleManager::rotateMask(mask, 1), -1), mask);
        EXPECT_EQ(ScheduleManager::rotateMask(mask, 7), mask);
    }
}

TEST(MinuteOfDay, LenientReading) {
    EXPECT_EQ(ScheduleManager::stringToNumber("00:00"), 0);
    EXPECT_EQ(ScheduleManager::stringToNumber("07:30"), 450);
    EXPECT_EQ(ScheduleManager::stringToNumber("24:00"), 1440);
    EXPECT_EQ(ScheduleManager::stringToNumber("ab:cd"), 0);
    EXPECT_EQ(ScheduleManager::stringToNumber("7:5:59"), 425);
    EXPECT_EQ(ScheduleManager::stringToNumber("12"), std::nullopt);
    EXPECT_EQ(ScheduleManager::stringToNumber(""), std::nullopt);
    EXPECT_EQ(ScheduleManager::stringToNumber("99999999999:99999999999"), 1000000 * 60 + 1000000);
}

TEST(ValidateTime, AcceptsAndNormalises) {
    const std::pair<const char*, const char*> accepted[] = {
        {"7:5", "07:05"},  {"7.30", "07:30"},     {"0730", "07:30"}, {"23:59:59", "23:59"}, {" 9:00", "09:00"},
        {"1230", "12:30"}, {"12.30.45", "12:30"}, {"12:3", "12:03"}, {"00:00", "00:00"}};
    for (auto [in, out] : accepted) {
        platform::TextField field(in);
        EXPECT_TRUE(ScheduleManager::validateTime(&field)) << in;
        EXPECT_EQ(field.stringValue(), out) << in;
    }
    for (const char* in : {"24:00", "12:60", "730", "7", "-1:00", "", "12:-5",
                           "\xc3\xa9"
                           "12"}) {
        platform::TextField field(in);
        EXPECT_FALSE(ScheduleManager::validateTime(&field)) << in;
        EXPECT_EQ(field.stringValue(), in) << "a rejected field is left untouched";
    }
    EXPECT_FALSE(ScheduleManager::validateTime(nullptr));
}

TEST(Truncate, CutsAtTheCountInTextUnits) {
    std::string name32(32, 'a');
    EXPECT_EQ(ScheduleManager::truncateStringCharacters(name32, 32), name32);
    EXPECT_EQ(ScheduleManager::truncateStringCharacters(name32 + "b", 32), name32);
    EXPECT_EQ(ScheduleManager::truncateStringCharacters("short", 32), "short");
    // "Küche" is five characters, six bytes.
    EXPECT_EQ(ScheduleManager::truncateStringCharacters("K\xc3\xbc"
                                                        "che",
                                                        3),
              "K\xc3\xbc"
              "c");
    // A character outside the basic plane counts two and is never cut in half.
    EXPECT_EQ(ScheduleManager::truncateStringCharacters("ab\xf0\x9f\x92\xa1", 3), "ab");
    EXPECT_EQ(ScheduleManager::truncateStringCharacters("ab\xf0\x9f\x92\xa1", 4), "ab\xf0\x9f\x92\xa1");
}

// Local-to-UTC and back in zones ahead of, behind, half an hour off and
// with summer time, in winter and in summer.
TEST(TimeConversion, ZonesAndSeasons) {
    struct Case {
        const char* zone;
        int month, day;
        const char* local;
        const char* utc;
        int utcDayShift;
    };
    const Case cases[] = {
        {"Etc/GMT-2", 1, 10, "12:00", "10:00", 0},         // two hours ahead
        {"America/Bogota", 1, 10, "21:00", "02:00", 1},    // five behind: next day
        {"Europe/Berlin", 1, 11, "00:30", "23:30", -1},    // one ahead in winter
        {"Europe/Berlin", 7, 12, "07:00", "05:00", 0},     // two ahead in summer
        {"Asia/Kolkata", 1, 10, "05:00", "23:30", -1},     // half an hour
        {"America/St_Johns", 1, 10, "22:00", "01:30", 1},  // -3:30
        {"Asia/Kathmandu", 1, 10, "06:00", "00:15", 0},    // +5:45
    };
    for (const Case& c : cases) {
        ScheduleFixture f;
        f.setLocal(c.zone, 2026, c.month, c.day, 12, 0);
        EXPECT_EQ(f.manager.timeInUTC(c.local), c.utc) << c.zone << " " << c.local;
        EXPECT_EQ(f.manager.utcDayShift(c.local), c.utcDayShift) << c.zone << " " << c.local;
        EXPECT_EQ(f.manager.localTimeFromUTC(c.utc), c.local) << c.zone << " " << c.utc;
        EXPECT_EQ(f.manager.localDayShift(c.utc), -c.utcDayShift) << c.zone << " " << c.utc;
    }
}

TEST(TimeConversion, ReadingBackInWinterUsesTodaysOffset) {
    // Registered and read back on a winter day in Berlin (UTC+1): 06:30
    // local went out as 05:30 and must come back as 06:30, not 07:30.
    ScheduleFixture f;
    f.setLocal("Europe/Berlin", 2026, 12, 5, 9, 0);
    EXPECT_EQ(f.manager.timeInUTC("06:30"), "05:30");
    EXPECT_EQ(f.manager.localTimeFromUTC("05:30"), "06:30");
}

TEST(TimeConversion, TextThatIsNoTimeGivesNoTime) {
    ScheduleFixture f("Europe/Berlin");
    EXPECT_EQ(f.manager.timeInUTC("noon"), "");
    EXPECT_EQ(f.manager.localTimeFromUTC(""), "");
    EXPECT_EQ(f.manager.utcDayShift("noon"), 0);
}

}  // namespace
}  // namespace glowmere
