// The bridge explorer against the simulated bridge over loopback.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "bridge/BridgeBridge.h"
#include "bridge/bridgeExplorer.h"
#include "support/FakeUi.h"
#include "support/SimulatedBridge.h"

namespace glowmere {
namespace {

using testing::SimulatedBridge;

// The real client, with the lists of lamps, groups and schedules cut down to
// names only, as older bridges answer.
class NamesOnlyLists final : public platform::HttpClient {
public:
    std::optional<platform::HttpResponse> send(const platform::HttpRequest& request,
                                               platform::HttpError* error) override {
        auto response = real_.send(request, error);
        if (!response || request.method != "GET") return response;
        for (const char* list : {"/lights", "/groups", "/schedules"}) {
            if (!request.url.ends_with(list)) continue;
            auto full = nlohmann::json::parse(response->body);
            nlohmann::json names = nlohmann::json::object();
            for (auto& [id, record] : full.items()) names[id] = {{"name", record.value("name", "")}};
            response->body = names.dump();
        }
        return response;
    }

private:
    platform::CurlHttpClient real_;
};

class ExplorerTest : public ::testing::Test {
protected:
    ExplorerTest() {
        defaults.setObject("username", sim.user());
        bridge.setBridgeIP(sim.address());
        explorer.setExplorerWindow(&window);
        sim.clearRequestLog();
    }

    // The keys of the rows under `item` (the root when none), as the tree asks for them.
    static std::vector<std::string> rows(const Value& root, const keyValPair* item) {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < bridgeExplorer::numberOfChildrenOfItem(root, item); ++i)
            out.push_back(bridgeExplorer::objectValueForItem(*bridgeExplorer::childOfItem(root, i, item)));
        return out;
    }
    static std::vector<std::string> rowsAt(const Value& root, const std::vector<std::string>& path) {
        auto at = row(root, path);
        return rows(root, &at);
    }
    // The row reached by following `path` of keys from the root.
    static keyValPair row(const Value& root, const std::vector<std::string>& path) {
        std::optional<keyValPair> at;
        for (const auto& key : path) {
            const keyValPair* parent = at ? &*at : nullptr;
            std::optional<keyValPair> next;
            for (std::size_t i = 0; i < bridgeExplorer::numberOfChildrenOfItem(root, parent); ++i) {
                auto child = bridgeExplorer::childOfItem(root, i, parent);
                if (child && child->getKey() == key) next = child;
            }
            EXPECT_TRUE(next) << "no row " << key;
            if (!next) return {};
            at = next;
        }
        return *at;
    }

