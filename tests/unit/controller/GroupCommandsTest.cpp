#include "controller/GroupCommands.h"

#include <gtest/gtest.h>

#include "platform/Clock.h"

namespace glowmere {
namespace {

// Records the group requests, and what the controller was asked around
// them, as one list of lines in order.
struct GroupsRig final : BridgeClient {
    std::optional<Value> lightsArray() override { return std::nullopt; }
    std::optional<Value> groupsArray() override { return std::nullopt; }
    std::optional<Value> lightsArrayForGroup(const std::string&) override { return std::nullopt; }
    std::optional<Value> settingsForGroup(const std::string&) override { return std::nullopt; }
    void allOn(bool) override {}
    void lampOn(const std::string&, bool) override {}
    void groupOn(const std::string&, bool) override {}
    void sendSettingsToLamp(const Value&, const std::string&) override {}
    void sendSettingsToGroup(const Value&, const std::string&) override {}
    void makeGroupNamed(const std::vector<std::string>& lamps, const std::string& name) override {
        std::string line = "make " + name + ":";
        for (const std::string& id : lamps) line += " " + id;
        steps.push_back(line);
    }
    void removeGroupNamed(const std::string& id) override { steps.push_back("remove " + id); }

    platform::FakeClock clock;
    platform::RunLoop loop{clock};
    std::vector<std::string> steps;
    // Lamp strips have tags 0..2 (ids L0..); group strips 1..2 (G1..), the
    // strip for all lamps tag 3.
    GroupCommands groups{
        loop, *this,
        GroupCommands::Strips{.selection = [](bool) { return nullptr; },
                              .idWithTag = [](bool group, int tag) -> std::optional<std::string> {
                                  if (!group) return tag <= 2 ? std::optional("L" + std::to_string(tag)) : std::nullopt;
                                  if (tag == 3) return "0";
                                  return tag >= 1 && tag <= 2 ? std::optional("G" + std::to_string(tag)) : std::nullopt;
                              },
                              .setPolling = [this](bool on) { steps.push_back(on ? "polling on" : "polling off"); },
                              .rebuild = [this] { steps.push_back("rebuild"); },
                              .dropAllStrip = [this] { steps.push_back("drop All"); }}};
};

Value tags(std::initializer_list<int> list) {
    Value value = Value::emptyList();
    for (int tag : list) value.append(tag);
    return value;
}

TEST(GroupCommandsTest, RequestsRunWithPollingPausedAndARebuildAfter) {
    struct Case {
        const char* what;
        bool make;
        Value tags;
        const char* name;
        std::vector<std::string> steps;
    } cases[] = {
        {"make: the chosen lamps, the name trimmed",
         true,
         tags({0, 2}),
         "  Upstairs ",
         {"polling off", "make Upstairs: L0 L2", "rebuild", "polling on"}},
        {"make: unknown tags are left out",
         true,
         tags({1, 7}),
         "Hall",
         {"polling off", "make Hall: L1", "rebuild", "polling on"}},
        {"make without a name: nothing", true, tags({1}), "   ", {}},
        {"make without lamps: nothing", true, tags({}), "Hall", {}},
        {"remove: each group asked about",
         false,
         tags({1, 2}),
         "",
         {"polling off", "remove G1", "remove G2", "rebuild", "polling on"}},
        {"remove All: only its strip goes", false, tags({3}), "", {"polling off", "drop All", "rebuild", "polling on"}},
        {"remove nothing: nothing", false, tags({}), "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GroupsRig controller;
        if (c.make)
            controller.groups.makeGroupNamed(c.tags, c.name);
        else
            controller.groups.removeGroup(c.tags);
        EXPECT_EQ(controller.steps, c.steps);
    }
}

}  // namespace
}  // namespace glowmere
