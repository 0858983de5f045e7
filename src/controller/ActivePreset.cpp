#include "controller/ActivePreset.h"

#include <algorithm>
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

using Reading = ActivePreset::Reading;

Reading readingOf(const Value& lamp) {
    Reading r;
    r.on = lamp["onoff"].boolValue();
    r.bri = whole(lamp, "brightness");
    r.hue = whole(lamp, "colour");
    r.sat = whole(lamp, "saturation");
    r.ct = whole(lamp, "ct");
    r.temperatureMode = lamp["state"]["colormode"].textValue() == "ct";
    return r;
}

bool lampHolds(const SceneLampState& want, const Reading& lamp) {
    if (lamp.on != want.on) return false;
    if (!lamp.on) return true;  // an unlit lamp shows no brightness or colour
    if (!near(want.bri, lamp.bri, ActivePreset::levelTolerance)) return false;
    // Colour in the mode the lamp is in; a lamp without colour reports none.
    if (lamp.temperatureMode || (!lamp.hue && !lamp.sat)) {
        if (!near(want.ct, lamp.ct, ActivePreset::levelTolerance)) return false;
        // A stored colour the lamp is not showing is a mismatch.
        if ((want.hue || want.sat) && !want.ct && lamp.hue) return false;
    } else {
        if (!nearHue(want.hue, lamp.hue) || !near(want.sat, lamp.sat, ActivePreset::levelTolerance)) return false;
        if (want.ct && !want.hue && !want.sat && lamp.ct) return false;
    }
    return true;
}

bool usableRecord(const Value& lamp) {
    return lamp.isMap() && lamp.contains("onoff");
}

}  // namespace

ActivePreset::Readings ActivePreset::readings(const Value& lamps) {
    Readings out;
    if (!lamps.isList()) return out;
    out.reserve(lamps.size());
    for (const Value& lamp : lamps.asList())
        if (usableRecord(lamp)) out.emplace(lamp["id"].textValue(), readingOf(lamp));
    return out;
}

bool ActivePreset::matches(const std::vector<SceneLampState>& stored, const Readings& now) {
    if (stored.empty()) return false;
    for (const SceneLampState& want : stored) {
        auto it = now.find(want.lampId);
        if (it == now.end() || !lampHolds(want, it->second)) return false;
    }
    return true;
}

ActivePreset::Compiled ActivePreset::compile(const std::vector<SceneLampState>& states) {
    Compiled out;
    out.reserve(states.size());
    for (const SceneLampState& state : states) {
        auto [it, added] = slots_.try_emplace(state.lampId, slots_.size());
        if (added) now_.emplace_back();
        out.emplace_back(it->second, state);
    }
    return out;
}

void ActivePreset::setPresets(const Value& presets) {
    presets_.clear();
    if (!presets.isList()) return;
    for (const Value& preset : presets.asList())
        if (preset.isMap())
            presets_.emplace_back(preset["name"].textValue(), compile(BridgeScenes::statesFromPreset(preset)));
}

void ActivePreset::setScene(const std::string& id, const std::vector<SceneLampState>& states) {
    scenes_[id] = compile(states);
}

void ActivePreset::keepScenes(const std::set<std::string>& ids) {
    std::erase_if(scenes_, [&](const auto& entry) { return !ids.count(entry.first); });
}

bool ActivePreset::holds(const Compiled& stored) const {
    if (stored.empty()) return false;
    for (const auto& [slot, want] : stored)
        if (!now_[slot] || !lampHolds(want, *now_[slot])) return false;
    return true;
}

ActivePreset::InEffect ActivePreset::inEffect(const Value& lamps) {
    std::fill(now_.begin(), now_.end(), std::nullopt);
    if (lamps.isList()) {
        for (const Value& lamp : lamps.asList()) {
            if (!usableRecord(lamp)) continue;
            const Value& id = lamp["id"];
            auto slot = slots_.find(id.isText() ? id.text() : id.textValue());
            // A lamp no preset or scene holds is not read; the first record
            // of an identifier counts.
            if (slot == slots_.end() || now_[slot->second]) continue;
            now_[slot->second] = readingOf(lamp);
        }
    }
    InEffect out;
    for (const auto& [name, stored] : presets_)
        if (holds(stored)) out.presets.push_back(name);
    for (const auto& [id, stored] : scenes_)
        if (holds(stored)) out.scenes.insert(id);
    return out;
}

}  // namespace glowmere
