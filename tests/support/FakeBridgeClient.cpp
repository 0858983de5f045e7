#include "support/FakeBridgeClient.h"

namespace glowmere::testing {

void FakeBridgeClient::record(std::string call, bool change, const Value* settings) {
    std::lock_guard g(mutex_);
    calls_.emplace_back(std::move(call), change);
    if (settings) sent_.push_back(*settings);
}

std::optional<Value> FakeBridgeClient::lightsArray() {
    record("lightsArray", false);
    std::lock_guard g(mutex_);
    return lights_;
}
std::optional<Value> FakeBridgeClient::groupsArray() {
    record("groupsArray", false);
    std::lock_guard g(mutex_);
    return groups_;
}
std::optional<Value> FakeBridgeClient::lightsArrayForGroup(const std::string& groupId) {
    record("lightsArrayForGroup " + groupId, false);
    std::lock_guard g(mutex_);
    if (const Value* v = members_.find(groupId)) return *v;
    return std::nullopt;
}
std::optional<Value> FakeBridgeClient::settingsForGroup(const std::string& groupId) {
    record("settingsForGroup " + groupId, false);
    std::lock_guard g(mutex_);
    if (const Value* v = groupSettings_.find(groupId)) return *v;
    return std::nullopt;
}
void FakeBridgeClient::allOn(bool on) {
    record(std::string("allOn ") + (on ? "true" : "false"), true);
}
void FakeBridgeClient::lampOn(const std::string& lampId, bool on) {
    record("lampOn " + lampId + (on ? " true" : " false"), true);
}
void FakeBridgeClient::groupOn(const std::string& groupId, bool on) {
    record("groupOn " + groupId + (on ? " true" : " false"), true);
}
void FakeBridgeClient::sendSettingsToLamp(const Value& settings, const std::string& lampId) {
    record("sendSettingsToLamp " + lampId + " " + settings.debugString(), true, &settings);
}
void FakeBridgeClient::sendSettingsToGroup(const Value& settings, const std::string& groupId) {
    record("sendSettingsToGroup " + groupId + " " + settings.debugString(), true, &settings);
}

void FakeBridgeClient::setLights(std::optional<Value> lights) {
    std::lock_guard g(mutex_);
    lights_ = std::move(lights);
}
void FakeBridgeClient::setGroups(std::optional<Value> groups) {
    std::lock_guard g(mutex_);
    groups_ = std::move(groups);
}
void FakeBridgeClient::setGroupMembers(const std::string& groupId, Value lamps) {
    std::lock_guard g(mutex_);
    members_.set(groupId, std::move(lamps));
}
void FakeBridgeClient::setGroupSettings(const std::string& groupId, Value settings) {
    std::lock_guard g(mutex_);
    groupSettings_.set(groupId, std::move(settings));
}

std::vector<std::string> FakeBridgeClient::calls() const {
    std::lock_guard g(mutex_);
    std::vector<std::string> out;
    for (const auto& [call, change] : calls_) out.push_back(call);
    return out;
}
std::vector<std::string> FakeBridgeClient::changes() const {
    std::lock_guard g(mutex_);
    std::vector<std::string> out;
    for (const auto& [call, change] : calls_)
        if (change) out.push_back(call);
    return out;
}
std::vector<Value> FakeBridgeClient::sentSettings() const {
    std::lock_guard g(mutex_);
    return sent_;
}
void FakeBridgeClient::clear() {
    std::lock_guard g(mutex_);
    calls_.clear();
    sent_.clear();
}

}  // namespace glowmere::testing
