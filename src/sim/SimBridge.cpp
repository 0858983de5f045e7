#include "sim/SimBridge.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace glowmere::sim {

namespace {

constexpr auto kLinkButtonWindow = std::chrono::seconds(30);
constexpr auto kSearchLength = std::chrono::seconds(60);
constexpr const char* kSoftwareVersion = "1.4.2";
constexpr const char* kApiVersion = "1.0.0";
constexpr const char* kBridgeId = "gmsim0a1b2c";

std::string joinFrom(const std::vector<std::string>& parts, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < parts.size(); ++i) out += "/" + parts[i];
    return out.empty() ? "/" : out;
}

std::string dumpValue(const Json& value) {
    if (value.is_string()) return value.get<std::string>();
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string dump(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json errorObject(int type, const std::string& address, const std::string& description) {
    return Json{{"error", Json{{"type", type}, {"address", address}, {"description", description}}}};
}

Reply errorReply(int type, const std::string& address, const std::string& description) {
    return Reply{200, dump(Json::array({errorObject(type, address, description)}))};
}

Json invalidValue(const std::string& address, const std::string& key, const Json& value) {
    return errorObject(7, address, "invalid value, " + dumpValue(value) + ", for parameter, " + key);
}

Reply methodNotAvailable(const std::string& method, const std::string& address) {
    return errorReply(4, address, "method, " + method + ", not available for resource, " + address);
}

Reply resourceNotAvailable(const std::string& address) {
    return errorReply(3, address, "resource, " + address + ", not available");
}

Reply missingParameters(const std::string& address) {
    return errorReply(5, address, "invalid/missing parameters in body");
}

Reply okReply(const Json& value) {
    return Reply{200, dump(value)};
}

std::optional<int> parseId(const std::string& text) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    if (text.size() > 1 && text[0] == '0') return std::nullopt;
    return std::stoi(text);
}

bool isWholeNumber(const Json& v) {
    return v.is_number_integer() || v.is_number_unsigned();
}

bool intInRange(const Json& v, long long low, long long high) {
    if (!isWholeNumber(v)) return false;
    long long n = v.is_number_unsigned()
                      ? static_cast<long long>(std::min<unsigned long long>(v.get<unsigned long long>(), 1ULL << 62))
                      : v.get<long long>();
    return n >= low && n <= high;
}

// Hue and saturation to CIE xy, so the lamp's "xy" moves along with its colour.
Json xyFor(const LampLevels& levels) {
    double h = levels.hue / 65536.0 * 6.0;
    double s = levels.sat / 255.0;
    int sector = static_cast<int>(h) % 6;
    double f = h - std::floor(h);
    double p = 1 - s, q = 1 - s * f, t = 1 - s * (1 - f);
    double r = 0, g = 0, b = 0;
    switch (sector) {
        case 0:
            r = 1, g = t, b = p;
            break;
        case 1:
            r = q, g = 1, b = p;
            break;
        case 2:
            r = p, g = 1, b = t;
            break;
        case 3:
            r = p, g = q, b = 1;
            break;
        case 4:
            r = t, g = p, b = 1;
            break;
        default:
            r = 1, g = p, b = q;
            break;
    }
    double x = r * 0.649926 + g * 0.103455 + b * 0.197109;
    double y = r * 0.234327 + g * 0.743075 + b * 0.022598;
    double z = g * 0.053077 + b * 1.035763;
    double sum = x + y + z;
    if (sum <= 0) return Json::array({0.3227, 0.329});
    auto round4 = [](double v) { return std::round(v * 10000) / 10000; };
    return Json::array({round4(x / sum), round4(y / sum)});
}

int weekdayBit(SimTime t) {
    // Monday 64 down to Sunday 1.
    std::chrono::weekday wd{std::chrono::floor<std::chrono::days>(t)};
    unsigned iso = wd.iso_encoding();  // Monday 1 ... Sunday 7
    return 1 << (7 - iso);
}

}  // namespace

std::string formatTime(SimTime t) {
    auto day = std::chrono::floor<std::chrono::days>(t);
    std::chrono::year_month_day ymd{day};
    auto ms = (t - day).count();
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return buffer;
}

std::optional<SimTime> parseTime(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6) {
        return std::nullopt;
    }
    std::string rest = text.substr(static_cast<std::size_t>(used));
    int millis = 0;
    if (!rest.empty() && rest[0] == '.') {
        std::size_t i = 1;
        int scale = 100;
        while (i < rest.size() && std::isdigit(static_cast<unsigned char>(rest[i]))) {
            millis += (rest[i] - '0') * scale;
            scale /= 10;
            ++i;
        }
        rest = rest.substr(i);
    }
    if (!(rest.empty() || rest == "Z")) return std::nullopt;
    std::chrono::year_month_day ymd{std::chrono::year{y}, std::chrono::month{static_cast<unsigned>(mo)},
                                    std::chrono::day{static_cast<unsigned>(d)}};
    if (!ymd.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
    return SimTime{std::chrono::sys_days{ymd}} + std::chrono::hours(h) + std::chrono::minutes(mi) +
           std::chrono::seconds(s) + Millis(millis);
}

std::string errorArray(int type, const std::string& address, const std::string& description) {
    return errorReply(type, address, description).body;
}

SimBridge::SimBridge(const StartOptions& options, SimTime now)
    : base_(now), anchor_(std::chrono::steady_clock::now()), current_(now), address_(options.address) {
    random_.seed(options.seed != 0 ? options.seed : std::random_device{}());
    demo_ = options.demo;
    namesOnly_ = options.namesOnly;
    bridgeId_ = options.bridgeId.empty() ? kBridgeId : options.bridgeId;
    if (options.demo) {
        addLamp("Living room", "Extended color light");
        addLamp("Küche", "Extended color light");
        addLamp("Hall", "Dimmable light");
        addLamp("Reading lamp", "Color temperature light");
        addLamp("Bedroom", "Extended color light");
        addLamp("Garden", "Extended color light");
        groups_[1] = Group{"Downstairs", {"1", "2", "3"}};
        groups_[2] = Group{"Upstairs", {"4", "5"}};
        lamps_[1].on = true;
        lamps_[2].on = true;
        lamps_[2].levels = {200, 12000, 200};
        lamps_[4].on = true;
        addDemoScenes();
        nextDemoChange_ = current_ + std::chrono::seconds(20);
    } else {
        static const char* names[] = {"Hall", "Küche", "Living room", "Bedroom", "Study"};
        for (int i = 1; i <= options.lamps; ++i) {
            std::string name = i <= 5 ? names[i - 1] : "Lamp " + std::to_string(i);
            // Every fourth lamp is white only, so clients meet one without colour.
            addLamp(name, i % 4 == 0 ? "Dimmable light" : "Extended color light");
        }
        int lampCount = options.lamps;
        for (int g = 1; g <= options.groups; ++g) {
            std::string name = g == 1 ? "Downstairs" : g == 2 ? "Upstairs" : "Group " + std::to_string(g);
            Group group{name, {}};
            if (lampCount > 0) {
                // Contiguous, nearly equal shares; a group never ends up empty.
                int first = (g - 1) * lampCount / options.groups + 1;
                int last = g * lampCount / options.groups;
                if (last < first) first = last = (g - 1) % lampCount + 1;
                for (int i = first; i <= last; ++i) group.lights.push_back(std::to_string(i));
            }
            groups_[g] = group;
        }
    }
    if (!options.user.empty()) {
        whitelist_[options.user] =
            Json{{"name", "preset#sim"}, {"created", formatTime(now)}, {"lastused", formatTime(now)}};
    }
    const std::string& lb = options.linkButton;
    if (lb == "pressed") {
        linkButton_.heldDown = true;
    } else if (lb == "never") {
        linkButton_.never = true;
    } else if (lb.rfind("after=", 0) == 0) {
        double seconds = std::atof(lb.c_str() + 6);
        linkButton_.pressAt = now + Millis(static_cast<long long>(std::max(0.0, seconds) * 1000));
    }
}

