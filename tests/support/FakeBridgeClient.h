#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "controls/BridgeClient.h"

namespace glowmere::testing {

// A bridge client that answers from tables the test fills and records every
// call as one line ("lampOn 1 true", "sendSettingsToLamp 1 {...}").
class FakeBridgeClient final : public BridgeClient {
public:
    std::optional<Value> lightsArray() override;
    std::optional<Value> groupsArray() override;
    std::optional<Value> lightsArrayForGroup(const std::string& groupId) override;
    std::optional<Value> settingsForGroup(const std::string& groupId) override;
    void allOn(bool on) override;
    void lampOn(const std::string& lampId, bool on) override;
    void groupOn(const std::string& groupId, bool on) override;
    void sendSettingsToLamp(const Value& settings, const std::string& lampId) override;
    void sendSettingsToGroup(const Value& settings, const std::string& groupId) override;

    // What the bridge answers; nothing stands for an unreachable bridge.
    void setLights(std::optional<Value> lights);
    void setGroups(std::optional<Value> groups);
    void setGroupMembers(const std::string& groupId, Value lamps);
    void setGroupSettings(const std::string& groupId, Value settings);

    std::vector<std::string> calls() const;
    // Calls that change something on the bridge (not the reads).
    std::vector<std::string> changes() const;
    // The settings records sent, in order.
    std::vector<Value> sentSettings() const;
    void clear();

private:
    void record(std::string call, bool change, const Value* settings = nullptr);

    mutable std::mutex mutex_;
    std::optional<Value> lights_;
    std::optional<Value> groups_;
    Value members_ = Value::emptyMap();
    Value groupSettings_ = Value::emptyMap();
    std::vector<std::pair<std::string, bool>> calls_;
    std::vector<Value> sent_;
};

}  // namespace glowmere::testing
