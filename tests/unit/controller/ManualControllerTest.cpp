#include "controller/ManualController.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "support/FakeBridgeClient.h"
#include "support/FakeViews.h"
#include "support/TempDir.h"

using namespace glowmere;
using namespace std::chrono_literals;
using namespace glowmere::testing;

namespace {

class FakeScheduleEngine final : public ScheduleEngine {
public:
    explicit FakeScheduleEngine(platform::Clock& clock) : clock_(clock) {}
    bool requiresLocationManager() override { return needsLocation; }
    void matchBridgeWithInternal() override { ++matches; }
    void adjustTimes(std::stop_token stop) override {
        ++adjusters;
        while (clock_.sleepFor(1h, stop)) {
        }
    }
    void saveActions() override { ++saves; }

    bool needsLocation = false;
    std::atomic<int> matches{0}, adjusters{0}, saves{0};

private:
    platform::Clock& clock_;
};

Value lamp(const std::string& id, const std::string& label, const char* bri = "100", const char* sat = "254",
           const char* on = "true") {
    return Value::map(
        {{"id", id}, {"label", label}, {"onoff", on}, {"brightness", bri}, {"colour", "1000"}, {"saturation", sat}});
}

Value group(const std::string& id, const std::string& label) {
    return Value::map(
        {{"id", id}, {"label", label}, {"onoff", "false"}, {"brightness", "10"}, {"colour", "2"}, {"saturation", "5"}});
}

Value lamps(int n) {
    Value list = Value::emptyList();
    for (int i = 1; i <= n; ++i) list.append(lamp(std::to_string(i), "Lamp " + std::to_string(i)));
    return list;
}

// The controller runs on a loop of its own thread, as in the application;
// the test talks to it through postAndWait and moves the fake clock.
class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        loopThread_ = std::thread([this] { loop.run(); });
        onLoop([this] {
            controller = std::make_unique<ManualController>(loop, defaults, bridge, window, templates, settings);
            controller->setScheduleManager(&engine);
            controller->setApplication(&application);
            controller->setWorkspace(&workspace);
            controller->setLampsPopUp(&lampsPopUp);
            controller->setHelpPageURL("file:///usr/share/glowmere/support.html");
            controller->setLocationServiceStarter([this] { ++locationStarts; });
        });
    }
    void TearDown() override {
        onLoop([this] { controller.reset(); });
        loop.quit();
        loopThread_.join();
    }

    void onLoop(std::function<void()> task) { ASSERT_TRUE(loop.postAndWait(std::move(task))); }

    // Launch; with lamps on the bridge this builds the strips and starts the
    // polling loop, whose first cycle is waited for.
    void launch() {
        onLoop([this] {
            controller->awakeFromNib();
            controller->applicationDidFinishLaunching();
        });
        if (controller->isSetUp()) settle();
    }
    // Background threads asleep and whatever they posted has run.
    void settle() {
        ASSERT_TRUE(clock.waitForWaiters(runningWaiters));
        onLoop([] {});
    }
    // Waits until every thread sleeps on the clock (the loop included, so a
    // timer that falls due is run before the test looks), then moves time.
    void advance(platform::Clock::Duration d) {
        ASSERT_TRUE(clock.waitForWaiters(controller->isSetUp() ? runningWaiters : 1));
        clock.advance(d);
        onLoop([] {});
    }
    LampControlStrip* lampStrip(const std::string& id) {
        LampControlStrip* found = nullptr;
        onLoop([&] { found = controller->getStripWithID(id); });
        return found;
    }
    LampControlStrip* groupStrip(const std::string& id) {
        LampControlStrip* found = nullptr;
        onLoop([&] { found = controller->getGroupStripWithID(id); });
        return found;
    }
    int count(const std::string& call) {
        int n = 0;
        for (const auto& c : bridge.calls()) n += c == call;
        return n;
    }

    // The loop, the polling loop and the time adjustment.
    static constexpr std::size_t runningWaiters = 3;

    platform::FakeClock clock;
    platform::RunLoop loop{clock};
    platform::DefaultsStore defaults;
    FakeBridgeClient bridge;
    FakeMainWindow window;
    FakeViewTemplates templates;
    ControllerSettings settings;
    FakeApplication application;
    FakeWorkspace workspace;
    FakeScheduleEngine engine{clock};
    platform::PopUpButton lampsPopUp;
    std::atomic<int> locationStarts{0};
    std::unique_ptr<ManualController> controller;

