#include "controller/BridgePolling.h"

#include <cstdio>
#include <memory>

#include "platform/Log.h"

namespace glowmere {

namespace {

std::size_t entries(const std::optional<Value>& list) {
    return list && list->isList() ? list->size() : 0;
}

std::string countsLine(bool groups, int count, int strips) {
    char line[160];
    std::snprintf(line, sizeof line,
                  groups ? "groupsArray has %lld groups, %lld returned by bridgebridge"
                         : "lightsArray has %lld lamps, %lld returned by bridgebridge",
                  static_cast<long long>(count), static_cast<long long>(strips));
    return line;
}

}  // namespace

BridgePolling::BridgePolling(BridgeClient& bridge, platform::Clock& clock, LoopHandoff handoff, Strips strips)
    : bridge_(bridge), clock_(clock), handoff_(std::move(handoff)), strips_(std::move(strips)) {}

void BridgePolling::start() {
    ++loopsStarted_;
    thread_ = platform::BackgroundThread(clock_, [this](std::stop_token stop) { pollBridge(stop); });
}

void BridgePolling::stop() {
    thread_.requestStop();
    thread_.join();
}

void BridgePolling::pollBridge(std::stop_token stop) {
    // Set-up has just read everything; the first cycle comes one period later.
    while (clock_.sleepFor(cycle, stop)) pollOnce(stop);
}

std::optional<bool> BridgePolling::rebuildIfBridgeHasMore(int count, bool groups, std::stop_token stop) {
    // The counts are read and the rebuild runs on the controller thread;
    // this thread waits, so it never reads strips mid-rebuild.
    auto rebuilt = std::make_shared<bool>(false);
    if (!handoff_.runAndWait(
            [this, count, groups, rebuilt] {
                const int strips = strips_.count(groups);
                if (count > strips) {
                    platform::log(countsLine(groups, count, strips));
                    strips_.rebuild();
                    *rebuilt = true;
                }
            },
            stop))
        return std::nullopt;
    return *rebuilt;
}

void BridgePolling::pollOnce(std::stop_token stop) {
    if (!enabled_) return;

    std::optional<Value> lights = bridge_.lightsArray();
    // A bridge that did not answer this cycle may have a new address.
    if (!lights && bridge_.followMovedBridge()) lights = bridge_.lightsArray();
    strips_.noteAnswer(lights);
    std::optional<bool> rebuilt = rebuildIfBridgeHasMore(static_cast<int>(entries(lights)), false, stop);
    if (!rebuilt) return;
    if (!*rebuilt && lights && lights->isList()) updateLamps(*lights);

    std::optional<Value> groups = bridge_.groupsArray();
    rebuilt = rebuildIfBridgeHasMore(static_cast<int>(entries(groups)), true, stop);
    if (!rebuilt) return;
    if (!*rebuilt && groups && groups->isList()) updateGroups(*groups);

    if (strips_.wantsAllStrip()) updateGroupAll();
    handoff_.post([this] { strips_.refreshMenus(); });
}

Value BridgePolling::syncRecord(const Value& record, bool withLabel) {
    Value sync = Value::emptyMap();
    sync.set(LampControlStrip::onoffKey, record["onoff"].boolValue());
    sync.set(LampControlStrip::brightnessKey, record["brightness"].doubleValue());
    if (record.contains("colour")) sync.set(LampControlStrip::colourKey, record["colour"].doubleValue());
    if (withLabel) sync.set(LampControlStrip::labelKey, record["label"]);
    if (record.contains("saturation"))
        sync.set(LampControlStrip::saturationKey, 255.0 - record["saturation"].doubleValue());
    if (record.contains("ct")) sync.set(LampControlStrip::colourTemperatureKey, record["ct"].doubleValue());
    if (const Value mode = record["state"][LampControlStrip::colourModeKey]; !mode.isNull())
        sync.set(LampControlStrip::colourModeKey, mode);
    return sync;
}

void BridgePolling::showReadings(std::vector<Reading> readings) {
    if (readings.empty()) return;
    handoff_.post([this, readings = std::move(readings)] {
        if (!enabled_) return;  // read before a change that paused polling
        for (const Reading& reading : readings) {
            LampControlStrip* strip = strips_.find(reading.group, reading.id);
            if (strip)
                strip->implementSettingsFromDictionaryWithoutActing(reading.sync);
            else if (reading.whenMissing)
                platform::log(reading.whenMissing);
        }
    });
}

void BridgePolling::updateLamps(const Value& lamps) {
    if (!lamps.isList()) return;
    std::vector<Reading> readings;
    for (const Value& record : lamps.asList()) {
        if (!record.contains("onoff") || !record.contains("brightness") || !record.contains("label")) continue;
        readings.push_back({false, record["id"].textValue(), syncRecord(record, true)});
    }
    showReadings(std::move(readings));
}

void BridgePolling::updateGroups(const Value& groups) {
    if (!groups.isList()) return;
    // The list just read holds each group's settings; no request per group.
    std::vector<Reading> readings;
    for (const Value& record : groups.asList()) {
        if (!record.contains("onoff") || !record.contains("brightness")) continue;
        readings.push_back({true, record["id"].textValue(), syncRecord(record, false)});
    }
    showReadings(std::move(readings));
}

void BridgePolling::updateGroupAll() {
    std::optional<Value> settings = bridge_.settingsForGroup("0");
    if (!settings || !settings->contains("onoff") || !settings->contains("brightness")) return;
    showReadings({{true, "0", syncRecord(*settings, false), "can't find all group"}});
}

}  // namespace glowmere