void SimBridge::addLamp(const std::string& name, const std::string& type) {
    int id = lamps_.empty() ? 1 : lamps_.rbegin()->first + 1;
    Lamp lamp;
    lamp.name = name;
    lamp.type = type;
    lamp.modelid = type == "Extended color light" ? "GM-RGBW-1" : type == "Dimmable light" ? "GM-W-1" : "GM-CT-1";
    char unique[40];
    std::snprintf(unique, sizeof unique, "02:47:4d:00:00:%02x:%02x:%02x-01", (id >> 16) & 0xff, (id >> 8) & 0xff,
                  id & 0xff);
    lamp.uniqueid = unique;
    lamp.on = id % 2 == 1;
    lamp.levels = LampLevels{static_cast<int>(100 + (id * 37) % 155), (id * 9000) % 65536, 100 + (id * 29) % 155};
    if (!lamp.hasColour()) lamp.colormode = lamp.hasColourTemperature() ? "ct" : "";
    lamps_[id] = lamp;
}

SimTime SimBridge::clockNow() const {
    if (!realTime_) return base_;
    return base_ + std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - anchor_);
}

SimTime SimBridge::now() const {
    std::lock_guard lock(mutex_);
    return std::max(current_, clockNow());
}

void SimBridge::setAddress(const std::string& address) {
    std::lock_guard lock(mutex_);
    address_ = address;
}

std::uint64_t SimBridge::changeCount() const {
    std::lock_guard lock(mutex_);
    return changes_;
}

void SimBridge::changed() {
    ++changes_;
}

void SimBridge::tick() {
    std::lock_guard lock(mutex_);
    advanceLocked(clockNow());
}

std::optional<SimTime> SimBridge::nextEventLocked() const {
    std::optional<SimTime> next;
    auto consider = [&next](SimTime t) {
        if (!next || t < *next) next = t;
    };
    for (const auto& [id, lamp] : lamps_) {
        if (lamp.transition) consider(lamp.transition->end);
    }
    for (const auto& [id, schedule] : schedules_) consider(schedule.nextFiring);
    for (const auto& queued : queuedLamps_) {
        if (queued.planned) consider(queued.appearAt);
    }
    if (linkButton_.pressAt) consider(*linkButton_.pressAt);
    if (nextDemoChange_) consider(*nextDemoChange_);
    return next;
}

// Carries out, in time order, everything that falls due up to `target`, so a
// schedule sees the lamps as they are at its own moment.
void SimBridge::advanceLocked(SimTime target) {
    // Over a long jump the demo's wall-switch users only act in its last minutes.
    if (nextDemoChange_ && *nextDemoChange_ + std::chrono::minutes(10) < target) {
        nextDemoChange_ = target - std::chrono::minutes(5);
    }
    for (int guard = 0; guard < 100000; ++guard) {
        auto next = nextEventLocked();
        if (!next || *next > target) break;
        if (*next > current_) current_ = *next;
        SimTime t = current_;
        for (auto& [id, lamp] : lamps_) {
            if (lamp.transition && lamp.transition->end <= t) settleLampLocked(lamp, t);
        }
        for (auto& queued : queuedLamps_) {
            if (queued.planned && queued.appearAt <= t) {
                addLamp(queued.name, queued.type);
                queued.name.clear();
                changed();
            }
        }
        std::erase_if(queuedLamps_, [](const QueuedLamp& q) { return q.name.empty(); });
        if (linkButton_.pressAt && *linkButton_.pressAt <= t) {
            linkButton_.pressedUntil = *linkButton_.pressAt + kLinkButtonWindow;
            linkButton_.pressAt.reset();
        }
        if (nextDemoChange_ && *nextDemoChange_ <= t) {
            demoChangeLocked();
            nextDemoChange_ = t + std::chrono::seconds(20 + random_() % 40);
        }
        std::vector<int> due;
        for (auto& [id, schedule] : schedules_) {
            if (schedule.nextFiring <= t) due.push_back(id);
        }
        for (int id : due) {
            auto it = schedules_.find(id);
            if (it == schedules_.end()) continue;  // an earlier command deleted it
            it->second.nextFiring = t + Millis(1);
            planScheduleLocked(it->second);
            fireScheduleLocked(std::to_string(id));
        }
    }
    if (target > current_) current_ = target;
}

void SimBridge::settleLampLocked(Lamp& lamp, SimTime t) {
    if (!lamp.transition) return;
    if (lamp.transition->end <= t) {
        lamp.levels = lamp.transition->to;
        if (lamp.transition->offAtEnd) {
            lamp.on = false;
            lamp.levels.bri = lamp.transition->restoreBri;
        }
        lamp.transition.reset();
        changed();
    } else {
        lamp.levels = levelsAt(lamp, t);
        lamp.transition.reset();
    }
}

LampLevels SimBridge::levelsAt(const Lamp& lamp, SimTime t) const {
    if (!lamp.transition) return lamp.levels;
    const Transition& tr = *lamp.transition;
    if (t >= tr.end) return tr.to;
    if (t <= tr.start) return tr.from;
    double f = static_cast<double>((t - tr.start).count()) / static_cast<double>((tr.end - tr.start).count());
    auto mix = [f](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * f)); };
    return LampLevels{mix(tr.from.bri, tr.to.bri), mix(tr.from.hue, tr.to.hue), mix(tr.from.sat, tr.to.sat)};
}

void SimBridge::fireScheduleLocked(const std::string& id) {
    auto it = schedules_.find(std::stoi(id));
    if (it == schedules_.end()) return;
    const Json& command = it->second.command;
    std::string body = command.contains("body") ? dump(command["body"]) : "";
    handleLocked(command.value("method", "PUT"), command.value("address", ""), body, true);
}

// The demo house: now and then someone uses a wall switch or a dimmer.
void SimBridge::demoChangeLocked() {
    if (lamps_.empty()) return;
    auto it = lamps_.begin();
    std::advance(it, random_() % lamps_.size());
    Lamp& lamp = it->second;
    settleLampLocked(lamp, current_);
    Json body;
    if (!lamp.on || random_() % 3 == 0) {
        body["on"] = !lamp.on;
    } else {
        body["bri"] = static_cast<int>(30 + random_() % 225);
        if (lamp.hasColour()) body["hue"] = static_cast<int>(random_() % 65536);
    }
    body["transitiontime"] = 30;
    applyStateLocked(lamp, body, "/lights/" + std::to_string(it->first) + "/state", true);
}

