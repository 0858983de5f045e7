#include <gtest/gtest.h>

#include <httplib.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "platform/DefaultsStore.h"
#include "platform/Value.h"
#include "support/SimulatedBridge.h"
#include "support/TempDir.h"

namespace glowmere {
namespace {

using testing::SimulatedBridge;
using testing::TempDir;

// A sanitizer's own bookkeeping takes memory of its own.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr long maxKilobytes = 256 * 1024;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
constexpr long maxKilobytes = 256 * 1024;
#else
constexpr long maxKilobytes = 64 * 1024;
#endif
#else
constexpr long maxKilobytes = 64 * 1024;
#endif

struct CtlRun {
    int status = -1;
    std::string out;
    std::string err;
    double seconds = 0;  // wall time
};

std::string quoted(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// glowmerectl as a user runs it: its own process, its own profile.
class CtlTest : public ::testing::Test {
protected:
    explicit CtlTest(SimulatedBridge::Options options = {}) : sim(options) {
        // The bridges answer searches on loopback at once: a second's wait is plenty.
        ::setenv("GLOWMERE_SEARCH_WAIT_MS", "1000", 1);
        platform::DefaultsStore store(profile.path());
        if (!sim.user().empty()) store.setObject("username", sim.user());
        store.setObject("lastusedbridgeIP", sim.address());
        store.setObject("alwaysUseManualIP", true);
        sim.clearRequestLog();
    }

    CtlRun ctl(const std::vector<std::string>& args) {
        std::string command = std::string(GLOWMERE_CTL_PATH) + " --profile " + quoted(profile.path().string());
        for (const auto& a : args) command += " " + quoted(a);
        const auto outFile = scratch.path() / "out", errFile = scratch.path() / "err";
        command += " >" + quoted(outFile.string()) + " 2>" + quoted(errFile.string());
        CtlRun run;
        const auto start = std::chrono::steady_clock::now();
        int raw = std::system(command.c_str());
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = slurp(outFile);
        run.err = slurp(errFile);
        return run;
    }

    // What a command sent, after asking the bridge who it is (which every
    // call does first, without the user name).
    std::vector<std::string> wire() {
        std::vector<std::string> out;
        for (const auto& r : sim.requestLog())
            if (r.method != "GET" || r.path != "/api/config")
                out.push_back(r.method + " " + r.path + (r.body.empty() ? "" : " " + r.body));
        return out;
    }

    SimulatedBridge sim;
    TempDir profile, scratch;
};

TEST_F(CtlTest, RenamedLampReadsBackWithItsUmlaut) {
    auto rename = ctl({"rename", "1", "Küche"});
    EXPECT_EQ(rename.status, 0) << rename.err;
    EXPECT_EQ(wire(), (std::vector<std::string>{"PUT /api/testuser/lights/1 {\"name\":\"Küche\"}"}));
    auto lights = ctl({"lights"});
    EXPECT_EQ(lights.status, 0) << lights.err;
    EXPECT_NE(lights.out.find("1     on   "), std::string::npos) << lights.out;
    EXPECT_NE(lights.out.find("Küche\n"), std::string::npos) << lights.out;
    auto json = ctl({"lights", "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out.front(), '[');
    EXPECT_NE(json.out.find("\"label\":\"Küche\""), std::string::npos) << json.out;
}

TEST_F(CtlTest, CommandsSendTheCoresRequests) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> requests;
    } cases[] = {
        // Lamps 1, 3 and 5 are on at 137, 211 and 130; the others off.
        {{"dimmer"},
         {"GET /api/testuser/lights", R"(PUT /api/testuser/lights/1/state {"bri":112})",
          R"(PUT /api/testuser/lights/3/state {"bri":186})", R"(PUT /api/testuser/lights/5/state {"bri":105})"}},
        {{"brighter"},
         {"GET /api/testuser/lights", R"(PUT /api/testuser/lights/1/state {"bri":137})",
          R"(PUT /api/testuser/lights/3/state {"bri":211})", R"(PUT /api/testuser/lights/5/state {"bri":130})"}},
        {{"toggle"}, {"GET /api/testuser/lights", R"(PUT /api/testuser/groups/0/action {"on":false})"}},
        {{"toggle"}, {"GET /api/testuser/lights", R"(PUT /api/testuser/groups/0/action {"on":true})"}},
        {{"on", "2"}, {R"(PUT /api/testuser/lights/2/state {"on":true})"}},
        {{"set", "1", "bri=10", "transition=2"},
         {R"(PUT /api/testuser/lights/1/state {"bri":10,"transitiontime":20})"}},
        {{"group-off", "1"}, {R"(PUT /api/testuser/groups/1/action {"on":false})"}},
        {{"group-set", "2", "hue=300", "sat=5"}, {R"(PUT /api/testuser/groups/2/action {"hue":300,"sat":5})"}},
        {{"all", "on"}, {R"(PUT /api/testuser/groups/0/action {"on":true})"}},
        {{"dusk", "--group", "1", "0.5"}, {R"(PUT /api/testuser/groups/1/action {"on":false,"transitiontime":300})"}},
        {{"group-on", "0"}, {R"(PUT /api/testuser/groups/0/action {"on":true})"}},
        {{"set", "2", "sat=0", "transition=0.5"}, {R"(PUT /api/testuser/lights/2/state {"sat":0,"transitiontime":5})"}},
        {{"dawn", "3", "1"},
         {R"(PUT /api/testuser/lights/3/state {"on":true})",
          R"(PUT /api/testuser/lights/3/state {"bri":0,"transitiontime":0})",
          R"(PUT /api/testuser/lights/3/state {"bri":255,"transitiontime":600})"}},
        {{"make-group", "Den", "1", "3"}, {R"(POST /api/testuser/groups {"lights":["1","3"],"name":"Den"})"}},
        {{"rename-group", "3", "  Den 2 "}, {R"(PUT /api/testuser/groups/3 {"name":"Den 2"})"}},
        {{"remove-group", "3"}, {"DELETE /api/testuser/groups/3"}},
    };
    for (const auto& c : cases) {
        sim.clearRequestLog();
        auto run = ctl(c.args);
        EXPECT_EQ(run.status, 0) << c.args[0] << ": " << run.err;
        EXPECT_EQ(wire(), c.requests) << c.args[0];
    }
    auto get = ctl({"get", "/lights/1"});
    EXPECT_EQ(get.status, 0);
    EXPECT_EQ(get.out, *sim.userRequest("GET", "lights/1") + "\n");
}

// Wrong input is refused before anything is sent or stored.
TEST_F(CtlTest, UsageErrorsExitTwoAndSendNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"on"},
        {"on", "1/../../config"},
        {"on", "-1"},  // identifiers are positive whole numbers
        {"on", "0"},   // (group 0 is all lamps; there is no lamp 0)
        {"on", "01"},
        {"on", "1.0"},
        {"remove-group", "0"},
        {"set", "1"},
        {"set", "1", "transition=5"},  // nothing to send
        {"set", "1", "bri=256"},
        {"set", "1", "bri=1.5"},  // not whole
        {"set", "1", "bri=-1"},
        {"set", "1", "bri="},
        {"set", "1", "hue=65536"},
        {"set", "1", "sat=2e2"},
        {"set", "1", "bri=9", "transition=0.25"},
        {"set", "1", "bri=9", "transition=6553.6"},
        {"set", "1", "colour=3"},
        {"set", "1", "bri=200", "bri=100"},  // the same setting twice
        {"schedule-add", "--name", "Morning", "--kind", "on", "--lamp", "1", "--on", "07:00", "--days", "mo,mo"},
        {"dusk", "1", "-3"},
        {"dusk", "1", "110"},  // more than 65535 tenths of a second
        {"rename", "1", ""},   // names: 1-32 characters after trimming
        {"rename", "1", "   "},
        {"rename", "1", std::string(33, 'n')},
        {"rename", "1", "red\x1b[31m"},
        {"make-group", "", "1"},
        {"make-group", "Den", "one"},
        {"get", "../../config"},  // only paths under the user's root
        {"get", "lights/../../config"},
        {"get", "lights//1"},
        {"get", "config#"},
        {"get", "lights?x=1"},
        {"get", "lights/1/"},
        {"get", ""},
        {"--bridge", "bad host!", "lights"},
        {"--bridge", "-x", "lights"},  // an option, not a host
        {"--bridge", "host:080", "lights"},
        {"lights", "\xff\xfe"},  // not UTF-8: shown escaped
        {"\xc3("},
        {"lights", "--frob"},
        {"preset-save"},
        {"preset-rename", "A", ""},
        {"preset-apply", "A", "--transition", "-1"},
    };
    for (const auto& args : cases) {
        auto run = ctl(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_EQ(run.status, 2) << joined;
        EXPECT_NE(run.err.find("glowmerectl"), std::string::npos) << joined;
        EXPECT_EQ(run.err.find_first_of("\xff\xc3"), std::string::npos) << joined;
    }
    EXPECT_TRUE(sim.requestLog().empty());
    EXPECT_EQ(ctl({"--help"}).status, 0);
}

// Replies no bridge gives: each is a failure with its reason, never a
// success, and none takes more memory than the 8 MB cut-off.
TEST_F(CtlTest, RepliesThatAreNoBridgesExitOneAndSayWhy) {
    struct Case {
        const char* what;
        std::function<void(SimulatedBridge&)> fault;
        std::vector<std::string> args;
        std::string reason;
        std::size_t requests;
    } cases[] = {
        {"HTML 404 page",
         [](SimulatedBridge& s) { s.statusPage(404, -1, "lights"); },
         {"lights"},
         "answered HTTP 404",
         2},
        {"HTML 500 page for a change",
         [](SimulatedBridge& s) { s.errorPage(-1, "/testuser/"); },
         {"on", "1"},
         "answered HTTP 500",
         1},
        {"HTML 500 page for a new group",
         [](SimulatedBridge& s) { s.errorPage(-1, "/testuser/"); },
         {"make-group", "Den", "1"},
         "answered HTTP 500",
         1},
        {"a 9 MB reply", [](SimulatedBridge& s) { s.oversizedReply(-1, "lights"); }, {"lights"}, "cut off", 1},
        {"a reply that never ends", [](SimulatedBridge& s) { s.endlessReply(-1, "lights"); }, {"lights"}, "cut off", 1},
        {"1001 lamps", [](SimulatedBridge& s) { s.longList(1001, -1, "lights"); }, {"lights"}, "more members", 1},
        {"no answer within --timeout",
         [](SimulatedBridge& s) { s.addLatency(2500, -1, "lights"); },
         {"--timeout", "0.5", "lights"},
         "did not answer in time",
         1},
    };
    for (const auto& c : cases) {
        sim.clearFaults();
        c.fault(sim);
        sim.clearRequestLog();
        auto run = ctl(c.args);
        EXPECT_EQ(run.status, 1) << c.what << ": " << run.out;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.what << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.what << ": " << run.err;
        EXPECT_EQ(wire().size(), c.requests) << c.what << ": a time-out is not asked again";
        // None waits out the 30 s a reply may take; the one without an answer
        // gives up before its reply would come.
        EXPECT_LT(run.seconds, c.args[0] == "--timeout" ? 2.5 : 10.0) << c.what;
    }
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, maxKilobytes) << "kB at most, in any glowmerectl run";
}

TEST_F(CtlTest, RefusalAndUnreachableBridgeExitOneWithOneLine) {
    auto refused = ctl({"on", "99"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err.rfind("glowmerectl: could not switch on lamp 99: the bridge refused: "), 0u) << refused.err;
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1);

    // Of several lamps, the message names the ones the bridge refused (lamp 2 is off).
    auto some = ctl({"set", "1,2,3", "bri=5"});
    EXPECT_EQ(some.status, 1);
    EXPECT_EQ(some.err.rfind("glowmerectl: could not set lamp 2: the bridge refused: "), 0u) << some.err;

    auto missing = ctl({"get", "lights/99"});
    EXPECT_EQ(missing.status, 1);

    sim.stop();
    auto unreachable = ctl({"lights"});
    EXPECT_EQ(unreachable.status, 1);
    EXPECT_NE(unreachable.err.find("could not reach the bridge at " + sim.address()), std::string::npos)
        << unreachable.err;
    EXPECT_EQ(std::count(unreachable.err.begin(), unreachable.err.end(), '\n'), 1);
}

TEST_F(CtlTest, AUserNameTheBridgeNoLongerKnowsIsKeptAndTheUserToldToPair) {
    sim.makeUnauthorized(sim.user());
    for (const std::vector<std::string>& args : {std::vector<std::string>{"lights"}, {"on", "1"}}) {
        sim.clearRequestLog();
        auto run = ctl(args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_NE(run.err.find("pairing is needed; run 'glowmerectl login'"), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_LT(run.seconds, 2.5) << "no waiting for a link button";
        EXPECT_EQ(wire().size(), 1u) << "the name is not sent again once refused";
        EXPECT_EQ(platform::DefaultsStore(profile.path()).stringForKey("username"), sim.user());
    }
}

// An unreadable settings file is set aside, kept private and said once; a
// new profile folder is private too.
TEST_F(CtlTest, AnUnreadableProfileIsSetAsidePrivatelyAndSaidOnce) {
    const auto file = profile.path() / "defaults.plist";
    std::ofstream(file) << "<plist><dict><key>username";
    std::filesystem::permissions(file, std::filesystem::perms(0644));
    auto run = ctl({"presets"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("glowmerectl: the settings file could not be read; it was kept as " + file.string(), 0), 0u)
        << run.err;
    int asideFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(profile.path())) {
        if (entry.path().filename().string().rfind("defaults.plist.corrupt-", 0) != 0) continue;
        ++asideFiles;
        EXPECT_EQ(entry.status().permissions() & std::filesystem::perms::all, std::filesystem::perms(0600));
    }
    EXPECT_EQ(asideFiles, 1);
    EXPECT_EQ(ctl({"presets"}).err, "") << "said once";

    const auto fresh = scratch.path() / "new" / "glowmere";
    ASSERT_TRUE(platform::DefaultsStore(fresh).setObject("x", 1));
    EXPECT_EQ(std::filesystem::status(fresh).permissions() & std::filesystem::perms::all, std::filesystem::perms(0700));
}

TEST_F(CtlTest, BridgeOptionIsUsedForOneCallAndNotStored) {
    SimulatedBridge other;
    sim.stop();
    auto run = ctl({"--bridge", other.address(), "groups"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Downstairs"), std::string::npos);
    EXPECT_EQ(platform::DefaultsStore(profile.path()).stringForKey("lastusedbridgeIP"), sim.address());
}

TEST_F(CtlTest, PresetsAreSavedAppliedRenamedAndDeletedOnTheSharedList) {
    EXPECT_EQ(ctl({"presets"}).out, "no presets\n");
    auto lamp1 = nlohmann::json::parse(sim.userRequest("GET", "lights/1").value_or("{}"))["state"];
    auto save = ctl({"preset-save", "Evening"});
    EXPECT_EQ(save.status, 0) << save.err;
    EXPECT_EQ(save.out, "saved preset 'Evening' (5 lamps)\n");
    Value stored = platform::DefaultsStore(profile.path()).objectForKey("presets");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored.at(0)["ID"].textValue().size(), 14u);
    EXPECT_EQ(stored.at(0)["strips"].at(1)["id"], Value("2"));
    EXPECT_FALSE(stored.at(0)["strips"].at(3).contains("colour")) << "lamp 4 is white only";
    for (const auto& r : sim.requestLog()) EXPECT_EQ(r.method, "GET") << "saving reads only";

    // The application's presets also hold a colour lamp's warmth; a lamp in
    // colour mode gets its colour only, as a bridge would take ct over it.
    stored.asList()[0].asMap()["strips"].asList()[0].set("ct", 250.0);
    ASSERT_TRUE(platform::DefaultsStore(profile.path()).setObject("presets", stored));
    sim.changeLamp("1", R"({"on":false})");
    sim.changeLamp("3", R"({"bri":7})");
    sim.clearRequestLog();
    auto apply = ctl({"preset-apply", "Evening", "--transition", "2"});
    EXPECT_EQ(apply.status, 0) << apply.err;
    std::vector<std::string> puts;
    for (const auto& w : wire())
        if (w.rfind("PUT", 0) == 0) puts.push_back(w);
    ASSERT_EQ(puts.size(), 5u);
    nlohmann::json expected = {
        {"on", true}, {"bri", lamp1["bri"]}, {"hue", lamp1["hue"]}, {"sat", lamp1["sat"]}, {"transitiontime", 20}};
    EXPECT_EQ(puts[0], "PUT /api/testuser/lights/1/state " + expected.dump()) << "every value, over 2 s";
    EXPECT_EQ(puts[3], R"(PUT /api/testuser/lights/4/state {"on":false,"transitiontime":20})")
        << "an off white lamp that stays off is only switched off";

    auto listed = nlohmann::json::parse(ctl({"presets", "--json"}).out);
    EXPECT_EQ(listed, nlohmann::json::parse(R"([{"name":"Evening","transition":null,"lamps":5,"onBridge":false,)"
                                            R"("active":)" +
                                            listed.at(0).at("active").dump() + "}]"));
    EXPECT_EQ(ctl({"preset-rename", "Evening", "Night"}).status, 0);
    auto gone = ctl({"preset-apply", "Evening"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.err, "glowmerectl: no preset named 'Evening' (see glowmerectl presets)\n");
    EXPECT_NE(ctl({"presets"}).out.find("default     5      Night\n"), std::string::npos);
    EXPECT_EQ(ctl({"preset-delete", "Night"}).status, 0);
    EXPECT_EQ(ctl({"presets"}).out, "no presets\n");
}

// The bridge's own scenes, and which scene or preset is in effect: saved
// from the lamps now, recalled with one request, out of effect once a lamp
// changes elsewhere, deleted.
TEST_F(CtlTest, ScenesAreKeptOnTheBridgeAndShowWhetherTheyAreInEffect) {
    sim.setClock("2026-12-08T20:00:00Z");  // transitions wait for the test
    auto save = ctl({"scene-save", "Evening", "1,3"});
    ASSERT_EQ(save.status, 0) << save.err;
    const std::string id = save.out.substr(save.out.rfind(' ') + 1, save.out.size() - save.out.rfind(' ') - 2);
    EXPECT_EQ(save.out, "saved scene 'Evening' (2 lamps) as " + id + "\n");
    auto onBridge = nlohmann::json::parse(sim.userRequest("GET", "scenes").value_or("{}"));
    EXPECT_EQ(onBridge.at(id).at("lights"), nlohmann::json::parse(R"(["1","3"])"));

    auto active = [this](const char* command) {
        auto run = ctl({command, "--json"});
        EXPECT_EQ(run.status, 0) << run.err;
        return nlohmann::json::parse(run.out).at(0).at("active").get<bool>();
    };
    ASSERT_EQ(ctl({"preset-save", "Night"}).status, 0);
    EXPECT_TRUE(active("scenes"));
    EXPECT_TRUE(active("presets"));
    sim.changeLamp("1", R"({"on":true,"bri":3})");
    EXPECT_FALSE(active("scenes")) << "a lamp changed elsewhere";
    EXPECT_FALSE(active("presets"));

    sim.clearRequestLog();
    auto recall = ctl({"scene-apply", "Evening", "--transition", "1"});
    EXPECT_EQ(recall.status, 0) << recall.err;
    EXPECT_EQ(recall.out, "recalled scene 'Evening' over 1 s\n");
    std::vector<std::string> changes;
    for (const auto& w : wire())
        if (w.rfind("GET", 0) != 0) changes.push_back(w);
    EXPECT_EQ(changes, std::vector<std::string>{"PUT /api/testuser/groups/0/action {\"scene\":\"" + id +
                                                "\",\"transitiontime\":10}"});
    sim.advanceClock(1);
    EXPECT_TRUE(active("scenes"));

    EXPECT_EQ(ctl({"scene-save", "Evening"}).out, "updated scene 'Evening' (5 lamps) as " + id + "\n");
    auto unknown = ctl({"scene-apply", "Morning"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "glowmerectl: the bridge has no scene 'Morning' (see glowmerectl scenes)\n");
    EXPECT_EQ(ctl({"scene-save", "Bad", "1,9"}).status, 2) << "a lamp the bridge does not have";
    EXPECT_EQ(ctl({"scene-delete", id}).out, "deleted scene 'Evening'\n");
    EXPECT_EQ(ctl({"scenes"}).out, "no scenes\n");
}

// Names the bridge holds reach the terminal with their control characters
// escaped; --json gives valid JSON holding every character as sent.
TEST_F(CtlTest, PresetStepsGoOnFromThePresetTheLampsShow) {
    ASSERT_TRUE(platform::DefaultsStore(profile.path()).setObject("presetTransition", 0.0));
    ASSERT_EQ(ctl({"preset-save", "Day"}).status, 0);
    sim.changeLamp("1", R"({"bri":20})");
    ASSERT_EQ(ctl({"preset-save", "Night"}).status, 0);
    sim.changeLamp("3", R"({"bri":40})");
    struct Step {
        const char* command;
        const char* applied;
    } steps[] = {
        {"preset-previous", "Night"},  // the lamps show neither: the last
        {"preset-next", "Day"},        // wraps round
        {"preset-next", "Night"},
        {"preset-previous", "Day"},
    };
    for (const Step& step : steps) {
        auto run = ctl({step.command});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.rfind(std::string("applied preset '") + step.applied + "'", 0), 0u)
            << step.command << ": " << run.out;
    }
    EXPECT_EQ(ctl({"preset-next", "x"}).status, 2);
}

// A flash in a colour comes back to each lamp's own state, whatever its
// colour mode and whether it was on.
TEST_F(CtlTest, AlertFlashesInAColourAndEveryLampEndsAsItWas) {
    sim.changeLamp("3", R"({"ct":250})");  // colour temperature mode
    ASSERT_TRUE(sim.userRequest("PUT", "lights/5/state", R"({"xy":[0.4123,0.3301]})"));
    auto states = [&] {
        auto lights = nlohmann::json::parse(sim.userRequest("GET", "lights").value_or("{}"));
        for (auto& [id, lamp] : lights.items()) lamp["state"].erase("alert");
        return lights;
    };
    const auto before = states();
    ASSERT_EQ(before["3"]["state"]["colormode"], "ct");
    ASSERT_EQ(before["5"]["state"]["colormode"], "xy");
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> lamps;  // flashed in red, then put back
    } cases[] = {
        {{"alert", "1", "--colour", "red"}, {"1"}},
        {{"alert", "upstairs", "--colour", "0"}, {"3", "5"}},                 // 4 is white only: its own alert
        {{"alert", "Küche", "--colour", "RED", "--times", "2"}, {"2", "2"}},  // off before, off after
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        sim.clearRequestLog();
        auto run = ctl(c.args);
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<std::string> red, back;
        for (const auto& r : sim.requestLog()) {
            if (r.method != "PUT" || r.path.find("/lights/") == std::string::npos) continue;
            const auto body = nlohmann::json::parse(r.body);
            const std::string lamp = r.path.substr(r.path.find("/lights/") + 8, 1);
            if (body.value("hue", -1) == 0 && body.value("bri", 0) == 254)
                red.push_back(lamp);
            else if (body.contains("bri"))
                back.push_back(lamp);
        }
        EXPECT_EQ(red, c.lamps);
        EXPECT_EQ(back, c.lamps);
        EXPECT_EQ(states(), before);
    }
    // Without a colour: the bridge's own alert, for the group at once.
    sim.clearRequestLog();
    EXPECT_EQ(ctl({"alert", "Downstairs"}).status, 0);
    EXPECT_EQ(wire().back(), R"(PUT /api/testuser/groups/1/action {"alert":"select"})");
    struct Refused {
        std::vector<std::string> args;
        int status;
        const char* says;
    } refused[] = {
        {{"alert", "Cellar"}, 1, "no lamp or group is called 'Cellar'"},
        {{"alert", "1", "--colour", "teal"}, 2, "'teal' is not a colour"},
        {{"alert", "1", "--times", "11"}, 2, "--times takes a whole number from 1 to 10"},
        {{"alert", "1", "--long", "--colour", "red"}, 2, "--long and --colour cannot be used together"},
        {{"alert"}, 2, "expected one lamp or group"},
    };
    for (const Refused& r : refused) {
        auto run = ctl(r.args);
        EXPECT_EQ(run.status, r.status) << run.err;
        EXPECT_NE(run.err.find(r.says), std::string::npos) << run.err;
    }
}

TEST_F(CtlTest, BridgeTextIsShownEscapedAndGivenExactlyAsJson) {
    const std::string name = "Desk | left \x1b[2J\x07";
    sim.changeLamp("1", nlohmann::json{{"name", name}}.dump());
    sim.changeLamp("2", R"({"name":"254"})");
    auto table = ctl({"lights"});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.out.find('\x1b'), std::string::npos);
    EXPECT_NE(table.out.find("Desk | left \\x1b[2J\\x07\n"), std::string::npos) << table.out;
    auto json = ctl({"lights", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    auto parsed = nlohmann::json::parse(json.out);
    EXPECT_EQ(parsed.at(0).at("label").get<std::string>(), name);
    // Numbers, booleans and lists as their JSON types; names stay texts.
    EXPECT_EQ(parsed.at(1).at("label"), "254");
    EXPECT_TRUE(parsed.at(0).at("onoff").is_boolean());
    EXPECT_TRUE(parsed.at(0).at("brightness").is_number());
    EXPECT_TRUE(parsed.at(0).at("state").at("on").is_boolean());
    EXPECT_TRUE(parsed.at(0).at("state").at("hue").is_number());
    EXPECT_TRUE(parsed.at(0).at("state").at("xy").at(0).is_number());
    auto groups = nlohmann::json::parse(ctl({"groups", "--json"}).out);
    EXPECT_EQ(groups.at(0).at("lights"), nlohmann::json::parse(R"(["1","2"])"));
    EXPECT_TRUE(groups.at(0).at("state").at("any_on").is_boolean());
    EXPECT_TRUE(groups.at(0).at("action").at("bri").is_number());
    auto raw = ctl({"get", "lights/1"});
    ASSERT_EQ(raw.status, 0) << raw.err;
    EXPECT_EQ(raw.out.find('\x1b'), std::string::npos);
}

// Every listing command's --json is one JSON text with typed values.
TEST_F(CtlTest, EveryListingCommandGivesTypedJson) {
    platform::DefaultsStore store(profile.path());
    store.setObject("latitude", 52.5);
    store.setObject("longitude", 13.4);
    ASSERT_EQ(ctl({"preset-save", "Evening"}).status, 0);
    ASSERT_EQ(ctl({"schedule-add", "--name", "Morning", "--kind", "on", "--lamp", "1", "--on", "07:00"}).status, 0);
    using Check = bool (*)(const nlohmann::json&);
    const struct {
        const char* command;
        Check typed;
    } cases[] = {
        {"lights", [](const nlohmann::json& j) { return j.at(0).at("onoff").is_boolean(); }},
        {"groups", [](const nlohmann::json& j) { return j.at(0).at("action").at("bri").is_number(); }},
        {"presets", [](const nlohmann::json& j) { return j.at(0).at("lamps").is_number(); }},
        {"explore", [](const nlohmann::json& j) { return j.at("Lights").is_object(); }},
        {"schedules",
         [](const nlohmann::json& j) {
             return j.at(0).at("number") == 1 && j.at(0).at("enabled") == true && j.at(0).at("name") == "Morning" &&
                    j.at(0).at("item").at("vary").is_boolean() && j.at(0).at("item").at("ontime") == "07:00";
         }},
        {"sun",
         [](const nlohmann::json& j) {
             return j.at("latitude") == 52.5 && j.at("positionSource") == "settings" && j.at("sunrise").is_string();
         }},
        {"schedule-status",
         [](const nlohmann::json& j) { return j.at("othersOnBridge") == false && j.at("status").is_string(); }},
    };
    for (const auto& c : cases) {
        auto run = ctl({c.command, "--json"});
        EXPECT_EQ(run.status, 0) << c.command << ": " << run.err;
        auto parsed = nlohmann::json::parse(run.out, nullptr, false);
        ASSERT_FALSE(parsed.is_discarded()) << c.command << ": " << run.out;
        EXPECT_TRUE(c.typed(parsed)) << c.command << ": " << run.out;
    }
    // What an item registered on the bridge holds the user name: left out.
    EXPECT_EQ(ctl({"schedules", "--json"}).out.find("testuser"), std::string::npos);
}

TEST_F(CtlTest, ExplorePrintsTheBridgesTreeAndUpdateCheckComparesVersions) {
    sim.addUser("otherapp0123456789");
    auto text = ctl({"explore"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("\nLights\n  1\n    modelid\n      GM-RGBW-1\n    name\n      Hall\n"), std::string::npos)
        << text.out;
    auto json = ctl({"explore", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    auto tree = nlohmann::json::parse(json.out);
    EXPECT_EQ(tree["Lights"]["2"]["name"], "Küche");
    EXPECT_EQ(tree["Lights"]["1"]["state"]["on"], "true");
    EXPECT_EQ(tree["Groups"]["1"]["name"], "Downstairs");
    EXPECT_TRUE(tree["Schedules"].empty());
    EXPECT_TRUE(tree.contains("Config"));
    // Paired user names, the user's own among them, show only their start.
    auto config = ctl({"get", "config"});
    EXPECT_EQ(config.status, 0) << config.err;
    EXPECT_EQ(nlohmann::json::parse(config.out)["whitelist"].size(), 2u) << config.out;
    EXPECT_NE(config.out.find("\"test…\""), std::string::npos) << config.out;
    for (const auto* out : {&text.out, &json.out, &config.out})
        for (const char* name : {"testuser", "otherapp"}) EXPECT_EQ(out->find(name), std::string::npos) << *out;
    // A name with control characters reaches the terminal escaped.
    sim.changeLamp("1", nlohmann::json{{"name", "Desk \x1b[2J"}}.dump());
    auto escaped = ctl({"explore"});
    EXPECT_EQ(escaped.out.find('\x1b'), std::string::npos);
    EXPECT_NE(escaped.out.find("    name\n      Desk \\x1b[2J\n"), std::string::npos) << escaped.out;
    EXPECT_EQ(nlohmann::json::parse(ctl({"explore", "--json"}).out)["Lights"]["1"]["name"], "Desk \x1b[2J");

    auto noServer = ctl({"update-check"});
    EXPECT_EQ(noServer.status, 1);
    EXPECT_NE(noServer.err.find("updateServer"), std::string::npos);

    // The server's thread reads the version the test changes between runs.
    std::mutex versionLock;
    std::string version = "999.0";
    auto setVersion = [&](const char* text) {
        std::lock_guard lock(versionLock);
        version = text;
    };
    httplib::Server server;
    std::condition_variable released;
    bool stalled = false;  // the server holds its reply until the test lets go
    server.Get("/glowmere/updates/currentversion.plist", [&](const httplib::Request&, httplib::Response& res) {
        std::unique_lock lock(versionLock);
        released.wait_for(lock, std::chrono::seconds(10), [&] { return !stalled; });
        res.set_content("<plist><dict><key>currentversion</key><string>" + version +
                            "</string><key>newinthisversionurl</key><string>http://x/n</string>"
                            "<key>releasedate</key><string>today</string>"
                            "<key>downloadurl</key><string>http://x/a.tar.gz</string></dict></plist>",
                        "application/xml");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    platform::DefaultsStore(profile.path()).setObject("updateServer", "http://127.0.0.1:" + std::to_string(port));
    auto newer = ctl({"update-check"});
    EXPECT_EQ(newer.status, 0) << newer.err;
    EXPECT_EQ(newer.out.rfind("999.0 is newer than ", 0), 0u) << newer.out;
    setVersion("0.0.0.1");
    auto older = ctl({"update-check"});
    EXPECT_EQ(older.status, 0) << older.err;
    EXPECT_EQ(older.out.rfind("0.0.0.1 is not newer than ", 0), 0u) << older.out;
    setVersion("<broken");
    EXPECT_EQ(ctl({"update-check"}).status, 1);
    {
        std::lock_guard lock(versionLock);
        stalled = true;
    }
    auto late = ctl({"--timeout", "0.5", "update-check"});
    EXPECT_EQ(late.status, 1) << late.out;
    EXPECT_LT(late.seconds, 5) << "--timeout holds for the update server too";
    {
        std::lock_guard lock(versionLock);
        stalled = false;
    }
    released.notify_all();
    server.stop();
    serving.join();
}

SimulatedBridge::Options house(int lamps, int groups, bool namesOnly = false) {
    SimulatedBridge::Options options;
    options.lamps = lamps;
    options.groups = groups;
    options.namesOnly = namesOnly;
    return options;
}

class CtlHouseTest : public CtlTest {
protected:
    CtlHouseTest() : CtlTest(house(200, 10)) {}
};

TEST_F(CtlHouseTest, ListingTwoHundredLampsIsOneRequest) {
    auto run = ctl({"lights"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 201) << "a heading and 200 lamps";
    EXPECT_EQ(wire(), std::vector<std::string>{"GET /api/testuser/lights"});
}

// Thirty lamps set in one call reach the bridge all, in order, and no
// faster than ten a second.
TEST_F(CtlHouseTest, SettingThirtyLampsIsPacedToTenASecond) {
    sim.userRequest("PUT", "groups/0/action", R"({"on":true})");
    sim.clearRequestLog();
    std::string ids;
    for (int i = 1; i <= 30; ++i) ids += (i > 1 ? "," : "") + std::to_string(i);
    auto run = ctl({"set", ids, "bri=77"});
    EXPECT_EQ(run.status, 0) << run.err;
    auto log = sim.requestLog();
    // Asked who it is first (again on the queue's own connection); then the commands.
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().path, "/api/config");
    std::erase_if(log, [](const auto& r) { return r.path == "/api/config"; });
    ASSERT_EQ(log.size(), 30u);
    auto millis = [](const std::string& time) {  // "...T06:29:59.123Z"
        return std::stoi(time.substr(11, 2)) * 3600000 + std::stoi(time.substr(14, 2)) * 60000 +
               std::stoi(time.substr(17, 2)) * 1000 + std::stoi(time.substr(20, 3));
    };
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].path, "/api/testuser/lights/" + std::to_string(i + 1) + "/state");
        EXPECT_EQ(log[i].body, R"({"bri":77})");
        // The first command waited while the queue's own connection was
        // checked. Ten sent 100 ms apart span 900 ms when they arrive, give
        // or take how late each reached the bridge on a busy machine (up to
        // 150 ms under a sanitizer on two cores): a pace of 75 ms would
        // span 675 ms.
        if (i >= 9) {
            EXPECT_GT(millis(log[i].time) - millis(log[i - 9].time), 750) << i;
        }
    }
    EXPECT_GE(millis(log.back().time) - millis(log.front().time), 2850);
    for (int id : {1, 15, 30}) {
        auto state = nlohmann::json::parse(*sim.userRequest("GET", "lights/" + std::to_string(id)));
        EXPECT_EQ(state["state"]["bri"], 77) << id;
    }
}

class CtlOlderBridgeTest : public CtlTest {
protected:
    CtlOlderBridgeTest() : CtlTest(house(5, 2, true)) {}
};

TEST_F(CtlOlderBridgeTest, ABridgeThatListsNamesOnlyIsReadLampByLamp) {
    auto run = ctl({"lights", "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    auto lamps = nlohmann::json::parse(run.out);
    ASSERT_EQ(lamps.size(), 5u);
    EXPECT_EQ(wire().size(), 6u) << "the list, then each lamp";
    auto hall = nlohmann::json::parse(*sim.userRequest("GET", "lights/1"))["state"];
    EXPECT_EQ(lamps[0]["label"], "Hall");
    EXPECT_EQ(lamps[0]["brightness"], hall["bri"]);
    EXPECT_EQ(lamps[0]["colour"], hall["hue"]);
    EXPECT_EQ(lamps[1]["onoff"], false);
    auto groups = ctl({"groups", "--json"});
    EXPECT_EQ(nlohmann::json::parse(groups.out).size(), 2u);
}

// A UDP port nobody answers on.
int silentPort() {
    int sock = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(sock);
    return ntohs(address.sin_port);
}

TEST_F(CtlTest, DiscoverFindsEveryBridgeThatAnswersOnTheLocalNetwork) {
    auto lines = [](const std::string& text) {
        std::vector<std::string> out;
        std::stringstream in(text);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        std::sort(out.begin(), out.end());
        return out;
    };
    SimulatedBridge::Options one;
    one.ssdp = "127.0.0.1:0";
    SimulatedBridge first(one);
    auto run = ctl({"discover", "--ssdp", "127.0.0.1:" + std::to_string(first.ssdpPort()), "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out), nlohmann::json::array({first.address()})) << run.out;
    EXPECT_EQ(platform::DefaultsStore(profile.path()).stringForKey("lastusedbridgeIP"), first.address())
        << "the one bridge found is the one to use";

    // Two bridges that answer one search, as on a real network; the
    // loopback broadcast address keeps it on this machine.
    SimulatedBridge::Options grouped;
    grouped.ssdp = "127.255.255.255:0";
    SimulatedBridge second(grouped);
    grouped.ssdp = "127.255.255.255:" + std::to_string(second.ssdpPort());
    SimulatedBridge third(grouped);
    run = ctl({"discover", "--ssdp", grouped.ssdp});
    EXPECT_EQ(run.status, 0) << run.err;
    auto expected = std::vector<std::string>{second.address(), third.address()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines(run.out), expected);

    run = ctl({"discover", "--ssdp", "127.0.0.1:" + std::to_string(silentPort())});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("no bridge answered"), std::string::npos) << run.err;
    EXPECT_LT(run.seconds, 4.0);
}

// The bridge's identity and key are kept in the profile: a bridge that moved
// is followed within the call, a new certificate is refused until trusted.
TEST_F(CtlTest, AMovedBridgeIsFollowedAndANewCertificateWaitsForTrustBridge) {
    SimulatedBridge::Options options;
    options.bridgeId = "gmctl00001";
    options.stateFile = (scratch.path() / "bridge.json").string();
    options.ssdp = "127.0.0.1:0";
    auto bridge = std::make_unique<SimulatedBridge>(options);
    auto profileSays = [&](const char* key) { return platform::DefaultsStore(profile.path()).stringForKey(key); };
    {
        platform::DefaultsStore store(profile.path());
        store.setObject("lastusedbridgeIP", bridge->address());
        store.setObject("alwaysUseManualIP", false);
    }
    ASSERT_EQ(ctl({"lights"}).status, 0);
    EXPECT_EQ(profileSays("bridgeid"), "gmctl00001");

    const std::string before = bridge->address();
    bridge->stop();
    bridge = std::make_unique<SimulatedBridge>(options);
    platform::DefaultsStore(profile.path()).setObject("ssdpAddress", "127.0.0.1:" + std::to_string(bridge->ssdpPort()));
    auto run = ctl({"lights"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("the bridge moved from " + before + " to " + bridge->address()), std::string::npos)
        << run.err;
    EXPECT_EQ(profileSays("lastusedbridgeIP"), bridge->address());

    // Over HTTPS: the key seen first is pinned; after a reset it is not.
    bridge->stop();
    options.tls = "127.0.0.1:0";
    bridge = std::make_unique<SimulatedBridge>(options);
    platform::DefaultsStore(profile.path()).setObject("lastusedbridgeIP", bridge->tlsAddress());
    ASSERT_EQ(ctl({"lights"}).status, 0);
    const std::string pin = profileSays("bridgePublicKey");
    EXPECT_EQ(pin.rfind("sha256//", 0), 0u);
    options.tls = "127.0.0.1:" + std::to_string(bridge->tlsPort());
    bridge->stop();
    bridge = std::make_unique<SimulatedBridge>(options);
    bridge->clearRequestLog();
    run = ctl({"lights"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("certificate other than the one trusted"), std::string::npos) << run.err;
    EXPECT_TRUE(bridge->requestLog().empty()) << "nothing past the handshake";
    EXPECT_EQ(profileSays("bridgePublicKey"), pin);
    run = ctl({"trust-bridge"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ctl({"lights"}).status, 0);
    EXPECT_NE(profileSays("bridgePublicKey"), pin);
}

class CtlLoginTest : public CtlTest {
protected:
    CtlLoginTest()
        : CtlTest([] {
              SimulatedBridge::Options unpaired = house(3, 1);
              unpaired.user = "";
              unpaired.linkButton = "pressed";
              return unpaired;
          }()) {}
};

TEST_F(CtlLoginTest, LoginPromptsAndStoresTheNameInTheProfile) {
    auto run = ctl({"login"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Press the link button on the bridge at " + sim.address() + " now: 75 s left\n" +
                           "paired with the bridge at " + sim.address() + "\n");
    auto name = platform::DefaultsStore(profile.path()).stringForKey("username");
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(ctl({"lights"}).status, 0);
}

// Paired through --bridge on a profile that knows no bridge: the address is
// kept with the user name, so the next command needs no --bridge.
TEST_F(CtlLoginTest, LoginWithBridgeKeepsTheAddressForLaterCommands) {
    platform::DefaultsStore(profile.path()).removeObject("lastusedbridgeIP");
    auto before = ctl({"lights"});
    EXPECT_EQ(before.status, 1);
    EXPECT_NE(before.err.find("no bridge address known"), std::string::npos) << before.err;
    auto login = ctl({"--bridge", sim.address(), "login"});
    EXPECT_EQ(login.status, 0) << login.err;
    auto lights = ctl({"lights", "--json"});
    EXPECT_EQ(lights.status, 0) << lights.err;
    EXPECT_EQ(nlohmann::json::parse(lights.out).size(), 3u);
}

}  // namespace
}  // namespace glowmere
