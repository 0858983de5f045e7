#include "controller/LampShortcuts.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "controller/ManualController.h"
#include "controller/PresetRecords.h"
#include "platform/Log.h"
#include "platform/ThreadCheck.h"

namespace glowmere {

const std::vector<LampShortcuts::Shortcut>& LampShortcuts::all() {
    static const std::vector<Shortcut> shortcuts = {
        {"turn-all-on", "Turn all lamps on", "all on"},
        {"turn-all-off", "Turn all lamps off", "all off"},
        {"toggle-all", "Toggle all lamps", "toggle"},
        {"preset-next", "Next preset", "preset-next"},
        {"preset-previous", "Previous preset", "preset-previous"},
        {"brighter", "All lamps brighter", "brighter"},
        {"dimmer", "All lamps dimmer", "dimmer"},
        {"listen", "Start or stop listening", nullptr},
    };
    return shortcuts;
}

int LampShortcuts::steppedBrightness(double brightness, int step) {
    const long now = std::lround(brightness);
    return static_cast<int>(std::clamp(now + step, 1L, 254L));
}

int LampShortcuts::steppedIndex(int current, int count, int step) {
    if (count <= 0) return -1;
    if (current < 0 || current >= count) return step > 0 ? 0 : count - 1;
    return ((current + step) % count + count) % count;
}

std::optional<std::size_t> LampShortcuts::presetMatching(const Value& presetList, const Value& lamps) {
    if (!presetList.isList() || !lamps.isList()) return std::nullopt;
    auto close = [](const Value& a, const Value& b, double within) {
        return std::abs(a.doubleValue() - b.doubleValue()) <= within;
    };
    for (std::size_t i = 0; i < presetList.size(); ++i) {
        const Value& strips = presetList.at(i)[presets::stripsKey];
        if (!strips.isList()) continue;
        bool matches = false;
        for (const Value& saved : strips.asList()) {
            const std::string id = presets::stripIdentifier(saved);
            auto lamp = std::find_if(lamps.asList().begin(), lamps.asList().end(),
                                     [&](const Value& l) { return l["id"].textValue() == id; });
            if (lamp == lamps.asList().end()) continue;
            const Value now = presets::stripRecordFromLamp(*lamp);
            bool same = now["onoff"].boolValue() == saved["onoff"].boolValue();
            if (same && now["onoff"].boolValue()) {
                same = close(now["brightness"], saved["brightness"], 2);
                if (now.contains("colour") && saved.contains("colour"))
                    same = same && close(now["colour"], saved["colour"], 200) &&
                           close(now["saturation"], saved["saturation"], 2);
            }
            if (!same) {
                matches = false;
                break;
            }
            matches = true;
        }
        if (matches) return i;
    }
    return std::nullopt;
}

LampShortcuts::LampShortcuts(ManualController& manual, std::function<void()> toggleListening)
    : manual_(manual), toggleListening_(std::move(toggleListening)) {}

bool LampShortcuts::run(std::string_view id) {
    GLOWMERE_EXPECT_LOOP_THREAD(manual_.runLoop(), "LampShortcuts::run");
    if (id == "turn-all-on") {
        manual_.allOn();
    } else if (id == "turn-all-off") {
        manual_.allOff();
    } else if (id == "toggle-all") {
        toggleAll();
    } else if (id == "preset-next" || id == "preset-previous") {
        stepPreset(id == "preset-next" ? 1 : -1);
    } else if (id == "brighter" || id == "dimmer") {
        stepBrightness(id == "brighter" ? brightnessStep : -brightnessStep);
    } else if (id == "listen") {
        if (toggleListening_) toggleListening_();
    } else {
        return false;
    }
    platform::log("shortcut " + std::string(id));
    return true;
}

void LampShortcuts::toggleAll() {
    // Any lamp on: this is "off"; all off: "on", as the All strip reads.
    bool anyOn = false;
    for (const auto& strip : manual_.collection())
        if (!strip->isGroup() && strip->objectForKey(LampControlStrip::onoffKey).boolValue()) anyOn = true;
    if (anyOn)
        manual_.allOff();
    else
        manual_.allOn();
}

void LampShortcuts::stepPreset(int step) {
    const int count = static_cast<int>(manual_.presetNames().size());
    const int index = steppedIndex(manual_.lastSelectedPreset(), count, step);
    if (index >= 0) manual_.implementPreset(index);
}

void LampShortcuts::stepBrightness(int step) {
    // Lamps that are off stay off; each lamp strip sends its own change.
    for (const auto& strip : manual_.collection()) {
        if (strip->isGroup() || !strip->objectForKey(LampControlStrip::onoffKey).boolValue()) continue;
        const double now = strip->objectForKey(LampControlStrip::brightnessKey).doubleValue();
        strip->implementSettingsFromDictionary(
            Value::map({{LampControlStrip::brightnessKey, steppedBrightness(now, step)}}));
    }
    manual_.stripDidChange();
}

}  // namespace glowmere