std::vector<std::string> SimBridge::allLampIds() const {
    std::vector<std::string> ids;
    for (const auto& [id, lamp] : lamps_) ids.push_back(std::to_string(id));
    return ids;
}

std::string SimBridge::newUserName() {
    static const char* chars = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name;
    for (int i = 0; i < 40; ++i) name += chars[random_() % 62];
    return name;
}

Reply SimBridge::handle(const std::string& method, const std::string& path, const std::string& body) {
    std::lock_guard lock(mutex_);
    advanceLocked(clockNow());
    return handleLocked(method, path, body, false);
}

Reply SimBridge::handleLocked(const std::string& method, const std::string& path, const std::string& body,
                              bool fromSchedule) {
    std::vector<std::string> parts = splitPath(path);
    // What a search of the local network points at, readable by anyone.
    if (parts.size() == 1 && parts[0] == "description.xml" && method == "GET" && !fromSchedule)
        return Reply{200, descriptionXml()};
    if (parts.size() == 2 && parts[0] == "api" && parts[1] == "config" && method == "GET" && !fromSchedule)
        return configLocked(method, nullptr, false);
    if (parts.empty() || parts[0] != "api") {
        return Reply{404, "<html><body><h1>404 Not Found</h1><p>There is nothing at " + path + ".</p></body></html>"};
    }
    if (parts.size() == 1) {
        if (method == "POST") return pairLocked(body);
        return errorReply(1, "/", "unauthorized user");
    }
    if (parts.size() == 2 && parts[1] == "nupnp" && method == "GET" && !fromSchedule) {
        Json bridge{{"id", bridgeId_}, {"internalipaddress", address_}};
        return okReply(Json::array({bridge}));
    }
    const std::string& user = parts[1];
    std::string address = joinFrom(parts, 2);
    bool known = whitelist_.count(user) != 0 && revoked_.count(user) == 0;
    if (parts.size() == 3 && parts[2] == "config" && method == "GET" && !known)
        return configLocked(method, nullptr, false);
    if (!known) return errorReply(1, address, "unauthorized user");
    whitelist_[user]["lastused"] = formatTime(current_);

    Json parsed;
    const Json* bodyJson = nullptr;
    if (method == "PUT" || method == "POST") {
        std::string trimmed = body;
        trimmed.erase(0, trimmed.find_first_not_of(" \t\r\n"));
        if (!trimmed.empty()) {
            parsed = Json::parse(body, nullptr, false);
            if (parsed.is_discarded() || !parsed.is_object()) {
                return errorReply(2, address, "body contains invalid JSON");
            }
            bodyJson = &parsed;
        }
    }

    if (parts.size() == 2) {
        if (method != "GET") return methodNotAvailable(method, address);
        return okReply(Json{{"lights", lightsJson()},
                            {"groups", groupsJson()},
                            {"schedules", schedulesJson()},
                            {"scenes", scenesJson()},
                            {"config", configJson(true)}});
    }
    const std::string& resource = parts[2];
    if (resource == "lights") return lightsLocked(method, parts, bodyJson, address);
    if (resource == "groups") return groupsLocked(method, parts, bodyJson, address);
    if (resource == "schedules") return schedulesLocked(method, parts, bodyJson, user, address);
    if (resource == "scenes") return scenesLocked(method, parts, bodyJson, user, address);
    if (resource == "config" && parts.size() == 3) return configLocked(method, bodyJson, true);
    return resourceNotAvailable(address);
}

Reply SimBridge::pairLocked(const std::string& body) {
    Json parsed = Json::parse(body, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) return errorReply(2, "", "body contains invalid JSON");
    if (!parsed.contains("devicetype")) return errorReply(5, "", "invalid/missing parameters in body");
    if (!parsed["devicetype"].is_string() || parsed["devicetype"].get<std::string>().empty()) {
        return Reply{200, dump(Json::array({invalidValue("/devicetype", "devicetype", parsed["devicetype"])}))};
    }
    bool pressed = linkButton_.heldDown || (linkButton_.pressedUntil && current_ <= *linkButton_.pressedUntil);
    if (!pressed) return errorReply(101, "", "link button not pressed");
    std::string name = newUserName();
    whitelist_[name] = Json{{"name", parsed["devicetype"].get<std::string>()},
                            {"created", formatTime(current_)},
                            {"lastused", formatTime(current_)}};
    changed();
    return okReply(Json::array({Json{{"success", Json{{"username", name}}}}}));
}

Json SimBridge::lampStateJson(const Lamp& lamp) const {
    LampLevels levels = levelsAt(lamp, current_);
    Json state;
    state["on"] = lamp.on;
    state["bri"] = levels.bri;
    if (lamp.hasColour()) {
        state["hue"] = levels.hue;
        state["sat"] = levels.sat;
        state["xy"] = lamp.colormode == "xy" ? Json::array({lamp.xy[0], lamp.xy[1]}) : xyFor(levels);
    }
    if (lamp.hasColourTemperature()) state["ct"] = lamp.ct;
    state["alert"] = current_ < lamp.alertEnd ? lamp.alert : std::string("none");
    if (lamp.hasColour()) state["effect"] = lamp.effect;
    if (!lamp.colormode.empty()) state["colormode"] = lamp.colormode;
    state["reachable"] = lamp.reachable;
    return state;
}

Json SimBridge::lampJson(const Lamp& lamp) const {
    return Json{{"state", lampStateJson(lamp)}, {"type", lamp.type},           {"name", lamp.name},
                {"modelid", lamp.modelid},      {"swversion", lamp.swversion}, {"uniqueid", lamp.uniqueid}};
}

Json SimBridge::lightsJson() const {
    Json out = Json::object();
    for (const auto& [id, lamp] : lamps_)
        out[std::to_string(id)] = namesOnly_ ? Json{{"name", lamp.name}} : lampJson(lamp);
    return out;
}

Reply SimBridge::lightsLocked(const std::string& method, const std::vector<std::string>& parts, const Json* body,
                              const std::string& address) {
    if (parts.size() == 3) {
        if (method == "GET") return okReply(lightsJson());
        if (method == "POST") {
            searchStarted_ = current_;
            planSearchArrivalsLocked();
            return okReply(Json::array({Json{{"success", Json{{"/lights", "Searching for new devices"}}}}}));
        }
        return methodNotAvailable(method, address);
    }
    auto id = parseId(parts[3]);
    std::string lampAddress = "/lights/" + parts[3];
    auto it = id ? lamps_.find(*id) : lamps_.end();
    if (it == lamps_.end()) return resourceNotAvailable(lampAddress);
    Lamp& lamp = it->second;
    if (parts.size() == 4) {
        if (method == "GET") return okReply(lampJson(lamp));
        if (method != "PUT") return methodNotAvailable(method, address);
        if (!body || body->empty()) return missingParameters(address);
        Json results = Json::array();
        for (const auto& [key, value] : body->items()) {
            if (key != "name") {
                results.push_back(errorObject(6, lampAddress + "/" + key, "parameter, " + key + ", not available"));
            } else if (!value.is_string() || value.get<std::string>().empty() || value.get<std::string>().size() > 32) {
                results.push_back(invalidValue(lampAddress + "/name", "name", value));
            } else {
                lamp.name = value.get<std::string>();
                changed();
                results.push_back(Json{{"success", Json{{lampAddress + "/name", lamp.name}}}});
            }
        }
        return okReply(results);
    }
    if (parts.size() == 5 && parts[4] == "state") {
        if (method != "PUT") return methodNotAvailable(method, address);
        if (!body || body->empty()) return missingParameters(address);
        return okReply(applyStateLocked(lamp, *body, lampAddress + "/state", true));
    }
    return resourceNotAvailable(address);
}

