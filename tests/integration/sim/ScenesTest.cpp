#include <gtest/gtest.h>

#include "SimJson.h"
#include "support/SimulatedBridge.h"

namespace glowmere::testing {
namespace {

class SimScenes : public ::testing::Test {
protected:
    json call(const std::string& method, const std::string& path, const std::string& body = "") {
        return parseReply(bridge.userRequest(method, path, body));
    }
    std::string make(const std::string& body) {
        json reply = call("POST", "scenes", body);
        return reply[0]["success"].value("id", "");
    }

    SimulatedBridge bridge;
};

TEST_F(SimScenes, StoresTheLampsAsTheyAreAndListsTheScene) {
    bridge.changeLamp("1", R"({"on":true,"bri":77,"hue":1000,"sat":200})");
    bridge.changeLamp("4", R"({"on":true,"bri":12})");
    const std::string id = make(R"({"name":"Evening","lights":["1","4"],"recycle":false})");
    ASSERT_FALSE(id.empty());

    json listed = call("GET", "scenes");
    ASSERT_TRUE(listed.contains(id));
    EXPECT_EQ(listed[id]["name"], "Evening");
    EXPECT_EQ(listed[id]["lights"], json::parse(R"(["1","4"])"));
    EXPECT_FALSE(listed[id].contains("lightstates")) << "the list leaves the states out";

    json states = call("GET", "scenes/" + id)["lightstates"];
    EXPECT_EQ(states["1"], json::parse(R"({"on":true,"bri":77,"hue":1000,"sat":200})"));
    // A white lamp keeps no colour.
    EXPECT_EQ(states["4"], json::parse(R"({"on":true,"bri":12})"));
}

TEST_F(SimScenes, RecallsInOneRequestOverTheTransition) {
    bridge.setClock(tuesdayAt("20:00:00"));
    const std::string id = make(R"({"name":"Dim","lights":["1","2"]})");
    call("PUT", "scenes/" + id + "/lightstates/1", R"({"on":true,"bri":20,"hue":30000,"sat":100})");
    call("PUT", "scenes/" + id + "/lightstates/2", R"({"on":false})");
    bridge.changeLamp("1", R"({"on":true,"bri":200})");
    bridge.changeLamp("2", R"({"on":true,"bri":200})");
    const json outside = call("GET", "lights/3")["state"];
    bridge.clearRequestLog();

    json reply = call("PUT", "groups/0/action", R"({"scene":")" + id + R"(","transitiontime":20})");
    EXPECT_EQ(reply[0]["success"]["/groups/0/action/scene"], id);
    EXPECT_EQ(bridge.requestLog().size(), 1u);
    EXPECT_GT(call("GET", "lights/1")["state"]["bri"], 20) << "still on its way";

    bridge.advanceClock(2.0);
    json one = call("GET", "lights/1")["state"];
    EXPECT_EQ(one["bri"], 20);
    EXPECT_EQ(one["hue"], 30000);
    EXPECT_EQ(one["sat"], 100);
    EXPECT_EQ(call("GET", "lights/2")["state"]["on"], false);
    EXPECT_EQ(call("GET", "lights/3")["state"], outside) << "a lamp outside the scene is left alone";
}

TEST_F(SimScenes, UpdatesAndDeletes) {
    const std::string id = make(R"({"name":"Old","lights":["1"]})");
    json renamed = call("PUT", "scenes/" + id, R"({"name":"New","lights":["1","3"]})");
    EXPECT_EQ(renamed.size(), 2u);
    EXPECT_EQ(call("GET", "scenes/" + id)["lightstates"].size(), 2u) << "a lamp new to the scene gets its state";

    EXPECT_EQ(call("DELETE", "scenes/" + id)[0]["success"], "/scenes/" + id + " deleted");
    EXPECT_EQ(onlyError(call("GET", "scenes/" + id))["type"], 3);
    EXPECT_TRUE(call("GET", "scenes").empty());
}

TEST_F(SimScenes, RefusesWhatNoBridgeTakes) {
    const std::string id = make(R"({"name":"S","lights":["1","4"]})");
    struct Case {
        const char* what;
        const char* method;
        std::string path;
        const char* body;
        int type;
    } cases[] = {
        {"no lamps", "POST", "scenes", R"({"name":"x"})", 5},
        {"an empty list", "POST", "scenes", R"({"name":"x","lights":[]})", 7},
        {"an unknown lamp", "POST", "scenes", R"({"name":"x","lights":["9"]})", 3},
        {"a name too long", "POST", "scenes", R"({"name":"123456789012345678901234567890123","lights":["1"]})", 7},
        {"colour for a white lamp", "PUT", "scenes/" + id + "/lightstates/4", R"({"hue":5})", 6},
        {"a lamp not in the scene", "PUT", "scenes/" + id + "/lightstates/2", R"({"on":true})", 3},
        {"brightness out of range", "PUT", "scenes/" + id + "/lightstates/1", R"({"bri":300})", 7},
        {"an unknown scene", "PUT", "groups/0/action", R"({"scene":"nope"})", 7},
        {"an unknown scene's states", "GET", "scenes/nope", "", 3},
    };
    for (const auto& c : cases) EXPECT_EQ(onlyError(call(c.method, c.path, c.body))["type"], c.type) << c.what;
    EXPECT_EQ(call("GET", "scenes").size(), 1u);
}

TEST(SimDemoScenes, TheDemoHouseHasAFew) {
    SimulatedBridge::Options options;
    options.demo = true;
    SimulatedBridge demo(options);
    json scenes = parseReply(demo.userRequest("GET", "scenes"));
    EXPECT_GE(scenes.size(), 3u);
}

}  // namespace
}  // namespace glowmere::testing