private:
    std::thread loopThread_;
};

// ---- Building and laying out ----

TEST_F(ControllerTest, BuildsTaggedStripsInOrderWithTheAllStripLast) {
    bridge.setLights(lamps(3));
    bridge.setGroups(Value::list({group("1", "Upstairs"), group("7", "Kitchen")}));
    settings.makeAllGroup.setState(1);
    launch();

    onLoop([this] {
        const auto& strips = controller->collection();
        ASSERT_EQ(strips.size(), 6u);
        struct Expect {
            const char* id;
            bool group;
            int tag;
            double x;
            const char* label;
        } expected[] = {{"1", false, 0, 20, "Lamp 1"},   {"2", false, 1, 115, "Lamp 2"}, {"3", false, 2, 210, "Lamp 3"},
                        {"1", true, 1, 305, "Upstairs"}, {"7", true, 2, 400, "Kitchen"}, {"0", true, 3, 495, "All"}};
        for (std::size_t i = 0; i < strips.size(); ++i) {
            const auto& s = *strips[i];
            EXPECT_EQ(s.getID(), expected[i].id);
            EXPECT_EQ(s.isGroup(), expected[i].group);
            EXPECT_EQ(s.tag(), expected[i].tag);
            EXPECT_EQ(s.mainView()->frame().origin, (platform::Point{expected[i].x, 20})) << i;
            EXPECT_EQ(s.label()->stringValue(), expected[i].label);
            EXPECT_EQ(s.mainView()->superview(), &window.contentView());
            if (s.isGroup()) {
                EXPECT_EQ(s.groupLabel()->stringValue(), "Group");
            }
        }
        // Initial values from the lamp record, saturation inverted.
        EXPECT_EQ(strips[0]->satSlider()->doubleValue(), 1);
        EXPECT_EQ(strips[0]->brightnessSlider()->doubleValue(), 100);
        EXPECT_EQ(strips[0]->onoffButton()->state(), 1);
        EXPECT_EQ(strips[3]->onoffButton()->state(), 0);

        EXPECT_EQ(window.frame().size.width, 590 + 156);
        EXPECT_EQ(window.frame().origin, (platform::Point{100, 100}));
        EXPECT_EQ(controller->countLightStrips(), 3);
        EXPECT_EQ(controller->countGroupStrips(), 2);

        EXPECT_EQ(controller->IDforTagGroup(1, false), "2");
        EXPECT_EQ(controller->IDforTagGroup(1, true), "1");
        EXPECT_EQ(controller->IDforTagGroup(2, true), "7");
        EXPECT_EQ(controller->IDforTagGroup(0, true), "0");
        EXPECT_EQ(controller->IDforTagGroup(3, true), "0");
        EXPECT_EQ(controller->IDforTagGroup(3, false), std::nullopt);

        // One checkbox per strip in the right row, at x + 19 of its strip.
        auto* lampsRow = controller->lampSelectionView();
        auto* groupsRow = controller->groupSelectionView();
        EXPECT_TRUE(lampsRow->view().isHidden());
        EXPECT_EQ(lampsRow->view().subviews().size(), 3u);
        EXPECT_EQ(groupsRow->view().subviews().size(), 3u);
        EXPECT_EQ(lampsRow->checkboxWithTag(2)->frame().origin.x, 229);
        EXPECT_EQ(groupsRow->checkboxWithTag(3)->frame().origin.x, 514);
        EXPECT_EQ(lampsRow->view().frame().size.width, 590);
        EXPECT_EQ(window.contentView().subviews().size(), 8u);
    });
    EXPECT_EQ(lampsPopUp.items().back().title, "group: All");
    EXPECT_EQ(lampsPopUp.items().back().tag, 3);
    EXPECT_EQ(engine.matches, 1);
}