namespace {

using AcceptedState = std::map<std::string, Json>;

// Whether `value` is one the device takes for state key `key`; nothing for a
// key it does not know.
std::optional<bool> validStateValue(const std::string& key, const Json& value) {
    if (key == "on") return value.is_boolean();
    if (key == "bri" || key == "sat") return intInRange(value, 0, 255);
    if (key == "hue" || key == "transitiontime") return intInRange(value, 0, 65535);
    if (key == "ct") return intInRange(value, 153, 500);
    if (key == "xy")
        return value.is_array() && value.size() == 2 && value[0].is_number() && value[1].is_number() && value[0] >= 0 &&
               value[0] <= 1 && value[1] >= 0 && value[1] <= 1;
    if (key == "alert")
        return value.is_string() &&
               (value == "none" || value == "select" || value == "lselect" || value == "flash" || value == "flashlong");
    if (key == "effect") return value.is_string() && (value == "none" || value == "cycle");
    return std::nullopt;
}

// The keys of a state body that the lamp takes, each answered in `results`
// with a success or the reason it was refused.
AcceptedState acceptedStateKeys(const Lamp& lamp, const Json& body, const std::string& prefix, bool strict,
                                Json& results) {
    AcceptedState accepted;
    for (const auto& [key, value] : body.items()) {
        std::string keyAddress = prefix + "/" + key;
        const auto valid = validStateValue(key, value);
        if (!valid) {
            results.push_back(errorObject(6, keyAddress, "parameter, " + key + ", not available"));
            continue;
        }
        if (!*valid) {
            results.push_back(invalidValue(keyAddress, key, value));
            continue;
        }
        if (strict && (key == "hue" || key == "sat" || key == "xy" || key == "effect") && !lamp.hasColour()) {
            results.push_back(errorObject(6, keyAddress, "parameter, " + key + ", not available"));
            continue;
        }
        if (strict && key == "ct" && !lamp.hasColourTemperature()) {
            results.push_back(errorObject(6, keyAddress, "parameter, " + key + ", not available"));
            continue;
        }
        accepted[key] = value;
        results.push_back(Json{{"success", Json{{keyAddress, value}}}});
    }
    return accepted;
}

// Drops the accepted keys the lamp does not carry out: colour and brightness
// while it stays off (told in `results` when `strict`), and for a group's
// member the colour keys it has no means for.
void dropKeysLampIgnores(const Lamp& lamp, bool switchOn, const std::string& prefix, bool strict,
                         AcceptedState& accepted, Json& results) {
    // A lamp that is off takes no colour or brightness unless the same
    // request switches it on.
    if (!lamp.on && !switchOn) {
        for (const char* key : {"bri", "hue", "sat", "xy", "ct", "effect"}) {
            if (!accepted.count(key)) continue;
            accepted.erase(key);
            if (!strict) continue;
            for (auto& result : results) {
                if (result.contains("success") && result["success"].contains(prefix + "/" + key)) {
                    result =
                        errorObject(201, prefix + "/" + key,
                                    std::string("parameter, ") + key + ", is not modifiable. Device is set to off.");
                }
            }
        }
    }
    if (!strict) {
        if (!lamp.hasColour())
            accepted.erase("hue"), accepted.erase("sat"), accepted.erase("xy"), accepted.erase("effect");
        if (!lamp.hasColourTemperature()) accepted.erase("ct");
    }
}

// Of several colour modes in one request the bridge takes xy over colour
// temperature over hue and saturation; the keys of a mode that lost are
// acknowledged but leave the lamp as it was.
void takeColourMode(const AcceptedState& accepted, Lamp& lamp, LampLevels& to) {
    if (accepted.count("xy")) {
        const Json& xy = accepted.at("xy");
        lamp.xy = {xy[0].get<double>(), xy[1].get<double>()};
        lamp.colormode = "xy";
    } else if (accepted.count("ct")) {
        lamp.ct = accepted.at("ct").get<int>();
        lamp.colormode = "ct";
    } else if (accepted.count("hue") || accepted.count("sat")) {
        if (accepted.count("hue")) to.hue = accepted.at("hue").get<int>();
        if (accepted.count("sat")) to.sat = accepted.at("sat").get<int>();
        lamp.colormode = "hs";
    }
}

}  // namespace

// Applies a state body to one lamp and gives the per-key results. With
// `strict` false (a group's action) keys the lamp cannot take are passed over
// silently, as a group does with its off or white-only members.
Json SimBridge::applyStateLocked(Lamp& lamp, const Json& body, const std::string& prefix, bool strict) {
    Json results = Json::array();
    AcceptedState accepted = acceptedStateKeys(lamp, body, prefix, strict, results);
    const bool switchOn = accepted.count("on") && accepted["on"].get<bool>();
    const bool switchOff = accepted.count("on") && !accepted["on"].get<bool>();
    dropKeysLampIgnores(lamp, switchOn, prefix, strict, accepted, results);

    long long tenths = accepted.count("transitiontime") ? accepted["transitiontime"].get<long long>() : 0;
    bool changesSomething = accepted.size() > (accepted.count("transitiontime") ? 1u : 0u);
    if (!changesSomething) return results;
    changeLampLocked(lamp, accepted, prefix, tenths, switchOn, switchOff);
    changed();
    return results;
}

void SimBridge::changeLampLocked(Lamp& lamp, const std::map<std::string, Json>& accepted, const std::string& prefix,
                                 long long tenths, bool switchOn, bool switchOff) {
    const bool wasOn = lamp.on;
    // Whatever was under way stops where it is; the new values start from
    // there. A dim to off that is cut short still owes its brightness back.
    std::optional<int> owedBri;
    if (lamp.transition && lamp.transition->offAtEnd) owedBri = lamp.transition->restoreBri;
    settleLampLocked(lamp, current_);
    LampLevels from = lamp.levels;
    LampLevels to = lamp.levels;
    if (owedBri && switchOff) to.bri = *owedBri;
    if (accepted.count("bri")) to.bri = accepted.at("bri").get<int>();
    takeColourMode(accepted, lamp, to);
    if (accepted.count("alert")) startAlertLocked(lamp, accepted.at("alert").get<std::string>(), prefix);
    if (accepted.count("effect")) lamp.effect = accepted.at("effect").get<std::string>();

    if (tenths > 0) {
        Transition tr;
        tr.start = current_;
        tr.end = current_ + Millis(tenths * 100);
        tr.from = from;
        tr.to = to;
        if (switchOn && !wasOn) tr.from.bri = 0;  // fades up from dark
        if (switchOff && wasOn) {
            tr.offAtEnd = true;
            tr.restoreBri = accepted.count("bri") || owedBri ? to.bri : from.bri;
            tr.to.bri = 0;
        }
        if (switchOn) lamp.on = true;
        if (switchOff && !wasOn) lamp.on = false;
        lamp.levels = tr.from;
        lamp.transition = tr;
    } else {
        lamp.levels = to;
        if (switchOn) lamp.on = true;
        if (switchOff) lamp.on = false;
    }
}

