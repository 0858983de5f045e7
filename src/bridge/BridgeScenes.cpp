#include "bridge/BridgeScenes.h"

#include <algorithm>
#include <cmath>

#include "bridge/BridgeBridge.h"
#include "platform/Log.h"

namespace glowmere {

namespace {

// A member the reader gave as text ("144"), or nothing when it is absent or
// not a number at all.
std::optional<int> number(const Value& record, const char* key) {
    const Value* v = record.find(key);
    if (!v || v->isNull()) return std::nullopt;
    const double d = v->doubleValue();
    if (!std::isfinite(d)) return std::nullopt;
    if (v->isText() &&
        (v->text().empty() || !(std::isdigit(static_cast<unsigned char>(v->text()[0])) || v->text()[0] == '-')))
        return std::nullopt;
    return static_cast<int>(std::lround(std::clamp(d, -1e9, 1e9)));
}

std::string lightsText(const std::vector<SceneLampState>& states) {
    std::string text = "[";
    for (const auto& state : states) {
        if (text.size() > 1) text += ",";
        text += "\"" + state.lampId + "\"";
    }
    return text + "]";
}

bool usableLampId(const std::string& id) {
    return !id.empty() && id.size() <= 6 &&
           std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Scene identifiers go into request paths: letters, digits and "-" only.
bool usableSceneId(const std::string& id) {
    return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
    });
}

}  // namespace

Value SceneLampState::requestBody() const {
    Value body = Value::emptyMap();
    body.set("on", on);
    if (bri) body.set("bri", static_cast<std::int64_t>(*bri));
    if (hue) body.set("hue", static_cast<std::int64_t>(*hue));
    if (sat) body.set("sat", static_cast<std::int64_t>(*sat));
    if (ct) body.set("ct", static_cast<std::int64_t>(*ct));
    return body;
}

std::optional<std::vector<BridgeScene>> BridgeScenes::list() {
    auto text = bridge_.sendGETRequestToUrl("scenes");
    if (!text) return std::nullopt;
    Value scenes = jsontext::dictionaryOfDictionariesFromJSON(*text);
    if (!scenes.isMap()) return std::nullopt;
    if (scenes.size() > maxScenes) {
        bridge_.noteTooManyMembers("scenes", scenes.size());
        return std::nullopt;
    }
    std::vector<BridgeScene> out;
    for (const auto& [id, record] : scenes.asMap()) {
        // A member that is no scene record (or names an odd identifier) is
        // passed over rather than trusted.
        if (!record.isMap() || !usableSceneId(id)) continue;
        BridgeScene scene{id, record["name"].textValue(), {}, record["lastupdated"].textValue()};
        for (auto& lamp : BridgeBridge::memberIdentifiers(record["lights"].textValue()))
            if (usableLampId(lamp)) scene.lights.push_back(lamp);
        out.push_back(std::move(scene));
    }
    return out;
}

std::optional<std::vector<SceneLampState>> BridgeScenes::lightStates(const std::string& id) {
    if (!usableSceneId(id)) return std::nullopt;
    auto text = bridge_.sendGETRequestToUrl("scenes/" + id);
    if (!text) return std::nullopt;
    Value scene = jsontext::dictionaryOfDictionariesFromJSON(*text);
    const Value& states = scene["lightstates"];
    if (!states.isMap()) return std::nullopt;
    std::vector<SceneLampState> out;
    for (const auto& lamp : BridgeBridge::memberIdentifiers(scene["lights"].textValue())) {
        const Value& record = states[lamp];
        if (!usableLampId(lamp) || !record.isMap() || !record.contains("on")) continue;
        SceneLampState state;
        state.lampId = lamp;
        state.on = record["on"].textValue() == "true" || (record["on"].isBool() && record["on"].boolValue());
        state.bri = number(record, "bri");
        state.hue = number(record, "hue");
        state.sat = number(record, "sat");
        state.ct = number(record, "ct");
        out.push_back(std::move(state));
    }
    return out;
}

bool BridgeScenes::recall(const std::string& id, std::optional<double> transitionSeconds) {
    if (!usableSceneId(id)) return false;
    Value body = Value::map({{"scene", id}});
    if (transitionSeconds) {
        double tenths = std::isfinite(*transitionSeconds) ? *transitionSeconds * 10 : 0;
        body.set("transitiontime", static_cast<std::int64_t>(std::lround(std::clamp(tenths, 0.0, 65535.0))));
    }
    return bridge_.sendPUTRequestToUrl(body, "groups/0/action");
}

