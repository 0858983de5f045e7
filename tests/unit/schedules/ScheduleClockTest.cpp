#include <gtest/gtest.h>

#include <thread>

#include "platform/Log.h"
#include "unit/schedules/ScheduleFixture.h"

namespace glowmere {
namespace {

using namespace std::chrono;
using testing::ScheduleFixture;

struct RecordingListener : MicListening {
    std::vector<std::string> calls;
    void start() override { calls.push_back("start"); }
    void stop() override { calls.push_back("stop"); }
};

Action listening(const std::string& on, const std::string& off, bool enabled = true) {
    Action a;
    a.setObjectForKey(static_cast<int>(Action::Listening), "action");
    a.setObjectForKey(on, "ontime");
    a.setObjectForKey(off, "offtime");
    a.setEnabled(enabled);
    return a;
}

struct ClockFixture : ScheduleFixture {
    ClockFixture() {
        manager.setMicListener(&listener);
        manager.setMainToolbarListenButton(&button);
    }
    void store(std::vector<Action> items) {
        Value::List list;
        for (auto& a : items) list.push_back(a.getDictionary());
        defaults.setObject(ScheduleManager::actionsKey, Value(list));
        manager.awakeFromNib();
    }
    void advance(seconds d) {
        clock.advance(d);
        loop.runPending();
    }
    RecordingListener listener;
    platform::Button button;
};

TEST(ListeningClock, PlansTheNextEntryToTheStartOfItsMinute) {
    ClockFixture f;
    f.setLocal("Europe/Berlin", 2026, 3, 3, 21, 30, 20);
    f.store({listening("22:00", "23:00")});
    EXPECT_EQ(f.manager.plannedEntry(), 1320);
    EXPECT_EQ(f.manager.plannedWait(), seconds(1780));

    f.setLocal("Europe/Berlin", 2026, 3, 3, 23, 30, 0);
    f.manager.constructList();
    EXPECT_EQ(f.manager.plannedEntry(), 1320);
    EXPECT_EQ(f.manager.plannedWait(), seconds(81000));

    f.setLocal("Europe/Berlin", 2026, 3, 3, 22, 0, 0);
    f.manager.constructList();
    EXPECT_EQ(f.manager.plannedEntry(), 1380);
    EXPECT_EQ(f.manager.plannedWait(), seconds(3600));
    EXPECT_EQ(f.loop.timerCount(), 1u) << "re-planning replaces the armed timer";
}

TEST(ListeningClock, StartsAndStopsAtTheItemsTimes) {
    ClockFixture f;
    platform::LogCapture log;
    f.setLocal("Asia/Kolkata", 2026, 3, 3, 21, 59, 0);
    f.store({listening("22:00", "23:00")});
    f.advance(seconds(60));
    EXPECT_EQ(f.listener.calls, std::vector<std::string>{"start"});
    EXPECT_EQ(f.button.state(), 1);
    EXPECT_TRUE(log.contains("timer fired"));
    EXPECT_TRUE(log.contains("starting to listen"));
    f.advance(seconds(3600));
    EXPECT_EQ(f.listener.calls, (std::vector<std::string>{"start", "stop"}));
    EXPECT_EQ(f.button.state(), 0);
    EXPECT_TRUE(log.contains("stopping listening"));
    EXPECT_EQ(f.manager.plannedEntry(), 1320);
    EXPECT_EQ(f.manager.plannedWait(), seconds(23 * 3600));
}

TEST(ListeningClock, EqualTimesStartThenStopAndWaitADay) {
    ClockFixture f;
    f.setLocal("UTC", 2026, 3, 3, 6, 59, 30);
    f.store({listening("07:00", "07:00")});
    EXPECT_EQ(f.manager.plannedWait(), seconds(30));
    f.advance(seconds(30));
    // Collected twice: start, stop, start, stop; ends stopped.
    EXPECT_EQ(f.listener.calls, (std::vector<std::string>{"start", "stop", "start", "stop"}));
    EXPECT_EQ(f.button.state(), 0);
    EXPECT_EQ(f.manager.plannedWait(), seconds(86400));
}

TEST(ListeningClock, DisabledItemsArmButDoNothing) {
    ClockFixture f;
    f.setLocal("UTC", 2026, 3, 3, 6, 59, 0);
    f.store({listening("07:00", "08:00", false)});
    EXPECT_EQ(f.manager.plannedEntry(), 420);
    f.advance(seconds(60));
    EXPECT_TRUE(f.listener.calls.empty());
    EXPECT_EQ(f.manager.plannedEntry(), 480);
}

TEST(ListeningClock, TimesOutsideTheDayNeverArmARunawayTimer) {
    ClockFixture f;
    f.setLocal("UTC", 2026, 3, 3, 6, 59, 0);
    f.store({listening("-5:00", "noon"), listening("99:00", "24:00")});
    EXPECT_EQ(f.manager.plannedEntry(), std::nullopt);
    EXPECT_EQ(f.loop.timerCount(), 0u);
}

TEST(ListeningClock, WakeReplansATimerWhoseMomentPassed) {
    ClockFixture f;
    platform::LogCapture log;
    f.setLocal("UTC", 2026, 3, 3, 6, 0, 0);
    f.store({listening("07:00", "08:00")});
    // Asleep over the start: the clock jumps without the loop running.
    f.clock.setNow(f.clock.now() + minutes(90));
    f.manager.makeWake();
    EXPECT_TRUE(log.contains("Computer woken"));
    EXPECT_EQ(f.manager.plannedEntry(), 480);
    EXPECT_EQ(f.manager.plannedWait(), seconds(1800));
}

TEST(Storage, LoadsOnceAndStoresEveryChange) {
    ScheduleFixture f;
    Value stored =
        Value::list({Action().getDictionary(), Value("not an item"), listening("1:00", "2:00").getDictionary()});
    f.defaults.setObject(ScheduleManager::actionsKey, stored);
    f.manager.awakeFromNib();
    ASSERT_EQ(f.manager.collection().size(), 2u);
    f.manager.awakeFromNib();
    EXPECT_EQ(f.manager.collection().size(), 2u);

    f.manager.setActionEnabled(1, false);
    EXPECT_FALSE(f.defaults.objectForKey(ScheduleManager::actionsKey).at(1)["enabled"].boolValue());
    f.manager.deleteAction(0);
    EXPECT_EQ(f.defaults.objectForKey(ScheduleManager::actionsKey).size(), 1u);
    EXPECT_FALSE(f.manager.deleteAction(5));
    EXPECT_FALSE(f.manager.setActionEnabled(5, true));
}

// The daily work runs off the controller thread; an item the user changes
// meanwhile keeps the user's change, and what the adjustment registered for
// the old state is taken off the bridge again.
TEST(DailyHandOff, AnItemEditedMeanwhileKeepsTheEdit) {
    testing::ScheduleFixture f("Europe/Berlin");
    Action linked;
    linked.setObjectForKey(static_cast<int>(Action::On), "action");
    linked.setObjectForKey(true, "linksunrisesunset");
    linked.setObjectForKey("18:00", "ontime");
    linked.addScheduleID("1");
    f.defaults.setObject(ScheduleManager::actionsKey, Value::list({linked.getDictionary()}));
    f.manager.awakeFromNib();

    std::jthread controller([&] { f.loop.run(); });
    while (!f.loop.isRunning()) std::this_thread::yield();
    f.http.handle("DELETE", "/schedules/1", [&](const platform::HttpRequest&) {
        // The user re-registers the item while the adjustment works.
        f.loop.postAndWait([&] {
            f.manager.collection()[0]->removeAllScheduleIDs();
            f.manager.collection()[0]->addScheduleID("9");
        });
        return std::optional<platform::HttpResponse>(platform::HttpResponse{200, "[{\"success\":\"ok\"}]", {}});
    });
    f.http.reply("POST", "/schedules", R"([{"success":{"id":"20"}}])");
    f.http.reply("DELETE", "/schedules/20", R"([{"success":"ok"}])");
    // The schedule at the item's id is still the item's own.
    f.http.reply("GET", "/schedules", R"({"1":{"name":"","command":{"method":"PUT"}}})");

    f.manager.hourlyCheck();
    f.loop.quit();
    controller.join();

    EXPECT_EQ(f.manager.collection()[0]->scheduleIDs(), std::vector<std::string>{"9"});
    EXPECT_EQ(f.manager.collection()[0]->objectForKey("ontime"), Value("18:00"));
    EXPECT_EQ(f.http.count("DELETE", "/schedules/20"), 1u);
    EXPECT_TRUE(f.defaults.objectForKey(ScheduleManager::dailyChecksKey).isDate());
}

TEST(DailyVaried, UnansweredSchedulesAreNotMovedToTheOffTime) {
    testing::ScheduleFixture f("UTC");
    Action a;
    a.setObjectForKey("07:00", "ontime");
    a.setObjectForKey("22:00", "offtime");
    a.setObjectForKey(true, "vary");
    a.addScheduleID("1");
    a.addScheduleID("2");
    f.defaults.setObject(ScheduleManager::actionsKey, Value::list({a.getDictionary()}));
    f.manager.awakeFromNib();
    f.http.fail("GET", "/schedules/1");
    f.http.reply("GET", "/schedules/2", R"({"command":{"body":{"on":false}},"time":"W127/T22:00:00"})");
    f.http.reply("PUT", "/schedules/2", R"([{"success":{}}])");
    f.manager.hourlyCheck();
    EXPECT_EQ(f.http.count("PUT", "/schedules/1"), 0u);
    ASSERT_EQ(f.http.count("PUT", "/schedules/2"), 1u);
    for (const auto& r : f.http.requests()) {
        if (r.method != "PUT") continue;
        std::string time = r.body->substr(r.body->find("T") + 1, 5);
        EXPECT_GE(time, "21:30");
        EXPECT_LE(time, "22:29");
    }
}

}  // namespace
}  // namespace glowmere