    SimulatedBridge sim;
    platform::CurlHttpClient http;
    platform::DefaultsStore defaults;
    platform::FakeClock clock;
    BridgeBridge bridge{http, defaults, clock};
    testing::FakeWindow window;
    bridgeExplorer explorer{bridge};
};

TEST_F(ExplorerTest, ShowsTheFourSectionsWithTheirMembersAsATreeOfTexts) {
    sim.userRequest("POST", "schedules",
                    R"({"name":"Morning","time":"W124/T05:30:00","command":{"method":"PUT",)"
                    R"("address":"/api/testuser/lights/3/state","body":{"on":true}}})");
    sim.userRequest("PUT", "lights/1/state", R"({"on":true,"bri":254})");
    sim.clearRequestLog();
    int reloads = 0;
    explorer.setReloadHandler([&] { ++reloads; });
    explorer.loadData();
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(window.frontCount(), 1);
    // Full lists need no request per member.
    EXPECT_EQ(sim.requestLog().size(), 4u);

    auto tree = explorer.explorerDictionary();
    const Value& root = *tree;
    EXPECT_EQ(rows(root, nullptr), (std::vector<std::string>{"Config", "Groups", "Lights", "Schedules"}));
    EXPECT_EQ(rowsAt(root, {"Lights"}), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(rowsAt(root, {"Groups"}), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(rowsAt(root, {"Schedules"}).size(), 1u);

    // A lamp's state unfolds into its members, and each member into one row
    // with its value's text, which unfolds no further.
    auto state = row(root, {"Lights", "1", "state"});
    EXPECT_TRUE(bridgeExplorer::isItemExpandable(state));
    auto members = rows(root, &state);
    EXPECT_NE(std::find(members.begin(), members.end(), "on"), members.end());
    EXPECT_NE(std::find(members.begin(), members.end(), "bri"), members.end());
    auto on = row(root, {"Lights", "1", "state", "on"});
    EXPECT_TRUE(bridgeExplorer::isItemExpandable(on));
    EXPECT_EQ(rows(root, &on), (std::vector<std::string>{"true"}));
    auto leaf = *bridgeExplorer::childOfItem(root, 0, &on);
    EXPECT_FALSE(bridgeExplorer::isItemExpandable(leaf));
    EXPECT_EQ(bridgeExplorer::numberOfChildrenOfItem(root, &leaf), 0u);
    EXPECT_FALSE(bridgeExplorer::childOfItem(root, 0, &leaf));
    EXPECT_EQ(rowsAt(root, {"Lights", "1", "state", "bri"}), (std::vector<std::string>{"254"}));
    EXPECT_EQ(rowsAt(root, {"Lights", "2", "name"}), (std::vector<std::string>{"Küche"}));
    EXPECT_EQ(rowsAt(root, {"Groups", "1", "name"}), (std::vector<std::string>{"Downstairs"}));
    EXPECT_FALSE(rowsAt(root, {"Config"}).empty());
}

TEST_F(ExplorerTest, AListTheBridgeRefusesDropsItsSectionOnly) {
    sim.closeWithoutReply(-1, "/schedules");
    explorer.loadData();
    auto tree = explorer.explorerDictionary();
    EXPECT_EQ(rows(*tree, nullptr), (std::vector<std::string>{"Config", "Groups", "Lights"}));
    EXPECT_EQ(rowsAt(*tree, {"Lights"}).size(), 5u);

    // An empty list still shows its section, with nothing in it.
    sim.clearFaults();
    explorer.loadData();
    tree = explorer.explorerDictionary();
    EXPECT_EQ(rows(*tree, nullptr), (std::vector<std::string>{"Config", "Groups", "Lights", "Schedules"}));
    EXPECT_TRUE(rowsAt(*tree, {"Schedules"}).empty());

    // A lamp whose own request fails is left out of a names-only list.
    NamesOnlyLists namesOnly;
    BridgeBridge older{namesOnly, defaults, clock};
    older.setBridgeIP(sim.address());
    bridgeExplorer olderExplorer{older};
    sim.closeWithoutReply(-1, "/lights/2");
    olderExplorer.loadData();
    tree = olderExplorer.explorerDictionary();
    EXPECT_EQ(rowsAt(*tree, {"Lights"}), (std::vector<std::string>{"1", "3", "4", "5"}));

    // With no bridge at all the tree is empty.
    sim.stop();
    explorer.loadData();
    EXPECT_EQ(explorer.explorerDictionary()->size(), 0u);
}

TEST_F(ExplorerTest, ANamesOnlyListGivesTheSameTreeAsAFullOne) {
    sim.userRequest("POST", "schedules",
                    R"({"name":"Evening","time":"W127/T18:00:00","command":{"method":"PUT",)"
                    R"("address":"/api/testuser/groups/0/action","body":{"on":false}}})");
    sim.setClock("2026-01-01T12:00:00Z");  // the configuration holds the bridge's time
    explorer.loadData();
    NamesOnlyLists namesOnly;
    BridgeBridge older{namesOnly, defaults, clock};
    older.setBridgeIP(sim.address());
    bridgeExplorer olderExplorer{older};
    sim.clearRequestLog();
    olderExplorer.loadData();
    EXPECT_EQ(*olderExplorer.explorerDictionary(), *explorer.explorerDictionary());
    // Three lists, one request per member (5 lamps, 2 groups, 1 schedule), the configuration.
    EXPECT_EQ(sim.requestLog().size(), 3u + 5 + 2 + 1 + 1);
}

TEST_F(ExplorerTest, PairedUserNamesShowOnlyTheirStart) {
    sim.addUser("otherapp0123456789");
    sim.userRequest("POST", "schedules",
                    R"({"name":"Night","time":"W127/T23:00:00","command":{"method":"PUT",)"
                    R"("address":"/api/testuser/groups/0/action","body":{"on":false}}})");
    explorer.loadData();
    const Value& root = *explorer.explorerDictionary();
    EXPECT_EQ(rowsAt(root, {"Config", "whitelist"}), (std::vector<std::string>{"othe…", "test…"}));
    EXPECT_EQ(rowsAt(root, {"Config", "whitelist", "test…", "name"}), (std::vector<std::string>{"preset#sim"}));
    const std::string shown = bridgeExplorer::indentedText(root);
    EXPECT_EQ(shown.find("testuser"), std::string::npos) << "not even in a schedule's address";
    EXPECT_EQ(shown.find("otherapp"), std::string::npos);
    EXPECT_NE(shown.find("/api/test…/groups/0/action"), std::string::npos);
}

TEST_F(ExplorerTest, AListOfMoreMembersThanAnyBridgeHoldsIsAFailureOfOneRequest) {
    sim.longList(100000, 1, "schedules");
    explorer.loadData();
    auto tree = explorer.explorerDictionary();
    EXPECT_EQ(rows(*tree, nullptr), (std::vector<std::string>{"Config", "Groups", "Lights"}));
    EXPECT_EQ(sim.requestLog().size(), 4u) << "three lists and the configuration";
    ASSERT_TRUE(bridge.lastFailure());
    EXPECT_EQ(bridge.lastFailure()->kind, RequestFailure::Kind::TooManyMembers);
}

}  // namespace
}  // namespace glowmere