TEST_F(ControllerTest, LookupsKeepLampsAndGroupsApart) {
    bridge.setLights(Value::list({lamp("1", "Lamp")}));
    bridge.setGroups(Value::list({group("1", "Group one")}));
    launch();
    EXPECT_EQ(lampStrip("1")->label()->stringValue(), "Lamp");
    EXPECT_EQ(groupStrip("1")->label()->stringValue(), "Group one");
    EXPECT_EQ(groupStrip("0"), nullptr);
    EXPECT_EQ(lampStrip("9"), nullptr);
    onLoop([this] {
        EXPECT_EQ(controller->stripWithTag(0)->getID(), "1");
        EXPECT_EQ(controller->groupWithTag(1)->isGroup(), true);
        EXPECT_EQ(controller->groupWithTag(0), nullptr);
        EXPECT_EQ(controller->IDforTagGroup(0, true), "0") << "the whole bridge even without the All strip";
    });
    EXPECT_EQ(lampsPopUp.items().back().title, "group: All");
    EXPECT_EQ(lampsPopUp.items().back().tag, 0);
}

TEST_F(ControllerTest, WindowWidthFollowsTheStrips) {
    struct Case {
        int lamps;
        double width;
    } cases[] = {{1, 500}, {2, 500}, {3, 500}, {5, 651}};
    for (const auto& c : cases) {
        bridge.setLights(lamps(c.lamps));
        if (!controller->isSetUp())
            launch();
        else
            onLoop([this] { controller->refreshSetUp(); });
        onLoop([&] { EXPECT_EQ(window.frame().size.width, c.width) << c.lamps; });
    }
}

TEST_F(ControllerTest, FoldedStripsGatherAtTheLeft) {
    bridge.setLights(lamps(3));
    defaults.setObject("allowFold", true);
    defaults.setObject("UIState", Value::list({Value::map({{"ID", "2"}, {"folded", true}, {"group", false}}),
                                               Value::map({{"ID", "3"}, {"folded", true}, {"group", true}})}));
    launch();
    onLoop([this] {
        EXPECT_TRUE(controller->getStripWithID("2")->isRotated());
        EXPECT_FALSE(controller->getStripWithID("3")->isRotated()) << "the entry is for a group";
        EXPECT_EQ(controller->getStripWithID("2")->mainView()->frame().origin, (platform::Point{48, 363}));
        EXPECT_EQ(controller->getStripWithID("1")->mainView()->frame().origin, (platform::Point{48, 20}));
        EXPECT_EQ(controller->getStripWithID("3")->mainView()->frame().origin, (platform::Point{143, 20}));
        EXPECT_TRUE(controller->getStripWithID("3")->mainView()->lastMoveAnimated());
        auto* row = controller->lampSelectionView();
        EXPECT_EQ(row->view().frame().size.width, 238);
        EXPECT_EQ(row->checkboxWithTag(1)->frame().origin.x, 4);
        EXPECT_EQ(row->checkboxWithTag(0)->frame().origin.x, 67);
        EXPECT_EQ(window.frame().size.width, 500);
    });
}

TEST_F(ControllerTest, FoldingNeedsPermission) {
    bridge.setLights(lamps(2));
    defaults.setObject("UIState", Value::list({Value::map({{"ID", "2"}, {"folded", true}, {"group", false}})}));
    launch();
    EXPECT_EQ(defaults.objectForKey("allowFold"), Value(false)) << "written at first set-up";
    EXPECT_FALSE(lampStrip("2")->isRotated());
    onLoop([this] {
        defaults.setObject("allowFold", true);
        controller->getStripWithID("1")->getControlStripView()->mouseUp(2);
        EXPECT_TRUE(controller->getStripWithID("1")->isRotated());
    });
    EXPECT_TRUE(controller->getUIStateForGroupID(false, "1").value()["folded"].boolValue());
}

