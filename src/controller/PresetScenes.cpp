#include "controller/PresetScenes.h"

#include <algorithm>
#include <map>

#include "controller/PresetRecords.h"
#include "platform/Log.h"

namespace glowmere::presetscenes {

bool keptOnBridge(const Value& preset) {
    return preset.isMap() && preset[keepOnBridgeKey].boolValue();
}

std::string sceneID(const Value& preset) {
    return preset.isMap() ? preset[sceneIDKey].textValue() : std::string();
}

std::string fingerprint(const Value& preset) {
    std::string text = preset[presets::nameKey].textValue();
    for (const auto& state : BridgeScenes::statesFromPreset(preset)) {
        text += "|" + state.lampId + (state.on ? ":on" : ":off");
        for (const auto& [key, value] :
             {std::pair{"b", state.bri}, {"h", state.hue}, {"s", state.sat}, {"c", state.ct}})
            if (value) text += std::string(",") + key + std::to_string(*value);
    }
    return text;
}

StoreResult storeKeptPresets(BridgeScenes& scenes, platform::DefaultsStore& defaults,
                             const std::optional<std::vector<BridgeScene>>& onBridge) {
    StoreResult result;
    struct Stored {
        std::string sceneID;
        std::string fingerprint;
    };
    std::map<std::string, Stored> done;  // preset ID -> what is on the bridge now
    const Value list = presets::storedList(defaults);
    for (const Value& preset : list.asList()) {
        if (!keptOnBridge(preset)) continue;
        const std::string presetID = preset[presets::idKey].textValue();
        const std::string print = fingerprint(preset);
        std::string id = sceneID(preset);
        const BridgeScene* listed = onBridge ? BridgeScenes::find(*onBridge, id) : nullptr;
        const bool present = !id.empty() && (!onBridge || (listed && listed->id == id));
        if (present && preset[storedKey].textValue() == print) continue;
        const auto states = BridgeScenes::statesFromPreset(preset);
        const std::string name = preset[presets::nameKey].textValue();
        if (states.empty()) continue;  // nothing a scene could hold
        if (present && scenes.update(id, name, states)) {
            done[presetID] = {id, print};
        } else if (auto made = scenes.create(name, states)) {
            done[presetID] = {*made, print};
        } else {
            platform::log("the preset " + name + " could not be kept on the bridge");
            ++result.failed;
            continue;
        }
        ++result.stored;
        std::vector<std::string> lamps;
        for (const auto& state : states) lamps.push_back(state.lampId);
        result.written.push_back(BridgeScene{done[presetID].sceneID, name, lamps, {}});
    }
    if (done.empty()) return result;
    const bool saved = presets::updateList(defaults, [&](Value& presets) {
        for (Value& preset : presets.asList()) {
            if (!preset.isMap()) continue;
            auto it = done.find(preset[presets::idKey].textValue());
            if (it == done.end()) continue;
            preset.set(sceneIDKey, it->second.sceneID);
            preset.set(storedKey, it->second.fingerprint);
        }
    });
    if (!saved) platform::log("the presets' scenes could not be noted");
    return result;
}

bool setKeptOnBridge(platform::DefaultsStore& defaults, const std::string& presetID, bool keep) {
    bool found = false;
    const bool saved = presets::updateList(defaults, [&](Value& list) {
        for (Value& preset : list.asList()) {
            if (!preset.isMap() || preset[presets::idKey].textValue() != presetID) continue;
            preset.set(keepOnBridgeKey, keep);
            found = true;
        }
    });
    return saved && found;
}

}  // namespace glowmere::presetscenes
