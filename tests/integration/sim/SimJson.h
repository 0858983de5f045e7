#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace glowmere::testing {

using nlohmann::json;

// Replies are read with a real JSON parser: a reply that is not well-formed
// JSON fails the test.
inline json parseReply(const std::optional<std::string>& text) {
    EXPECT_TRUE(text.has_value()) << "no reply";
    if (!text) return json();
    json value = json::parse(*text, nullptr, false);
    EXPECT_FALSE(value.is_discarded()) << "not JSON: " << *text;
    return value;
}

// The one error of a reply that holds exactly one result.
inline json onlyError(const json& reply) {
    EXPECT_TRUE(reply.is_array() && reply.size() == 1) << reply.dump();
    if (!reply.is_array() || reply.empty()) return json();
    return reply[0].value("error", json());
}

// A clock set to Tuesday 8 December 2026 at the given UTC time.
inline std::string tuesdayAt(const std::string& hhmmss) {
    return "2026-12-08T" + hhmmss + "Z";
}

}  // namespace glowmere::testing
