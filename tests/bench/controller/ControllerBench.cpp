// Figures for the main controller: the cost of building the strips for a
// large house, whether rebuilding leaks, and what one polling cycle costs
// against the simulated bridge over loopback. Prints; asserts only bounds
// that no healthy build comes near.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bridge/BridgeBridge.h"
#include "controller/ManualController.h"
#include "controls/BridgeBridgeClient.h"
#include "platform/HttpClient.h"
#include "platform/Log.h"
#include "support/FakeBridgeClient.h"
#include "support/FakeViews.h"
#include "support/ProcessStats.h"
#include "support/SimulatedBridge.h"

using namespace glowmere;
using namespace glowmere::testing;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

double millisSince(Steady::time_point start) {
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

Value house(int lamps, const char* prefix) {
    Value list = Value::emptyList();
    for (int i = 1; i <= lamps; ++i)
        list.append(Value::map({{"id", std::to_string(i)},
                                {"label", std::string(prefix) + std::to_string(i)},
                                {"onoff", "true"},
                                {"brightness", "100"},
                                {"colour", "1000"},
                                {"saturation", "200"}}));
    return list;
}

TEST(ControllerBench, BuildingAndRebuildingFiftyLampsAndTenGroups) {
    platform::LogCapture quiet;
    platform::FakeClock clock;
    platform::RunLoop loop(clock);
    loop.runPending();
    platform::DefaultsStore defaults;
    FakeBridgeClient bridge;
    bridge.setLights(house(50, "Lamp "));
    bridge.setGroups(house(10, "Group "));
    FakeMainWindow window;
    FakeViewTemplates templates;
    ControllerSettings settings;
    settings.makeAllGroup.setState(1);
    ManualController controller(loop, defaults, bridge, window, templates, settings);
    controller.awakeFromNib();

    auto start = Steady::now();
    controller.setUp();
    double first = millisSince(start);
    controller.stopBackgroundThreads();
    ASSERT_EQ(controller.collection().size(), 61u);

    for (int i = 0; i < 20; ++i) controller.refreshSetUp();  // warm up the allocator
    long before = residentKilobytes();
    constexpr int rebuilds = 1000;
    start = Steady::now();
    for (int i = 0; i < rebuilds; ++i) controller.refreshSetUp();
    double perRebuild = millisSince(start) / rebuilds;
    long after = residentKilobytes();

    std::printf("set-up of 50 lamps, 10 groups and All: %.3f ms; rebuild: %.3f ms each\n", first, perRebuild);
    std::printf("resident memory %ld kB; change over %d rebuilds: %+ld kB\n", after, rebuilds, after - before);
    EXPECT_EQ(window.contentView().subviews().size(), 63u) << "61 strips and two selection rows";
    EXPECT_LT(after - before, 2048) << "rebuilding must not leak";
}

TEST(ControllerBench, OnePollingCycleAgainstTheSimulatedBridge) {
    SimulatedBridge::Options options;
    options.lamps = 50;
    options.groups = 10;
    SimulatedBridge sim(options);
    platform::LogCapture quiet;
    platform::FakeClock clock;
    clock.setSettleTimeout(30s);
    platform::RunLoop loop(clock);
    std::thread loopThread([&] { loop.run(); });
    platform::DefaultsStore defaults;
    defaults.setObject("username", sim.user());
    defaults.setObject("lastusedbridgeIP", sim.address());
    defaults.setObject("alwaysUseManualIP", true);
    platform::CurlHttpClient http;
    BridgeBridge bridge(http, defaults, clock);
    BridgeBridgeClient client(bridge);
    FakeMainWindow window;
    FakeViewTemplates templates;
    ControllerSettings settings;
    std::unique_ptr<ManualController> controller;

    auto start = Steady::now();
    ASSERT_TRUE(loop.postAndWait([&] {
        controller = std::make_unique<ManualController>(loop, defaults, client, window, templates, settings);
        controller->awakeFromNib();
        controller->applicationDidFinishLaunching();
    }));
    double startUp = millisSince(start);
    ASSERT_TRUE(clock.waitForWaiters(2, 30000ms));
    sim.clearRequestLog();

    constexpr int cycles = 5;
    start = Steady::now();
    for (int i = 0; i < cycles; ++i) {
        clock.advance(6s);
        loop.postAndWait([] {});
    }
    double perCycle = millisSince(start) / cycles;
    std::size_t requests = sim.requestLog().size() / cycles;
    std::printf("start-up against 50 lamps and 10 groups over loopback: %.1f ms\n", startUp);
    std::printf("one polling cycle: %zu requests, %.1f ms\n", requests, perCycle);
    EXPECT_EQ(requests, 1u + 50u + 1u + 10u + 10u) << "lamp list and lamps, group list and groups, group settings";

    loop.postAndWait([&] { controller.reset(); });
    loop.quit();
    loopThread.join();
}

}  // namespace
