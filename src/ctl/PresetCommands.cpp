#include "ctl/PresetCommands.h"

#include <algorithm>
#include <iomanip>
#include <map>
#include <ostream>

#include "bridge/JsonText.h"
#include "controller/LampShortcuts.h"
#include "controller/PresetRecords.h"
#include "controller/PresetScenes.h"
#include "controls/LampControlStrip.h"
#include "ctl/SceneCommands.h"
#include "platform/HttpClient.h"
#include "platform/Log.h"

namespace glowmere::ctl {

namespace {

using Args = std::vector<std::string>;

// A preset's name from the command line: not empty, valid UTF-8.
std::optional<std::string> presetName(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return platform::sanitizeUtf8(text);
}

int noSuchPreset(Context& ctx, const std::string& name) {
    ctx.err << "glowmerectl: no preset named '" << platform::printable(name) << "' (see glowmerectl presets)"
            << std::endl;
    return exitFailed;
}

// Changes the list as stored now, under the store's lock. A failed save is
// reported by main, with the reason.
int change(Context& ctx, const std::function<void(Value& list)>& edit) {
    return presets::updateList(ctx.defaults, edit) ? exitOk : exitFailed;
}

int listPresets(Context& ctx, const Command& self, const Args& args) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument '" + args[0] + "'");
    Value list = presets::storedList(ctx.defaults);
    if (ctx.json) {
        const std::vector<bool> active = presetsInEffect(ctx, list);
        ctx.out << "[";
        for (std::size_t i = 0; i < list.size(); ++i) {
            const Value& preset = list.at(i);
            const Value* transition = preset.find(presets::transitionKey);
            ctx.out << (i ? "," : "") << "{\"name\":\""
                    << jsontext::escapeJSONText(preset[presets::nameKey].textValue())
                    << "\",\"transition\":" << (transition ? formatNumber(transition->doubleValue()) : "null")
                    << ",\"lamps\":" << preset[presets::stripsKey].size()
                    << ",\"onBridge\":" << (presetscenes::keptOnBridge(preset) ? "true" : "false")
                    << ",\"active\":" << (active[i] ? "true" : "false") << "}";
        }
        ctx.out << "]" << std::endl;
        return exitOk;
    }
    if (list.empty()) {
        ctx.out << "no presets" << std::endl;
        return exitOk;
    }
    ctx.out << std::left << std::setw(12) << "TRANSITION" << std::setw(7) << "LAMPS"
            << "NAME" << '\n';
    for (const Value& preset : list.asList()) {
        // No transition of its own: "presetTransition" applies.
        std::string transition = preset.contains(presets::transitionKey)
                                     ? formatNumber(preset[presets::transitionKey].doubleValue()) + " s"
                                     : "default";
        ctx.out << std::setw(12) << transition << std::setw(7) << preset[presets::stripsKey].size()
                << platform::printable(preset[presets::nameKey].textValue()) << '\n';
    }
    ctx.out << std::flush;
    return exitOk;
}

// A snapshot of the bridge's lamps now, as the application's strips would
// give it; a preset of that name gets the new snapshot, else one is added.
int savePreset(Context& ctx, const Command& self, const Args& args) {
    if (args.size() != 1) return usageError(ctx, self, "expected the preset's name");
    auto name = presetName(args[0]);
    if (!name) return usageError(ctx, self, "the name is empty");
    auto lamps = ctx.bridge.lightsArray();
    if (!lamps || !lamps->isList()) return reportFailure(ctx, "could not read the lamps");
    Value strips = Value::emptyList();
    for (const Value& lamp : lamps->asList()) strips.append(presets::stripRecordFromLamp(lamp));
    const std::size_t count = strips.size();

    bool updated = false;
    const auto id = presets::uniqueID(platform::SystemClock::shared().now(), platform::TimeZone::local());
    int status = change(ctx, [&](Value& list) {
        if (auto index = presets::indexOfName(list, *name)) {
            list.asList()[*index].set(presets::stripsKey, strips);
            updated = true;
        } else {
            list.append(presets::makePreset(id, *name, strips));
        }
    });
    if (status != exitOk) return status;
    ctx.out << (updated ? "updated" : "saved") << " preset '" << platform::printable(*name) << "' (" << count
            << " lamps)" << std::endl;
    // A preset kept on the bridge takes its scene along.
    const Value stored = presets::storedList(ctx.defaults);
    if (std::none_of(stored.asList().begin(), stored.asList().end(), presetscenes::keptOnBridge)) return exitOk;
    BridgeScenes scenes(ctx.bridge);
    const auto kept = presetscenes::storeKeptPresets(scenes, ctx.defaults, scenes.list());
    if (kept.failed) return reportFailure(ctx, "could not update the preset's scene on the bridge");
    return exitOk;
}

int applyPreset(Context& ctx, const Command& self, const Args& given) {
    Args args;
    std::optional<double> transition;
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (given[i] != "--transition") {
            args.push_back(given[i]);
            continue;
        }
        if (i + 1 >= given.size()) return usageError(ctx, self, "--transition needs a number of seconds");
        transition = parseNumber(given[++i], 0, presets::maximumTransition);
        if (!transition)
            return usageError(ctx, self,
                              "'" + given[i] + "' is not a transition (0 to " +
                                  formatNumber(presets::maximumTransition) + " seconds)");
    }
    if (args.size() != 1) return usageError(ctx, self, "expected the preset's name");
    Value list = presets::storedList(ctx.defaults);
    auto index = presets::indexOfName(list, args[0]);
    if (!index) return noSuchPreset(ctx, args[0]);
    const Value& preset = list.at(*index);
    const double seconds = transition ? *transition : presets::transitionFor(preset, ctx.defaults);

