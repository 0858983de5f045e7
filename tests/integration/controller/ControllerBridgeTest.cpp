#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "bridge/BridgeBridge.h"
#include "controller/ManualController.h"
#include "controls/BridgeBridgeClient.h"
#include "platform/Clock.h"
#include "platform/HttpClient.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "support/FakeViews.h"
#include "support/SimulatedBridge.h"

using namespace glowmere;
using namespace std::chrono_literals;
using namespace glowmere::testing;
using nlohmann::json;

namespace {

// The main controller against the simulated bridge over loopback: real
// bridge client, real HTTP, virtual time for the waits.
class ControllerOnBridge : public ::testing::Test {
protected:
    static SimulatedBridge::Options house() {
        SimulatedBridge::Options options;
        options.lamps = 3;
        options.groups = 2;
        return options;
    }
    ControllerOnBridge() : ControllerOnBridge(house()) {}
    explicit ControllerOnBridge(SimulatedBridge::Options options) : sim(std::move(options)) {}

    void SetUp() override {
        clock.setSettleTimeout(10s);  // a polling cycle makes real requests
        defaults.setObject("username", sim.user());
        defaults.setObject("lastusedbridgeIP", sim.address());
        defaults.setObject("alwaysUseManualIP", true);
        loopThread_ = std::thread([this] { loop.run(); });
        if (launchesAtSetUp_) {
            launch();
            ASSERT_TRUE(controller->isSetUp());
            settle();
            sim.clearRequestLog();
        }
    }
    void launch() {
        onLoop([this] {
            controller = std::make_unique<ManualController>(loop, defaults, client, window, templates, settings);
            controller->awakeFromNib();
            controller->applicationDidFinishLaunching();
        });
    }
    void TearDown() override {
        onLoop([this] { controller.reset(); });
        loop.quit();
        loopThread_.join();
    }

    void onLoop(std::function<void()> task) { ASSERT_TRUE(loop.postAndWait(std::move(task))); }
    // The loop and the polling loop asleep; what polling posted has run.
    void settle() {
        ASSERT_TRUE(clock.waitForWaiters(2));
        onLoop([] {});
    }
    void advance(platform::Clock::Duration d) {
        settle();
        clock.advance(d);
        onLoop([] {});
    }
    // Moves the time on, a command's slot at a time, until every paced
    // command has gone out. (The queue's thread may start waiting only after
    // a single larger step, which would then never reach its deadline.)
    void sendPaced() {
        for (int i = 0; i < 200 && bridge.commandQueue().waitingCount() > 0; ++i) advance(100ms);
        bridge.waitForCommands();
    }
    LampControlStrip* lampStrip(const std::string& id) { return controller->getStripWithID(id); }
    LampControlStrip* groupStrip(const std::string& id) { return controller->getGroupStripWithID(id); }

    std::vector<SimRequest> requests(const std::string& method) {
        std::vector<SimRequest> out;
        for (auto& r : sim.requestLog())
            if (r.method == method) out.push_back(r);
        return out;
    }
    std::string userPath(const std::string& rest) { return "/api/" + sim.user() + "/" + rest; }
    json lampState(const std::string& id) {
        return json::parse(sim.userRequest("GET", "lights/" + id).value_or("{}"))["state"];
    }

