#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bridge/BridgeScenes.h"
#include "platform/DefaultsStore.h"
#include "platform/Value.h"

// Presets kept on the bridge as scenes too, so wall switches, other
// applications and the bridge's own schedules can recall them. A preset
// record says so with "keepOnBridge" and remembers its scene's identifier
// and what was last stored there (name and states), so the scene is written
// only when the preset changed. Shared by the desktop application and
// glowmerectl.
namespace glowmere::presetscenes {

inline constexpr const char* keepOnBridgeKey = "keepOnBridge";
inline constexpr const char* sceneIDKey = "bridgeSceneID";
inline constexpr const char* storedKey = "bridgeSceneStored";

bool keptOnBridge(const Value& preset);
// The scene a preset was stored as; empty when none yet.
std::string sceneID(const Value& preset);
// What a preset would store on the bridge (its name and states), as text.
std::string fingerprint(const Value& preset);

struct StoreResult {
    int stored = 0;  // scenes created or updated
    int failed = 0;
    std::vector<BridgeScene> written;  // the scenes as they are now on the bridge
};
// Creates or updates the scene of every kept preset whose scene is missing
// (from `onBridge`, when known) or out of date, and records the scenes'
// identifiers with the presets. Makes requests; any thread but the store's
// observers.
StoreResult storeKeptPresets(BridgeScenes& scenes, platform::DefaultsStore& defaults,
                             const std::optional<std::vector<BridgeScene>>& onBridge);

// Turns keeping on the bridge on or off for the preset with this unique
// "ID". False when there is none or it could not be saved.
bool setKeptOnBridge(platform::DefaultsStore& defaults, const std::string& presetID, bool keep);

}  // namespace glowmere::presetscenes
