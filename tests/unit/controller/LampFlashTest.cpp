// Flashing lamps and the shortcuts' helpers: what puts a lamp back as it
// was in each colour mode, which lamp or group a script names, and the
// preset and brightness steps.
#include "controller/LampFlash.h"

#include <gtest/gtest.h>

#include "bridge/JsonText.h"
#include "controller/LampShortcuts.h"
#include "platform/DefaultsStore.h"
#include "support/FakeHttpClient.h"

namespace glowmere {
namespace {

using jsontext::JSONFromDictionary;

// A lamp record as the bridge client reads it from the bridge's JSON.
Value lamp(const std::string& id, const std::string& name, const std::string& state) {
    Value record = jsontext::dictionaryOfDictionariesFromJSON(R"({"state":)" + state + "}");
    record.set("id", id);
    record.set("label", name);
    record.set("onoff", record["state"]["on"].boolValue());
    if (record["state"].contains("bri")) record.set("brightness", record["state"]["bri"].textValue());
    return record;
}

TEST(LampFlashTest, TheRestoreBodyPutsBackTheLampsOwnColourMode) {
    struct Case {
        const char* what;
        const char* state;
        const char* body;  // as sent to the bridge
    } cases[] = {
        {"hue and saturation", R"({"on":true,"bri":120,"hue":9000,"sat":200,"ct":300,"colormode":"hs"})",
         R"({"bri":120,"hue":9000,"on":true,"sat":200,"transitiontime":0})"},
        {"colour temperature last, after the hue the flash changed",
         R"({"on":true,"bri":80,"hue":9000,"sat":200,"ct":412,"colormode":"ct"})",
         R"({"hue":9000,"sat":200,"transitiontime":0} {"bri":80,"ct":412,"on":true,"transitiontime":0})"},
        {"xy with its fractions", R"({"on":true,"bri":254,"hue":1,"sat":2,"xy":[0.4123,0.3301],"colormode":"xy"})",
         R"({"hue":1,"sat":2,"transitiontime":0} {"bri":254,"on":true,"transitiontime":0,"xy":[0.4123,0.3301]})"},
        {"a lamp that was off goes off again with its values",
         R"({"on":false,"bri":33,"hue":100,"sat":5,"colormode":"hs"})",
         R"({"bri":33,"hue":100,"on":false,"sat":5,"transitiontime":0})"},
        {"a dimmable lamp: brightness only", R"({"on":true,"bri":10})", R"({"bri":10,"on":true,"transitiontime":0})"},
    };
    for (const Case& c : cases) {
        std::string sent;
        for (const Value& body : LampFlash::restoreBodies(lamp("1", "Hall", c.state)))
            sent += (sent.empty() ? "" : " ") + JSONFromDictionary(body);
        EXPECT_EQ(sent, c.body) << c.what;
    }
    // A lamp without colour gets the bridge's own alert instead of a colour.
    EXPECT_EQ(JSONFromDictionary(LampFlash::colourBody(lamp("4", "Bedroom", R"({"on":true,"bri":10,"ct":300})"), 0)),
              R"({"alert":"select"})");
}

// The long flash is the bridge's own long alert, and each lasts as long as
// the bridge's before the next begins (on a clock that runs through waits).
TEST(LampFlashTest, ALongFlashIsTheBridgesLongAlertForItsFullLength) {
    testing::FakeHttpClient http;
    platform::DefaultsStore defaults;
    platform::FakeClock clock;
    clock.setAutoAdvance(true);
    defaults.setObject("username", "alice");
    BridgeBridge bridge(http, defaults, clock);
    bridge.setBridgeIP("10.0.0.2");
    http.reply("GET", "/lights", R"({"1":{"name":"Hall","state":{"on":true,"bri":10}}})");
    http.reply("PUT", "/groups/0/action", R"([{"success":{"/groups/0/action/alert":"lselect"}}])");
    LampFlash flash(bridge, clock);
    flash.setLongAlert(true);
    const auto started = clock.now();
    ASSERT_EQ(flash.flash("all", std::nullopt, 2), LampFlash::Outcome::Flashed);
    EXPECT_GE(clock.now() - started, 2 * LampFlash::longAlertLength + LampFlash::pauseBetween);
    std::vector<std::string> alerts;
    for (const auto& request : http.requests())
        if (request.method == "PUT")
            alerts.push_back(request.url.substr(request.url.rfind("/api/")) + " " + *request.body);
    EXPECT_EQ(alerts, std::vector<std::string>(2, R"(/api/alice/groups/0/action {"alert":"lselect"})"));
}

TEST(LampFlashTest, ATargetIsAllALampOrAGroupByIdentifierOrName) {
    Value lamps = Value::list({lamp("1", "Hall", R"({"on":true,"bri":1})"),
                               lamp("2", "Küche", R"({"on":true,"bri":1})"), lamp("3", "7", R"({"on":true,"bri":1})")});
    // As the client reads groups: the members as the bridge's list text.
    Value groups = Value::list({Value::map({{"id", "1"}, {"label", "Downstairs"}, {"lights", R"(["1","2","9"])"}}),
                                Value::map({{"id", "7"}, {"label", "Upstairs"}, {"lights", R"(["3"])"}})});
    struct Case {
        const char* text;
        bool found;
        bool group;
        const char* id;
        std::vector<std::string> lampIds;
    } cases[] = {
        {"all", true, true, "0", {"1", "2", "3"}},
        {"ALL", true, true, "0", {"1", "2", "3"}},
        {"2", true, false, "2", {"2"}},
        {"hall", true, false, "1", {"1"}},
        {"Küche", true, false, "2", {"2"}},
        // A lamp called "7" wins over the group whose identifier is 7.
        {"7", true, false, "3", {"3"}},
        // Members the bridge no longer lists are passed over.
        {"downstairs", true, true, "1", {"1", "2"}},
        {"Bedroom", false, false, "", {}},
        {"", false, false, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto target = LampFlash::findTarget(c.text, lamps, groups);
        ASSERT_EQ(target.has_value(), c.found);
        if (!target) continue;
        EXPECT_EQ(target->group, c.group);
        EXPECT_EQ(target->id, c.id);
        EXPECT_EQ(target->lampIds, c.lampIds);
    }
}

TEST(LampFlashTest, ColoursByNameOrHue) {
    struct Case {
        const char* text;
        std::optional<int> hue;
    } cases[] = {{"red", 0},           {"Blue", 43700},        {"65535", 65535},  {"0", 0}, {"65536", std::nullopt},
                 {"-1", std::nullopt}, {"teal", std::nullopt}, {"", std::nullopt}};
    for (const Case& c : cases) EXPECT_EQ(LampFlash::hueForColour(c.text), c.hue) << c.text;
}

TEST(LampShortcutsTest, StepsWrapAndStayInRange) {
    struct Index {
        int current, count, step, next;
    } indexes[] = {{-1, 3, 1, 0}, {-1, 3, -1, 2}, {2, 3, 1, 0},  {0, 3, -1, 2},
                   {1, 3, 1, 2},  {5, 3, 1, 0},   {-1, 0, 1, -1}};
    for (const Index& c : indexes)
        EXPECT_EQ(LampShortcuts::steppedIndex(c.current, c.count, c.step), c.next)
            << c.current << " of " << c.count << " by " << c.step;
    struct Brightness {
        double now;
        int step, next;
    } brightness[] = {{100, 25, 125}, {240, 25, 254}, {20, -25, 1}, {1, -25, 1}, {127.6, -25, 103}};
    for (const Brightness& c : brightness)
        EXPECT_EQ(LampShortcuts::steppedBrightness(c.now, c.step), c.next) << c.now << " by " << c.step;
}

TEST(LampShortcutsTest, ThePresetTheLampsShowIsFoundWithinTheBridgesRounding) {
    auto strip = [](const char* id, bool on, double bri, double hue, double satSlider) {
        return Value::map({{"id", id}, {"onoff", on}, {"brightness", bri}, {"colour", hue}, {"saturation", satSlider}});
    };
    Value list = Value::list({
        Value::map({{"name", "Bright"},
                    {"strips", Value::list({strip("1", true, 254, 1000, 55), strip("2", true, 254, 1000, 55)})}}),
        Value::map(
            {{"name", "Dim"}, {"strips", Value::list({strip("1", true, 20, 1000, 55), strip("2", false, 0, 0, 0)})}}),
    });
    struct Case {
        const char* what;
        const char* lamp1;
        const char* lamp2;
        std::optional<std::size_t> preset;
    } cases[] = {
        {"exactly Bright", R"({"on":true,"bri":254,"hue":1000,"sat":200})",
         R"({"on":true,"bri":254,"hue":1000,"sat":200})", 0},
        {"Dim, rounded by a unit; an off lamp's values do not count", R"({"on":true,"bri":21,"hue":1050,"sat":201})",
         R"({"on":false,"bri":180,"hue":1,"sat":1})", 1},
        {"another brightness", R"({"on":true,"bri":120,"hue":1000,"sat":200})",
         R"({"on":true,"bri":254,"hue":1000,"sat":200})", std::nullopt},
        {"switched differently", R"({"on":false,"bri":254,"hue":1000,"sat":200})",
         R"({"on":true,"bri":254,"hue":1000,"sat":200})", std::nullopt},
    };
    for (const Case& c : cases) {
        Value lamps = Value::list({lamp("1", "a", c.lamp1), lamp("2", "b", c.lamp2)});
        for (Value& l : lamps.asList()) {
            l.set("colour", l["state"]["hue"].textValue());
            l.set("saturation", l["state"]["sat"].textValue());
        }
        EXPECT_EQ(LampShortcuts::presetMatching(list, lamps), c.preset) << c.what;
    }
}

}  // namespace
}  // namespace glowmere