    // Lamps that left the bridge since the preset was saved are passed over,
    // as the application passes over records without a strip.
    auto lamps = ctx.bridge.lightsArray();
    if (!lamps || !lamps->isList()) return reportFailure(ctx, "could not read the lamps");
    std::map<std::string, bool> switchedOn;
    std::map<std::string, std::string> colourMode;
    for (const Value& lamp : lamps->asList()) {
        switchedOn[lamp["id"].textValue()] = lamp["onoff"].boolValue();
        colourMode[lamp["id"].textValue()] = lamp["state"]["colormode"].textValue();
    }

    int applied = 0;
    const Value& strips = preset[presets::stripsKey];
    int status = runOnBridge(ctx, "could not apply preset '" + platform::printable(args[0]) + "'", [&] {
        if (!strips.isList()) return;
        for (const Value& record : strips.asList()) {
            if (!record.isMap()) continue;
            const std::string id = presets::stripIdentifier(record);
            auto lamp = switchedOn.find(id);
            if (lamp == switchedOn.end()) continue;
            Value request = LampControlStrip::timedRequest(record, seconds, lamp->second);
            // One colour mode per request, the lamp's own: a bridge given
            // colour temperature with hue or saturation takes the temperature.
            if (request.contains(LampControlStrip::colourTemperatureKey) &&
                (request.contains(LampControlStrip::colourKey) || request.contains(LampControlStrip::saturationKey))) {
                if (colourMode[id] == "ct") {
                    request.erase(LampControlStrip::colourKey);
                    request.erase(LampControlStrip::saturationKey);
                } else {
                    request.erase(LampControlStrip::colourTemperatureKey);
                }
            }
            ctx.bridge.sendSettingsToLamp(request, id);
            ++applied;
        }
    });
    if (status != exitOk) return status;
    ctx.out << "applied preset '" << platform::printable(args[0]) << "' to " << applied << " lamps over "
            << formatNumber(seconds) << " s" << std::endl;
    return exitOk;
}

int renamePreset(Context& ctx, const Command& self, const Args& args) {
    if (args.size() != 2) return usageError(ctx, self, "expected the preset's name and its new name");
    auto newName = presetName(args[1]);
    if (!newName) return usageError(ctx, self, "the new name is empty");
    bool found = false;
    int status = change(ctx, [&](Value& list) {
        if (auto index = presets::indexOfName(list, args[0])) {
            list.asList()[*index].set(presets::nameKey, *newName);
            found = true;
        }
    });
    if (status == exitOk && !found) return noSuchPreset(ctx, args[0]);
    return status;
}

int deletePreset(Context& ctx, const Command& self, const Args& args) {
    if (args.size() != 1) return usageError(ctx, self, "expected the preset's name");
    bool found = false;
    int status = change(ctx, [&](Value& list) {
        if (auto index = presets::indexOfName(list, args[0])) {
            list.asList().erase(list.asList().begin() + static_cast<std::ptrdiff_t>(*index));
            found = true;
        }
    });
    if (status == exitOk && !found) return noSuchPreset(ctx, args[0]);
    return status;
}

// The preset after (or before) the one the lamps show now; the first (or
// the last) when they show none. The application steps from the preset it
// applied last; this process has only the lamps to go by.
int stepPreset(Context& ctx, const Command& self, const Args& args, int step) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument '" + args[0] + "'");
    Value list = presets::storedList(ctx.defaults);
    if (list.empty()) {
        ctx.err << "glowmerectl: there are no presets (see glowmerectl preset-save)" << std::endl;
        return exitFailed;
    }
    auto lamps = ctx.bridge.lightsArray();
    if (!lamps || !lamps->isList()) return reportFailure(ctx, "could not read the lamps");
    const auto shown = LampShortcuts::presetMatching(list, *lamps);
    const int index =
        LampShortcuts::steppedIndex(shown ? static_cast<int>(*shown) : -1, static_cast<int>(list.size()), step);
    return applyPreset(ctx, self, {list.at(static_cast<std::size_t>(index))[presets::nameKey].textValue()});
}

}  // namespace

void addPresetCommands(CommandTable& table) {
    table.push_back(command("presets", "[--json]", "list the presets with their transitions", listPresets));
    table.push_back(command("preset-save", "NAME", "save the lamps as they are now as preset NAME", savePreset));
    table.push_back(
        command("preset-apply", "NAME [--transition SECONDS]", "apply preset NAME to the lamps", applyPreset));
    table.push_back(
        command("preset-next", "", "apply the preset after the one the lamps show",
                [](Context& ctx, const Command& self, const Args& args) { return stepPreset(ctx, self, args, 1); }));
    table.push_back(
        command("preset-previous", "", "apply the preset before the one the lamps show",
                [](Context& ctx, const Command& self, const Args& args) { return stepPreset(ctx, self, args, -1); }));
    table.push_back(command("preset-rename", "OLD NEW", "rename a preset", renamePreset));
    table.push_back(command("preset-delete", "NAME", "delete a preset", deletePreset));
}

}  // namespace glowmere::ctl
