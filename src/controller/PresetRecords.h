#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/DefaultsStore.h"
#include "platform/TimeZone.h"
#include "platform/Value.h"

// Presets as stored: a list under "presets", each a preset record
// {"ID", "name", "strips", "transition"?} holding one strip record per lamp
// strip {"label", "onoff", "brightness", "colour", "saturation" (the slider's
// position, 255 minus the bridge's saturation), "id"}. Shared by the desktop
// application and glowmerectl, so a preset saved by one is applied by the
// other the same way.
namespace glowmere::presets {

inline constexpr const char* presetsKey = "presets";
inline constexpr const char* presetTransitionKey = "presetTransition";
inline constexpr const char* idKey = "ID";
inline constexpr const char* nameKey = "name";
inline constexpr const char* stripsKey = "strips";
inline constexpr const char* transitionKey = "transition";
// Seconds when neither the preset nor "presetTransition" gives one.
inline constexpr double defaultTransition = 0.5;
// The longest transition the bridge takes (65535 tenths of a second).
inline constexpr double maximumTransition = 6553.5;

// The stored list; anything that is not a list reads as an empty one, and
// elements that are not records are kept but never applied.
Value storedList(const platform::DefaultsStore& defaults);
// Changes the stored list as it is on disk now (another process may have
// changed it a moment ago) and stores the result, all under the store's
// lock. `change` must not call the store. False when it could not be stored.
bool updateList(platform::DefaultsStore& defaults, const std::function<void(Value& list)>& change);

// The creation time in local time, "%Y%m%d%H%M%S".
std::string uniqueID(platform::Clock::TimePoint now, const platform::TimeZone& zone);
// A new preset record (no transition yet).
Value makePreset(std::string id, std::string name, Value strips);

// The transition a preset is applied with, in seconds: its own when it has
// one (0 included), else "presetTransition", else 0.5. Kept within what the
// bridge takes.
double transitionFor(const Value& preset, const platform::DefaultsStore& defaults);
// The management table's transition cell: "%g" when above 0, else "".
std::string transitionText(const Value& preset);

// A strip record's lamp identifier: its "id" text, or a number's whole value
// in decimal (older records stored it as a number).
std::string stripIdentifier(const Value& stripRecord);

// The strip record a lamp strip built from `lamp` (a lamp record as the
// bridge client reads it) gives: what a preset holds for that lamp. Values
// the lamp does not report (colour of a white lamp) are left out.
Value stripRecordFromLamp(const Value& lamp);

// Index of the first preset called `name`; nothing when there is none.
std::optional<std::size_t> indexOfName(const Value& list, std::string_view name);
// Every preset's name, in list order.
std::vector<std::string> names(const Value& list);

// The most characters a preset name may have.
inline constexpr std::size_t maxNameLength = 32;
// A name as typed, without its leading and trailing white space; nothing,
// with the reason for the user in `why`, when that is empty, longer than
// maxNameLength characters, or one of `taken` (the other presets' names).
std::optional<std::string> checkedName(std::string_view typed, const std::vector<std::string>& taken,
                                       std::string* why = nullptr);

}  // namespace glowmere::presets
