#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "platform/DefaultsStore.h"
#include "support/SimulatedBridge.h"
#include "support/TempDir.h"

namespace glowmere {
namespace {

using nlohmann::json;

// glowmerectl's schedule commands as a user runs them: the program against
// the simulated bridge, its settings in a profile of the test's own.
struct ScheduleCommands : ::testing::Test {
    ScheduleCommands() {
        platform::DefaultsStore defaults(profile.path());
        defaults.setObject("username", sim.user());
        defaults.setObject("lastusedbridgeIP", sim.address());
        defaults.setObject("latitude", 51.5);
        defaults.setObject("longitude", -0.12);
    }
    // Runs glowmerectl; gives its exit status and puts what it printed in `out`.
    int ctl(const std::string& arguments, std::string& out, const std::string& input = "") {
        std::string command = "printf '" + input + "' | TZ=Europe/London " GLOWMERE_CTL_PATH " --profile '" +
                              profile.path().string() + "' " + arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        out.clear();
        std::array<char, 4096> buffer{};
        while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) out.append(buffer.data(), n);
        int status = pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    json bridgeSchedules() { return json::parse(*sim.userRequest("GET", "schedules")); }

    testing::SimulatedBridge sim;
    testing::TempDir profile;
};

TEST_F(ScheduleCommands, AddListDisableEnableDelete) {
    std::string out;
    ASSERT_EQ(
        ctl("schedule-add --name Morning --kind onoff --lamp 1 --on 07:00 --off 23:00 --days mo,tu,we,th,fr", out), 0)
        << out;
    EXPECT_NE(out.find("Switch lamp: Hall on at 07:00 on Mo, Tu, We, Th, Fr and off again at 23:00"), std::string::npos)
        << out;
    EXPECT_EQ(bridgeSchedules().size(), 2u);

    ASSERT_EQ(ctl("schedules", out), 0);
    EXPECT_NE(out.find("1. [x] Morning - Switch lamp: Hall"), std::string::npos) << out;
    ASSERT_EQ(ctl("schedule-disable 1", out), 0) << out;
    EXPECT_EQ(bridgeSchedules().size(), 0u);
    ctl("schedules", out);
    EXPECT_NE(out.find("1. [ ] Morning"), std::string::npos) << out;
    ASSERT_EQ(ctl("schedule-enable 1", out), 0) << out;
    EXPECT_EQ(bridgeSchedules().size(), 2u);
    ASSERT_EQ(ctl("schedule-delete 1", out), 0) << out;
    EXPECT_EQ(bridgeSchedules().size(), 0u);
    ctl("schedules", out);
    EXPECT_NE(out.find("no schedule items"), std::string::npos) << out;
}

TEST_F(ScheduleCommands, BadArgumentsAreRefusedWithUsage) {
    std::string out;
    for (const char* args : {
             "schedule-add --name X --kind on --lamp 1 --on 25:00",
             "schedule-add --name X --kind on --lamp 1 --on 07:30:99",  // times are exactly HH:MM
             "schedule-add --name X --kind on --lamp 1 --on 0730",
             "schedule-add --name X --kind on --lamp 1 --on 7:5",
             "schedule-add --name X --kind on --lamp 1 --on 07:5x",
             "schedule-add --name X --kind on --lamp 1 --on 07:00 --days ''",  // at least one day
             "schedule-add --name X --kind on --lamp 1 --on 07:00 --days mo,",
             "schedule-add --name '' --kind on --lamp 1 --on 07:00",  // names: 1-32 characters
             "schedule-add --name '   ' --kind on --lamp 1 --on 07:00",
             "schedule-add --name 123456789012345678901234567890123 --kind on --lamp 1 --on 07:00",
             "schedule-add --name X --kind on --lamp 0 --on 07:00",  // identifiers are positive
             "schedule-add --name X --kind on --lamp -1 --on 07:00",
             "schedule-add --name X --kind sometimes --lamp 1 --on 07:00",
             "schedule-add --name X --kind on --on 07:00",
             "schedule-add --name X --kind on --lamp 1 --on 07:00 --days mo,xx",
             "schedule-add --name X --kind colour --lamp 1 --on 07:00 --colour 300,1,1",
             "schedule-add --name X --kind colour --lamp 1 --on 07:00 --colour 1.5,1,1",
             "schedule-add --name X --kind colour --lamp 1 --on 07:00 --colour 1,1,1,1",
             "schedule-enable 1",
             "schedule-delete zero",
         }) {
        EXPECT_EQ(ctl(args, out), 2) << args << "\n" << out;
        EXPECT_NE(out.find("usage: glowmerectl"), std::string::npos) << out;
    }
    EXPECT_EQ(ctl("schedule-add --name X --kind on --lamp 99 --on 07:00", out), 2) << out;
    EXPECT_NE(out.find("the bridge has no lamp 99"), std::string::npos) << out;
    EXPECT_EQ(bridgeSchedules().size(), 0u);
    EXPECT_FALSE(platform::DefaultsStore(profile.path()).hasObject("GlowmereController actions"));
}

// Twenty glowmerectl runs on one profile at the same moment, half adding a
// schedule item, half saving a preset: every one is stored, and the bridge
// holds exactly the schedules the stored items name.
TEST_F(ScheduleCommands, TwentyProcessesAtOnceLoseNothing) {
    constexpr int runs = 20;
    std::vector<FILE*> pipes;
    for (int i = 0; i < runs; ++i) {
        const std::string what =
            i % 2 ? "preset-save Preset" + std::to_string(i)
                  : "schedule-add --name Item" + std::to_string(i) + " --kind on --lamp 1 --on 07:00";
        std::string command =
            "TZ=Europe/London " GLOWMERE_CTL_PATH " --profile '" + profile.path().string() + "' " + what + " 2>&1";
        pipes.push_back(popen(command.c_str(), "r"));
    }
    for (FILE* pipe : pipes) {
        std::array<char, 4096> buffer{};
        std::string out;
        while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) out.append(buffer.data(), n);
        int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    }
    platform::DefaultsStore defaults(profile.path());
    const Value items = defaults.objectForKey("GlowmereController actions");
    std::set<std::string> names, ids, presets;
    for (const Value& item : items.asList()) {
        names.insert(item["name"].textValue());
        for (const Value& id : item["bridgeID"].asList()) ids.insert(id.textValue());
    }
    const Value presetList = defaults.objectForKey("presets");
    for (const Value& preset : presetList.asList()) presets.insert(preset["name"].textValue());
    EXPECT_EQ(names.size(), static_cast<std::size_t>(runs / 2));
    EXPECT_EQ(presets.size(), static_cast<std::size_t>(runs / 2));
    std::set<std::string> onBridge;
    const json schedules = bridgeSchedules();
    for (const auto& [id, schedule] : schedules.items()) onBridge.insert(id);
    EXPECT_EQ(onBridge, ids);
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(runs / 2));
}

