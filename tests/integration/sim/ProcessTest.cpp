#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "SimJson.h"
#include "support/SimulatedBridge.h"
#include "support/TempDir.h"

namespace glowmere::testing {
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

SimulatedBridge::Options withState(const std::filesystem::path& file) {
    SimulatedBridge::Options options;
    options.extraArgs = {"--state", file.string()};
    return options;
}

// Runs the program with the given arguments and gives its exit status and
// standard error; for options refused before it starts serving.
int runSim(const std::vector<std::string>& extra, std::string& errors) {
    TempDir dir;
    auto errorFile = dir.path() / "stderr";
    // Bounded: a simulator that starts serving instead of refusing ends here.
    std::string command = "timeout 20 " + std::string(GLOWMERE_SIM_PATH);
    for (const auto& arg : extra) command += " '" + arg + "'";
    command += " >/dev/null 2>'" + errorFile.string() + "'";
    int status = std::system(command.c_str());
    errors = readFile(errorFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SimProcess, StopsCleanlyOnTerminateAndInterrupt) {
    SimulatedBridge terminated;
    EXPECT_EQ(terminated.stopWithSignal(SIGTERM), 0);
    SimulatedBridge interrupted;
    interrupted.userRequest("GET", "lights");  // with a connection that was used
    EXPECT_EQ(interrupted.stopWithSignal(SIGINT), 0);
}

TEST(SimProcess, RefusesBadOptionsWithAClearMessage) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"--lamps", "many"}, "--lamps takes a number"},
        {{"--listen", "127.0.0.1"}, "--listen takes HOST:PORT"},
        {{"--link-button", "sometimes"}, "--link-button takes pressed, never or after=SECONDS"},
        {{"--link-button", "after=soon"}, "--link-button takes"},
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--user"}, "--user needs a value"},
    };
    for (const auto& c : cases) {
        std::string errors;
        EXPECT_EQ(runSim(c.args, errors), 2) << c.args[0];
        EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
    }
}

TEST(SimProcess, SaysWhyItCannotStart) {
    SimulatedBridge first;
    std::string errors;
    EXPECT_EQ(runSim({"--listen", first.address()}, errors), 1);
    EXPECT_NE(errors.find("cannot listen on " + first.address()), std::string::npos) << errors;
    EXPECT_EQ(runSim({"--listen", "127.0.0.1:0", "--state", "/nonexistent-dir/bridge.json"}, errors), 1);
    EXPECT_NE(errors.find("cannot write /nonexistent-dir/bridge.json.tmp"), std::string::npos) << errors;
}

TEST(SimProcess, KeepsItsStateInAFileAcrossRuns) {
    TempDir dir;
    auto file = dir.path() / "bridge.json";
    std::string paired, sceneId;
    {
        SimulatedBridge bridge(withState(file));
        bridge.pressLinkButton();
        paired = parseReply(bridge.request("POST", "/api", R"({"devicetype":"x"})"))[0]["success"]["username"];
        bridge.userRequest("PUT", "lights/2", R"({"name":"Speisekammer"})");
        bridge.userRequest("PUT", "lights/1/state", R"({"on":true,"bri":33})");
        bridge.userRequest("POST", "groups", R"({"name":"Pantry","lights":["2"]})");
        sceneId =
            parseReply(bridge.userRequest("POST", "scenes", R"({"name":"Low","lights":["1"]})"))[0]["success"]["id"];
        bridge.userRequest("POST", "schedules",
                           R"({"name":"n","command":{"method":"PUT","address":"/api/testuser/lights/1/state",)"
                           R"("body":{"on":false}},"time":"W127/T22:00:00"})");
        // Saved on every change, not only at the end.
        json saved = json::parse(readFile(file));
        EXPECT_EQ(saved["lights"]["2"]["name"], "Speisekammer");
        EXPECT_FALSE(std::filesystem::exists(file.string() + ".tmp"));
    }
    SimulatedBridge again(withState(file));
    json lights = parseReply(again.userRequest("GET", "lights"));
    EXPECT_EQ(lights["2"]["name"], "Speisekammer");
    EXPECT_EQ(lights["1"]["state"]["bri"], 33);
    EXPECT_EQ(parseReply(again.userRequest("GET", "groups/3"))["name"], "Pantry");
    EXPECT_EQ(parseReply(again.userRequest("GET", "scenes/" + sceneId))["lightstates"]["1"]["bri"], 33);
    EXPECT_EQ(parseReply(again.userRequest("GET", "schedules/1"))["time"], "W127/T22:00:00");
    EXPECT_TRUE(parseReply(again.request("GET", "/api/" + paired + "/lights")).contains("1"));
}

