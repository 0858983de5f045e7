#include <gtest/gtest.h>

#include "unit/schedules/ScheduleFixture.h"

namespace glowmere {
namespace {

using testing::ScheduleFixture;

// Schedules the simulated bridge would refuse but another bridge may hold.
TEST(ImportReading, OddSchedulesFromOtherClients) {
    ScheduleFixture f;
    f.setLocal("Europe/Berlin", 2026, 12, 9, 12, 0);
    f.http.reply("GET", "/schedules", R"({"5":{"name":"a"},"6":{"name":"b"},"7":{"name":"c"},"8":{"name":"d"}})");
    // A one-off date and time: no days, the time after the first "T".
    f.http.reply(
        "GET", "/schedules/5",
        R"({"name":"Party","time":"2026-12-24T18:00:00","command":{"address":"/api/x/lights/2/state","method":"PUT","body":{"on":true}}})");
    // An address that ends at "groups" names nothing: no lamp keys.
    f.http.reply(
        "GET", "/schedules/6",
        R"({"name":"Cut","time":"W127/T06:00:00","command":{"address":"/api/x/groups","method":"PUT","body":{"on":false}}})");
    // No command: skipped with a log line; no body: skipped.
    f.http.reply("GET", "/schedules/7", R"({"name":"Bare","time":"W127/T06:00:00"})");
    f.http.reply("GET", "/schedules/8",
                 R"({"name":"NoBody","time":"W127/T06:00:00","command":{"address":"/api/x/lights/1/state"}})");
    f.http.reply("GET", "/lights", R"({"2":{"name":"Kitchen"}})");
    f.manager.importFromBridge();

    ASSERT_EQ(f.manager.collection().size(), 2u);
    const Action& party = *f.manager.collection()[0];
    EXPECT_EQ(party.objectForKey("ontime"), Value("19:00"));
    EXPECT_EQ(ScheduleManager::getBinaryForWeekdays(party), "000");
    EXPECT_FALSE(party.getDictionary().contains("mon"));
    EXPECT_EQ(party.objectForKey("lamp"), Value("lamp: Kitchen"));
    const Action& cut = *f.manager.collection()[1];
    EXPECT_EQ(cut.kind(), Action::Off);
    EXPECT_FALSE(cut.getDictionary().contains("lampid"));
    EXPECT_FALSE(cut.getDictionary().contains("lamp"));
}

TEST(ImportReading, GroupListUnreadableLeavesNoLampName) {
    ScheduleFixture f;
    f.http.reply("GET", "/schedules", R"({"5":{"name":"a"}})");
    f.http.reply(
        "GET", "/schedules/5",
        R"({"name":"G","time":"W127/T06:00:00","command":{"address":"/api/x/groups/3/action","body":{"on":true}}})");
    f.manager.importFromBridge();
    ASSERT_EQ(f.manager.collection().size(), 1u);
    EXPECT_EQ(f.manager.collection()[0]->objectForKey("lampid"), Value(3));
    EXPECT_FALSE(f.manager.collection()[0]->getDictionary().contains("lamp"));
    EXPECT_EQ(f.manager.collection()[0]->getDescription(), "Switch  on at 06:00 on Mo, Tu, We, Th, Fr, Sa, Su");
}

}  // namespace
}  // namespace glowmere
