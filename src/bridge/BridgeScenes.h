#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Value.h"

namespace glowmere {

class BridgeBridge;

// One lamp's state as a scene stores it, in the bridge's own terms (the
// saturation is the bridge's, not the slider's). A value left out is one the
// lamp does not take or the scene does not set.
struct SceneLampState {
    std::string lampId;
    bool on = false;
    std::optional<int> bri, hue, sat, ct;

    // {"on","bri","hue","sat","ct"} with what is set.
    Value requestBody() const;
};

// A scene as the bridge lists it.
struct BridgeScene {
    std::string id;
    std::string name;
    std::vector<std::string> lights;
    std::string lastupdated;
};

// The scenes the bridge keeps (its /scenes resource): listed, read, recalled
// on every lamp with one request, stored from given lamp states and deleted.
// Other applications and wall switches use the same scenes. Requests go
// through the bridge client and may be made from any thread; nothing is kept
// here between calls.
class BridgeScenes {
public:
    // A scene list longer than this is taken for a broken reply.
    static constexpr std::size_t maxScenes = 1000;

    explicit BridgeScenes(BridgeBridge& bridge) : bridge_(bridge) {}

    // Every scene, in the order of their identifiers; nothing when the list
    // could not be read.
    std::optional<std::vector<BridgeScene>> list();
    // A scene's lamps with their stored states; nothing when unreadable.
    std::optional<std::vector<SceneLampState>> lightStates(const std::string& id);
    // One request: PUT groups/0/action {"scene": id}, with the transition
    // when one is given (seconds, else the scene's own).
    bool recall(const std::string& id, std::optional<double> transitionSeconds = std::nullopt);
    // A new scene of these lamps in these states: its identifier, or nothing.
    std::optional<std::string> create(const std::string& name, const std::vector<SceneLampState>& states);
    // An existing scene takes this name, these lamps and states. False when
    // any request failed (a scene deleted meanwhile among them).
    bool update(const std::string& id, const std::string& name, const std::vector<SceneLampState>& states);
    bool remove(const std::string& id);

    // The scene an identifier names, else the first of that name.
    static const BridgeScene* find(const std::vector<BridgeScene>& scenes, std::string_view idOrName);
    // The states a preset record holds, lamp by lamp (its strips' slider
    // saturation turned back into the bridge's).
    static std::vector<SceneLampState> statesFromPreset(const Value& preset);
    // The states of lamp records as the bridge client reads them (its
    // lightsArray), optionally only those of `lampIds`.
    static std::vector<SceneLampState> statesFromLamps(const Value& lamps,
                                                       const std::vector<std::string>& lampIds = {});

private:
    bool storeStates(const std::string& id, const std::vector<SceneLampState>& states);

    BridgeBridge& bridge_;
};

}  // namespace glowmere
