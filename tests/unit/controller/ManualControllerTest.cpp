#include "controller/ManualController.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "controller/MicListener.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "support/FakeBridgeClient.h"
#include "support/FakeUi.h"
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
    // polling loop, which waits for its first cycle.
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
    EXPECT_EQ(reread.objectForKey("soundTriggerPreset"), Value("")) << "no preset to keep";
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
    launch();
    EXPECT_EQ(count("lightsArray"), 1) << "no cycle right after set-up";
    Value hall = group("5", "Hall");
    hall.set("onoff", true);
    hall.set("brightness", "77");
    bridge.setGroups(Value::list({hall}));
    advance(6s);
    EXPECT_EQ(groupStrip("5")->brightnessSlider()->doubleValue(), 77) << "a group's settings come from its list";
    EXPECT_EQ(groupStrip("5")->onoffButton()->state(), 1);
    EXPECT_EQ(count("settingsForGroup 5"), 0);

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

// ---- Presets ----

class FakeTable final : public platform::TableView {
public:
    void setDataSource(platform::TableViewDataSource* source) override { source_ = source; }
    void reloadData() override {
        rows.clear();
        for (int r = 0, n = source_->numberOfRowsInTableView(this); r < n; ++r)
            rows.push_back(source_->tableViewObjectValueForTableColumnRow(this, "name", r) + "|" +
                           source_->tableViewObjectValueForTableColumnRow(this, "transition", r));
    }
    int selectedRow() const override { return selected; }
    void editColumnRowWithEventSelect(int column, int row, bool) override { editing = {column, row}; }
    // What finishing an edit in the window does.
    void edit(const std::string& column, const std::string& text) {
        source_->tableViewSetObjectValueForTableColumnRow(this, text, column, selected);
    }

    std::vector<std::string> rows;
    int selected = -1;
    std::pair<int, int> editing{-1, -1};

private:
    platform::TableViewDataSource* source_ = nullptr;
};

Value strip(Value id, bool on, double bri, double colour = 1000, double satPosition = 1) {
    return Value::map({{"id", std::move(id)},
                       {"label", "stored label"},
                       {"onoff", on},
                       {"brightness", bri},
                       {"colour", colour},
                       {"saturation", satPosition}});
}

class PresetTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        onLoop([this] {
            controller->setAlerts(&alerts);
            controller->setPresetOption1Panel(&questionPanel);
            controller->setPresetNamingPanel(&namingPanel);
            controller->setPresetManagementPanel(&managementPanel);
            controller->setPresetManagementTable(&table);
        });
    }
    Value stored() { return defaults.objectForKey("presets"); }
    std::vector<std::string> menu() {
        std::vector<std::string> out;
        onLoop([&] { out = titles(controller->presetPullDown()); });
        return out;
    }

    FakeAlerts alerts;
    FakeWindow questionPanel, namingPanel, managementPanel;
    FakeTable table;
};