void SimBridge::startAlertLocked(Lamp& lamp, const std::string& alert, const std::string& prefix) {
    // One breath takes about a second, a long alert 15 s; the state then
    // says "none" again, as the device's does.
    lamp.alert = alert;
    const bool longAlert = lamp.alert == "lselect" || lamp.alert == "flashlong";
    lamp.alertEnd = lamp.alert == "none" ? current_ : current_ + Millis(longAlert ? 15000 : 1000);
    // (A group's stand-in, which only checks the request, has no name.)
    if (lamp.alert != "none" && !lamp.name.empty())
        std::fprintf(stderr, "glowmere-bridge-sim: %s (%s) flashes %s\n", prefix.c_str(), lamp.name.c_str(),
                     longAlert ? "for 15 s" : "once");
}

Json SimBridge::groupJson(const Group& group) const {
    Json action;
    const Lamp* first = nullptr;
    bool allOn = !group.lights.empty(), anyOn = false;
    for (const auto& lampId : group.lights) {
        auto it = lamps_.find(std::stoi(lampId));
        if (it == lamps_.end()) continue;
        if (!first) first = &it->second;
        allOn = allOn && it->second.on;
        anyOn = anyOn || it->second.on;
    }
    if (first) {
        LampLevels levels = levelsAt(*first, current_);
        action = Json{{"on", first->on},     {"bri", levels.bri}, {"hue", levels.hue},       {"sat", levels.sat},
                      {"xy", xyFor(levels)}, {"ct", first->ct},   {"effect", first->effect}, {"colormode", "hs"}};
    } else {
        action = Json{
            {"on", false}, {"bri", 0},         {"hue", 0},         {"sat", 0}, {"xy", Json::array({0.3227, 0.329})},
            {"ct", 366},   {"effect", "none"}, {"colormode", "hs"}};
    }
    Json lights = Json::array();
    for (const auto& lampId : group.lights) lights.push_back(lampId);
    return Json{{"name", group.name},
                {"lights", lights},
                {"type", group.type},
                {"state", Json{{"all_on", allOn}, {"any_on", anyOn}}},
                {"action", action}};
}

Json SimBridge::groupsJson() const {
    Json out = Json::object();
    for (const auto& [id, group] : groups_)
        out[std::to_string(id)] = namesOnly_ ? Json{{"name", group.name}} : groupJson(group);
    return out;
}

namespace {

// A group's or scene's name: 1 to 32 characters.
bool isResourceName(const Json& value) {
    return value.is_string() && !value.get<std::string>().empty() && value.get<std::string>().size() <= 32;
}

}  // namespace

std::optional<Json> SimBridge::lampListLocked(const Json& value, const std::string& resource, bool emptyAllowed,
                                              std::vector<std::string>& out) const {
    if (!value.is_array() || (!emptyAllowed && value.empty()))
        return invalidValue(resource + "/lights", "lights", value);
    for (const auto& item : value) {
        if (!item.is_string()) return invalidValue(resource + "/lights", "lights", value);
        auto lampId = parseId(item.get<std::string>());
        if (!lampId || !lamps_.count(*lampId)) {
            std::string where = "/lights/" + item.get<std::string>();
            return errorObject(3, where, "resource, " + where + ", not available");
        }
        if (std::find(out.begin(), out.end(), item.get<std::string>()) == out.end()) {
            out.push_back(item.get<std::string>());
        }
    }
    return std::nullopt;
}

Reply SimBridge::groupsLocked(const std::string& method, const std::vector<std::string>& parts, const Json* body,
                              const std::string& address) {
    if (parts.size() == 3) {
        if (method == "GET") return okReply(groupsJson());
        if (method != "POST") return methodNotAvailable(method, address);
        return createGroupLocked(body, address);
    }

    std::string groupAddress = "/groups/" + parts[3];
    auto id = parseId(parts[3]);
    bool all = parts[3] == "0";
    auto it = id && !all ? groups_.find(*id) : groups_.end();
    if (!all && it == groups_.end()) return resourceNotAvailable(groupAddress);

    if (parts.size() == 4) {
        if (all) {
            if (method != "GET") return methodNotAvailable(method, groupAddress);
            return okReply(groupJson(Group{"All lamps", allLampIds()}));
        }
        if (method == "GET") return okReply(groupJson(it->second));
        if (method == "DELETE") {
            groups_.erase(it);
            changed();
            return okReply(Json::array({Json{{"success", groupAddress + " deleted"}}}));
        }
        if (method != "PUT") return methodNotAvailable(method, address);
        if (!body || body->empty()) return missingParameters(address);
        return okReply(changeGroupLocked(it->second, groupAddress, *body));
    }
    if (parts.size() == 5 && parts[4] == "action") {
        if (method != "PUT") return methodNotAvailable(method, address);
        if (!body || body->empty()) return missingParameters(address);
        std::vector<std::string> members = all ? allLampIds() : it->second.lights;
        if (body->contains("scene")) return recallSceneLocked(groupAddress, members, *body);
        return okReply(groupActionLocked(members, groupAddress, *body));
    }
    return resourceNotAvailable(address);
}

Reply SimBridge::createGroupLocked(const Json* body, const std::string& address) {
    if (!body || !body->contains("name") || !body->contains("lights")) return missingParameters(address);
    if (!isResourceName((*body)["name"])) {
        return Reply{200, dump(Json::array({invalidValue("/groups/name", "name", (*body)["name"])}))};
    }
    Group group;
    group.name = (*body)["name"].get<std::string>();
    if (auto error = lampListLocked((*body)["lights"], "/groups", true, group.lights))
        return Reply{200, dump(Json::array({*error}))};
    int id = 1;
    while (groups_.count(id)) ++id;
    groups_[id] = group;
    changed();
    return okReply(Json::array({Json{{"success", Json{{"id", std::to_string(id)}}}}}));
}

