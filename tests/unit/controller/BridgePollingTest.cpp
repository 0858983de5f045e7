#include "controller/BridgePolling.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/Clock.h"
#include "platform/RunLoop.h"
#include "support/FakeBridgeClient.h"

namespace glowmere {
namespace {

Value lampRecords(int n) {
    Value list = Value::emptyList();
    for (int i = 1; i <= n; ++i)
        list.append(Value::map({{"id", std::to_string(i)}, {"label", "Lamp"}, {"onoff", "true"}, {"brightness", "9"}}));
    return list;
}

// A cycle runs on the controller's own thread here, so its hand-overs queue
// behind it: what the cycle posted runs when the test flushes the loop.
struct PollingRig {
    platform::FakeClock clock;
    platform::RunLoop loop{clock};
    std::shared_ptr<int> lifetime = std::make_shared<int>(0);
    testing::FakeBridgeClient bridge;
    int strips = 0;
    int rebuilds = 0;
    int answers = 0;
    std::vector<std::string> shown;  // the strips readings were handed to
    BridgePolling polling{bridge, clock, LoopHandoff(loop, lifetime),
                          BridgePolling::Strips{.count = [this](bool) { return strips; },
                                                .find =
                                                    [this](bool group, const std::string& id) {
                                                        shown.push_back((group ? "group " : "lamp ") + id);
                                                        return nullptr;
                                                    },
                                                .rebuild = [this] { ++rebuilds; },
                                                .noteAnswer = [this](const std::optional<Value>&) { ++answers; },
                                                .wantsAllStrip = [] { return false; },
                                                .refreshMenus = [] {}}};
    std::thread thread{[this] { loop.run(); }};

    void onLoop(std::function<void()> task) { ASSERT_TRUE(loop.postAndWait(std::move(task))); }
    ~PollingRig() {
        loop.quit();
        thread.join();
    }
};

TEST(BridgePollingTest, ACycleRebuildsForNewLampsAndOtherwiseShowsReadings) {
    struct Case {
        const char* what;
        std::optional<int> lampsOnBridge;  // none: the bridge does not answer
        int strips;
        bool pausedMeanwhile;  // a change of the user's pauses polling mid-cycle
        int rebuilds;
        std::vector<std::string> shown;
    } cases[] = {
        {"same lamps: each reading to its strip", 2, 2, false, 0, {"lamp 1", "lamp 2"}},
        {"a new lamp: a rebuild instead", 3, 2, false, 1, {}},
        {"paused before the hand-over: the readings are dropped", 2, 2, true, 0, {}},
        {"no answer: nothing changes", std::nullopt, 2, false, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PollingRig controller;
        controller.strips = c.strips;
        if (c.lampsOnBridge) controller.bridge.setLights(lampRecords(*c.lampsOnBridge));
        controller.onLoop([&] {
            controller.polling.pollOnce();
            if (c.pausedMeanwhile) controller.polling.setEnabled(false);
        });
        controller.onLoop([] {});
        EXPECT_EQ(controller.answers, 1);
        EXPECT_EQ(controller.rebuilds, c.rebuilds);
        EXPECT_EQ(controller.shown, c.shown);
    }
}

TEST(BridgePollingTest, APausedLoopReadsNothing) {
    PollingRig controller;
    controller.bridge.setLights(lampRecords(1));
    controller.polling.setEnabled(false);
    controller.onLoop([&] { controller.polling.pollOnce(); });
    EXPECT_TRUE(controller.bridge.calls().empty());
    EXPECT_EQ(controller.answers, 0);
}

}  // namespace
}  // namespace glowmere
