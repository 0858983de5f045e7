#include <QMenu>

#include "GuiHarness.h"
#include "controller/ManualController.h"
#include "gui/adapters/QtStatusItem.h"
#include "gui/widgets/ControlWidgets.h"
#include "platform/Log.h"

namespace glowmere::testing {
namespace {

using PollingTest = GuiTest;
using namespace std::chrono_literals;

TEST_F(PollingTest, AChangeMadeElsewhereReachesItsStripWithinOneCycleButNotDuringThePause) {
    AppUnderTest t(house(3, 0, true));
    ASSERT_TRUE(t.waitForStrips(3));
    ASSERT_TRUE(t.fakeClock().waitForWaiters(3));  // every thread that sleeps on the clock

    t.sim().changeLamp("1", R"({"bri": 33})");
    t.fakeClock().advance(6s);
    EXPECT_TRUE(pumpUntil([&] { return t.slider(0, 3)->value() == 33; }, 5000)) << t.slider(0, 3)->value();

    // The user moves lamp 2: polling pauses for five seconds.
    t.fakeClock().advance(2s);
    drag(t.slider(1, 4), {1234});
    ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "PUT", "/lights/2/state").empty(); }));
    t.sim().changeLamp("3", R"({"bri": 44})");
    ASSERT_TRUE(t.fakeClock().waitForWaiters(3));
    t.fakeClock().advance(4s);  // a cycle falls in the pause
    pumpUntil([] { return false; }, 300);
    EXPECT_NE(t.slider(2, 3)->value(), 44) << "no reading reaches a strip during the pause";

    ASSERT_TRUE(t.fakeClock().waitForWaiters(3));
    t.fakeClock().advance(6s);  // the next cycle, after the pause
    EXPECT_TRUE(pumpUntil([&] { return t.slider(2, 3)->value() == 44; }, 5000)) << t.slider(2, 3)->value();
}

TEST_F(PollingTest, AFourthLampCausesOneRebuildAndNoSecondPollingLoop) {
    platform::LogCapture log;
    AppUnderTest t(house(3, 0, true));
    ASSERT_TRUE(t.waitForStrips(3));
    ASSERT_TRUE(t.fakeClock().waitForWaiters(3));  // every thread that sleeps on the clock
    t.sim().queueNewLamps(1, 0);
    t.sim().userRequest("POST", "lights");
    ASSERT_TRUE(pumpUntil([&] { return t.sim().state().find("New lamp") != std::string::npos; }, 5000));

    t.fakeClock().advance(6s);
    ASSERT_TRUE(t.waitForStrips(4));
    t.fakeClock().advance(6s);
    pumpUntil([] { return false; }, 200);
    EXPECT_EQ(log.count("lightsArray has 4 lamps, 3 returned by bridgebridge"), 1u);
    int loops = 0;
    t.onController([&] { loops = t.app().manualController().pollingLoopsStarted(); });
    EXPECT_EQ(loops, 1);
    EXPECT_EQ(t.labelText(3), "New lamp 1");
}

// The tray's "Turn all off" and "Turn all on" show on every strip at once,
// not a polling cycle later: no time passes on the clock here.
TEST_F(PollingTest, TheTraysTurnAllOffAndOnShowOnTheStripsAtOnce) {
    AppUnderTest t(house(3, 1, true));
    ASSERT_TRUE(t.waitForStrips(4));
    auto* item = t.app().statusItem();
    ASSERT_TRUE(item);
    ASSERT_TRUE(pumpUntil([&] { return item->shownMenu() && !item->shownMenu()->actions().isEmpty(); }));
    auto choose = [&](const QString& title) {
        for (QAction* a : item->shownMenu()->actions())
            if (a->text() == title) {
                a->trigger();
                return true;
            }
        return false;
    };
    auto allShow = [&](bool on) {
        for (std::size_t i = 0; i < 4; ++i)
            if (t.onOffSwitch(i)->isChecked() != on) return false;
        return true;
    };
    ASSERT_FALSE(allShow(false)) << "odd lamps start on";
    for (bool on : {false, true}) {
        SCOPED_TRACE(on ? "Turn all on" : "Turn all off");
        ASSERT_TRUE(choose(on ? "Turn all on" : "Turn all off"));
        EXPECT_TRUE(pumpUntil([&] { return allShow(on); }, 500));
        ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "PUT", "/groups/0/action").empty(); }));
        // A reading after the bridge took the command agrees.
        ASSERT_TRUE(t.fakeClock().waitForWaiters(3));
        t.fakeClock().advance(12s);
        pumpUntil([] { return false; }, 200);
        EXPECT_TRUE(allShow(on));
        t.sim().clearRequestLog();
    }
}

}  // namespace
}  // namespace glowmere::testing