TEST_F(ControllerTest, MissingStripTemplateBuildsNothingAndDoesNotCrash) {
    templates.failStripTemplate = true;
    bridge.setLights(lamps(2));
    platform::LogCapture log;
    launch();
    onLoop([this] { EXPECT_TRUE(controller->collection().empty()); });
    EXPECT_TRUE(log.contains("strip template SingleControl could not be loaded"));
}

// ---- Start-up ----

TEST_F(ControllerTest, RetriesEveryThreeSecondsUntilTheBridgeHasLamps) {
    platform::LogCapture log;
    launch();
    EXPECT_FALSE(controller->isSetUp());
    EXPECT_EQ(log.count(ManualController::noLightsMessage), 1u);
    EXPECT_TRUE(window.throbber().animating());
    for (std::size_t n = 2; n <= 5; ++n) {
        advance(2999ms);
        EXPECT_EQ(log.count(ManualController::noLightsMessage), n - 1);
        advance(1ms);
        EXPECT_EQ(log.count(ManualController::noLightsMessage), n);
    }
    bridge.setLights(Value::emptyList());  // answers, but no lamps yet
    advance(3s);
    EXPECT_EQ(log.count(ManualController::noLightsMessage), 6u);

    bridge.setLights(lamps(2));
    advance(3s);
    settle();
    EXPECT_TRUE(controller->isSetUp());
    EXPECT_FALSE(window.throbber().animating());
    EXPECT_EQ(controller->pollingLoopsStarted(), 1);
    EXPECT_EQ(engine.adjusters, 1);
    advance(30s);
    EXPECT_EQ(log.count(ManualController::noLightsMessage), 6u);
    EXPECT_EQ(controller->pollingLoopsStarted(), 1);
}

TEST_F(ControllerTest, WaitsForTheMainWindowToLoad) {
    window.setWindowLoaded(false);
    bridge.setLights(lamps(1));
    launch();
    advance(1s);
    EXPECT_EQ(count("lightsArray"), 0);
    window.setWindowLoaded(true);
    advance(250ms);
    settle();
    EXPECT_TRUE(controller->isSetUp());
}

TEST_F(ControllerTest, LoadsSettingsFromTheDefaults) {
    settings.slSoundSensitivity.setDoubleValue(-20);
    defaults.setObject("listenerSensitivity", 0.0);
    defaults.setObject("makeAllGroup", false);
    bridge.setLights(lamps(1));
    launch();
    EXPECT_EQ(settings.slSoundSensitivity.doubleValue(), -20) << "0 leaves the slider alone";
    EXPECT_EQ(settings.soundOnPeriod.stringValue(), "5") << "absent leaves the field alone";
    EXPECT_EQ(defaults.doubleForKey("transitionMins"), 30);
    EXPECT_EQ(defaults.doubleForKey("presetTransition"), 0.5);
    EXPECT_EQ(defaults.objectForKey("transitionMins"), Value("30"));
    EXPECT_EQ(settings.transitionMins.stringValue(), "30");

    defaults.setObject("listenerSensitivity", -92.5);
    defaults.setObject("listenerOnPeriod", "12");
    defaults.setObject("soundTriggerDelay", "3");
    defaults.setObject("makeAllGroup", true);
    onLoop([this] { controller->refreshSetUp(); });
    EXPECT_EQ(settings.slSoundSensitivity.doubleValue(), -92.5);
    EXPECT_EQ(settings.soundOnPeriod.stringValue(), "12");
    EXPECT_EQ(settings.soundTriggerDelay.stringValue(), "3");
    EXPECT_EQ(settings.makeAllGroup.state(), 1);
    EXPECT_NE(groupStrip("0"), nullptr);

    // Stored NO never switches the checkbox off.
    defaults.setObject("makeAllGroup", false);
    onLoop([this] { controller->refreshSetUp(); });
    EXPECT_EQ(settings.makeAllGroup.state(), 1);
}

