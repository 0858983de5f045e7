#include "controller/LampFlash.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <utility>

#include "platform/InputChecks.h"
#include "platform/Log.h"

namespace glowmere {

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

const Value* findRecord(const Value& list, const std::string& key, std::string_view wanted, bool ignoreCase) {
    if (!list.isList()) return nullptr;
    for (const Value& record : list.asList()) {
        const std::string have = record[key].textValue();
        if (ignoreCase ? lowered(have) == lowered(wanted) : have == wanted) return &record;
    }
    return nullptr;
}

// The bridge's "xy" as the writer sends it: a JSON array text.
std::string xyText(const Value& xy) {
    if (!xy.isList()) return xy.textValue();
    std::string out = "[";
    for (std::size_t i = 0; i < xy.size(); ++i) out += (i ? "," : "") + xy.at(i).textValue();
    return out + "]";
}

struct NamedHue {
    const char* name;
    int hue;
};
// Hues of the bridge's colour wheel (0 and 65535 are both red).
constexpr NamedHue namedHues[] = {{"red", 0},        {"orange", 5500},   {"yellow", 10900},
                                  {"green", 21800},  {"cyan", 32800},    {"blue", 43700},
                                  {"purple", 50000}, {"magenta", 54600}, {"pink", 60000}};

}  // namespace

std::optional<LampFlash::Target> LampFlash::findTarget(std::string_view text, const Value& lamps, const Value& groups) {
    if (text.empty()) return std::nullopt;
    auto lampIdsOf = [](const Value& list) {
        std::vector<std::string> ids;
        if (list.isList())
            for (const Value& lamp : list.asList()) ids.push_back(lamp["id"].textValue());
        return ids;
    };
    if (lowered(text) == "all") return Target{true, "0", "all lamps", lampIdsOf(lamps)};
    const Value* lamp = findRecord(lamps, "id", text, false);
    if (!lamp) lamp = findRecord(lamps, "label", text, true);
    if (lamp)
        return Target{false, (*lamp)["id"].textValue(), (*lamp)["label"].textValue(), {(*lamp)["id"].textValue()}};
    const Value* group = findRecord(groups, "label", text, true);
    if (!group) group = findRecord(groups, "id", text, false);
    if (!group) return std::nullopt;
    Target target{true, (*group)["id"].textValue(), (*group)["label"].textValue(), {}};
    // Members the lamp list does not hold (gone from the bridge) are left out.
    for (const std::string& id : BridgeBridge::memberIdentifiers((*group)["lights"].textValue()))
        if (findRecord(lamps, "id", id, false)) target.lampIds.push_back(id);
    return target;
}

std::optional<int> LampFlash::hueForColour(std::string_view text) {
    for (const auto& named : namedHues)
        if (lowered(text) == named.name) return named.hue;
    auto number = platform::wholeNumber(text, 0, 65535);
    if (!number) return std::nullopt;
    return static_cast<int>(*number);
}

const std::vector<std::string>& LampFlash::colourNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const auto& named : namedHues) out.push_back(named.name);
        return out;
    }();
    return names;
}

Value LampFlash::colourBody(const Value& lamp, int hue) {
    if (!lamp["state"].contains("hue")) return Value::map({{"alert", "select"}});
    return Value::map({{"on", "true"}, {"hue", hue}, {"sat", 254}, {"bri", 254}, {"transitiontime", 0}});
}

std::vector<Value> LampFlash::restoreBodies(const Value& lamp) {
    const Value& state = lamp["state"];
    std::vector<Value> bodies;
    Value body = Value::map({{"on", state["on"].boolValue() ? "true" : "false"}, {"transitiontime", 0}});
    if (state.contains("bri")) body.set("bri", state["bri"].intValue());
    const std::string mode = state["colormode"].textValue();
    auto hueAndSaturation = [&state](Value& into) {
        into.set("hue", state["hue"].intValue());
        if (state.contains("sat")) into.set("sat", state["sat"].intValue());
    };
    const bool otherMode = (mode == "xy" && state.contains("xy")) || (mode == "ct" && state.contains("ct"));
    if (otherMode && state.contains("hue")) {
        Value first = Value::map({{"transitiontime", 0}});
        hueAndSaturation(first);
        bodies.push_back(std::move(first));
    }
    if (mode == "xy" && state.contains("xy"))
        body.set("xy", xyText(state["xy"]));
    else if (mode == "ct" && state.contains("ct"))
        body.set("ct", state["ct"].intValue());
    else if (state.contains("hue"))
        hueAndSaturation(body);
    bodies.push_back(std::move(body));
    return bodies;
}

