#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "bridge/BridgeScenes.h"
#include "platform/Value.h"

namespace glowmere {

// Which presets and scenes are in effect: those whose every lamp is in the
// stored state now. A lamp matches when its switch is the same and, while
// it is on, brightness, saturation and colour temperature are within
// `levelTolerance` and hue within `hueTolerance` (1% of its range, measured
// round the colour circle). Colour is compared in the lamp's own mode (hue
// and saturation, or temperature), so a value the lamp does not show now
// does not count. Stateless and Qt-free; any thread.
class ActivePreset {
public:
    static constexpr int levelTolerance = 3;
    static constexpr int hueRange = 65536;
    static constexpr int hueTolerance = 655;

    // A lamp as a poll read it.
    struct Reading {
        bool on = false;
        std::optional<int> bri, hue, sat, ct;
        bool temperatureMode = false;  // "ct": hue and saturation are stale
    };
    using Readings = std::unordered_map<std::string, Reading>;

    // The readings of lamp records as the bridge client reads them.
    static Readings readings(const Value& lamps);
    // Whether every stored lamp state holds now; never for an empty one.
    static bool matches(const std::vector<SceneLampState>& stored, const Readings& now);
};

}  // namespace glowmere
