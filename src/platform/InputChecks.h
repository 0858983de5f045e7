#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace glowmere::platform {

// Strict checks of what a user types (the command line, the application's
// fields). Each accepts exactly the documented form and nothing that merely
// starts like it: "1.5" is no whole number, "07:5x" no time.

// A lamp's or group's identifier on the bridge: a positive whole number
// without sign or leading zeros ("0" too when `allowZero`: the bridge's
// group of all lamps), at most 2147483647.
bool isBridgeIdentifier(std::string_view text, bool allowZero = false);

// Digits only, in [min, max] (both at least 0).
std::optional<std::int64_t> wholeNumber(std::string_view text, std::int64_t min, std::int64_t max);

// A non-negative decimal number with at most one digit after the point
// ("12", "0.5"), in tenths, at most `maxTenths`.
std::optional<std::int64_t> tenths(std::string_view text, std::int64_t maxTenths);

// Exactly HH:MM, hours 00-23, minutes 00-59.
bool isTimeOfDay(std::string_view text);

// A name: spaces trimmed from both ends, then 1 to `maxLength` characters
// (counted as the bridge counts them: 16-bit units), valid UTF-8 without
// control characters. Gives the trimmed name.
std::optional<std::string> checkedName(std::string_view text, std::size_t maxLength = 32);

// What a name typed into a window becomes: spaces trimmed, cut after
// `maxLength` characters (never inside one). Nothing when no valid name is
// left (empty, control characters, broken UTF-8).
std::optional<std::string> fittedName(std::string_view text, std::size_t maxLength = 32);

// A path under the user's root on the bridge: one or more segments of
// letters, digits, "-" and "_" separated by single "/", with an optional
// leading "/" (dropped in the result).
std::optional<std::string> checkedBridgePath(std::string_view text);

}  // namespace glowmere::platform
