#include "controls/LampControlStrip.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

#include "platform/Clock.h"
#include "platform/RunLoop.h"
#include "support/FakeBridgeClient.h"

using namespace glowmere;
using namespace std::chrono_literals;
using glowmere::testing::FakeBridgeClient;

namespace {

class RecordingOwner final : public StripOwner {
public:
    explicit RecordingOwner(platform::RunLoop& loop) : loop_(loop) {}
    void setPollingEnabled(bool enabled) override { polling = enabled; }
    void sendSettingsToStripsInGroup(const Value& settings, const std::string& groupId) override {
        mirrored.push_back(groupId + " " + settings.debugString());
    }
    void recalculateControlStripPositions() override { ++layouts; }
    void saveUIState(LampControlStrip*) override { ++saves; }
    bool allowFold() const override { return foldAllowed; }
    platform::RunLoop& runLoop() override { return loop_; }
    std::weak_ptr<void> lifetime() const override { return alive; }

    bool polling = true;
    bool foldAllowed = true;
    int layouts = 0;
    int saves = 0;
    std::vector<std::string> mirrored;
    std::shared_ptr<int> alive = std::make_shared<int>(0);

private:
    platform::RunLoop& loop_;
};

class StripTest : public ::testing::Test {
protected:
    void SetUp() override {
        loop.runPending();  // this thread drives the loop
        auto view = std::make_shared<platform::View>("SingleControl", platform::Rect{{20, 20}, {95, 438}});
        view->addSubview(std::make_shared<platform::View>("control", platform::Rect{}, label));
        view->addSubview(std::make_shared<platform::View>("control", platform::Rect{}, onoff));
        strip.setControlStripView(std::make_unique<ControlStripView>(view));
        strip.getControlStripView()->setTarget(&strip);
        strip.setLabel(label.get());
        strip.setOnOffButton(onoff.get());
        strip.setBrightnessSlider(brightness.get());
        strip.setColourSlider(colour.get());
        strip.setSatSlider(saturation.get());
        strip.setGroupLabel(caption.get());
        strip.setHorizontalRule(rule.get());
        strip.setBridgeBridge(&bridge);
        strip.setOwner(&owner);
        strip.setID("3");
    }

    void makeGroup() { strip.setGroup(true); }

