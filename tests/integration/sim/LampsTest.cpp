#include <gtest/gtest.h>

#include "SimJson.h"
#include "support/SimulatedBridge.h"

namespace glowmere::testing {
namespace {

class SimLamps : public ::testing::Test {
protected:
    json get(const std::string& path) { return parseReply(bridge.userRequest("GET", path)); }
    json put(const std::string& path, const std::string& body) {
        return parseReply(bridge.userRequest("PUT", path, body));
    }

    SimulatedBridge bridge;
};

TEST_F(SimLamps, ListsEveryLampWithItsFullObject) {
    json lights = get("lights");
    ASSERT_EQ(lights.size(), 5u);
    for (const auto& [id, lamp] : lights.items()) {
        for (const char* key : {"name", "type", "modelid", "swversion", "uniqueid", "state"}) {
            EXPECT_TRUE(lamp.contains(key)) << id << " lacks " << key;
        }
        for (const char* key : {"on", "bri", "alert", "reachable"}) {
            EXPECT_TRUE(lamp["state"].contains(key)) << id << " lacks state " << key;
        }
        EXPECT_EQ(lamp, get("lights/" + id));
    }
    EXPECT_EQ(lights["2"]["name"], "Küche");
    EXPECT_TRUE(lights["1"]["state"]["on"].is_boolean());
}

TEST_F(SimLamps, AWhiteOnlyLampHasNoHueOrSaturation) {
    json white = get("lights/4");
    EXPECT_EQ(white["type"], "Dimmable light");
    EXPECT_FALSE(white["state"].contains("hue"));
    EXPECT_FALSE(white["state"].contains("sat"));
    json colour = get("lights/1");
    EXPECT_TRUE(colour["state"].contains("hue"));
    EXPECT_TRUE(colour["state"].contains("xy"));

    bridge.changeLamp("4", R"({"on":true})");
    json reply = put("lights/4/state", R"({"hue":100,"bri":10})");
    EXPECT_EQ(reply[0]["error"]["type"], 6);
    EXPECT_EQ(reply[1]["success"]["/lights/4/state/bri"], 10);
}

TEST_F(SimLamps, TakesStateKeysAndAnswersOneSuccessPerKey) {
    bridge.changeLamp("1", R"({"on":false})");
    json reply = put("lights/1/state", R"({"on":true,"bri":200,"hue":40000,"sat":30})");
    EXPECT_EQ(reply,
              json::parse(R"([{"success":{"/lights/1/state/on":true}},{"success":{"/lights/1/state/bri":200}},)"
                          R"({"success":{"/lights/1/state/hue":40000}},{"success":{"/lights/1/state/sat":30}}])"));
    EXPECT_EQ(get("lights/1")["state"]["on"], true);

    // Of several colour modes in one request, xy wins over ct over hue and
    // saturation: the lamp ends in that mode, the others' values untaken.
    struct Case {
        const char* body;
        const char* mode;
        int hue, sat, ct;
    };
    const Case cases[] = {
        {R"({"bri":200,"hue":40000,"sat":30})", "hs", 40000, 30, 366},
        {R"({"bri":150,"ct":250,"hue":14380,"sat":129})", "ct", 40000, 30, 250},
        {R"({"hue":20000})", "hs", 20000, 30, 250},
        {R"({"xy":[0.5,0.4],"ct":300,"sat":90})", "xy", 20000, 30, 250},
    };
    for (const auto& c : cases) {
        for (const auto& result : put("lights/1/state", c.body)) EXPECT_TRUE(result.contains("success")) << c.body;
        json state = get("lights/1")["state"];
        EXPECT_EQ(state["colormode"], c.mode) << c.body;
        EXPECT_EQ(state["hue"], c.hue) << c.body;
        EXPECT_EQ(state["sat"], c.sat) << c.body;
        EXPECT_EQ(state["ct"], c.ct) << c.body;
    }
    EXPECT_EQ(get("lights/1")["state"]["xy"], json::parse("[0.5,0.4]"));
}

TEST_F(SimLamps, ALampThatIsOffRefusesColourAndBrightnessUnlessSwitchedOnByTheSameRequest) {
    bridge.changeLamp("3", R"({"on":false,"bri":50,"hue":1000,"sat":10})");
    json refused = put("lights/3/state", R"({"bri":120,"hue":2000,"sat":20})");
    ASSERT_EQ(refused.size(), 3u);
    const char* keys[] = {"bri", "hue", "sat"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(refused[i]["error"]["type"], 201);
        EXPECT_EQ(refused[i]["error"]["address"], std::string("/lights/3/state/") + keys[i]);
        EXPECT_EQ(refused[i]["error"]["description"],
                  std::string("parameter, ") + keys[i] + ", is not modifiable. Device is set to off.");
    }
    EXPECT_EQ(get("lights/3")["state"]["bri"], 50);

    json accepted = put("lights/3/state", R"({"bri":120,"on":true})");
    EXPECT_TRUE(accepted[0].contains("success"));
    EXPECT_TRUE(accepted[1].contains("success"));
    EXPECT_EQ(get("lights/3")["state"]["bri"], 120);
}

TEST_F(SimLamps, MistypedOrOutOfRangeValuesAreRefusedWithTypeSeven) {
    struct Case {
        const char* body;
        const char* key;
        const char* shown;
    };
    const Case cases[] = {
        {R"({"bri":256})", "bri", "256"},
        {R"({"bri":-1})", "bri", "-1"},
        {R"({"bri":127.5})", "bri", "127.5"},
        {R"({"bri":"200"})", "bri", "200"},
        {R"({"hue":65536})", "hue", "65536"},
        {R"({"sat":300})", "sat", "300"},
        {R"({"on":"true"})", "on", "true"},
        {R"({"on":1})", "on", "1"},
        {R"({"transitiontime":-4})", "transitiontime", "-4"},
    };
    bridge.changeLamp("1", R"({"on":true,"bri":77})");
    for (const auto& c : cases) {
        json error = onlyError(put("lights/1/state", c.body));
        EXPECT_EQ(error["type"], 7) << c.body;
        EXPECT_EQ(error["address"], std::string("/lights/1/state/") + c.key) << c.body;
        EXPECT_EQ(error["description"], std::string("invalid value, ") + c.shown + ", for parameter, " + c.key)
            << c.body;
    }
    EXPECT_EQ(get("lights/1")["state"]["bri"], 77);
    EXPECT_EQ(get("lights/1")["state"]["on"], true);
}

TEST_F(SimLamps, BrokenBodiesUnknownLampsAndUnknownKeysGetTheirOwnErrors) {
    json notJson = onlyError(put("lights/1/state", R"({"on":true,)"));
    EXPECT_EQ(notJson["type"], 2);
    EXPECT_EQ(notJson["description"], "body contains invalid JSON");
    // What a writer that does not escape makes of a name with a quote.
    EXPECT_EQ(onlyError(put("lights/1", R"({"name":"The "big" one"})"))["type"], 2);

    json unknown = onlyError(get("lights/99"));
    EXPECT_EQ(unknown["type"], 3);
    EXPECT_EQ(unknown["address"], "/lights/99");
    EXPECT_EQ(unknown["description"], "resource, /lights/99, not available");
    EXPECT_EQ(onlyError(put("lights/99/state", R"({"on":true})"))["description"],
              "resource, /lights/99, not available");

    json unknownKey = onlyError(put("lights/1/state", R"({"brightness":3})"));
    EXPECT_EQ(unknownKey["type"], 6);
}

TEST_F(SimLamps, RenamesALampAndKeepsNonAsciiNames) {
    json reply = put("lights/2", R"({"name":"Wohnzimmer Ecke"})");
    EXPECT_EQ(reply[0]["success"]["/lights/2/name"], "Wohnzimmer Ecke");
    EXPECT_EQ(get("lights/2")["name"], "Wohnzimmer Ecke");
    put("lights/2", R"({"name":"Küche"})");
    EXPECT_EQ(get("lights/2")["name"], "Küche");
    EXPECT_EQ(onlyError(put("lights/2", R"({"name":""})"))["type"], 7);
    EXPECT_EQ(onlyError(put("lights/2", R"({"name":"123456789012345678901234567890123"})"))["type"], 7);
}

TEST_F(SimLamps, ShowsAChangeMadeElsewhere) {
    bridge.changeLamp("5", R"({"on":true,"bri":9,"reachable":false})");
    json state = get("lights/5")["state"];
    EXPECT_EQ(state["bri"], 9);
    EXPECT_EQ(state["reachable"], false);
    EXPECT_TRUE(bridge.requestLog().size() == 1) << "control calls must not be logged";
}

TEST_F(SimLamps, FullStateAndConfigurationForAKnownUser) {
    json full = get("");
    for (const char* key : {"lights", "groups", "schedules", "config"}) EXPECT_TRUE(full.contains(key)) << key;
    EXPECT_TRUE(full["config"]["whitelist"].contains("testuser"));
    json config = get("config");
    for (const char* key : {"name", "swversion", "apiversion", "whitelist"}) EXPECT_TRUE(config.contains(key)) << key;

    json publicConfig = parseReply(bridge.request("GET", "/api/stranger/config"));
    EXPECT_TRUE(publicConfig.contains("swversion"));
    EXPECT_FALSE(publicConfig.contains("whitelist"));
}

TEST_F(SimLamps, TheDiscoveryPortalNamesTheBridgesOwnAddress) {
    json portal = parseReply(bridge.request("GET", "/api/nupnp"));
    ASSERT_EQ(portal.size(), 1u);
    EXPECT_EQ(portal[0]["internalipaddress"], bridge.address());
    EXPECT_TRUE(portal[0]["id"].is_string());
}

}  // namespace
}  // namespace glowmere::testing