LampFlash::Outcome LampFlash::flash(std::string_view text, std::optional<int> hue, int times, std::string* why,
                                    std::stop_token stop) {
    auto fail = [why](Outcome outcome, std::string message) {
        if (why) *why = std::move(message);
        return outcome;
    };
    times = std::clamp(times, 1, maxTimes);
    const auto lamps = bridge_.lightsArray();
    if (!lamps || !lamps->isList()) return fail(Outcome::BridgeFailed, "could not read the lamps");
    auto target = findTarget(text, *lamps, Value::emptyList());
    if (!target) {
        const auto groups = bridge_.groupsArray();
        if (!groups) return fail(Outcome::BridgeFailed, "could not read the groups");
        target = findTarget(text, *lamps, *groups);
    }
    if (!target)
        return fail(Outcome::NoSuchTarget,
                    "no lamp or group is called '" + platform::printable(std::string(text)) + "' (or has that id)");
    platform::log("flashing " + platform::printable(target->name) + (target->group ? " (group " : " (lamp ") +
                  target->id + ") " + std::to_string(times) + (times == 1 ? " time" : " times") +
                  (hue ? " in hue " + std::to_string(*hue) : (longAlert_ ? " long" : "")));

    // The states before the first flash: what every lamp returns to.
    std::vector<const Value*> before;
    for (const std::string& id : target->lampIds)
        if (const Value* lamp = findRecord(*lamps, "id", id, false)) before.push_back(lamp);

    // Each step is one command per lamp, never merged with the next step's
    // (a restore must not take the place of the colour it undoes). The
    // flash failed when one of its own commands did; a poll failing at the
    // same time is no part of it.
    std::optional<RequestFailure> failed;
    auto sendAndWait = [this, &failed](std::vector<BridgeCommand> commands) {
        std::vector<std::shared_ptr<CommandTicket>> tickets;
        for (auto& command : commands) tickets.push_back(bridge_.sendCommand(std::move(command)));
        for (auto& ticket : tickets)
            if (!ticket->wait() && !failed) failed = ticket->failure();
    };
    bool stopped = false;
    for (int i = 0; i < times && !stopped; ++i) {
        if (i > 0 && !clock_.sleepFor(pauseBetween, stop)) break;
        if (!hue) {
            sendAndWait({BridgeCommand{target->group, target->id,
                                       Value::map({{"alert", longAlert_ ? "lselect" : "select"}}), false}});
            stopped = !clock_.sleepFor(longAlert_ ? longAlertLength : alertLength, stop);
            continue;
        }
        std::vector<BridgeCommand> colour, restore;
        for (const Value* lamp : before) {
            const std::string id = (*lamp)["id"].textValue();
            colour.push_back(BridgeCommand{false, id, colourBody(*lamp, *hue), false});
            // A lamp without colour had the alert only: nothing to undo.
            if (!(*lamp)["state"].contains("hue")) continue;
            for (Value& body : restoreBodies(*lamp))
                restore.push_back(BridgeCommand{false, id, std::move(body), false});
        }
        sendAndWait(std::move(colour));
        // Stopped or not, what was changed goes back.
        stopped = !clock_.sleepFor(colourHold, stop);
        sendAndWait(std::move(restore));
    }
    bridge_.waitForCommands();
    if (failed) {
        platform::log("the flash of " + platform::printable(target->name) + " failed: " + failed->describe());
        return fail(Outcome::BridgeFailed, "could not flash " + platform::printable(target->name));
    }
    return stopped ? Outcome::Stopped : Outcome::Flashed;
}

}  // namespace glowmere