TEST_F(PresetTest, SavingAsksWhetherToUpdateThePresetAppliedLast) {
    bridge.setLights(lamps(2));
    bridge.setGroups(Value::list({group("1", "Upstairs")}));
    launch();
    EXPECT_EQ(menu(), (std::vector<std::string>{"Presets", "Manage presets...", "-", "No presets yet"}));

    // Nothing applied since set-up: straight to the naming panel.
    onLoop([this] { controller->savePresetStep1(); });
    EXPECT_TRUE(namingPanel.isVisible());
    EXPECT_EQ(questionPanel.frontCount(), 0);
    controller->presetNameEditingField().setStringValue("Evening");
    onLoop([this] { controller->presetNamingPanelOK(); });
    EXPECT_FALSE(namingPanel.isVisible());
    ASSERT_EQ(stored().size(), 1u);
    Value evening = stored().at(0);
    EXPECT_EQ(evening["name"], Value("Evening"));
    EXPECT_EQ(evening["ID"].textValue().size(), 14u);
    EXPECT_FALSE(evening.contains("transition"));
    EXPECT_EQ(evening["strips"].size(), 2u) << "lamp strips only, not the group's";
    EXPECT_EQ(evening["strips"].at(1)["id"], Value("2"));
    EXPECT_EQ(menu(), (std::vector<std::string>{"Presets", "Manage presets...", "-", "Evening"}));
    EXPECT_EQ(titles(controller->statusMenu()).at(3), "Evening");
    EXPECT_EQ(settings.soundTriggerPreset.selectedItem()->title, "Evening");

    onLoop([this] { controller->presetPullDown().performActionForItemAtIndex(3); });
    EXPECT_EQ(controller->lastSelectedPreset(), 0);
    onLoop([this] { controller->savePresetStep1(); });
    EXPECT_TRUE(questionPanel.isVisible());
    EXPECT_EQ(controller->presetOption1Text().stringValue(),
              "Would you like to apply these changes to the last selected preset: 'Evening' - or create a new one?");
    lampStrip("1")->brightnessSlider()->setDoubleValue(42);
    onLoop([this] { controller->presetStep1PanelOK(); });
    EXPECT_FALSE(questionPanel.isVisible());
    ASSERT_EQ(stored().size(), 1u);
    EXPECT_EQ(stored().at(0)["strips"].at(0)["brightness"], Value(42.0));
    EXPECT_EQ(stored().at(0)["ID"], evening["ID"]);

    // "New" instead: the naming panel with an empty field; an empty name is accepted.
    controller->presetNameEditingField().setStringValue("left over");
    onLoop([this] {
        controller->savePresetStep1();
        controller->savePresetStep1CreateNew();
    });
    EXPECT_EQ(controller->presetNameEditingField().stringValue(), "");
    onLoop([this] { controller->presetNamingPanelOK(); });
    EXPECT_EQ(stored().size(), 2u);
    EXPECT_EQ(stored().at(1)["name"], Value(""));
    onLoop([this] {
        controller->showPresetNamingPanel();
        controller->presetNamingPanelCancel();
    });
    EXPECT_EQ(stored().size(), 2u) << "cancel saves nothing";
}

TEST_F(PresetTest, ManagementTableRenamesRetimesAndDeletes) {
    bridge.setLights(lamps(1));
    defaults.setObject("presets", Value::list({Value::map({{"name", "A"}}), Value::map({{"name", "B"}}),
                                               Value::map({{"name", "C"}})}));
    defaults.setObject("soundTriggerPreset", 1);
    launch();
    onLoop([this] {
        controller->showPresetManagementPanel();
        controller->implementPreset(2);
    });
    EXPECT_TRUE(managementPanel.isVisible());
    EXPECT_EQ(table.rows, (std::vector<std::string>{"A|", "B|", "C|"}));

    table.selected = 0;
    struct {
        const char* column;
        const char* typed;
        const char* shown;
    } edits[] = {{"transition", "2.5", "Dawn|2.5"}, {"transition", "abc", "Dawn|"}, {"transition", "0", "Dawn|"}};
    onLoop([this] { table.edit("name", "Dawn"); });
    for (const auto& e : edits) {
        onLoop([&] { table.edit(e.column, e.typed); });
        EXPECT_EQ(table.rows.at(0), e.shown) << e.typed;
    }
    EXPECT_EQ(stored().at(0)["transition"], Value(0.0)) << "not a number stores 0";
    EXPECT_EQ(titles(controller->statusMenu()).at(3), "Dawn");

    table.selected = 1;
    onLoop([this] { controller->renamePreset(); });
    EXPECT_EQ(table.editing, (std::pair<int, int>{0, 1}));

    table.selected = 0;
    alerts.queueAnswer(platform::AlertResponse::Alternate);
    onLoop([this] { controller->deletePreset(); });
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown()[0].message, "Delete the preset Dawn?");
    EXPECT_EQ(alerts.shown()[0].defaultButton, "Delete");
    EXPECT_EQ(stored().size(), 3u) << "cancelled";
    onLoop([this] { controller->deletePreset(); });
    EXPECT_EQ(table.rows, (std::vector<std::string>{"B|", "C|"}));
    EXPECT_EQ(menu(), (std::vector<std::string>{"Presets", "Manage presets...", "-", "B", "C"}));
    // An older profile's index is read once and kept as the name from then on.
    EXPECT_EQ(settings.soundTriggerPreset.selectedItem()->title, "B") << "kept by name, not by position";
    EXPECT_EQ(defaults.objectForKey("soundTriggerPreset"), Value("B"));
    EXPECT_EQ(controller->lastSelectedPreset(), 2) << "an index: deleting does not move it";
    table.selected = -1;
    onLoop([this] { controller->deletePreset(); });
    EXPECT_EQ(alerts.shown().size(), 2u) << "no row selected: nothing asked";
}

