#pragma once

#include <optional>
#include <string>

#include "platform/Value.h"

namespace glowmere {

// What the strips and the main controller ask of the bridge client. The
// application hands in the real client (BridgeBridgeClient); unit tests hand
// in a recorder. Every call is synchronous and may come from any thread.
class BridgeClient {
public:
    virtual ~BridgeClient() = default;

    virtual std::optional<Value> lightsArray() = 0;
    virtual std::optional<Value> groupsArray() = 0;
    virtual std::optional<Value> lightsArrayForGroup(const std::string& groupId) = 0;
    virtual std::optional<Value> settingsForGroup(const std::string& groupId) = 0;

    virtual void allOn(bool on) = 0;
    virtual void lampOn(const std::string& lampId, bool on) = 0;
    virtual void groupOn(const std::string& groupId, bool on) = 0;
    virtual void sendSettingsToLamp(const Value& settings, const std::string& lampId) = 0;
    virtual void sendSettingsToGroup(const Value& settings, const std::string& groupId) = 0;
};

}  // namespace glowmere
