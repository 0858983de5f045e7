// Figures for the bridge's scenes: recalling a scene of 30 lamps against
// applying a preset of the same lamps (requests and time, over loopback),
// and what finding the preset in effect costs a poll. Prints; asserts the
// request counts, which are the point.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../BenchAim.h"
#include "bridge/BridgeBridge.h"
#include "bridge/BridgeScenes.h"
#include "controller/ActivePreset.h"
#include "controller/ControllerSettings.h"
#include "controller/ManualController.h"
#include "controller/PresetRecords.h"
#include "controller/PresetScenes.h"
#include "controls/BridgeBridgeClient.h"
#include "platform/HttpClient.h"
#include "platform/Log.h"
#include "support/FakeViews.h"
#include "support/SimulatedBridge.h"

using namespace glowmere;
using namespace glowmere::testing;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

TEST(SceneBench, RecallingASceneOfThirtyLampsIsOneRequestAgainstThirty) {
    SimulatedBridge::Options options;
    options.lamps = 30;
    options.groups = 0;
    SimulatedBridge sim(options);
    platform::LogCapture quiet;
    platform::SystemClock clock;
    platform::RunLoop loop(clock);
    loop.runPending();
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
    ManualController controller(loop, defaults, client, window, templates, settings);
    controller.awakeFromNib();
    controller.setUp();
    controller.stopBackgroundThreads();
    controller.presetNameEditingField().setStringValue("All thirty");
    controller.savePreset();
    defaults.setObject("presetTransition", "0");

    // The same preset kept on the bridge as a scene.
    BridgeScenes scenes(bridge);
    const Value list = presets::storedList(defaults);
    ASSERT_TRUE(presetscenes::setKeptOnBridge(defaults, list.at(0)[presets::idKey].textValue(), true));
    ASSERT_EQ(presetscenes::storeKeptPresets(scenes, defaults, std::nullopt).stored, 1);
    const std::string id = presets::storedList(defaults).at(0)[presetscenes::sceneIDKey].textValue();

    auto changes = [&] {
        std::size_t n = 0;
        for (const auto& r : sim.requestLog()) n += r.method != "GET";
        return n;
    };
    sim.clearRequestLog();
    auto start = Steady::now();
    ASSERT_TRUE(scenes.recall(id));
    const double recall = millisSince(start);
    const std::size_t sceneRequests = changes();

    sim.clearRequestLog();
    start = Steady::now();
    controller.implementPreset(0);
    while (changes() < 30 && millisSince(start) < 20000) std::this_thread::sleep_for(1ms);
    const double preset = millisSince(start);
    const std::size_t presetRequests = changes();

    std::printf(
        "30 lamps: the scene took %zu request in %.1f ms; the preset %zu requests, all on the bridge after "
        "%.1f ms\n",
        sceneRequests, recall, presetRequests, preset);
    EXPECT_EQ(sceneRequests, 1u);
    EXPECT_EQ(presetRequests, 30u);
}

TEST(SceneBench, FindingThePresetInEffectAmongTwentyForFiftyLamps) {
    Value lamps = Value::emptyList();
    for (int i = 1; i <= 50; ++i)
        lamps.append(Value::map({{"id", std::to_string(i)},
                                 {"onoff", "true"},
                                 {"brightness", std::to_string(100 + i)},
                                 {"colour", std::to_string(1000 * i)},
                                 {"saturation", "200"},
                                 {"state", Value::map({{"colormode", "hs"}})}}));
    // Twenty presets of every lamp; only the last one matches, so each is
    // compared as far as it goes.
    std::vector<Value> presetList;
    for (int p = 0; p < 20; ++p) {
        Value strips = Value::emptyList();
        for (int i = 1; i <= 50; ++i)
            strips.append(Value::map({{"id", std::to_string(i)},
                                      {"onoff", true},
                                      {"brightness", static_cast<double>(100 + i + (p == 19 ? 0 : (i == 50 ? 9 : 0)))},
                                      {"colour", 1000.0 * i},
                                      {"saturation", 55.0}}));
        presetList.push_back(Value::map({{"name", "Preset " + std::to_string(p)}, {"strips", strips}}));
    }

    platform::DefaultsStore defaults;
    defaults.setObject(presets::presetsKey, Value(Value::List(presetList.begin(), presetList.end())));

    // The least time a poll took over a few runs: the machine is shared.
    auto perPoll = [](const std::function<int()>& poll) {
        const int polls = 200;
        double best = 1e9;
        for (int run = 0; run < 5; ++run) {
            int inEffect = 0;
            const auto start = Steady::now();
            for (int n = 0; n < polls; ++n) inEffect += poll();
            best = std::min(best, millisSince(start) / polls);
            EXPECT_EQ(inEffect, polls) << "exactly one preset in effect each time";
        }
        return best;
    };
    // As a poll did before: the stored list read and each preset converted
    // every time, lamps looked up by identifier.
    const double before = perPoll([&] {
        const auto now = ActivePreset::readings(lamps);
        int found = 0;
        const Value stored = presets::storedList(defaults);
        for (const Value& preset : stored.asList())
            found += ActivePreset::matches(BridgeScenes::statesFromPreset(preset), now);
        return found;
    });
    // Converted once (until the presets change), compared by lamp slot.
    ActivePreset matcher;
    matcher.setPresets(presets::storedList(defaults));
    const double after = perPoll([&] { return static_cast<int>(matcher.inEffect(lamps).presets.size()); });

    std::printf(
        "the preset in effect among 20 presets of 50 lamps: %.3f ms a poll converting every time, %.3f ms "
        "with the presets kept converted (least of 5 runs)\n",
        before, after);
    expectWithinAim("matching ms a poll", after, 1.0);
}

}  // namespace
