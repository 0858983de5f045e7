#include "schedules/Action.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/Log.h"

namespace glowmere {
namespace {

Action item(int kind, const std::string& lamp, const std::string& on, const std::string& off, int days = 127) {
    Action a;
    a.setObjectForKey(kind, "action");
    a.setObjectForKey(lamp, "lamp");
    a.setObjectForKey(on, "ontime");
    a.setObjectForKey(off, "offtime");
    const char* keys[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    for (int i = 0; i < 7; ++i) a.setObjectForKey((days & (64 >> i)) != 0, keys[i]);
    return a;
}

TEST(ActionDescription, FreshItemHasTwoSpacesAfterSwitch) {
    EXPECT_EQ(Action().getDescription(), "Switch  on at 00:00 on Mo, Tu, We, Th, Fr, Sa, Su and off again at 00:00 ");
    EXPECT_EQ(Action().kind(), Action::OnAndOff);
}

TEST(ActionDescription, EveryKind) {
    struct Case {
        int kind;
        int days;
        std::string expected;
    };
    const Case cases[] = {
        {0, 124, "Switch lamp: Hall on at 07:00 on Mo, Tu, We, Th, Fr and off again at 23:00 "},
        {1, 0, "Switch lamp: Hall on at 07:00 on "},
        {2, 3, "Switch lamp: Hall off at 23:00 on Sa, Su"},
        {3, 64, "Change brightness and colour of lamp: Hall at 07:00 on Mo to brightness 88% and colour 15% "},
        {4, 1, "Start listening at 07:00 on Su and stop again at 23:00 "},
        {5, 2, "False dawn using lamp: Hall starting 07:00 on Sa"},
        {6, 8, "False dusk using lamp: Hall starting 23:00 on Th"},
        {7, 127, ""},
        {-1, 127, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(item(c.kind, "lamp: Hall", "07:00", "23:00", c.days).getDescription(), c.expected) << c.kind;
}

TEST(ActionDescription, FullColourIsAHundredPercent) {
    Action a = item(3, "lamp: Hall", "07:00", "00:00");
    a.setObjectForKey(255.0f, "brightness");
    a.setObjectForKey(65535.0f, "colour");
    EXPECT_EQ(a.getDescription().substr(a.getDescription().find("to ")), "to brightness 100% and colour 100% ");
}

// What the bridge keeps (64 bytes): whole words, never half a day list.
TEST(ActionDescription, ForTheBridgeEndsAfterAWholeWord) {
    struct Case {
        int kind;
        int days;
        std::string lamp;
        std::string expected;
    };
    const Case cases[] = {
        // Short enough: as it is, without the trailing space.
        {2, 127, "lamp: Hall", "Switch lamp: Hall off at 23:00 on Mo, Tu, We, Th, Fr, Sa, Su"},
        // Cut after a whole day, its comma dropped.
        {1, 127, "lamp: Living room by the window",
         "Switch lamp: Living room by the window on at 07:00 on Mo, Tu\u2026"},
        // Cut before "to brightness": no joining word is left hanging.
        {3, 64, "lamp: Hall", "Change brightness and colour of lamp: Hall at 07:00 on Mo\u2026"},
        // A lamp name longer than the room goes whole.
        {5, 127, "lamp: " + std::string(70, 'a'), "False dawn using lamp\u2026"},
    };
    for (const Case& c : cases) {
        const std::string text = item(c.kind, c.lamp, "07:00", "23:00", c.days).getDescription(64);
        EXPECT_EQ(text, c.expected) << c.kind;
        EXPECT_LE(text.size(), 64u) << c.kind;
    }
}

TEST(ActionVary, UnvariedTimesAreTheStoredOnes) {
    Action a = item(0, "", "12:00", "7:5");
    EXPECT_EQ(a.objectForKey("rontime"), Value("12:00"));
    EXPECT_EQ(a.objectForKey("rofftime"), Value("7:5"));
}

TEST(ActionVary, ShiftStaysWithinItsWindowAndOnItsDay) {
    platform::LogCapture log;
    struct Case {
        std::string base;
        std::string lowest, highest;
    };
    const Case cases[] = {{"12:00", "11:30", "12:29"}, {"0:05", "00:00", "00:34"}, {"23:50", "23:20", "23:59"}};
    for (const Case& c : cases) {
        Action a = item(1, "", c.base, c.base);
        a.setObjectForKey(true, "vary");
        std::set<std::string> seen;
        for (int i = 0; i < 400; ++i) {
            std::string t = a.objectForKey("rontime").textValue();
            ASSERT_EQ(t.size(), 5u);
            EXPECT_GE(t, c.lowest) << c.base;
            EXPECT_LE(t, c.highest) << c.base;
            seen.insert(t);
        }
        EXPECT_GT(seen.size(), 10u) << "the shift is random";
        EXPECT_EQ(a.objectForKey("ontime"), Value(c.base)) << "the stored time never drifts";
    }
    EXPECT_TRUE(log.containsSubstring("Adjusted time from 12:00 to "));
}

TEST(ActionVary, ChosenDrawsGiveTheDocumentedArithmetic) {
    static int draws[8];
    static int next;
    auto draw = [] { return draws[next++]; };
    // r % 60 - 30: 59 gives +29, 0 gives -30.
    next = 0, draws[0] = 59;
    EXPECT_EQ(Action::shiftedTime("12:00", draw), "12:29");
    next = 0, draws[0] = 120;
    EXPECT_EQ(Action::shiftedTime("12:00", draw), "11:30");
    // 00:05 - 30 leaves the day, so the shift is drawn again.
    next = 0, draws[0] = 0, draws[1] = 59;
    EXPECT_EQ(Action::shiftedTime("0:05", draw), "00:34");
    EXPECT_EQ(next, 2);
    next = 0, draws[0] = 59, draws[1] = 0;
    EXPECT_EQ(Action::shiftedTime("23:50", draw), "23:20");
    EXPECT_EQ(Action::shiftedTime("noon", draw), "noon");
    next = 0;
    auto anyDraw = [] { return next++ % 60; };
    EXPECT_EQ(Action::shiftedTime("25:00", anyDraw), "25:00") << "no endless redrawing";
}

TEST(ActionScheduleIDs, AppendInOrderAndIgnoreNothing) {
    Action a;
    a.addScheduleID(std::nullopt);
    EXPECT_FALSE(a.getScheduleIDArray());
    a.addScheduleID("7");
    a.addScheduleID("7");
    a.addScheduleID("9");
    EXPECT_EQ(a.scheduleIDs(), (std::vector<std::string>{"7", "7", "9"}));
    a.removeAllScheduleIDs();
    EXPECT_FALSE(a.getDictionary().contains("bridgeID"));

    // Forgetting one id forgets what it was registered as; the last one
    // takes both keys with it, so a stored item names no schedule.
    const Value seven = Value::map({{"name", "Seven"}});
    a.addScheduleID("7", seven);
    a.addScheduleID("9", Value::map({{"name", "Nine"}}));
    a.removeScheduleID("9");
    EXPECT_EQ(a.scheduleIDs(), std::vector<std::string>{"7"});
    EXPECT_EQ(a.registeredSchedule("7"), seven);
    EXPECT_FALSE(a.registeredSchedule("9"));
    a.removeScheduleID("7");
    EXPECT_FALSE(a.getDictionary().contains("bridgeID"));
    EXPECT_FALSE(a.getDictionary().contains(Action::registeredKey));
}

TEST(ActionRecord, CopiesAddNoDefaults) {
    Action imported(Value::map({{"name", "N"}}));
    EXPECT_FALSE(imported.isEnabled());
    EXPECT_FALSE(imported.getDictionary().contains("ontime"));
    EXPECT_EQ(imported.kind(), 0);
    EXPECT_EQ(imported.getDescription(), "Switch  on at  on  and off again at  ");
}

}  // namespace
}  // namespace glowmere
