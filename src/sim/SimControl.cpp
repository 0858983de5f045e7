// The simulation's own controls (/sim/...) and its persistence. These are not
// part of what a real device offers; tests and the demo use them.
#include "sim/SimBridge.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace glowmere::sim {

namespace {

constexpr double kLongestAdvance = 10 * 366 * 86400.0;

Reply jsonReply(const Json& value, int status = 200) {
    return Reply{status, value.dump(-1, ' ', false, Json::error_handler_t::replace)};
}

Reply badRequest(const std::string& message) {
    return jsonReply(Json{{"error", message}}, 400);
}

// A resource identifier: digits without a leading zero.
std::optional<int> idNumber(const std::string& text) {
    if (text.empty() || text.size() > 6 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    return std::stoi(text);
}

std::optional<SimTime> timeFrom(const Json& value) {
    if (value.is_string()) return parseTime(value.get<std::string>());
    // Seconds since 1970, up to the end of year 9999 (what the text form allows).
    if (value.is_number()) {
        double seconds = value.get<double>();
        if (!(seconds >= 0 && seconds <= 253402300799.0)) return std::nullopt;
        return SimTime{Millis(static_cast<long long>(seconds * 1000))};
    }
    return std::nullopt;
}

}  // namespace

Reply SimBridge::control(const std::string& method, const std::string& path, const std::string& body) {
    // Members of the wrong JSON type surface as exceptions of the JSON library.
    try {
        return controlUnchecked(method, path, body);
    } catch (const Json::exception& e) {
        return badRequest(std::string("a member has the wrong type: ") + e.what());
    }
}

Reply SimBridge::controlUnchecked(const std::string& method, const std::string& path, const std::string& body) {
    std::vector<std::string> parts = splitPath(path);  // "sim", ...
    Json request = Json::object();
    if (!body.empty()) {
        request = Json::parse(body, nullptr, false);
        if (request.is_discarded() || !request.is_object()) return badRequest("the body is not a JSON object");
    }
    std::lock_guard lock(mutex_);
    advanceLocked(clockNow());
    if (parts.size() < 2) return badRequest("unknown control " + path);
    const std::string& what = parts[1];

    if (what == "linkbutton" && method == "POST") {
        if (linkButton_.never) return jsonReply(Json{{"error", "the link button is never pressed"}}, 409);
        linkButton_.pressedUntil = current_ + std::chrono::seconds(30);
        return jsonReply(Json{{"pressed", true}, {"until", formatTime(*linkButton_.pressedUntil)}});
    }

    if (what == "clock") {
        if (auto reply = controlClockLocked(method, parts, request)) return *reply;
    }

    if (what == "newlamps" && method == "POST") return queueNewLampsLocked(request);

    if (what == "lights" && parts.size() == 3 && method == "PUT") return changeLampElsewhereLocked(parts[2], request);

    if (what == "users") {
        if (parts.size() == 2 && method == "POST" && request.contains("name") && request["name"].is_string()) {
            std::string name = request["name"].get<std::string>();
            whitelist_[name] = Json{{"name", request.value("devicetype", "sim#control")},
                                    {"created", formatTime(current_)},
                                    {"lastused", formatTime(current_)}};
            revoked_.erase(name);
            changed();
            return jsonReply(Json{{"user", name}});
        }
        if (parts.size() == 3 && method == "DELETE") {
            whitelist_.erase(parts[2]);
            changed();
            return jsonReply(Json{{"removed", parts[2]}});
        }
    }

    if (what == "unauthorized") {
        // The fault "unauthorized for a user": the bridge forgets the name.
        if (method == "POST" && request.contains("user") && request["user"].is_string()) {
            revoked_.insert(request["user"].get<std::string>());
            return jsonReply(Json{{"unauthorized", request["user"]}});
        }
        if (method == "DELETE") {
            revoked_.clear();
            return jsonReply(Json{{"unauthorized", Json::array()}});
        }
    }

    if (what == "state" && method == "GET") {
        Json state{{"lights", lightsJson()},
                   {"groups", groupsJson()},
                   {"schedules", schedulesJson()},
                   {"scenes", scenesJson()},
                   {"config", configJson(true)}};
        Json queued = Json::array();
        for (const auto& q : queuedLamps_) queued.push_back(q.name);
        state["queued"] = queued;
        state["clock"] = Json{{"time", formatTime(current_)}, {"mode", realTime_ ? "real" : "manual"}};
        return jsonReply(state);
    }

    return jsonReply(Json{{"error", "unknown control " + method + " " + path}}, 404);
}

std::optional<Reply> SimBridge::controlClockLocked(const std::string& method, const std::vector<std::string>& parts,
                                                   const Json& request) {
    auto describe = [this] { return Json{{"time", formatTime(current_)}, {"mode", realTime_ ? "real" : "manual"}}; };
    if (parts.size() == 2 && method == "GET") return jsonReply(describe());
    if (parts.size() == 2 && method == "PUT") {
        if (request.value("real", false)) {
            base_ = current_;
            anchor_ = std::chrono::steady_clock::now();
            realTime_ = true;
            return jsonReply(describe());
        }
        auto t = request.contains("time") ? timeFrom(request["time"]) : std::nullopt;
        if (!t) return badRequest("give \"time\" as 2026-12-08T06:29:59Z or seconds since 1970, or \"real\": true");
        // A jump, like a changed system clock: what lies between is not
        // carried out; transitions under way finish at once.
        for (auto& [id, lamp] : lamps_) {
            if (lamp.transition) {
                auto end = lamp.transition->end;
                settleLampLocked(lamp, end);
            }
        }
        current_ = *t;
        base_ = *t;
        realTime_ = false;
        for (auto& [id, schedule] : schedules_) {
            schedule.nextFiring = current_ + Millis(1);
            planScheduleLocked(schedule);
        }
        if (nextDemoChange_) nextDemoChange_ = current_ + std::chrono::seconds(20);
        return jsonReply(describe());
    }
    if (parts.size() == 3 && parts[2] == "advance" && method == "POST") {
        SimTime target = current_;
        if (request.contains("seconds") && request["seconds"].is_number()) {
            double seconds = request["seconds"].get<double>();
            if (!(seconds >= 0)) return badRequest("the clock only advances");
            if (seconds > kLongestAdvance) return badRequest("advance at most ten years at a time");
            target = current_ + Millis(static_cast<long long>(seconds * 1000 + 0.5));
        } else if (request.contains("to")) {
            auto t = timeFrom(request["to"]);
            if (!t || *t < current_) return badRequest("\"to\" must be a time not before the clock's");
            if (*t - current_ > std::chrono::seconds(static_cast<long long>(kLongestAdvance))) {
                return badRequest("advance at most ten years at a time");
            }
            target = *t;
        } else {
            return badRequest("give \"seconds\" or \"to\"");
        }
        realTime_ = false;
        advanceLocked(target);
        base_ = current_;
        return jsonReply(describe());
    }
    return std::nullopt;
}

Reply SimBridge::queueNewLampsLocked(const Json& request) {
    int count = request.value("count", 1);
    if (count < 1 || count > 100) return badRequest("\"count\" must be 1 to 100");
    if (request.contains("delay")) {
        if (!request["delay"].is_number()) return badRequest("\"delay\" must be seconds");
        double delay = request["delay"].get<double>();
        if (delay < 0 || delay > 59) return badRequest("\"delay\" must lie within the search's minute");
        searchDelaySeconds_ = delay;
    }
    std::string type = request.value("type", "Extended color light");
    if (type != "Extended color light" && type != "Dimmable light" && type != "Color temperature light") {
        return badRequest("unknown lamp type " + type);
    }
    Json names = request.value("names", Json::array());
    for (int i = 0; i < count; ++i) {
        std::string name = i < static_cast<int>(names.size()) && names[i].is_string()
                               ? names[i].get<std::string>()
                               : "New lamp " + std::to_string(queuedLamps_.size() + 1);
        queuedLamps_.push_back(QueuedLamp{name, type});
    }
    planSearchArrivalsLocked();
    return jsonReply(Json{{"queued", queuedLamps_.size()}, {"delay", searchDelaySeconds_}});
}

// A change made elsewhere: a wall switch, another application.
Reply SimBridge::changeLampElsewhereLocked(const std::string& id, const Json& request) {
    auto it = lamps_.find(std::atoi(id.c_str()));
    if (it == lamps_.end()) return jsonReply(Json{{"error", "no lamp " + id}}, 404);
    Lamp& lamp = it->second;
    settleLampLocked(lamp, current_);
    auto intIn = [&request](const char* key, int low, int high) {
        return !request.contains(key) ||
               (request[key].is_number_integer() && request[key].get<int>() >= low && request[key].get<int>() <= high);
    };
    if (!intIn("bri", 0, 255) || !intIn("hue", 0, 65535) || !intIn("sat", 0, 255) || !intIn("ct", 153, 500)) {
        return badRequest("values out of range");
    }
    for (const char* key : {"on", "reachable"}) {
        if (request.contains(key) && !request[key].is_boolean())
            return badRequest(std::string(key) + " must be boolean");
    }
    if (request.contains("name") && !request["name"].is_string()) return badRequest("name must be text");
    if (request.contains("on")) lamp.on = request["on"].get<bool>();
    if (request.contains("reachable")) lamp.reachable = request["reachable"].get<bool>();
    if (request.contains("bri")) lamp.levels.bri = request["bri"].get<int>();
    if (request.contains("hue")) lamp.levels.hue = request["hue"].get<int>();
    if (request.contains("sat")) lamp.levels.sat = request["sat"].get<int>();
    if (request.contains("ct")) lamp.ct = request["ct"].get<int>();
    // The lamp ends in the mode a bridge would give it for the same keys.
    if (lamp.hasColour() && request.contains("ct"))
        lamp.colormode = "ct";
    else if (lamp.hasColour() && (request.contains("hue") || request.contains("sat")))
        lamp.colormode = "hs";
    if (request.contains("name")) lamp.name = request["name"].get<std::string>();
    changed();
    return jsonReply(lampJson(lamp));
}

Json SimBridge::saveState() const {
    std::lock_guard lock(mutex_);
    Json lamps = Json::object();
    for (const auto& [id, lamp] : lamps_) {
        // A transition under way is saved as its end state.
        LampLevels levels = lamp.transition ? lamp.transition->to : lamp.levels;
        bool on = lamp.on;
        if (lamp.transition && lamp.transition->offAtEnd) on = false, levels.bri = lamp.transition->restoreBri;
        lamps[std::to_string(id)] = Json{{"name", lamp.name},          {"type", lamp.type},
                                         {"modelid", lamp.modelid},    {"swversion", lamp.swversion},
                                         {"uniqueid", lamp.uniqueid},  {"on", on},
                                         {"bri", levels.bri},          {"hue", levels.hue},
                                         {"sat", levels.sat},          {"ct", lamp.ct},
                                         {"reachable", lamp.reachable}};
    }
    Json groups = Json::object();
    for (const auto& [id, group] : groups_)
        groups[std::to_string(id)] = Json{{"name", group.name}, {"lights", group.lights}};
    Json schedules = Json::object();
    for (const auto& [id, s] : schedules_) {
        schedules[std::to_string(id)] =
            Json{{"name", s.name},   {"description", s.description}, {"command", s.command}, {"time", s.time},
                 {"owner", s.owner}, {"created", s.created}};
    }
    Json scenes = Json::object();
    for (const auto& [id, scene] : scenes_) {
        scenes[id] = sceneJson(scene, true);
    }
    Json whitelist = Json::object();
    for (const auto& [name, entry] : whitelist_) whitelist[name] = entry;
    return Json{{"format", 1},           {"name", bridgeName_},    {"lights", lamps},
                {"groups", groups},      {"schedules", schedules}, {"scenes", scenes},
                {"whitelist", whitelist}};
}

namespace {

// The saved lamps; nothing (with `error` saying why) when one is unusable.
std::optional<std::map<int, Lamp>> savedLamps(const Json& state, std::string& error) {
    std::map<int, Lamp> lamps;
    for (const auto& [id, l] : state.at("lights").items()) {
        Lamp lamp;
        lamp.name = l.at("name").get<std::string>();
        lamp.type = l.at("type").get<std::string>();
        lamp.modelid = l.value("modelid", "GM-RGBW-1");
        lamp.swversion = l.value("swversion", "1.2.0");
        lamp.uniqueid = l.value("uniqueid", "");
        lamp.on = l.at("on").get<bool>();
        lamp.levels = {l.at("bri").get<int>(), l.at("hue").get<int>(), l.at("sat").get<int>()};
        lamp.ct = l.value("ct", 366);
        lamp.reachable = l.value("reachable", true);
        if (!lamp.hasColour()) lamp.colormode = lamp.hasColourTemperature() ? "ct" : "";
        if (lamp.levels.bri < 0 || lamp.levels.bri > 255 || lamp.levels.hue < 0 || lamp.levels.hue > 65535 ||
            lamp.levels.sat < 0 || lamp.levels.sat > 255) {
            error = "lamp " + id + " has values out of range";
            return std::nullopt;
        }
        auto number = idNumber(id);
        if (!number) {
            error = "a lamp has the identifier \"" + id + "\"";
            return std::nullopt;
        }
        lamps[*number] = lamp;
    }
    return lamps;
}

// Whether `member` names one of `lamps`.
bool namesSavedLamp(const std::string& member, const std::map<int, Lamp>& lamps) {
    auto lampNumber = idNumber(member);
    return lampNumber && lamps.count(*lampNumber);
}

std::optional<std::map<int, Group>> savedGroups(const Json& state, const std::map<int, Lamp>& lamps,
                                                std::string& error) {
    std::map<int, Group> groups;
    for (const auto& [id, g] : state.at("groups").items()) {
        Group group{g.at("name").get<std::string>(), g.at("lights").get<std::vector<std::string>>()};
        auto number = idNumber(id);
        if (!number || *number == 0) {
            error = "a group has the identifier \"" + id + "\"";
            return std::nullopt;
        }
        for (const auto& member : group.lights) {
            if (!namesSavedLamp(member, lamps)) {
                error = "group " + id + " holds the unknown lamp \"" + member + "\"";
                return std::nullopt;
            }
        }
        groups[*number] = group;
    }
    return groups;
}

std::optional<std::map<std::string, Scene>> savedScenes(const Json& state, const std::map<int, Lamp>& lamps,
                                                        std::string& error) {
    // Scenes came later: a state saved before them has none.
    std::map<std::string, Scene> scenes;
    const Json saved = state.value("scenes", Json::object());
    for (const auto& [id, s] : saved.items()) {
        bool usable = !id.empty() && id.size() <= 32 && std::all_of(id.begin(), id.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
        });
        if (!usable) {
            error = "a scene has the identifier \"" + id + "\"";
            return std::nullopt;
        }
        Scene scene;
        scene.name = s.at("name").get<std::string>();
        scene.lights = s.at("lights").get<std::vector<std::string>>();
        scene.owner = s.value("owner", "");
        scene.lastupdated = s.value("lastupdated", "");
        scene.recycle = s.value("recycle", false);
        for (const auto& member : scene.lights) {
            if (!namesSavedLamp(member, lamps)) {
                error = "scene " + id + " holds the unknown lamp \"" + member + "\"";
                return std::nullopt;
            }
            const Json lampState = s.value("lightstates", Json::object()).value(member, Json::object());
            if (!lampState.is_object()) {
                error = "scene " + id + " has an unreadable state for lamp " + member;
                return std::nullopt;
            }
            scene.lightstates[member] = lampState;
        }
        scenes[id] = scene;
    }
    return scenes;
}

}  // namespace