    platform::FakeClock clock;
    platform::RunLoop loop{clock};
    RecordingOwner owner{loop};
    FakeBridgeClient bridge;
    std::shared_ptr<platform::TextField> label = std::make_shared<platform::TextField>("Desk");
    std::shared_ptr<platform::Button> onoff = std::make_shared<platform::Button>();
    std::shared_ptr<platform::Slider> brightness = std::make_shared<platform::Slider>(0, 255, 0);
    std::shared_ptr<platform::Slider> colour = std::make_shared<platform::Slider>(0, 65535, 0);
    std::shared_ptr<platform::Slider> saturation = std::make_shared<platform::Slider>(0, 255, 0);
    std::shared_ptr<platform::TextField> caption = std::make_shared<platform::TextField>("Group");
    std::shared_ptr<platform::View> rule = std::make_shared<platform::View>("box");
    std::shared_ptr<platform::Button> moon;  // the dusk button, where a test sets one
    LampControlStrip strip;
};

Value allValues(double bri, double sat, double col) {
    return Value::map({{"brightness", bri}, {"saturation", sat}, {"colour", col}});
}

// ---- User actions on a lamp strip ----

TEST_F(StripTest, AnyLampSliderSendsAllThreeValuesTogether) {
    onoff->setState(1);
    brightness->setDoubleValue(150);
    saturation->setDoubleValue(55);
    for (platform::Slider* moved : {colour.get(), brightness.get(), saturation.get()}) {
        bridge.clear();
        colour->setDoubleValue(40000);
        strip.handleControl(moved);
        ASSERT_EQ(bridge.changes().size(), 1u);
        EXPECT_EQ(bridge.sentSettings().at(0), allValues(150, 200, 40000));
        EXPECT_TRUE(owner.mirrored.empty()) << "a lamp strip mirrors nothing";
    }
}

// A lamp gets only the keys its state shows it can take; an off lamp is
// switched on by the user's move, never by a record written in.
TEST_F(StripTest, WhatALampSliderSendsFitsTheLamp) {
    auto ct = std::make_shared<platform::Slider>(153, 500, 300);
    strip.setColourTemperatureSlider(ct.get());
    struct Case {
        const char* what;
        bool colour, warmth, on;
        const char* mode;  // the state's "colormode"
        platform::Slider* moved;
        Value expected;
    };
    const Case cases[] = {
        {"colour lamp, on", true, false, true, "hs", colour.get(), allValues(150, 200, 40000)},
        {"colour lamp, off: switched on first", true, false, false, "hs", brightness.get(),
         Value::map({{"brightness", 150.0}, {"saturation", 200.0}, {"colour", 40000.0}, {"onoff", true}})},
        {"white lamp: brightness only", false, false, true, "", brightness.get(), Value::map({{"brightness", 150.0}})},
        {"warmth lamp: brightness and ct", false, true, true, "ct", ct.get(),
         Value::map({{"brightness", 150.0}, {"ct", 300.0}})},
        // A bridge given ct with hue and saturation takes ct: one mode only.
        {"colour and warmth lamp in hs mode: brightness keeps its colour", true, true, true, "hs", brightness.get(),
         allValues(150, 200, 40000)},
        {"colour and warmth lamp in ct mode: brightness keeps it white", true, true, true, "ct", brightness.get(),
         Value::map({{"brightness", 150.0}, {"ct", 300.0}})},
        {"colour and warmth lamp in ct mode: the colour slider makes it hs", true, true, true, "ct", colour.get(),
         allValues(150, 200, 40000)},
    };
    for (const Case& c : cases) {
        strip.setCapabilities(c.colour, c.warmth);
        strip.setColourMode(c.mode);
        onoff->setState(c.on ? 1 : 0);
        brightness->setDoubleValue(150);
        saturation->setDoubleValue(55);
        colour->setDoubleValue(40000);
        bridge.clear();
        strip.handleControl(c.moved);
        ASSERT_EQ(bridge.sentSettings().size(), 1u) << c.what;
        EXPECT_EQ(bridge.sentSettings().at(0), c.expected) << c.what;
        EXPECT_EQ(onoff->state(), 1) << c.what;
        EXPECT_EQ(colour->isHidden(), !c.colour) << c.what;
        EXPECT_EQ(ct->isHidden(), c.colour || !c.warmth) << c.what;
    }
    // A preset's record with colour keys reaches a white lamp without them,
    // and a record written in leaves an off lamp off.
    strip.setCapabilities(false, false);
    onoff->setState(0);
    bridge.clear();
    strip.implementSettingsFromDictionaryWithTransitionTime(
        Value::map({{"brightness", 90}, {"colour", 300}, {"saturation", 10}, {"transition", 2}}));
    ASSERT_EQ(bridge.sentSettings().size(), 1u);
    EXPECT_FALSE(bridge.sentSettings().at(0).contains("colour"));
    EXPECT_FALSE(bridge.sentSettings().at(0).contains("saturation"));
    bridge.clear();
    strip.implementSettingsFromDictionary(Value::map({{"brightness", 20}}));
    EXPECT_EQ(onoff->state(), 0);
    ASSERT_EQ(bridge.sentSettings().size(), 1u);
    EXPECT_FALSE(bridge.sentSettings().at(0).contains("onoff"));
    strip.setColourTemperatureSlider(nullptr);  // the slider goes before the strip
}

TEST_F(StripTest, DuskMessageStatesMinutesOrSeconds) {
    const struct {
        Value minutes;
        const char* text;
    } cases[] = {
        {Value("30"), "Perform false dusk using Desk with transition time 30 minutes (set in Settings)"},
        {Value("0.5"), "Perform false dusk using Desk with transition time 30 seconds (set in Settings)"},
        {Value(0.25), "Perform false dusk using Desk with transition time 15 seconds (set in Settings)"},
        {Value("2.5"), "Perform false dusk using Desk with transition time 2 minutes (set in Settings)"},
        {Value(1.0), "Perform false dusk using Desk with transition time 1 minutes (set in Settings)"},
    };
    for (const auto& c : cases) EXPECT_EQ(LampControlStrip::duskMessage(c.minutes, "Desk"), c.text);
}

// A group fading out reads "off" from its last command at once: its strip
// shows it on, the minutes counting down, until the fade's time is up; a
// change the user makes ends the dusk at once.
TEST_F(StripTest, ADuskKeepsTheSwitchOnAndCountsDownUntilItEnds) {
    makeGroup();
    // Held by the fixture, so it outlives the strip, as the view's controls do.
    moon = std::make_shared<platform::Button>();
    strip.setDuskButton(moon.get());
    for (bool userSwitches : {false, true}) {
        SCOPED_TRACE(userSwitches ? "switched off by the user" : "faded out");
        onoff->setState(1);
        strip.startFalseDusk();  // no setting: 30 minutes
        EXPECT_EQ(moon->state(), 1);
        EXPECT_EQ(moon->title(), "30");
        strip.implementSettingsFromDictionaryWithoutActing(Value::map({{"onoff", false}}));
        EXPECT_EQ(onoff->state(), 1);
        if (userSwitches) {
            strip.switchOff();
        } else {
            clock.advance(29min + 50s);
            loop.runPending();
            EXPECT_EQ(moon->title(), "1");
            EXPECT_EQ(onoff->state(), 1);
            clock.advance(10s);
            loop.runPending();
        }
        EXPECT_FALSE(strip.duskRunning());
        EXPECT_EQ(moon->state(), 0);
        EXPECT_EQ(moon->title(), "");
        EXPECT_EQ(onoff->state(), 0);
    }
}

TEST_F(StripTest, LampSwitchOnSendsSwitchThenAllValuesAndOffSendsSwitchOnly) {
    brightness->setDoubleValue(10);
    onoff->setState(1);
    strip.handleControl(onoff.get());
    ASSERT_EQ(bridge.changes().size(), 2u);
    EXPECT_EQ(bridge.changes()[0], "lampOn 3 true");
    EXPECT_EQ(bridge.sentSettings().at(0), allValues(10, 255, 0));

    bridge.clear();
    strip.switchOff();
    EXPECT_EQ(bridge.changes(), std::vector<std::string>{"lampOn 3 false"});
    EXPECT_EQ(onoff->state(), 0);
}

// ---- User actions on a group strip ----

TEST_F(StripTest, GroupSwitchSendsToGroupAndMirrorsOnOff) {
    makeGroup();
    brightness->setDoubleValue(99);
    strip.switchOn();
    ASSERT_EQ(bridge.changes().size(), 2u);
    EXPECT_EQ(bridge.changes()[0], "groupOn 3 true");
    EXPECT_EQ(bridge.changes()[1].rfind("sendSettingsToGroup 3", 0), 0u);
    EXPECT_EQ(bridge.sentSettings().at(0), allValues(99, 255, 0));
    EXPECT_EQ(owner.mirrored, std::vector<std::string>{"3 " + Value::map({{"onoff", true}}).debugString()});

    bridge.clear();
    owner.mirrored.clear();
    strip.switchOff();
    EXPECT_EQ(bridge.changes(), std::vector<std::string>{"groupOn 3 false"});
    EXPECT_EQ(owner.mirrored, std::vector<std::string>{"3 " + Value::map({{"onoff", false}}).debugString()});
}

TEST_F(StripTest, GroupSliderSendsOnlyItsOwnValue) {
    makeGroup();
    brightness->setDoubleValue(120);
    colour->setDoubleValue(30000);
    saturation->setDoubleValue(55);
    struct Case {
        platform::Slider* slider;
        Value sent;
        Value mirrored;
    } cases[] = {
        {brightness.get(), Value::map({{"brightness", 120.0}}), Value::map({{"brightness", 120.0}})},
        {colour.get(), Value::map({{"colour", 30000.0}}), Value::map({{"colour", 30000.0}})},
        // The bridge gets its saturation, the member strips the slider position.
        {saturation.get(), Value::map({{"saturation", 200.0}}), Value::map({{"saturation", 55.0}})},
    };
    for (const auto& c : cases) {
        bridge.clear();
        owner.mirrored.clear();
        strip.handleControl(c.slider);
        ASSERT_EQ(bridge.sentSettings().size(), 1u);
        EXPECT_EQ(bridge.sentSettings()[0], c.sent);
        EXPECT_EQ(owner.mirrored, std::vector<std::string>{"3 " + c.mirrored.debugString()});
    }
}

// ---- The polling pause ----

TEST_F(StripTest, PollingResumesFiveSecondsAfterEachActionWithoutMerging) {
    strip.handleControl(brightness.get());  // t = 0
    EXPECT_FALSE(owner.polling);
    clock.advance(3s);
    loop.runPending();
    strip.handleControl(brightness.get());  // t = 3
    clock.advance(1999ms);
    loop.runPending();
    EXPECT_FALSE(owner.polling);
    clock.advance(1ms);  // t = 5: the first action's resume fires
    loop.runPending();
    EXPECT_TRUE(owner.polling);
    owner.polling = false;  // as if a third action came now...
    clock.advance(3s);      // ...t = 8: the second action's resume
    loop.runPending();
    EXPECT_TRUE(owner.polling);
}

TEST_F(StripTest, ResumeAfterOwnerIsGoneDoesNothing) {
    strip.handleControl(brightness.get());
    owner.alive.reset();
    clock.advance(5s);
    EXPECT_NO_FATAL_FAILURE(loop.runPending());
    EXPECT_FALSE(owner.polling);
}

// ---- Applying records ----

TEST_F(StripTest, PolledValuesCompareWholeValues) {
    struct Case {
        const char* key;
        double slider;
        double polled;
        bool moves;
    } cases[] = {
        {"brightness", 200.3, 199.0, false},  // one whole unit below counts as unchanged
        {"brightness", 200.3, 198.0, true},  {"brightness", 200.3, 201.0, true}, {"brightness", 200.3, 200.9, false},
        {"colour", 120.7, 120.2, false},     {"colour", 120.7, 119.9, true},  // no one-below allowance for colour
        {"saturation", 10.2, 10.8, false},   {"saturation", 10.2, 9.0, true},
    };
    for (const auto& c : cases) {
        platform::Slider* slider = std::string(c.key) == "brightness" ? brightness.get()
                                   : std::string(c.key) == "colour"   ? colour.get()
                                                                      : saturation.get();
        slider->setDoubleValue(c.slider);
        bridge.clear();
        strip.implementSettingsFromDictionaryWithoutActing(Value::map({{c.key, c.polled}}));
        EXPECT_EQ(slider->doubleValue(), c.moves ? c.polled : c.slider) << c.key << " " << c.polled;
        EXPECT_TRUE(bridge.changes().empty());

        slider->setDoubleValue(c.slider);
        strip.implementSettingsFromDictionary(Value::map({{c.key, c.polled}}));
        EXPECT_EQ(bridge.changes().size(), c.moves ? 1u : 0u) << "acting: " << c.key << " " << c.polled;
    }
}

TEST_F(StripTest, ActingOnBrightnessAndSwitchSendsAllValuesThenSwitch) {
    brightness->setDoubleValue(50);
    strip.implementSettingsFromDictionary(Value::map({{"brightness", 80}, {"onoff", true}}));
    auto changes = bridge.changes();
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].rfind("sendSettingsToLamp 3", 0), 0u);
    EXPECT_EQ(changes[1], "lampOn 3 true");
    EXPECT_EQ(changes[2].rfind("sendSettingsToLamp 3", 0), 0u);

    bridge.clear();
    strip.implementSettingsFromDictionary(Value::map({{"brightness", 20}, {"onoff", false}}));
    changes = bridge.changes();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1], "lampOn 3 false");
}