Json SimBridge::changeGroupLocked(Group& group, const std::string& groupAddress, const Json& body) {
    Json results = Json::array();
    for (const auto& [key, value] : body.items()) {
        if (key == "name") {
            if (!isResourceName(value)) {
                results.push_back(invalidValue(groupAddress + "/name", "name", value));
                continue;
            }
            group.name = value.get<std::string>();
        } else if (key == "lights") {
            std::vector<std::string> lights;
            if (auto error = lampListLocked(value, "/groups", true, lights)) {
                results.push_back(*error);
                continue;
            }
            group.lights = lights;
        } else {
            results.push_back(errorObject(6, groupAddress + "/" + key, "parameter, " + key + ", not available"));
            continue;
        }
        changed();
        results.push_back(Json{{"success", Json{{groupAddress + "/" + key, value}}}});
    }
    return results;
}

Json SimBridge::groupActionLocked(const std::vector<std::string>& members, const std::string& groupAddress,
                                  const Json& body) {
    for (const auto& lampId : members) {
        auto lampIt = lamps_.find(std::stoi(lampId));
        if (lampIt == lamps_.end()) continue;
        applyStateLocked(lampIt->second, body, "/lights/" + lampId + "/state", false);
    }
    // The reply does not depend on the members: validate once against a
    // stand-in lamp that takes everything.
    Lamp standIn;
    standIn.type = "Extended color light";
    standIn.on = true;
    return applyStateLocked(standIn, body, groupAddress + "/action", true);
}

bool SimBridge::scheduleTimeValid(Schedule& schedule, const std::string& time) const {
    int mask = 0, h = 0, m = 0, s = 0, used = 0;
    if (time.size() < 12 || time[0] != 'W') return false;
    if (std::sscanf(time.c_str(), "W%3d/T%2d:%2d:%2d%n", &mask, &h, &m, &s, &used) != 4) return false;
    if (static_cast<std::size_t>(used) != time.size()) return false;
    // Digits only, and the time part written with two digits each.
    std::size_t slash = time.find("/T");
    for (std::size_t i = 1; i < slash; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(time[i]))) return false;
    }
    if (time.size() - slash != 10) return false;
    if (mask < 1 || mask > 127 || h > 23 || m > 59 || s > 59) return false;
    schedule.mask = mask;
    schedule.secondOfDay = h * 3600 + m * 60 + s;
    schedule.time = time;
    return true;
}

// The next time the schedule fires, at or after its current `nextFiring`
// (callers set that to the earliest moment allowed).
void SimBridge::planScheduleLocked(Schedule& schedule) {
    SimTime after = schedule.nextFiring;
    auto day = std::chrono::floor<std::chrono::days>(after);
    for (int i = 0; i <= 8; ++i) {
        SimTime candidate = SimTime{day + std::chrono::days(i)} + std::chrono::seconds(schedule.secondOfDay);
        if (candidate >= after && (weekdayBit(candidate) & schedule.mask)) {
            schedule.nextFiring = candidate;
            return;
        }
    }
    schedule.nextFiring = SimTime::max();
}

Json SimBridge::scheduleJson(const Schedule& schedule) const {
    return Json{{"name", schedule.name}, {"description", schedule.description}, {"command", schedule.command},
                {"time", schedule.time}, {"created", schedule.created},         {"status", "enabled"}};
}

Json SimBridge::schedulesJson() const {
    Json out = Json::object();
    for (const auto& [id, schedule] : schedules_) out[std::to_string(id)] = scheduleJson(schedule);
    return out;
}

Reply SimBridge::schedulesLocked(const std::string& method, const std::vector<std::string>& parts, const Json* body,
                                 const std::string& user, const std::string& address) {
    // Validates and applies one member of a schedule body; an error object when refused.
    auto applyMember = [this](Schedule& schedule, const std::string& key, const Json& value,
                              const std::string& where) -> std::optional<Json> {
        if (key == "name") {
            if (!value.is_string() || value.get<std::string>().size() > 32) return invalidValue(where, key, value);
            schedule.name = value.get<std::string>();
        } else if (key == "description") {
            if (!value.is_string() || value.get<std::string>().size() > 64) return invalidValue(where, key, value);
            schedule.description = value.get<std::string>();
        } else if (key == "time") {
            if (!value.is_string() || !scheduleTimeValid(schedule, value.get<std::string>())) {
                return invalidValue(where, key, value);
            }
            schedule.nextFiring = current_ + Millis(1);
            planScheduleLocked(schedule);
        } else if (key == "command") {
            bool ok = value.is_object() && value.contains("address") && value["address"].is_string() &&
                      value["address"].get<std::string>().rfind("/api/", 0) == 0 && value.contains("method") &&
                      value["method"].is_string() &&
                      (value["method"] == "PUT" || value["method"] == "POST" || value["method"] == "DELETE") &&
                      (!value.contains("body") || value["body"].is_object());
            if (!ok) return invalidValue(where, key, value);
            schedule.command = value;
        } else {
            return errorObject(6, where, "parameter, " + key + ", not available");
        }
        return std::nullopt;
    };

    if (parts.size() == 3) {
        if (method == "GET") return okReply(schedulesJson());
        if (method != "POST") return methodNotAvailable(method, address);
        if (!body || !body->contains("command") || !body->contains("time")) return missingParameters(address);
        Schedule schedule;
        schedule.name = "schedule";
        schedule.owner = user;
        schedule.created = formatTime(current_).substr(0, 19);
        for (const auto& [key, value] : body->items()) {
            if (auto error = applyMember(schedule, key, value, "/schedules/" + key)) {
                return Reply{200, dump(Json::array({*error}))};
            }
        }
        int id = 1;
        while (schedules_.count(id)) ++id;
        schedules_[id] = schedule;
        changed();
        return okReply(Json::array({Json{{"success", Json{{"id", std::to_string(id)}}}}}));
    }
    std::string scheduleAddress = "/schedules/" + parts[3];
    auto id = parseId(parts[3]);
    auto it = id ? schedules_.find(*id) : schedules_.end();
    if (it == schedules_.end() || parts.size() != 4) return resourceNotAvailable(scheduleAddress);
    if (method == "GET") return okReply(scheduleJson(it->second));
    if (method == "DELETE") {
        schedules_.erase(it);
        changed();
        return okReply(Json::array({Json{{"success", scheduleAddress + " deleted"}}}));
    }
    if (method != "PUT") return methodNotAvailable(method, address);
    if (!body || body->empty()) return missingParameters(address);
    Json results = Json::array();
    for (const auto& [key, value] : body->items()) {
        Schedule copy = it->second;
        if (auto error = applyMember(copy, key, value, scheduleAddress + "/" + key)) {
            results.push_back(*error);
            continue;
        }
        it->second = copy;
        changed();
        results.push_back(Json{{"success", Json{{scheduleAddress + "/" + key, value}}}});
    }
    return okReply(results);
}

Json SimBridge::configJson(bool full) const {
    Json config{{"name", bridgeName_},        {"swversion", kSoftwareVersion}, {"apiversion", kApiVersion},
                {"mac", "02:47:4d:0a:1b:2c"}, {"bridgeid", bridgeId_},         {"modelid", "GM-SIM-1"}};
    if (!full) return config;
    std::string host = address_.substr(0, address_.find(':'));
    config["ipaddress"] = host;
    config["time"] = formatTime(current_).substr(0, 19);
    config["timezone"] = "UTC";
    config["linkbutton"] = linkButton_.heldDown || (linkButton_.pressedUntil && current_ <= *linkButton_.pressedUntil);
    Json whitelist = Json::object();
    for (const auto& [name, entry] : whitelist_) {
        if (!revoked_.count(name)) whitelist[name] = entry;
    }
    config["whitelist"] = whitelist;
    return config;
}