TEST_F(ControllerTest, QuitStoresTheFiveSettingsOnDisk) {
    TempDir dir;
    platform::DefaultsStore stored(dir.path());
    std::unique_ptr<ManualController> quitting;
    onLoop([&] {
        quitting = std::make_unique<ManualController>(loop, stored, bridge, window, templates, settings);
        quitting->setScheduleManager(&engine);
        quitting->awakeFromNib();
        quitting->populatePresetPullDown();
    });
    settings.slSoundSensitivity.setDoubleValue(-7.25);
    bool terminate = false;
    platform::LogCapture log;
    onLoop([&] { terminate = quitting->applicationShouldTerminate(); });
    EXPECT_TRUE(terminate);
    EXPECT_TRUE(log.contains("hub should terminate"));
    EXPECT_EQ(engine.saves, 1);

    platform::DefaultsStore reread(dir.path());
    EXPECT_EQ(reread.doubleForKey("listenerSensitivity"), -7.25);
    EXPECT_EQ(reread.objectForKey("listenerOnPeriod"), Value("5"));
    EXPECT_EQ(reread.objectForKey("soundTriggerDelay"), Value("1"));
    EXPECT_EQ(reread.objectForKey("soundTriggerPreset"), Value(0));
    EXPECT_EQ(reread.objectForKey("makeAllGroup"), Value(false));
    onLoop([&] { quitting.reset(); });
}

// ---- Status item and menu ----

std::vector<std::string> titles(const platform::Menu& menu) {
    std::vector<std::string> out;
    for (const auto& item : menu.items()) out.push_back(item.separator ? "-" : item.title);
    return out;
}

TEST_F(ControllerTest, StatusMenuWithoutPresets) {
    launch();
    EXPECT_EQ(titles(controller->statusMenu()),
              (std::vector<std::string>{"Turn all on", "Turn all off", "-", "-", "Show manual control"}));
    FakeStatusItem& item = application.statusItem;
    EXPECT_EQ(item.menu, &controller->statusMenu());
    EXPECT_EQ(item.title, "");
    EXPECT_EQ(item.image, "lightbulb_trans_Template");
    EXPECT_EQ(item.imageSize, (platform::Size{18, 18}));
    EXPECT_TRUE(item.imageIsTemplate);
    EXPECT_TRUE(item.highlight);
    EXPECT_EQ(settings.soundTriggerPreset.items().at(0).title, "No presets yet");

    onLoop([this] { controller->statusMenu().performActionForItemAtIndex(0); });
    onLoop([this] { controller->statusMenu().performActionForItemAtIndex(1); });
    EXPECT_EQ(bridge.changes(), (std::vector<std::string>{"allOn true", "allOn false"}));
    onLoop([this] { controller->statusMenu().performActionForItemAtIndex(4); });
    EXPECT_EQ(application.activations, 1);
    EXPECT_EQ(window.frontCount(), 1);
}

TEST_F(ControllerTest, StatusMenuAndChooserListThePresets) {
    defaults.setObject("presets", Value::list({Value::map({{"name", "Evening"}}), Value::map({{"name", "Film"}}),
                                               Value::map({{"name", "Bright"}})}));
    launch();
    EXPECT_EQ(titles(controller->statusMenu()),
              (std::vector<std::string>{"Turn all on", "Turn all off", "-", "Evening", "Film", "Bright", "-",
                                        "Show manual control"}));
    EXPECT_EQ(controller->statusMenu().items()[5].tag, 2);
    EXPECT_EQ(settings.soundTriggerPreset.selectedItem()->title, "Evening") << "first when never stored";

    defaults.setObject("soundTriggerPreset", 2);
    onLoop([this] { controller->refreshSetUp(); });
    EXPECT_EQ(settings.soundTriggerPreset.selectedItem()->title, "Bright");
    onLoop([this] { controller->statusMenu().performActionForItemAtIndex(4); });
    EXPECT_EQ(controller->lastSelectedPreset(), 1);
}