TEST_F(StripTest, WithoutActingFlipsSwitchAndLabelsNeverSend) {
    strip.implementSettingsFromDictionaryWithoutActing(Value::map({{"onoff", "1"}, {"label", "Hall"}}));
    EXPECT_EQ(onoff->state(), 1);
    EXPECT_EQ(label->stringValue(), "Hall");
    strip.implementSettingsFromDictionary(Value::map({{"label", "Porch"}}));
    EXPECT_EQ(label->stringValue(), "Porch");
    EXPECT_TRUE(bridge.changes().empty());
    EXPECT_TRUE(owner.polling);
    EXPECT_FALSE(strip.isEmbargoed());
}

TEST_F(StripTest, ValuesThatAreNotFiniteAreIgnored) {
    brightness->setDoubleValue(100);
    double inf = std::numeric_limits<double>::infinity();
    strip.implementSettingsFromDictionary(
        Value::map({{"brightness", inf}, {"colour", "1e999"}, {"saturation", std::nan("")}}));
    EXPECT_EQ(brightness->doubleValue(), 100);
    EXPECT_EQ(colour->doubleValue(), 0);
    EXPECT_EQ(saturation->doubleValue(), 0);
    EXPECT_TRUE(bridge.changes().empty());
}

TEST_F(StripTest, TimedPresetSendsOneRequestAndMovesControlsOnlyUnderASecond) {
    Value preset = Value::map({{"onoff", false},
                               {"brightness", 40},
                               {"colour", 1000},
                               {"saturation", 55.7},
                               {"transition", 0.5},
                               {"id", "3"}});
    onoff->setState(1);
    strip.implementSettingsFromDictionaryWithTransitionTime(preset);
    ASSERT_EQ(bridge.sentSettings().size(), 1u);
    Value sent = bridge.sentSettings()[0];
    EXPECT_EQ(sent["onoff"], Value(false)) << "the stored switch is honoured";
    EXPECT_EQ(sent["saturation"], Value(200));
    EXPECT_EQ(sent["transitiontime"].doubleValue(), 0.5);
    EXPECT_EQ(sent["brightness"], Value(40)) << "an on lamp takes the values as it fades out";
    EXPECT_EQ(brightness->doubleValue(), 40);
    EXPECT_EQ(onoff->state(), 0);

    bridge.clear();
    preset.set("transition", 1.0);
    preset.set("brightness", 90);
    strip.implementSettingsFromDictionaryWithTransitionTime(preset);
    EXPECT_EQ(bridge.sentSettings().at(0), Value::map({{"onoff", false}, {"transitiontime", 1.0}}))
        << "an off lamp that stays off takes no values";
    EXPECT_EQ(brightness->doubleValue(), 40) << "a slow transition leaves the controls to polling";
    EXPECT_FALSE(strip.isEmbargoed());

    bridge.clear();
    strip.implementSettingsFromDictionaryWithTransitionTime(Value::map({{"onoff", true}, {"transition", 2}}));
    EXPECT_EQ(bridge.sentSettings().at(0), Value::map({{"onoff", true}, {"transitiontime", 2.0}}))
        << "values the record lacks are not sent";
}