TEST(SimProcess, ATransitionUnderWayIsSavedAsItsEnd) {
    TempDir dir;
    auto file = dir.path() / "bridge.json";
    {
        SimulatedBridge bridge(withState(file));
        bridge.setClock(tuesdayAt("10:00:00"));
        bridge.changeLamp("1", R"({"on":true,"bri":200})");
        bridge.userRequest("PUT", "lights/1/state", R"({"on":false,"transitiontime":600})");
    }
    SimulatedBridge again(withState(file));
    json state = parseReply(again.userRequest("GET", "lights/1"))["state"];
    EXPECT_EQ(state["on"], false);
    EXPECT_EQ(state["bri"], 200);
}

TEST(SimProcess, AnUnreadableStateFileIsMovedAsideNotOverwritten) {
    TempDir dir;
    auto file = dir.path() / "bridge.json";
    const char* contents[] = {
        "{\"lights\": [",
        "[]",
        R"({"format":1,"lights":{"1":{"name":"x"}}})",
        R"({"format":1,"lights":{},"groups":{"1":{"name":"g","lights":["7"]}},"schedules":{},"whitelist":{}})",
        (R"({"format":1,"lights":{},"groups":{},"whitelist":{},)"
         R"("schedules":{"1":{"command":"switch on","time":"W127/T10:00:00"}}})"),
    };
    for (const char* content : contents) {
        std::ofstream(file) << content;
        SimulatedBridge bridge(withState(file));
        EXPECT_EQ(parseReply(bridge.userRequest("GET", "lights")).size(), 5u) << content;
        EXPECT_EQ(readFile(file.string() + ".unreadable"), content);
        std::filesystem::remove(file.string() + ".unreadable");
    }
}

TEST(SimProcess, AnUnreadableStateFileNeverOverwritesAnEarlierOne) {
    TempDir dir;
    auto file = dir.path() / "bridge.json";
    std::ofstream(file.string() + ".unreadable") << "first";
    std::ofstream(file) << "second";
    SimulatedBridge bridge(withState(file));
    EXPECT_EQ(readFile(file.string() + ".unreadable"), "first");
    EXPECT_EQ(readFile(file.string() + ".unreadable-2"), "second");
}

TEST(SimProcess, BadControlRequestsAreRefusedAndTheBridgeCarriesOn) {
    SimulatedBridge bridge;
    EXPECT_THROW(bridge.control("POST", "/sim/newlamps", R"({"count":"three"})"), std::runtime_error);
    EXPECT_THROW(bridge.control("PUT", "/sim/clock", R"({"time":"yesterday"})"), std::runtime_error);
    EXPECT_THROW(bridge.control("PUT", "/sim/lights/1", R"({"bri":999})"), std::runtime_error);
    EXPECT_THROW(bridge.control("PUT", "/sim/clock", R"({"time":1e300})"), std::runtime_error);
    EXPECT_THROW(bridge.advanceClock(1e12), std::runtime_error);
    EXPECT_THROW(bridge.advanceClock(-1), std::runtime_error);
    EXPECT_THROW(bridge.control("GET", "/sim/nothing"), std::runtime_error);
    EXPECT_TRUE(parseReply(bridge.userRequest("GET", "lights")).contains("1"));
}

TEST(SimProcess, TheDemoHouseChangesNowAndThen) {
    SimulatedBridge::Options options;
    options.demo = true;
    SimulatedBridge bridge(options);
    bridge.setClock(tuesdayAt("19:00:00"));
    json before = parseReply(bridge.userRequest("GET", "lights"));
    EXPECT_GE(before.size(), 5u);
    EXPECT_EQ(parseReply(bridge.userRequest("GET", "groups")).size(), 2u);
    std::set<std::string> types;
    for (const auto& [id, lamp] : before.items()) types.insert(lamp["type"]);
    EXPECT_GE(types.size(), 2u);

    int changes = 0;
    json last = before;
    for (int minute = 0; minute < 10; ++minute) {
        bridge.advanceClock(60);
        json now = parseReply(bridge.userRequest("GET", "lights"));
        if (now != last) ++changes;
        last = now;
    }
    EXPECT_GE(changes, 3);
}

}  // namespace
}  // namespace glowmere::testing