    SimulatedBridge sim;
    platform::FakeClock clock;
    platform::RunLoop loop{clock};
    platform::DefaultsStore defaults;
    platform::CurlHttpClient http;
    BridgeBridge bridge{http, defaults, clock};
    BridgeBridgeClient client{bridge};
    FakeMainWindow window;
    FakeViewTemplates templates;
    ControllerSettings settings;
    std::unique_ptr<ManualController> controller;
    bool launchesAtSetUp_ = true;

private:
    std::thread loopThread_;
};

TEST_F(ControllerOnBridge, AFourthLampCausesOneRebuildAndNoSecondPollingLoop) {
    sim.queueNewLamps(1, 0, {"Porch"});
    sim.userRequest("POST", "lights");
    sim.advanceClock(1);
    platform::LogCapture log;
    advance(6s);
    EXPECT_TRUE(log.contains("lightsArray has 4 lamps, 3 returned by bridgebridge"));
    onLoop([this] {
        EXPECT_EQ(controller->countLightStrips(), 4);
        EXPECT_EQ(lampStrip("4")->label()->stringValue(), "Porch");
        EXPECT_EQ(lampStrip("4")->tag(), 3);
    });
    sim.clearRequestLog();
    advance(6s);
    auto lampListReads = [this] {
        std::size_t n = 0;
        for (const auto& r : requests("GET")) n += r.path == userPath("lights");
        return n;
    };
    EXPECT_EQ(lampListReads(), 1u) << "one cycle, one loop";
    EXPECT_EQ(log.count("lightsArray has 4 lamps, 3 returned by bridgebridge"), 1u);
    EXPECT_EQ(controller->pollingLoopsStarted(), 1);
}

class UnreachableBridge : public ControllerOnBridge {
protected:
    UnreachableBridge() { launchesAtSetUp_ = false; }
};

TEST_F(UnreachableBridge, SetUpRetriesEveryThreeSecondsUntilTheBridgeAnswers) {
    sim.closeWithoutReply(-1);
    platform::LogCapture log;
    launch();
    EXPECT_FALSE(controller->isSetUp());
    EXPECT_TRUE(window.throbber().animating());
    for (std::size_t n = 1; n <= 4; ++n) {
        EXPECT_EQ(log.count(ManualController::noLightsMessage), n);
        ASSERT_TRUE(clock.waitForWaiters(1));
        clock.advance(3s);
        onLoop([] {});
    }
    sim.clearFaults();
    ASSERT_TRUE(clock.waitForWaiters(1));
    clock.advance(3s);
    onLoop([] {});
    EXPECT_EQ(log.count(ManualController::noLightsMessage), 5u);
    EXPECT_TRUE(controller->isSetUp());
    EXPECT_FALSE(window.throbber().animating());
    onLoop([this] { EXPECT_EQ(controller->collection().size(), 5u); });
    EXPECT_EQ(controller->pollingLoopsStarted(), 1);
}

// A house of 50 lamps and 10 groups: start-up and polling ask the bridge
// for its lists, not for each lamp and group.
class FiftyLamps : public ControllerOnBridge {
protected:
    static SimulatedBridge::Options options(bool namesOnly) {
        SimulatedBridge::Options o;
        o.lamps = 50;
        o.groups = 10;
        o.namesOnly = namesOnly;
        return o;
    }
    explicit FiftyLamps(bool namesOnly = false) : ControllerOnBridge(options(namesOnly)) { launchesAtSetUp_ = false; }
    std::vector<std::string> wire() {
        std::vector<std::string> out;
        for (const auto& r : sim.requestLog())
            out.push_back(r.method + " " + r.path.substr(std::min(r.path.size(), userPath("").size())));
        return out;
    }
};

TEST_F(FiftyLamps, StartUpTakesAFewRequestsAndAPollingCycleTwo) {
    sim.clearRequestLog();
    launch();
    ASSERT_TRUE(controller->isSetUp());
    settle();
    auto startUp = wire();
    EXPECT_LE(startUp.size(), 10u) << ::testing::PrintToString(startUp);
    EXPECT_EQ(std::count(startUp.begin(), startUp.end(), "GET lights"), 1);
    onLoop([this] { EXPECT_EQ(controller->collection().size(), 60u); });

    sim.clearRequestLog();
    sim.changeLamp("50", R"({"bri":12})");
    sim.changeLamp("1", R"({"on":false,"bri":200})");
    advance(6s);
    EXPECT_EQ(wire(), (std::vector<std::string>{"GET lights", "GET groups"}));
    onLoop([this] {
        EXPECT_EQ(lampStrip("50")->brightnessSlider()->doubleValue(), 12);
        EXPECT_EQ(groupStrip("1")->brightnessSlider()->doubleValue(), 200) << "the group's action, from its list";
    });
}

class ThirtyLamps : public ControllerOnBridge {
protected:
    static SimulatedBridge::Options options() {
        SimulatedBridge::Options o;
        o.lamps = 30;
        o.groups = 0;
        return o;
    }
    ThirtyLamps() : ControllerOnBridge(options()) {}
};

// A preset sends thirty lamps' values at ten a second; a drag of one of them
// meanwhile still leaves that lamp where the slider was let go.
TEST_F(ThirtyLamps, ADragDuringAPresetReachesItsLampWithItsReleasedValue) {
    onLoop([this] {
        for (int i = 1; i <= 30; ++i)
            bridge.sendSettingsToLamp(Value::map({{"onoff", true}, {"brightness", 100}, {"transitiontime", 0}}),
                                      std::to_string(i));
        auto* slider = lampStrip("5")->brightnessSlider();
        for (int position : {10, 60, 120, 180, 240}) {
            slider->setDoubleValue(position);
            slider->sendAction();
        }
    });
    EXPECT_LT(requests("PUT").size(), 5u) << "the rest wait their turn";
    sendPaced();
    auto puts = requests("PUT");
    EXPECT_EQ(puts.size(), 31u) << "the preset's thirty, then the drag's newest value";
    EXPECT_EQ(puts.back().path, userPath("lights/5/state"));
    for (int i = 1; i <= 30; ++i) EXPECT_EQ(lampState(std::to_string(i))["bri"], i == 5 ? 240 : 100) << i;
}

class FiftyLampsOnAnOlderBridge : public FiftyLamps {
protected:
    FiftyLampsOnAnOlderBridge() : FiftyLamps(true) {}
};

TEST_F(FiftyLampsOnAnOlderBridge, ListsOfNamesAreReadMemberByMember) {
    launch();
    ASSERT_TRUE(controller->isSetUp());
    settle();
    sim.changeLamp("50", R"({"bri":12})");
    sim.clearRequestLog();
    advance(6s);
    EXPECT_EQ(wire().size(), 1u + 50u + 1u + 10u);
    onLoop([this] {
        EXPECT_EQ(controller->collection().size(), 60u);
        EXPECT_EQ(lampStrip("50")->brightnessSlider()->doubleValue(), 12);
    });
}

TEST_F(ControllerOnBridge, BuildsOneStripPerLampAndGroupWithoutChangingTheBridge) {
    onLoop([this] {
        ASSERT_EQ(controller->collection().size(), 5u);
        EXPECT_EQ(controller->countLightStrips(), 3);
        EXPECT_EQ(controller->countGroupStrips(), 2);
        EXPECT_EQ(lampStrip("1")->label()->stringValue(), "Hall");
        EXPECT_EQ(lampStrip("2")->label()->stringValue(), "Küche");
        EXPECT_EQ(groupStrip("2")->tag(), 2);
        EXPECT_EQ(lampStrip("1")->onoffButton()->state(), 1) << "odd lamps start on";
        EXPECT_EQ(lampStrip("2")->onoffButton()->state(), 0);
        EXPECT_EQ(window.frame().size.width, 20 + 5 * 95 + 156);
    });
    advance(6s);
    EXPECT_TRUE(requests("PUT").empty()) << "polling never writes";
    EXPECT_FALSE(requests("GET").empty());
}

TEST_F(ControllerOnBridge, MovingAColourSliderSendsOneRequestWithAllThreeValues) {
    onLoop([this] {
        LampControlStrip* strip = lampStrip("1");
        strip->brightnessSlider()->setDoubleValue(150);
        strip->satSlider()->setDoubleValue(55);
        strip->colourSlider()->setDoubleValue(40000);
        strip->colourSlider()->sendAction();
    });
    auto puts = requests("PUT");
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].path, userPath("lights/1/state"));
    json body = json::parse(puts[0].body);
    EXPECT_EQ(body["bri"], 150);
    EXPECT_EQ(body["hue"], 40000);
    EXPECT_EQ(body["sat"], 200);
    EXPECT_FALSE(body.contains("ct")) << "a bridge takes ct over hue and saturation";
    json state = lampState("1");
    EXPECT_EQ(state["hue"], 40000);
    EXPECT_EQ(state["sat"], 200);
    EXPECT_EQ(state["colormode"], "hs");

    // A lamp made white elsewhere stays white while its brightness is dragged.
    sim.changeLamp("3", R"({"ct":250})");
    advance(12s);
    sim.clearRequestLog();
    onLoop([this] {
        lampStrip("3")->brightnessSlider()->setDoubleValue(90);
        lampStrip("3")->brightnessSlider()->sendAction();
    });
    sendPaced();
    puts = requests("PUT");
    ASSERT_EQ(puts.size(), 1u);
    body = json::parse(puts[0].body);
    EXPECT_EQ(body["bri"], 90);
    EXPECT_FALSE(body.contains("hue") || body.contains("sat")) << body;
    EXPECT_EQ(lampState("3")["colormode"], "ct");
}