TEST_F(ControllerTest, HelpLocationAndPopovers) {
    engine.needsLocation = true;
    platform::LogCapture log;
    launch();
    onLoop([this] {
        controller->turnOnLocationManagerIfNecessary();
        controller->visitHelp();
    });
    EXPECT_EQ(log.count("turning on CoreLocation"), 1u);
    EXPECT_EQ(locationStarts, 1);
    EXPECT_EQ(workspace.urls, std::vector<std::string>{"file:///usr/share/glowmere/support.html"});

    ASSERT_EQ(templates.popovers.size(), 4u);
    struct Expect {
        platform::Size size;
        platform::Popover::Behavior behavior;
    } expected[] = {{{130, 87}, platform::Popover::Behavior::Transient},
                    {{220, 133}, platform::Popover::Behavior::ApplicationDefined},
                    {{214, 86}, platform::Popover::Behavior::ApplicationDefined},
                    {{253, 130}, platform::Popover::Behavior::ApplicationDefined}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(templates.popovers[i]->contentSize, expected[i].size);
        EXPECT_EQ(templates.popovers[i]->behavior, expected[i].behavior);
        EXPECT_TRUE(templates.popovers[i]->animates);
        EXPECT_TRUE(controller->popoverShouldClose(templates.popovers[i]));
    }
}

// ---- Rebuilds ----

TEST_F(ControllerTest, RebuildReappliesStoredSettingsAndStartsNoSecondLoop) {
    bridge.setLights(lamps(2));
    launch();
    defaults.setObject("soundTriggerDelay", "9");
    settings.soundTriggerDelay.setStringValue("changed but not stored");
    onLoop([this] { controller->refreshSetUp(); });
    EXPECT_EQ(settings.soundTriggerDelay.stringValue(), "9");
    EXPECT_EQ(controller->pollingLoopsStarted(), 1);
    EXPECT_EQ(engine.adjusters, 1);
    EXPECT_EQ(window.contentView().subviews().size(), 4u) << "old strip views are gone";
}

TEST_F(ControllerTest, PendingRetryIsDroppedWhenAnotherSetUpRuns) {
    platform::LogCapture log;
    launch();  // no lamps: a retry is pending
    bridge.setLights(lamps(2));
    onLoop([this] { controller->setUp(); });
    settle();
    int readsBefore = count("lightsArray");
    advance(3s);  // the dropped retry would have rebuilt here
    EXPECT_EQ(count("lightsArray"), readsBefore) << "only the polling loop reads, at 6 s";
    EXPECT_EQ(window.contentView().subviews().size(), 4u);
}

TEST_F(ControllerTest, RebuildAfterAnEmptyAnswerLeavesNoOrphanViews) {
    bridge.setLights(lamps(2));
    launch();
    bridge.setLights(std::nullopt);
    onLoop([this] { controller->refreshSetUp(); });
    EXPECT_EQ(window.contentView().subviews().size(), 2u) << "only the old selection rows";
    bridge.setLights(lamps(2));
    advance(3s);
    onLoop([this] { EXPECT_EQ(controller->collection().size(), 2u); });
    EXPECT_EQ(window.contentView().subviews().size(), 4u);
}

// ---- Polling ----