TEST_F(PresetTest, ApplyingTakesThePresetsTransitionElseTheDefault) {
    bridge.setLights(lamps(3));
    defaults.setObject("presetTransition", "2");
    defaults.setObject(
        "presets",
        Value::list(
            {Value::map(
                 {{"name", "Instant"}, {"transition", 0}, {"strips", Value::list({strip(3, true, 200, 5, 55)})}}),
             Value::map({{"name", "Slow"}, {"strips", Value::list({strip("1", false, 9), strip("9", true, 50)})}})}));
    launch();
    bridge.clear();
    onLoop([this] { controller->implementPreset(0); });
    ASSERT_EQ(bridge.sentSettings().size(), 1u);
    EXPECT_EQ(
        bridge.sentSettings()[0],
        Value::map(
            {{"onoff", true}, {"brightness", 200.0}, {"saturation", 200}, {"colour", 5.0}, {"transitiontime", 0.0}}));
    EXPECT_EQ(bridge.changes()[0].rfind("sendSettingsToLamp 3 ", 0), 0u) << "a numeric id finds lamp 3";
    EXPECT_EQ(lampStrip("3")->brightnessSlider()->doubleValue(), 200) << "under a second: controls move at once";
    EXPECT_EQ(lampStrip("3")->label()->stringValue(), "Lamp 3") << "a preset never renames";

    bridge.clear();
    onLoop([this] { controller->implementPreset(1); });
    ASSERT_EQ(bridge.sentSettings().size(), 1u) << "lamp 9 is gone and passed over";
    EXPECT_EQ(
        bridge.sentSettings()[0],
        Value::map(
            {{"onoff", false}, {"brightness", 9.0}, {"saturation", 254}, {"colour", 1000.0}, {"transitiontime", 2.0}}))
        << "the stored switch is honoured; an on lamp keeps the values for later";
    EXPECT_EQ(lampStrip("1")->onoffButton()->state(), 1) << "two seconds: polling moves the controls";
    EXPECT_EQ(controller->lastSelectedPreset(), 1);
    onLoop([this] { controller->implementPreset(7); });
    EXPECT_EQ(controller->lastSelectedPreset(), 1) << "an index outside the list does nothing";
}

// ---- Sound trigger and listening ----

class FakeRecorder final : public platform::AudioRecorder {
public:
    bool prepareToRecord() override { return true; }
    void setMeteringEnabled(bool on) override { metering = on; }
    bool record() override {
        ++records;
        recording = works.load();
        return works;
    }
    void stop() override { recording = false; }
    bool isRecording() const override { return recording; }
    void updateMeters() override { ++updates; }
    float averagePowerForChannel(int channel) const override {
        askedChannel = channel;
        return level;
    }
    int numberOfChannels() const override { return 2; }

    std::atomic<float> level{-90};
    std::atomic<bool> works{true}, recording{false}, metering{false};
    std::atomic<int> records{0}, updates{0};
    mutable std::atomic<int> askedChannel{-1};
};

class FakeAudioInput final : public platform::AudioInput {
public:
    std::unique_ptr<platform::AudioRecorder> makeRecorder(const platform::AudioRecorderSettings&) override {
        if (!present) return nullptr;
        auto recorder = std::make_unique<FakeRecorder>();
        made = recorder.get();
        return recorder;
    }
    bool present = true;
    FakeRecorder* made = nullptr;
};

class FakeNotifications final : public platform::DistributedNotificationCenter {
public:
    void postNotificationNameObject(const std::string& name, const std::string& object) override {
        std::lock_guard g(mutex_);
        posted.push_back(name + " " + object);
    }
    std::size_t count() {
        std::lock_guard g(mutex_);
        return posted.size();
    }
    std::vector<std::string> posted;

private:
    std::mutex mutex_;
};

class SoundTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        // Lamps at 100; the preset "Alarm" puts them to 254 at once.
        bridge.setLights(lamps(2));
        defaults.setObject(
            "presets",
            Value::list({Value::map({{"name", "Alarm"},
                                     {"transition", 0},
                                     {"strips", Value::list({strip("1", true, 254), strip("2", true, 254)})}})}));
        settings.slSoundSensitivity.setDoubleValue(-20);
        settings.soundTriggerDelay.setStringValue("0");
        settings.soundOnPeriod.setStringValue("5");
        onLoop([this] {
            listener = std::make_unique<MicListener>(loop);
            listener->setAudioInput(&input);
            listener->setSensitivitySlider(&settings.slSoundSensitivity);
            listener->setSoundTriggerDelayField(&settings.soundTriggerDelay);
            listener->setMainToolbarListenButton(&listenButton);
            listener->setManualController(controller.get());
            listener->setNotificationCenter(&notifications);
            controller->setMicListener(listener.get());
            controller->setListenToolbarButton(&listenButton);
            controller->setListenOption1Panel(&countdownPanel);
        });
    }
    void launch() {
        onLoop([this] { listener->awakeFromNib(); });
        ControllerTest::launch();
    }
    void TearDown() override {
        onLoop([this] { listener.reset(); });
        ControllerTest::TearDown();
    }
    // Armed at once, as a schedule does it.
    void listen(bool on) {
        onLoop([this, on] {
            listenButton.setState(on ? 1 : 0);
            listener->handleControl(&listenButton);
        });
    }
    // One tick at `level`, then quiet again.
    void hear(float level) {
        input.made->level = level;
        advance(100ms);
        input.made->level = -90;
    }
    std::size_t timedRequests() {
        std::size_t n = 0;
        for (const auto& s : bridge.sentSettings()) n += s.contains("transitiontime");
        return n;
    }
    std::size_t restoreRequests() { return bridge.sentSettings().size() - timedRequests(); }
    // Waits for the countdown thread too before moving time.
    void advanceCountingDown(platform::Clock::Duration d) {
        ASSERT_TRUE(clock.waitForWaiters(runningWaiters + 1));
        clock.advance(d);
        onLoop([] {});
    }

    FakeAudioInput input;
    FakeNotifications notifications;
    platform::Button listenButton;
    FakeWindow countdownPanel;
    std::unique_ptr<MicListener> listener;
};

TEST_F(SoundTest, OnlyALevelAboveTheThresholdWhileArmedAnnouncesAndTriggers) {
    launch();
    struct {
        const char* what;
        float level;
        bool armed;
        bool triggers;
    } cases[] = {{"equal to the threshold", -20, true, false},
                 {"above, listening off (the settings window measuring)", -19.5f, false, false},
                 {"above and armed", -19.5f, true, true}};
    for (const auto& c : cases) {
        onLoop([&] {
            listenButton.setState(c.armed ? 1 : 0);
            listener->start();
        });
        hear(c.level);
        EXPECT_EQ(listener->floatValue(), c.level) << c.what;
        EXPECT_EQ(input.made->askedChannel, 1) << "the second of two channels";
        EXPECT_EQ(notifications.count(), c.triggers ? 1u : 0u) << c.what;
        EXPECT_EQ(controller->savedPresetDict().has_value(), c.triggers) << c.what;
        listen(false);
        onLoop([this] { controller->stripDidChange(); });
    }
    EXPECT_EQ(notifications.posted.at(0), "GlowmereSoundDetected Glowmere");
    EXPECT_FALSE(listener->isMeasuring());
}