TEST_F(StripTest, RecordAccess) {
    brightness->setDoubleValue(12);
    onoff->setState(1);
    EXPECT_EQ(strip.objectForKey("id"), Value(""));
    EXPECT_EQ(strip.objectForKey("bogus"), Value(""));
    EXPECT_EQ(strip.objectForKey("onoff"), Value(true));
    Value record = strip.getDictionary();
    EXPECT_EQ(record["id"], Value("3"));
    EXPECT_EQ(record["brightness"], Value(12.0));
    EXPECT_EQ(record["label"], Value("Desk"));
    EXPECT_EQ(record.size(), 6u);
    strip.setObjectForKey(Value("77"), "colour");
    EXPECT_EQ(colour->doubleValue(), 77);
    strip.setObjectForKey(Value(5), "id");  // ignored
    EXPECT_EQ(strip.getID(), "3");
}

// ---- Folding and the strip's lifetime ----

TEST_F(StripTest, DoubleClickFoldsWhenAllowedAndUnfoldsAlways) {
    owner.foldAllowed = false;
    strip.getControlStripView()->mouseUp(2);
    EXPECT_FALSE(strip.isRotated());

    owner.foldAllowed = true;
    strip.getControlStripView()->mouseUp(1);
    strip.getControlStripView()->mouseUp(3);
    EXPECT_FALSE(strip.isRotated());
    strip.getControlStripView()->mouseUp(2);
    EXPECT_TRUE(strip.isRotated());
    EXPECT_EQ(strip.mainView()->frame().size.height, 34);
    EXPECT_EQ(strip.mainView()->frameRotation(), 90);
    EXPECT_FALSE(rule->isHidden());
    EXPECT_EQ(owner.layouts, 1);
    EXPECT_EQ(owner.saves, 1);

    owner.foldAllowed = false;
    strip.getControlStripView()->mouseUp(2);  // unfolding needs no permission
    EXPECT_FALSE(strip.isRotated());
    EXPECT_EQ(strip.mainView()->frame().size.height, 438);
    EXPECT_EQ(owner.saves, 2);
    owner.foldAllowed = true;
    strip.rotateControlStripView(true);
    strip.unRotateControlStripView(true);
    EXPECT_EQ(owner.saves, 2) << "the owner's own folding and unfolding is not saved";
}

TEST_F(StripTest, ControlsOutlivingTheStripNoLongerReachIt) {
    auto slider = std::make_shared<platform::Slider>(0, 255, 0);
    {
        LampControlStrip shortLived;
        shortLived.setBrightnessSlider(slider.get());
        shortLived.setBridgeBridge(&bridge);
        slider->setAction([&shortLived](platform::Control* c) { shortLived.handleControl(c); });
    }
    EXPECT_FALSE(slider->hasAction());
    slider->sendAction();
    EXPECT_TRUE(bridge.changes().empty());
}

}  // namespace