// A profile that cannot be written: login and schedule-add fail with the
// reason, and the bridge keeps no schedule that no stored item names.
TEST_F(ScheduleCommands, AReadOnlyProfileFailsAndLeavesNoSchedule) {
    std::string out;
    // The profile is made read-only; root ignores that, so as root the
    // program runs as nobody.
    const bool root = ::geteuid() == 0;
    const std::string as = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    std::filesystem::permissions(profile.path() / "defaults.plist", std::filesystem::perms(0444));
    std::filesystem::permissions(profile.path(), std::filesystem::perms(0555));
    auto run = [&](const std::string& arguments) {
        std::string command = "TZ=Europe/London " + as + GLOWMERE_CTL_PATH + " --profile '" + profile.path().string() +
                              "' " + arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        out.clear();
        std::array<char, 4096> buffer{};
        while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) out.append(buffer.data(), n);
        int status = pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("schedule-add --name Morning --kind on --lamp 1 --on 07:00"), 1) << out;
    EXPECT_NE(out.find("glowmerectl: could not save the settings in " + profile.path().string()), std::string::npos)
        << out;
    EXPECT_EQ(out.find("1. Switch"), std::string::npos) << out;
    EXPECT_EQ(bridgeSchedules().size(), 0u);

    sim.pressLinkButton();
    EXPECT_EQ(run("--bridge " + sim.address() + " login"), 1) << out;
    EXPECT_NE(out.find("could not save the settings"), std::string::npos) << out;
    std::filesystem::permissions(profile.path(), std::filesystem::perms(0755));
    EXPECT_EQ(platform::DefaultsStore(profile.path()).stringForKey("username"), sim.user());
}

