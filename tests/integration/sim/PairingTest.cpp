#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/SimulatedBridge.h"

namespace glowmere::testing {
namespace {

using nlohmann::json;

json parse(const std::optional<std::string>& text) {
    EXPECT_TRUE(text.has_value());
    return json::parse(text.value_or("null"));
}

TEST(SimPairing, RefusesUntilTheLinkButtonIsPressedThenIssuesAName) {
    SimulatedBridge bridge;
    auto refused = parse(bridge.request("POST", "/api", R"({"devicetype":"org.glowmere#test"})"));
    EXPECT_EQ(refused[0]["error"]["type"], 101);
    EXPECT_EQ(refused[0]["error"]["description"], "link button not pressed");

    bridge.pressLinkButton();
    auto granted = parse(bridge.request("POST", "/api", R"({"devicetype":"org.glowmere#test"})"));
    std::string name = granted[0]["success"]["username"];
    EXPECT_GE(name.size(), 32u);
    EXPECT_LE(name.size(), 40u);
    auto lights = parse(bridge.request("GET", "/api/" + name + "/lights"));
    EXPECT_TRUE(lights.contains("1"));
}
}  // namespace
}  // namespace glowmere::testing