std::string SimBridge::descriptionXml() const {
    std::string host = address_.substr(0, address_.find(':'));
    std::string name;
    for (char c : bridgeName_) {
        if (c == '&')
            name += "&amp;";
        else if (c == '<')
            name += "&lt;";
        else if (c == '>')
            name += "&gt;";
        else
            name += c;
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
           "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\n"
           "<specVersion><major>1</major><minor>0</minor></specVersion>\n"
           "<URLBase>http://" +
           address_ +
           "/</URLBase>\n"
           "<device>\n"
           "<deviceType>urn:schemas-upnp-org:device:Basic:1</deviceType>\n"
           "<friendlyName>" +
           name + " (" + host +
           ")</friendlyName>\n"
           "<manufacturer>Glowmere</manufacturer>\n"
           "<modelDescription>Simulated lighting bridge</modelDescription>\n"
           "<modelName>GM-SIM-1</modelName>\n"
           "<modelNumber>GM-SIM-1</modelNumber>\n"
           "<serialNumber>02474d0a1b2c</serialNumber>\n"
           "<UDN>uuid:2f402f80-da50-11e1-9b23-02474d0a1b2c</UDN>\n"
           "<presentationURL>index.html</presentationURL>\n"
           "</device>\n"
           "</root>\n";
}

Reply SimBridge::configLocked(const std::string& method, const Json* body, bool known) {
    if (method == "GET") return okReply(configJson(known));
    if (method != "PUT") return methodNotAvailable(method, "/config");
    if (!body || body->empty()) return missingParameters("/config");
    Json results = Json::array();
    for (const auto& [key, value] : body->items()) {
        if (key != "name") {
            results.push_back(errorObject(6, "/config/" + key, "parameter, " + key + ", not available"));
        } else if (!value.is_string() || value.get<std::string>().size() < 4 || value.get<std::string>().size() > 16) {
            results.push_back(invalidValue("/config/name", key, value));
        } else {
            bridgeName_ = value.get<std::string>();
            changed();
            results.push_back(Json{{"success", Json{{"/config/name", value}}}});
        }
    }
    return okReply(results);
}

void SimBridge::planSearchArrivalsLocked() {
    if (!searchStarted_ || current_ >= *searchStarted_ + kSearchLength) return;
    SimTime due = *searchStarted_ + Millis(static_cast<long long>(searchDelaySeconds_ * 1000));
    for (auto& queued : queuedLamps_) {
        if (queued.planned) continue;
        queued.planned = true;
        queued.appearAt = std::max(due, current_);
    }
}

// ---------------------------------------------------------------------------
// Scenes

std::string SimBridge::newSceneId() {
    static constexpr char alphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (;;) {
        std::string id;
        for (int i = 0; i < 12; ++i) id += alphabet[random_() % (sizeof alphabet - 1)];
        if (!scenes_.count(id)) return id;
    }
}

// What a scene stores for a lamp: its switch, brightness and colour in the
// lamp's own mode, as the lamp will be once a transition under way ends.
Json SimBridge::capturedStateLocked(const Lamp& lamp) const {
    LampLevels levels = lamp.transition ? lamp.transition->to : lamp.levels;
    bool on = lamp.on;
    if (lamp.transition && lamp.transition->offAtEnd) on = false, levels.bri = lamp.transition->restoreBri;
    Json state{{"on", on}, {"bri", levels.bri}};
    if (lamp.hasColour() && lamp.colormode != "ct") {
        state["hue"] = levels.hue;
        state["sat"] = levels.sat;
    } else if (lamp.hasColourTemperature()) {
        state["ct"] = lamp.ct;
    }
    return state;
}

Json SimBridge::sceneJson(const Scene& scene, bool withStates) const {
    Json out{{"name", scene.name},
             {"type", "LightScene"},
             {"lights", scene.lights},
             {"owner", scene.owner},
             {"recycle", scene.recycle},
             {"locked", false},
             {"appdata", Json::object()},
             {"lastupdated", scene.lastupdated},
             {"version", 2}};
    if (withStates) {
        Json states = Json::object();
        for (const auto& lampId : scene.lights) {
            auto it = scene.lightstates.find(lampId);
            states[lampId] = it != scene.lightstates.end() ? it->second : Json::object();
        }
        out["lightstates"] = states;
    }
    return out;
}

Json SimBridge::scenesJson() const {
    Json out = Json::object();
    for (const auto& [id, scene] : scenes_) out[id] = sceneJson(scene, false);
    return out;
}

void SimBridge::addDemoScenes() {
    auto scene = [this](const std::string& name, std::vector<std::pair<std::string, Json>> states) {
        Scene s;
        s.name = name;
        s.owner = "demo";
        s.lastupdated = formatTime(current_).substr(0, 19);
        for (auto& [lampId, state] : states) {
            s.lights.push_back(lampId);
            s.lightstates[lampId] = state;
        }
        scenes_[newSceneId()] = s;
    };
    scene("Relax", {{"1", Json{{"on", true}, {"bri", 144}, {"hue", 7676}, {"sat", 199}}},
                    {"2", Json{{"on", true}, {"bri", 144}, {"hue", 7676}, {"sat", 199}}},
                    {"3", Json{{"on", true}, {"bri", 100}}}});
    scene("Bright", {{"1", Json{{"on", true}, {"bri", 254}, {"hue", 8402}, {"sat", 140}}},
                     {"2", Json{{"on", true}, {"bri", 254}, {"hue", 8402}, {"sat", 140}}},
                     {"3", Json{{"on", true}, {"bri", 254}}},
                     {"4", Json{{"on", true}, {"bri", 254}, {"ct", 233}}}});
    scene("Night light", {{"4", Json{{"on", true}, {"bri", 1}, {"ct", 500}}},
                          {"5", Json{{"on", true}, {"bri", 1}, {"hue", 6291}, {"sat", 251}}}});
}

Reply SimBridge::recallSceneLocked(const std::string& groupAddress, const std::vector<std::string>& members,
                                   const Json& body) {
    const Json& id = body["scene"];
    auto it = id.is_string() ? scenes_.find(id.get<std::string>()) : scenes_.end();
    if (it == scenes_.end()) return okReply(Json::array({invalidValue(groupAddress + "/action/scene", "scene", id)}));
    std::optional<Json> transition;
    if (body.contains("transitiontime")) {
        if (!intInRange(body["transitiontime"], 0, 65535))
            return okReply(Json::array(
                {invalidValue(groupAddress + "/action/transitiontime", "transitiontime", body["transitiontime"])}));
        transition = body["transitiontime"];
    }
    for (const auto& lampId : it->second.lights) {
        if (std::find(members.begin(), members.end(), lampId) == members.end()) continue;
        auto lamp = lamps_.find(std::stoi(lampId));
        auto state = it->second.lightstates.find(lampId);
        if (lamp == lamps_.end() || state == it->second.lightstates.end()) continue;
        Json command = state->second;
        if (transition) command["transitiontime"] = *transition;
        applyStateLocked(lamp->second, command, "/lights/" + lampId + "/state", false);
    }
    return okReply(Json::array({Json{{"success", Json{{groupAddress + "/action/scene", id}}}}}));
}

void SimBridge::setSceneLightsLocked(Scene& scene, std::vector<std::string> lights) {
    // Lamps new to the scene start from their state now; lamps that left it
    // take their stored state with them.
    std::map<std::string, Json> states;
    for (const auto& lampId : lights) {
        auto kept = scene.lightstates.find(lampId);
        states[lampId] =
            kept != scene.lightstates.end() ? kept->second : capturedStateLocked(lamps_.at(std::stoi(lampId)));
    }
    scene.lights = std::move(lights);
    scene.lightstates = std::move(states);
}

Reply SimBridge::scenesLocked(const std::string& method, const std::vector<std::string>& parts, const Json* body,
                              const std::string& user, const std::string& address) {
    if (parts.size() == 3) {
        if (method == "GET") return okReply(scenesJson());
        if (method != "POST") return methodNotAvailable(method, address);
        return createSceneLocked(body, user, address);
    }

    std::string sceneAddress = "/scenes/" + parts[3];
    auto it = scenes_.find(parts[3]);
    if (it == scenes_.end()) return resourceNotAvailable(sceneAddress);
    Scene& scene = it->second;

    if (parts.size() == 4) {
        if (method == "GET") return okReply(sceneJson(scene, true));
        if (method == "DELETE") {
            scenes_.erase(it);
            changed();
            return okReply(Json::array({Json{{"success", sceneAddress + " deleted"}}}));
        }
        if (method != "PUT") return methodNotAvailable(method, address);
        if (!body || body->empty()) return missingParameters(address);
        return okReply(changeSceneLocked(scene, sceneAddress, *body));
    }

    if (parts.size() == 6 && parts[4] == "lightstates") {
        if (method != "PUT") return methodNotAvailable(method, address);
        const std::string& lampId = parts[5];
        std::string stateAddress = sceneAddress + "/lightstates/" + lampId;
        auto lamp = parseId(lampId) ? lamps_.find(*parseId(lampId)) : lamps_.end();
        if (lamp == lamps_.end() || std::find(scene.lights.begin(), scene.lights.end(), lampId) == scene.lights.end())
            return resourceNotAvailable(stateAddress);
        if (!body || body->empty()) return missingParameters(address);
        return okReply(changeSceneLampStateLocked(scene, lampId, lamp->second, stateAddress, *body));
    }
    return resourceNotAvailable(address);
}

Reply SimBridge::createSceneLocked(const Json* body, const std::string& user, const std::string& address) {
    if (!body || !body->contains("name") || !body->contains("lights")) return missingParameters(address);
    if (!isResourceName((*body)["name"]))
        return okReply(Json::array({invalidValue("/scenes/name", "name", (*body)["name"])}));
    if (body->contains("recycle") && !(*body)["recycle"].is_boolean())
        return okReply(Json::array({invalidValue("/scenes/recycle", "recycle", (*body)["recycle"])}));
    std::vector<std::string> lights;
    if (auto error = lampListLocked((*body)["lights"], "/scenes", false, lights)) return okReply(Json::array({*error}));
    if (scenes_.size() >= 200) return errorReply(301, "/scenes", "resource, /scenes, is full");
    Scene scene;
    scene.name = (*body)["name"].get<std::string>();
    scene.owner = user;
    scene.recycle = body->value("recycle", false);
    scene.lastupdated = formatTime(current_).substr(0, 19);
    setSceneLightsLocked(scene, lights);
    std::string id = newSceneId();
    scenes_[id] = scene;
    changed();
    return okReply(Json::array({Json{{"success", Json{{"id", id}}}}}));
}

Json SimBridge::changeSceneLocked(Scene& scene, const std::string& sceneAddress, const Json& body) {
    Json results = Json::array();
    for (const auto& [key, value] : body.items()) {
        std::string where = sceneAddress + "/" + key;
        if (key == "name") {
            if (!isResourceName(value)) {
                results.push_back(invalidValue(where, key, value));
                continue;
            }
            scene.name = value.get<std::string>();
        } else if (key == "lights") {
            std::vector<std::string> lights;
            if (auto error = lampListLocked(value, "/scenes", false, lights)) {
                results.push_back(*error);
                continue;
            }
            setSceneLightsLocked(scene, lights);
        } else if (key == "storelightstate") {
            if (!value.is_boolean()) {
                results.push_back(invalidValue(where, key, value));
                continue;
            }
            if (value.get<bool>()) {
                for (const auto& lampId : scene.lights)
                    scene.lightstates[lampId] = capturedStateLocked(lamps_.at(std::stoi(lampId)));
            }
        } else {
            results.push_back(errorObject(6, where, "parameter, " + key + ", not available"));
            continue;
        }
        scene.lastupdated = formatTime(current_).substr(0, 19);
        changed();
        results.push_back(Json{{"success", Json{{where, value}}}});
    }
    return results;
}

Json SimBridge::changeSceneLampStateLocked(Scene& scene, const std::string& lampId, const Lamp& lamp,
                                           const std::string& stateAddress, const Json& body) {
    Json results = Json::array();
    Json state = scene.lightstates[lampId];
    for (const auto& [key, value] : body.items()) {
        std::string where = stateAddress + "/" + key;
        bool valid = false;
        bool available = true;
        if (key == "on") {
            valid = value.is_boolean();
        } else if (key == "bri" || key == "sat") {
            valid = intInRange(value, 0, 255);
            available = key == "bri" || lamp.hasColour();
        } else if (key == "hue") {
            valid = intInRange(value, 0, 65535);
            available = lamp.hasColour();
        } else if (key == "ct") {
            valid = intInRange(value, 153, 500);
            available = lamp.hasColourTemperature();
        } else if (key == "transitiontime") {
            valid = intInRange(value, 0, 65535);
        } else {
            available = false;
        }
        if (!available) {
            results.push_back(errorObject(6, where, "parameter, " + key + ", not available"));
            continue;
        }
        if (!valid) {
            results.push_back(invalidValue(where, key, value));
            continue;
        }
        // One colour mode a lamp: a temperature replaces hue and
        // saturation, and the other way round.
        if (key == "ct") state.erase("hue"), state.erase("sat");
        if (key == "hue" || key == "sat") state.erase("ct");
        state[key] = value;
        results.push_back(Json{{"success", Json{{where, value}}}});
    }
    scene.lightstates[lampId] = state;
    scene.lastupdated = formatTime(current_).substr(0, 19);
    changed();
    return results;
}

// The non-empty pieces of a path between its slashes.
std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string piece;
    std::istringstream in(path);
    while (std::getline(in, piece, '/')) {
        if (!piece.empty()) parts.push_back(piece);
    }
    return parts;
}

}  // namespace glowmere::sim
