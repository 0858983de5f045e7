#include "controller/ActivePreset.h"

#include <cmath>
#include <cstdlib>

namespace glowmere {

namespace {

std::optional<int> whole(const Value& record, const char* key) {
    const Value* v = record.find(key);
    if (!v || v->isNull()) return std::nullopt;
    const double d = v->doubleValue();
    if (!std::isfinite(d)) return std::nullopt;
    return static_cast<int>(std::lround(std::fmax(-1e9, std::fmin(1e9, d))));
}

bool near(const std::optional<int>& stored, const std::optional<int>& now, int tolerance) {
    if (!stored || !now) return true;  // nothing stored, or nothing to compare with
    return std::abs(*stored - *now) <= tolerance;
}

bool nearHue(const std::optional<int>& stored, const std::optional<int>& now) {
    if (!stored || !now) return true;
    int distance = std::abs(*stored - *now) % ActivePreset::hueRange;
    distance = std::min(distance, ActivePreset::hueRange - distance);
    return distance <= ActivePreset::hueTolerance;
}

}  // namespace

ActivePreset::Readings ActivePreset::readings(const Value& lamps) {
    Readings out;
    if (!lamps.isList()) return out;
    out.reserve(lamps.size());
    for (const Value& lamp : lamps.asList()) {
        if (!lamp.isMap() || !lamp.contains("onoff")) continue;
        Reading r;
        r.on = lamp["onoff"].boolValue();
        r.bri = whole(lamp, "brightness");
        r.hue = whole(lamp, "colour");
        r.sat = whole(lamp, "saturation");
        r.ct = whole(lamp, "ct");
        r.temperatureMode = lamp["state"]["colormode"].textValue() == "ct";
        out.emplace(lamp["id"].textValue(), r);
    }
    return out;
}

bool ActivePreset::matches(const std::vector<SceneLampState>& stored, const Readings& now) {
    if (stored.empty()) return false;
    for (const SceneLampState& want : stored) {
        auto it = now.find(want.lampId);
        if (it == now.end()) return false;
        const Reading& lamp = it->second;
        if (lamp.on != want.on) return false;
        if (!lamp.on) continue;  // an unlit lamp shows no brightness or colour
        if (!near(want.bri, lamp.bri, levelTolerance)) return false;
        // Colour in the mode the lamp is in; a lamp without colour reports none.
        if (lamp.temperatureMode || (!lamp.hue && !lamp.sat)) {
            if (!near(want.ct, lamp.ct, levelTolerance)) return false;
            // A stored colour the lamp is not showing is a mismatch.
            if ((want.hue || want.sat) && !want.ct && lamp.hue) return false;
        } else {
            if (!nearHue(want.hue, lamp.hue) || !near(want.sat, lamp.sat, levelTolerance)) return false;
            if (want.ct && !want.hue && !want.sat && lamp.ct) return false;
        }
    }
    return true;
}

}  // namespace glowmere