TEST_F(ControllerOnBridge, SwitchingALampOnSendsTheSwitchThenAllValues) {
    onLoop([this] {
        LampControlStrip* strip = lampStrip("2");
        strip->onoffButton()->setState(1);
        strip->onoffButton()->sendAction();
    });
    sendPaced();  // the second command waits its turn: ten a second
    auto puts = requests("PUT");
    ASSERT_EQ(puts.size(), 2u);
    EXPECT_EQ(puts[0].path, userPath("lights/2/state"));
    EXPECT_EQ(json::parse(puts[0].body), json::parse(R"({"on":true})"));
    json second = json::parse(puts[1].body);
    EXPECT_TRUE(second.contains("bri") && second.contains("hue") && second.contains("sat")) << puts[1].body;
    EXPECT_EQ(lampState("2")["on"], true);

    sim.clearRequestLog();
    onLoop([this] { lampStrip("2")->switchOff(); });
    sendPaced();
    puts = requests("PUT");
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(json::parse(puts[0].body), json::parse(R"({"on":false})"));
}

TEST_F(ControllerOnBridge, AGroupSliderSendsToTheGroupOnlyAndMovesItsMembers) {
    json group = json::parse(sim.userRequest("GET", "groups/1").value_or("{}"));
    std::vector<std::string> members = group["lights"].get<std::vector<std::string>>();
    ASSERT_FALSE(members.empty());
    std::map<std::string, double> before;
    onLoop([&] {
        for (const char* id : {"1", "2", "3"}) before[id] = lampStrip(id)->brightnessSlider()->doubleValue();
        LampControlStrip* strip = groupStrip("1");
        strip->brightnessSlider()->setDoubleValue(37);
        strip->brightnessSlider()->sendAction();
    });
    auto puts = requests("PUT");
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].path, userPath("groups/1/action"));
    EXPECT_EQ(json::parse(puts[0].body)["bri"], 37);
    onLoop([&] {
        for (const char* id : {"1", "2", "3"}) {
            bool member = std::find(members.begin(), members.end(), id) != members.end();
            EXPECT_EQ(lampStrip(id)->brightnessSlider()->doubleValue(), member ? 37 : before[id]) << id;
        }
    });
}