TEST_F(ControllerTest, AFourthLampCausesOneRebuildAndNoSecondLoop) {
    bridge.setLights(lamps(3));
    launch();
    platform::LogCapture log;
    bridge.setLights(lamps(4));
    int readsBefore = count("lightsArray");
    advance(6s);
    EXPECT_TRUE(log.contains("lightsArray has 4 lamps, 3 returned by bridgebridge"));
    onLoop([this] { EXPECT_EQ(controller->countLightStrips(), 4); });
    EXPECT_EQ(count("lightsArray"), readsBefore + 2) << "the cycle's read and the rebuild's";
    advance(6s);
    advance(6s);
    EXPECT_EQ(log.count("lightsArray has 4 lamps, 3 returned by bridgebridge"), 1u);
    EXPECT_EQ(count("lightsArray"), readsBefore + 4) << "one read per cycle: one loop";
    EXPECT_EQ(controller->pollingLoopsStarted(), 1);
}

TEST_F(ControllerTest, ANewGroupCausesARebuildAndARemovedLampDoesNot) {
    bridge.setLights(lamps(2));
    bridge.setGroups(Value::list({group("1", "A")}));
    launch();
    platform::LogCapture log;
    bridge.setGroups(Value::list({group("1", "A"), group("2", "B")}));
    bridge.setLights(lamps(1));
    advance(6s);
    EXPECT_TRUE(log.contains("groupsArray has 2 groups, 1 returned by bridgebridge"));
    onLoop([this] {
        EXPECT_EQ(controller->countGroupStrips(), 2);
        EXPECT_EQ(controller->countLightStrips(), 1) << "the rebuild reads the bridge anew";
    });
}

TEST_F(ControllerTest, ChangesElsewhereReachTheStripsOnTheNextCycle) {
    bridge.setLights(lamps(2));
    bridge.setGroups(Value::list({group("5", "Hall")}));
    bridge.setGroupSettings("5", Value::map({{"onoff", "true"}, {"brightness", "77"}}));
    launch();
    EXPECT_EQ(groupStrip("5")->brightnessSlider()->doubleValue(), 77) << "the first cycle runs at once";
    EXPECT_EQ(groupStrip("5")->onoffButton()->state(), 1);

    Value changed = lamps(2);
    changed.asList()[0] = lamp("1", "Renamed", "30", "200", "false");
    Value noSaturation = lamp("2", "Lamp 2", "60");
    noSaturation.erase("saturation");
    changed.asList()[1] = noSaturation;
    bridge.setLights(changed);
    bridge.clear();
    advance(6s);
    LampControlStrip* first = lampStrip("1");
    EXPECT_EQ(first->brightnessSlider()->doubleValue(), 30);
    EXPECT_EQ(first->satSlider()->doubleValue(), 55);
    EXPECT_EQ(first->onoffButton()->state(), 0);
    EXPECT_EQ(first->label()->stringValue(), "Renamed");
    EXPECT_EQ(lampStrip("2")->satSlider()->doubleValue(), 1) << "no saturation leaves the slider";
    EXPECT_EQ(lampStrip("2")->brightnessSlider()->doubleValue(), 60);
    EXPECT_TRUE(bridge.changes().empty()) << "polling never echoes back";
}

TEST_F(ControllerTest, AllStripUpdatesOrReportsItsAbsence) {
    bridge.setLights(lamps(1));
    bridge.setGroupSettings("0", Value::map({{"onoff", "true"}, {"brightness", "200"}, {"colour", "300"}}));
    launch();
    platform::LogCapture log;
    settings.makeAllGroup.setState(1);  // ticked, but no All strip until a rebuild
    advance(6s);
    EXPECT_EQ(log.count("can't find all group"), 1u);
    advance(6s);
    EXPECT_EQ(log.count("can't find all group"), 2u);
    onLoop([this] { controller->refreshSetUp(); });
    advance(6s);
    EXPECT_EQ(log.count("can't find all group"), 2u);
    EXPECT_EQ(groupStrip("0")->brightnessSlider()->doubleValue(), 200);
    EXPECT_EQ(groupStrip("0")->colourSlider()->doubleValue(), 300);
}

}  // namespace