// A refused DELETE leaves the item as it was and says which schedule and
// why; the retry deletes that item's own schedule. An enable whose reply
// names no schedule fails and leaves the item disabled.
TEST_F(ScheduleCommands, ItemsFollowWhatTheBridgeAnswers) {
    std::string out;
    ASSERT_EQ(ctl("schedule-add --name First --kind on --lamp 1 --on 07:00", out), 0) << out;
    ASSERT_EQ(ctl("schedule-add --name Second --kind on --lamp 2 --on 08:00", out), 0) << out;
    for (const char* command : {"schedule-disable 1", "schedule-delete 1"}) {
        sim.statusPage(500, 1, "schedules/1");
        EXPECT_EQ(ctl(command, out), 1) << command;
        EXPECT_NE(out.find("schedule 1 of \"First\""), std::string::npos) << out;
        EXPECT_NE(out.find("500"), std::string::npos) << out;
        EXPECT_EQ(bridgeSchedules().size(), 2u) << command;
        ctl("schedules", out);
        EXPECT_NE(out.find("1. [x] First"), std::string::npos) << command << "\n" << out;
    }
    ASSERT_EQ(ctl("schedule-delete 1", out), 0) << out;
    EXPECT_EQ(bridgeSchedules().size(), 1u);
    EXPECT_EQ(bridgeSchedules()["2"]["name"], "Second");

    ASSERT_EQ(ctl("schedule-disable 1", out), 0) << out;
    for (const char* reply : {"{}", "[]"}) {
        sim.fixedReply(reply, "POST", 1, "schedules");
        EXPECT_EQ(ctl("schedule-enable 1", out), 1) << reply;
        EXPECT_NE(out.find("held no schedule id"), std::string::npos) << out;
        ctl("schedules", out);
        EXPECT_NE(out.find("1. [ ] Second"), std::string::npos) << reply << "\n" << out;
    }
    EXPECT_EQ(bridgeSchedules().size(), 0u);
}

// The bridge's schedule is deleted but the profile cannot be saved: the
// run fails saying so. The profile still names the old id; once the bridge
// gives that id to another item, disabling the old item leaves it alone.
TEST_F(ScheduleCommands, AnUnsavedDeleteNeverReachesAReusedId) {
    std::string out;
    ASSERT_EQ(ctl("schedule-add --name First --kind on --lamp 1 --on 07:00", out), 0) << out;
    const auto lock = profile.path() / "defaults.plist.lock";
    // A directory where the lock file belongs stops every writer, root too.
    std::filesystem::remove(lock);
    std::filesystem::create_directory(lock);
    EXPECT_EQ(ctl("schedule-disable 1", out), 1) << out;
    EXPECT_NE(out.find("the bridge's schedules changed, but the schedule items could not be saved"), std::string::npos)
        << out;
    EXPECT_EQ(bridgeSchedules().size(), 0u);
    std::filesystem::remove(lock);

    ASSERT_EQ(ctl("schedule-add --name Second --kind on --lamp 2 --on 08:00", out), 0) << out;
    ASSERT_EQ(bridgeSchedules()["1"]["name"], "Second") << "the bridge gives the id again";
    EXPECT_EQ(ctl("schedule-disable 1", out), 0) << out;
    EXPECT_EQ(bridgeSchedules()["1"]["name"], "Second");
    ctl("schedules", out);
    EXPECT_NE(out.find("1. [ ] First"), std::string::npos) << out;
    EXPECT_NE(out.find("2. [x] Second"), std::string::npos) << out;
}

TEST_F(ScheduleCommands, ImportStatusAndDeleteAll) {
    sim.userRequest(
        "POST", "schedules",
        R"({"name":"other","command":{"method":"PUT","address":"/api/x/groups/0/action","body":{"on":true}},"time":"W127/T06:00:00"})");
    std::string out;
    ASSERT_EQ(ctl("schedule-status", out), 0);
    EXPECT_NE(out.find("there are schedules on the bridge which were created by another app"), std::string::npos);
    ASSERT_EQ(ctl("schedule-import", out), 0) << out;
    EXPECT_NE(out.find("imported 1 schedule"), std::string::npos) << out;
    ASSERT_EQ(ctl("schedule-import", out), 0) << out;
    EXPECT_NE(out.find("imported 0 schedules"), std::string::npos) << out;
    ctl("schedule-status", out);
    EXPECT_NE(out.find("every schedule on the bridge belongs to an item"), std::string::npos) << out;

    ASSERT_EQ(ctl("schedule-delete-all", out, "n\\n"), 0);
    EXPECT_EQ(bridgeSchedules().size(), 1u);
    sim.statusPage(500, 1, "schedules/");
    EXPECT_EQ(ctl("schedule-delete-all --yes", out), 1) << out;
    EXPECT_NE(out.find("the bridge kept 1 schedule"), std::string::npos) << out;
    ctl("schedules", out);
    EXPECT_NE(out.find("1. [x] other"), std::string::npos) << out;
    ASSERT_EQ(ctl("schedule-delete-all --yes", out), 0) << out;
    EXPECT_EQ(bridgeSchedules().size(), 0u);
    ctl("schedules", out);
    EXPECT_NE(out.find("1. [ ] other"), std::string::npos) << out;
}

TEST_F(ScheduleCommands, SunTimesAndWhereTheyCameFrom) {
    std::string out;
    ASSERT_EQ(ctl("sun", out), 0) << out;
    EXPECT_NE(out.find("sunrise "), std::string::npos) << out;
    EXPECT_NE(out.find("source  calculated"), std::string::npos) << out;
    EXPECT_NE(out.find("the \"latitude\" and \"longitude\" settings"), std::string::npos) << out;
}

}  // namespace
}  // namespace glowmere
