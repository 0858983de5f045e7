#pragma once

#include "bridge/BridgeBridge.h"
#include "controls/BridgeClient.h"

namespace glowmere {

// The strips' view of the real bridge client.
class BridgeBridgeClient final : public BridgeClient {
public:
    explicit BridgeBridgeClient(BridgeBridge& bridge) : bridge_(bridge) {}

    BridgeBridge& bridgeBridge() const { return bridge_; }

    std::optional<Value> lightsArray() override { return bridge_.lightsArray(); }
    std::optional<Value> groupsArray() override { return bridge_.groupsArray(); }
    std::optional<Value> lightsArrayForGroup(const std::string& groupId) override {
        return bridge_.lightsArrayForGroup(groupId);
    }
    std::optional<Value> settingsForGroup(const std::string& groupId) override {
        return bridge_.settingsForGroup(groupId);
    }
    void allOn(bool on) override { bridge_.allOn(on); }
    void lampOn(const std::string& lampId, bool on) override { bridge_.lampOn(lampId, on); }
    void groupOn(const std::string& groupId, bool on) override { bridge_.groupOn(groupId, on); }
    void sendSettingsToLamp(const Value& settings, const std::string& lampId) override {
        bridge_.sendSettingsToLamp(settings, lampId);
    }
    void sendSettingsToGroup(const Value& settings, const std::string& groupId) override {
        bridge_.sendSettingsToGroup(settings, groupId);
    }

private:
    BridgeBridge& bridge_;
};

}  // namespace glowmere
