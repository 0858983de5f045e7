#pragma once

#include <optional>
#include <string>
#include <vector>

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

    // Naming, groups, false dusk and the raw requests of the bulb search.
    // A client that cannot do these (a recorder in a test) does nothing.
    virtual void renameLampNewName(const std::string& /*lampId*/, const std::string& /*newName*/) {}
    virtual void renameGroupNewName(const std::string& /*groupId*/, const std::string& /*newName*/) {}
    virtual void makeGroupNamed(const std::vector<std::string>& /*lampIds*/, const std::string& /*name*/) {}
    virtual void removeGroupNamed(const std::string& /*groupId*/) {}
    virtual void startFalseDuskForLampWithTransition(const std::string& /*lampId*/, double /*minutes*/) {}
    virtual void startFalseDuskForGroupWithTransition(const std::string& /*groupId*/, double /*minutes*/) {}
    virtual std::optional<std::string> sendPOSTRequestToUrl(const Value& /*settings*/, const std::string& /*path*/) {
        return std::nullopt;
    }
    virtual std::optional<std::string> sendGETRequestToUrl(const std::string& /*path*/) { return std::nullopt; }
    // The bridge's address, when one is known ("HOST" or "HOST:PORT").
    virtual std::optional<std::string> bridgeAddress() { return std::nullopt; }
    // Whether the bridge issued a user name to this application.
    virtual bool isPaired() { return true; }
    // The bridge did not answer a whole polling cycle: look for it at
    // another address (it keeps its identity). True when it was found there.
    virtual bool followMovedBridge() { return false; }
};

}  // namespace glowmere