TEST_F(SoundTest, TwoSoundsApplyThePresetOnceAndRestoreAFullPeriodAfterTheSecond) {
    launch();
    bridge.clear();
    listen(true);
    hear(-10);
    EXPECT_EQ(timedRequests(), 2u) << "the preset, once per lamp";
    bridge.setLights(Value::list({lamp("1", "Lamp 1", "254"), lamp("2", "Lamp 2", "254")}));
    listen(false);  // a trigger outlives disarming

    advance(2min);
    listen(true);
    hear(-10);
    hear(-5);
    listen(false);
    EXPECT_EQ(notifications.count(), 3u);
    EXPECT_EQ(timedRequests(), 2u) << "not applied again";

    advance(5min - 1s);
    EXPECT_EQ(restoreRequests(), 0u);
    EXPECT_TRUE(controller->restorePending());
    advance(1s);
    EXPECT_FALSE(controller->restorePending());
    EXPECT_FALSE(controller->savedPresetDict().has_value());
    ASSERT_GE(restoreRequests(), 2u);
    EXPECT_EQ(bridge.sentSettings().back()["brightness"], Value(100.0)) << "back to the lamps before the first sound";
    EXPECT_EQ(lampStrip("1")->brightnessSlider()->doubleValue(), 100);
}

TEST_F(SoundTest, TurnAllOnDuringTheOnPeriodCancelsTheRestore) {
    launch();
    listen(true);
    hear(0);
    listen(false);
    ASSERT_TRUE(controller->restorePending());
    bridge.clear();
    onLoop([this] { controller->statusMenu().performActionForItemAtIndex(0); });  // "Turn all on"
    EXPECT_FALSE(controller->restorePending());
    advance(6min);
    EXPECT_EQ(bridge.changes(), std::vector<std::string>{"allOn true"}) << "nothing restored later";
}

TEST_F(SoundTest, CountdownRunsOutOrIsSkippedOrCancelled) {
    enum class End { RunsOut, Skip, Cancel };
    launch();
    for (End end : {End::RunsOut, End::Skip, End::Cancel}) {
        SCOPED_TRACE(static_cast<int>(end));
        int recordsBefore = input.made->records;
        onLoop([this] { controller->StartListenMenuItem(); });
        EXPECT_EQ(listenButton.state(), 1);
        EXPECT_TRUE(countdownPanel.isVisible());
        EXPECT_EQ(controller->listenOption1Text().stringValue(), "Listening will start in 60 seconds");
        advanceCountingDown(1s);
        EXPECT_EQ(controller->listenOption1Text().stringValue(), "Listening will start in 59 seconds");
        advanceCountingDown(9s);
        EXPECT_EQ(controller->listenOption1Text().stringValue(), "Listening will start in 50 seconds");
        if (end == End::RunsOut) {
            advanceCountingDown(48s);
            EXPECT_EQ(controller->listenOption1Text().stringValue(), "Listening will start in 2 seconds");
            EXPECT_FALSE(listener->isMeasuring());
            advanceCountingDown(1s);
            EXPECT_EQ(controller->listenOption1Text().stringValue(), "Listening will start in 1 seconds");
            settle();
            EXPECT_TRUE(listener->isMeasuring()) << "about 59 seconds after the command";
        }
        if (end == End::Skip) {
            onLoop([this] { controller->ListenStep1Skip(); });
            EXPECT_TRUE(listener->isMeasuring()) << "at once";
        }
        if (end == End::Cancel) {
            onLoop([this] { controller->ListenStep1Cancel(); });
            EXPECT_EQ(listenButton.state(), 0);
        }
        EXPECT_FALSE(countdownPanel.isVisible());
        advance(70s);  // the countdown thread ends at its next second
        EXPECT_EQ(input.made->records - recordsBefore, end == End::Cancel ? 0 : 1) << "started once at most";
        EXPECT_EQ(listener->isMeasuring(), end != End::Cancel);
        onLoop([this] { controller->StopListenMenuItem(); });
        EXPECT_FALSE(listener->isMeasuring());
    }
}

TEST_F(SoundTest, WithoutAMicrophoneListeningDoesNothingAndSaysSoOnce) {
    input.present = false;
    platform::LogCapture log;
    launch();
    listen(true);
    onLoop([this] { controller->startListeningNow(); });
    advance(1s);
    EXPECT_FALSE(listener->isMeasuring());
    EXPECT_FALSE(listener->hasInput());
    EXPECT_EQ(log.count(MicListener::noInputLog), 1u);
    listen(false);
}

}  // namespace
