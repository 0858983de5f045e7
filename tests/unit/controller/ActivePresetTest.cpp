#include "controller/ActivePreset.h"

#include <gtest/gtest.h>

#include "bridge/BridgeScenes.h"
#include "bridge/JsonText.h"
#include "controller/PresetScenes.h"

using namespace glowmere;

namespace {

// Lamp records as the bridge client reads them: numbers as texts.
Value lamp(const char* id, bool on, int bri, int hue, int sat, int ct, const char* mode) {
    Value record = Value::map({{"id", id}, {"onoff", on}, {"brightness", std::to_string(bri)}});
    if (hue >= 0) record.set("colour", std::to_string(hue)), record.set("saturation", std::to_string(sat));
    if (ct >= 0) record.set("ct", std::to_string(ct));
    record.set("state", Value::map({{"colormode", mode}}));
    return record;
}

SceneLampState stored(const char* id, bool on, std::optional<int> bri, std::optional<int> hue, std::optional<int> sat,
                      std::optional<int> ct = std::nullopt) {
    return SceneLampState{id, on, bri, hue, sat, ct};
}

TEST(ActivePreset, MatchesWithinTheTolerances) {
    struct Case {
        const char* what;
        Value lamp;
        SceneLampState want;
        bool matches;
    } cases[] = {
        {"the same", lamp("1", true, 100, 1000, 200, -1, "hs"), stored("1", true, 100, 1000, 200), true},
        {"brightness 3 off", lamp("1", true, 103, 1000, 200, -1, "hs"), stored("1", true, 100, 1000, 200), true},
        {"brightness 4 off", lamp("1", true, 104, 1000, 200, -1, "hs"), stored("1", true, 100, 1000, 200), false},
        {"saturation 4 off", lamp("1", true, 100, 1000, 196, -1, "hs"), stored("1", true, 100, 1000, 200), false},
        {"hue 1% off", lamp("1", true, 100, 1655, 200, -1, "hs"), stored("1", true, 100, 1000, 200), true},
        {"hue over 1% off", lamp("1", true, 100, 1656, 200, -1, "hs"), stored("1", true, 100, 1000, 200), false},
        {"hue across red", lamp("1", true, 100, 65400, 200, -1, "hs"), stored("1", true, 100, 100, 200), true},
        {"switch differs", lamp("1", false, 100, 1000, 200, -1, "hs"), stored("1", true, 100, 1000, 200), false},
        {"both off, levels apart", lamp("1", false, 10, 9000, 20, -1, "hs"), stored("1", false, 200, 1, 1), true},
        {"temperature mode ignores hue", lamp("1", true, 100, 9000, 20, 300, "ct"),
         stored("1", true, 100, 1000, 200, 302), true},
        {"temperature 4 off", lamp("1", true, 100, -1, 0, 304, "ct"), stored("1", true, 100, {}, {}, 300), false},
        {"stored colour, lamp in temperature", lamp("1", true, 100, 1000, 200, 300, "ct"),
         stored("1", true, 100, 1000, 200), false},
        {"a white lamp", lamp("1", true, 50, -1, 0, -1, ""), stored("1", true, 50, {}, {}), true},
        {"a lamp the bridge lost", lamp("2", true, 100, 1000, 200, -1, "hs"), stored("1", true, 100, 1000, 200), false},
    };
    for (const auto& c : cases) {
        Value lamps = Value::emptyList();
        lamps.append(c.lamp);
        EXPECT_EQ(ActivePreset::matches({c.want}, ActivePreset::readings(lamps)), c.matches) << c.what;
    }
    EXPECT_FALSE(ActivePreset::matches({}, {})) << "an empty preset is never in effect";
}

TEST(ActivePreset, APresetRecordBecomesTheBridgesStates) {
    // The slider's saturation is 255 minus the bridge's; old records keep
    // lamp identifiers as numbers.
    Value preset = Value::map({{"name", "Evening"}});
    Value strips = Value::emptyList();
    strips.append(
        Value::map({{"id", "1"}, {"onoff", true}, {"brightness", 120.0}, {"colour", 4000.0}, {"saturation", 55.0}}));
    strips.append(Value::map({{"id", 3}, {"onoff", false}, {"brightness", 400.0}}));
    strips.append(Value::map({{"id", "../x"}, {"onoff", true}}));
    preset.set("strips", strips);

    auto states = BridgeScenes::statesFromPreset(preset);
    ASSERT_EQ(states.size(), 2u) << "an identifier that could steer a path is dropped";
    EXPECT_EQ(jsontext::JSONFromDictionary(states[0].requestBody()), R"({"bri":120,"hue":4000,"on":true,"sat":200})");
    EXPECT_EQ(states[1].lampId, "3");
    EXPECT_EQ(states[1].bri, 254) << "kept within what the bridge takes";

    // What is stored on the bridge changes with the name and the states only.
    const std::string print = presetscenes::fingerprint(preset);
    preset.set("transition", 2.0);
    EXPECT_EQ(presetscenes::fingerprint(preset), print);
    preset.set("name", "Night");
    EXPECT_NE(presetscenes::fingerprint(preset), print);
}

// A preset record of lamps at brightness `bri` (on) or off (bri < 0).
Value preset(const char* name, std::initializer_list<std::pair<const char*, int>> lamps) {
    Value strips = Value::emptyList();
    for (const auto& [id, bri] : lamps)
        strips.append(Value::map({{"id", id}, {"onoff", bri >= 0}, {"brightness", static_cast<double>(bri)}}));
    return Value::map({{"name", name}, {"strips", strips}});
}

// The instance a poll keeps answers as the one-off functions do, from the
// presets and scenes it was last given.
TEST(ActivePreset, AKeptMatcherAnswersFromWhatItWasLastGiven) {
    ActivePreset matcher;
    matcher.setPresets(Value::list({preset("Dim", {{"1", 20}}), preset("Dim, 2 off", {{"1", 20}, {"2", -1}}),
                                    preset("Bright", {{"1", 250}}), Value::map({{"name", "No lamps"}})}));
    matcher.setScene("7", {stored("3", true, 90, {}, {})});
    Value lamps = Value::list({lamp("1", true, 21, -1, 0, -1, ""), lamp("2", false, 0, -1, 0, -1, ""),
                               lamp("3", true, 90, -1, 0, -1, ""), lamp("1", true, 250, -1, 0, -1, "")});
    auto found = matcher.inEffect(lamps);
    EXPECT_EQ(found.presets, (std::vector<std::string>{"Dim", "Dim, 2 off"})) << "in order; the first record counts";
    EXPECT_EQ(found.scenes, std::set<std::string>{"7"});

    // A lamp gone from the list breaks what holds it.
    lamps = Value::list({lamp("1", true, 20, -1, 0, -1, "")});
    EXPECT_EQ(matcher.inEffect(lamps).presets, std::vector<std::string>{"Dim"});
    EXPECT_TRUE(matcher.inEffect(lamps).scenes.empty());

    // New presets replace the old; a scene changed or dropped counts as given.
    matcher.setPresets(Value::list({preset("Low", {{"1", 18}})}));
    matcher.setScene("7", {stored("1", true, 20, {}, {})});
    matcher.setScene("8", {stored("1", false, {}, {}, {})});
    found = matcher.inEffect(lamps);
    EXPECT_EQ(found.presets, std::vector<std::string>{"Low"});
    EXPECT_EQ(found.scenes, std::set<std::string>{"7"});
    matcher.keepScenes({"8"});
    EXPECT_TRUE(matcher.inEffect(lamps).scenes.empty());
}

}  // namespace
