#pragma once

#include "bridge/BridgeBridge.h"
#include "controls/BridgeClient.h"

#include <string>
#include <vector>

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
    void renameLampNewName(const std::string& lampId, const std::string& newName) override {
        bridge_.renameLampNewName(lampId, newName);
    }
    void renameGroupNewName(const std::string& groupId, const std::string& newName) override {
        bridge_.renameGroupNewName(groupId, newName);
    }
    void makeGroupNamed(const std::vector<std::string>& lampIds, const std::string& name) override {
        std::vector<Member> members(lampIds.begin(), lampIds.end());
        std::vector<const LampIdentifying*> strips;
        for (const Member& m : members) strips.push_back(&m);
        bridge_.makeGroupNamed(strips, name);
    }
    void removeGroupNamed(const std::string& groupId) override { bridge_.removeGroupNamed(groupId); }
    void startFalseDuskForLampWithTransition(const std::string& lampId, double minutes) override {
        bridge_.startFalseDuskForLampWithTransition(lampId, minutes);
    }
    void startFalseDuskForGroupWithTransition(const std::string& groupId, double minutes) override {
        bridge_.startFalseDuskForGroupWithTransition(groupId, minutes);
    }
    std::optional<std::string> sendPOSTRequestToUrl(const Value& settings, const std::string& path) override {
        return bridge_.sendPOSTRequestToUrl(settings, path);
    }
    std::optional<std::string> sendGETRequestToUrl(const std::string& path) override {
        return bridge_.sendGETRequestToUrl(path);
    }
    std::optional<std::string> bridgeAddress() override { return bridge_.bridgeIP(); }
    bool isPaired() override { return bridge_.getUsername().has_value(); }
    bool followMovedBridge() override {
        // Only when this thread's own read found no bridge there.
        const auto failure = bridge_.lastFailureOnThisThread();
        using Kind = RequestFailure::Kind;
        return failure && (failure->kind == Kind::NoReply || failure->kind == Kind::TimedOut) &&
               bridge_.followMovedBridge();
    }

private:
    // A lamp known by its identifier alone, as the bridge client takes group members.
    struct Member final : LampIdentifying {
        Member(std::string id) : id(std::move(id)) {}
        std::string getID() const override { return id; }
        std::string id;
    };
    BridgeBridge& bridge_;
};

}  // namespace glowmere