bool BridgeScenes::storeStates(const std::string& id, const std::vector<SceneLampState>& states) {
    bool stored = true;
    for (const auto& state : states)
        stored =
            bridge_.sendPUTRequestToUrl(state.requestBody(), "scenes/" + id + "/lightstates/" + state.lampId) && stored;
    return stored;
}

std::optional<std::string> BridgeScenes::create(const std::string& name, const std::vector<SceneLampState>& states) {
    if (states.empty()) return std::nullopt;
    Value body = Value::map({{"name", name}, {"lights", lightsText(states)}, {"recycle", false}});
    auto reply = bridge_.sendPOSTRequestToUrl(body, "scenes");
    if (!reply) return std::nullopt;
    Value results = jsontext::arrayOfDictionariesFromJSON(*reply);
    std::string id;
    if (results.isList() && !results.empty()) id = results.at(0)["success"]["id"].textValue();
    if (!usableSceneId(id)) {
        platform::log("the bridge gave no usable identifier for the new scene");
        return std::nullopt;
    }
    if (!storeStates(id, states)) return std::nullopt;
    return id;
}

bool BridgeScenes::update(const std::string& id, const std::string& name, const std::vector<SceneLampState>& states) {
    if (!usableSceneId(id) || states.empty()) return false;
    Value body = Value::map({{"name", name}, {"lights", lightsText(states)}});
    if (!bridge_.sendPUTRequestToUrl(body, "scenes/" + id)) return false;
    return storeStates(id, states);
}

bool BridgeScenes::remove(const std::string& id) {
    if (!usableSceneId(id)) return false;
    return bridge_.sendDELETERequestToUrl("scenes/" + id).has_value();
}

const BridgeScene* BridgeScenes::find(const std::vector<BridgeScene>& scenes, std::string_view idOrName) {
    for (const auto& scene : scenes)
        if (scene.id == idOrName) return &scene;
    for (const auto& scene : scenes)
        if (scene.name == idOrName) return &scene;
    return nullptr;
}

std::vector<SceneLampState> BridgeScenes::statesFromPreset(const Value& preset) {
    std::vector<SceneLampState> out;
    const Value& strips = preset["strips"];
    if (!strips.isList()) return out;
    for (const Value& record : strips.asList()) {
        if (!record.isMap()) continue;
        SceneLampState state;
        const Value& id = record["id"];
        state.lampId = id.isText() ? id.textValue() : std::to_string(id.intValue());
        if (!usableLampId(state.lampId)) continue;
        state.on = record["onoff"].boolValue();
        state.bri = number(record, "brightness");
        state.hue = number(record, "colour");
        if (auto slider = number(record, "saturation")) state.sat = 255 - *slider;
        state.ct = number(record, "ct");
        // Values the bridge refuses are dropped, not sent out of range.
        if (state.bri) state.bri = std::clamp(*state.bri, 0, 254);
        if (state.sat) state.sat = std::clamp(*state.sat, 0, 254);
        if (state.hue) state.hue = std::clamp(*state.hue, 0, 65535);
        if (state.ct) state.ct = std::clamp(*state.ct, 153, 500);
        out.push_back(std::move(state));
    }
    return out;
}

std::vector<SceneLampState> BridgeScenes::statesFromLamps(const Value& lamps, const std::vector<std::string>& lampIds) {
    std::vector<SceneLampState> out;
    if (!lamps.isList()) return out;
    for (const Value& lamp : lamps.asList()) {
        const std::string id = lamp["id"].textValue();
        if (!usableLampId(id)) continue;
        if (!lampIds.empty() && std::find(lampIds.begin(), lampIds.end(), id) == lampIds.end()) continue;
        SceneLampState state;
        state.lampId = id;
        state.on = lamp["onoff"].boolValue();
        state.bri = number(lamp, "brightness");
        // A lamp keeps the colour of its mode: temperature, or hue and saturation.
        const std::string mode = lamp["state"]["colormode"].textValue();
        if (mode == "ct" || !lamp.contains("colour")) {
            state.ct = number(lamp, "ct");
        } else {
            state.hue = number(lamp, "colour");
            state.sat = number(lamp, "saturation");
        }
        out.push_back(std::move(state));
    }
    return out;
}

}  // namespace glowmere