TEST_F(ControllerOnBridge, AChangeMadeElsewhereArrivesWithinOneCycleButNotDuringThePause) {
    sim.changeLamp("3", R"({"bri":33,"hue":1234})");
    advance(6s);
    onLoop([this] {
        EXPECT_EQ(lampStrip("3")->brightnessSlider()->doubleValue(), 33);
        EXPECT_EQ(lampStrip("3")->colourSlider()->doubleValue(), 1234);
    });

    advance(2s);  // cycles fall at 6 s steps; the pause runs 5 s from here
    onLoop([this] {
        lampStrip("1")->colourSlider()->setDoubleValue(500);
        lampStrip("1")->colourSlider()->sendAction();
    });
    sim.changeLamp("3", R"({"bri":44})");
    sim.clearRequestLog();
    advance(4s);
    EXPECT_TRUE(requests("GET").empty()) << "the paused cycle reads nothing";
    onLoop([this] { EXPECT_EQ(lampStrip("3")->brightnessSlider()->doubleValue(), 33); });
    advance(6s);
    onLoop([this] { EXPECT_EQ(lampStrip("3")->brightnessSlider()->doubleValue(), 44); });
}

TEST_F(ControllerOnBridge, AllOffReachesTheStripsAtOnceAndStaysAfterTheNextCycle) {
    onLoop([this] { controller->statusMenu().performActionForItemAtIndex(1); });
    auto puts = requests("PUT");
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].path, userPath("groups/0/action"));
    for (auto wait : {0s, 6s}) {
        advance(wait);
        onLoop([this] {
            for (const char* id : {"1", "2", "3"}) EXPECT_EQ(lampStrip(id)->onoffButton()->state(), 0) << id;
        });
    }
}