std::optional<std::map<int, Schedule>> SimBridge::savedSchedules(const Json& state, std::string& error) const {
    std::map<int, Schedule> schedules;
    for (const auto& [id, s] : state.at("schedules").items()) {
        Schedule schedule;
        schedule.name = s.value("name", "");
        schedule.description = s.value("description", "");
        schedule.command = s.at("command");
        schedule.owner = s.value("owner", "");
        schedule.created = s.value("created", "");
        if (!scheduleTimeValid(schedule, s.at("time").get<std::string>())) {
            error = "schedule " + id + " has an unreadable time";
            return std::nullopt;
        }
        const Json& command = schedule.command;
        if (!command.is_object() || !command.contains("address") || !command["address"].is_string() ||
            !command.contains("method") || !command["method"].is_string()) {
            error = "schedule " + id + " has no usable command";
            return std::nullopt;
        }
        auto number = idNumber(id);
        if (!number) {
            error = "a schedule has the identifier \"" + id + "\"";
            return std::nullopt;
        }
        schedules[*number] = schedule;
    }
    return schedules;
}

bool SimBridge::loadState(const Json& state, std::string& error) {
    try {
        if (!state.is_object() || state.value("format", 0) != 1) {
            error = "not a saved bridge state (no \"format\": 1)";
            return false;
        }
        auto lamps = savedLamps(state, error);
        if (!lamps) return false;
        auto groups = savedGroups(state, *lamps, error);
        if (!groups) return false;
        auto schedules = savedSchedules(state, error);
        if (!schedules) return false;
        auto scenes = savedScenes(state, *lamps, error);
        if (!scenes) return false;
        std::lock_guard lock(mutex_);
        lamps_ = std::move(*lamps);
        scenes_ = std::move(*scenes);
        groups_ = std::move(*groups);
        schedules_ = std::move(*schedules);
        for (auto& [id, schedule] : schedules_) {
            schedule.nextFiring = current_ + Millis(1);
            planScheduleLocked(schedule);
        }
        bridgeName_ = state.value("name", bridgeName_);
        for (const auto& [name, entry] : state.at("whitelist").items()) {
            whitelist_[name] = entry.is_object() ? entry : Json::object();
        }
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

}  // namespace glowmere::sim
