#include "controller/PresetRecords.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace glowmere::presets {

namespace chr = std::chrono;

Value storedList(const platform::DefaultsStore& defaults) {
    Value list = defaults.objectForKey(presetsKey);
    return list.isList() ? list : Value::emptyList();
}

bool updateList(platform::DefaultsStore& defaults, const std::function<void(Value& list)>& change) {
    return defaults.updateObject(presetsKey, [&](const Value& current) {
        Value list = current.isList() ? current : Value::emptyList();
        change(list);
        return list;
    });
}

std::string uniqueID(platform::Clock::TimePoint now, const platform::TimeZone& zone) {
    auto local = zone.toLocal(chr::floor<chr::seconds>(now));
    auto day = chr::floor<chr::days>(local);
    chr::year_month_day date{day};
    chr::hh_mm_ss time{local - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02u%02u%02d%02d%02d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

Value makePreset(std::string id, std::string name, Value strips) {
    return Value::map({{idKey, std::move(id)}, {nameKey, std::move(name)}, {stripsKey, std::move(strips)}});
}

namespace {
double bridgeTransition(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return 0;
    return std::min(seconds, maximumTransition);
}
}  // namespace

double transitionFor(const Value& preset, const platform::DefaultsStore& defaults) {
    if (preset.contains(transitionKey)) return bridgeTransition(preset[transitionKey].doubleValue());
    if (defaults.hasObject(presetTransitionKey))
        return bridgeTransition(defaults.objectForKey(presetTransitionKey).floatValue());
    return defaultTransition;
}

std::string transitionText(const Value& preset) {
    double t = preset[transitionKey].doubleValue();
    if (!(t > 0) || !std::isfinite(t)) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%g", t);
    return text;
}

std::string stripIdentifier(const Value& stripRecord) {
    const Value& id = stripRecord["id"];
    if (id.isInteger() || id.isReal() || id.isBool()) return std::to_string(id.intValue());
    return id.textValue();
}

Value stripRecordFromLamp(const Value& lamp) {
    Value record = Value::emptyMap();
    record.set("label", lamp["label"].textValue());
    record.set("onoff", lamp["onoff"].boolValue());
    record.set("brightness", lamp["brightness"].doubleValue());
    if (lamp.contains("colour")) record.set("colour", lamp["colour"].doubleValue());
    if (lamp.contains("saturation")) record.set("saturation", 255.0 - lamp["saturation"].doubleValue());
    record.set("id", lamp["id"].textValue());
    return record;
}

std::optional<std::size_t> indexOfName(const Value& list, std::string_view name) {
    if (!list.isList()) return std::nullopt;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list.at(i).isMap() && list.at(i)[nameKey].textValue() == name) return i;
    return std::nullopt;
}

std::vector<std::string> names(const Value& list) {
    std::vector<std::string> out;
    if (!list.isList()) return out;
    for (const Value& preset : list.asList()) out.push_back(preset[nameKey].textValue());
    return out;
}

std::optional<std::string> checkedName(std::string_view typed, const std::vector<std::string>& taken,
                                       std::string* why) {
    auto fail = [&](std::string reason) -> std::optional<std::string> {
        if (why) *why = std::move(reason);
        return std::nullopt;
    };
    constexpr std::string_view space = " \t\r\n\f\v";
    const auto first = typed.find_first_not_of(space);
    if (first == std::string_view::npos) return fail("A preset needs a name.");
    const std::string name(typed.substr(first, typed.find_last_not_of(space) - first + 1));
    // Characters, not bytes: UTF-8 continuation bytes do not count.
    const auto characters = std::count_if(name.begin(), name.end(), [](char c) { return (c & 0xC0) != 0x80; });
    if (static_cast<std::size_t>(characters) > maxNameLength)
        return fail("A preset name has at most " + std::to_string(maxNameLength) + " characters.");
    if (std::find(taken.begin(), taken.end(), name) != taken.end())
        return fail("There is already a preset called \"" + name + "\".");
    return name;
}

}  // namespace glowmere::presets