TEST_F(ControllerOnBridge, APresetRestoresEveryLampOverItsTransition) {
    sim.setClock("2026-01-13T12:00:00Z");
    sim.changeLamp("3", R"({"bri":200,"hue":30000,"sat":90})");
    advance(6s);
    onLoop([this] {
        controller->presetNameEditingField().setStringValue("Evening");
        controller->savePreset();
    });
    std::map<std::string, json> saved;
    for (const char* id : {"1", "2", "3"}) saved[id] = lampState(id);
    ASSERT_EQ(saved["2"]["on"], false);

    // Changed elsewhere: switched over and recoloured.
    sim.changeLamp("1", R"({"on":false})");
    sim.changeLamp("2", R"({"on":true,"bri":5,"hue":40000,"sat":10})");
    sim.changeLamp("3", R"({"bri":1,"hue":1,"sat":1})");
    advance(6s);

    struct {
        const char* what;
        std::optional<double> presetTransition;  // the preset's own; else "presetTransition" = 3
        int tenths;
    } cases[] = {{"the preset's own transition", 1.5, 15}, {"no transition of its own", std::nullopt, 30}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Value list = defaults.objectForKey("presets");
        if (c.presetTransition)
            list.asList()[0].set("transition", *c.presetTransition);
        else
            list.asList()[0].erase("transition");
        defaults.setObject("presets", list);
        defaults.setObject("presetTransition", "3");
        sim.clearRequestLog();
        onLoop([this] {
            controller->presetsChangedElsewhere();
            controller->implementPreset(0);
        });
        sendPaced();
        auto puts = requests("PUT");
        ASSERT_EQ(puts.size(), 3u) << "one timed request per lamp";
        for (std::size_t i = 0; i < 3; ++i) {
            const std::string id = std::to_string(i + 1);
            EXPECT_EQ(puts[i].path, userPath("lights/" + id + "/state")) << "in strip order";
            json body = json::parse(puts[i].body);
            EXPECT_EQ(body["transitiontime"], c.tenths) << id;
            EXPECT_EQ(body["on"], saved[id]["on"]) << id;
            for (const char* key : {"bri", "hue", "sat"}) EXPECT_EQ(body[key], saved[id][key]) << id << " " << key;
        }
        sim.advanceClock(c.tenths / 10.0 + 0.5);
        for (const char* id : {"1", "2", "3"})
            for (const char* key : {"on", "bri", "hue", "sat"})
                EXPECT_EQ(lampState(id)[key], saved[id][key]) << id << " " << key;
        // Moved again for the next case.
        sim.changeLamp("2", R"({"on":true,"bri":5})");
        sim.changeLamp("3", R"({"bri":1})");
        advance(6s);
    }
    EXPECT_EQ(controller->lastSelectedPreset(), 0);
}

}  // namespace
