#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
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
// does not count.
//
// The static functions answer once (glowmere-ctl). An instance is for a
// poll that asks again every few seconds: it keeps the presets and scenes
// converted to the bridge's states, each lamp identifier given a slot the
// first time it is seen, so a poll reads each lamp once and compares by
// slot; presets and scenes are converted again only when they change. Qt-free;
// an instance is used by one thread at a time (the polling thread).
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

    // The stored preset list (records with "name" and "strips"), replacing
    // the presets before.
    void setPresets(const Value& presets);
    // A scene's states as the bridge stores them, replacing its states before.
    void setScene(const std::string& id, const std::vector<SceneLampState>& states);
    // Forgets the scenes not in `ids`.
    void keepScenes(const std::set<std::string>& ids);

    struct InEffect {
        std::vector<std::string> presets;  // names, in the list's order
        std::set<std::string> scenes;      // identifiers
    };
    // The presets and scenes in effect for lamp records as the bridge client
    // reads them.
    InEffect inEffect(const Value& lamps);

private:
    // A stored state with its lamp's slot for the lamp identifier.
    using Compiled = std::vector<std::pair<std::size_t, SceneLampState>>;
    Compiled compile(const std::vector<SceneLampState>& states);
    bool holds(const Compiled& stored) const;

    std::unordered_map<std::string, std::size_t> slots_;  // lamp identifier -> slot
    std::vector<std::pair<std::string, Compiled>> presets_;
    std::unordered_map<std::string, Compiled> scenes_;
    // This poll's readings by slot (reused; only those a state refers to).
    std::vector<std::optional<Reading>> now_;
};

}  // namespace glowmere
