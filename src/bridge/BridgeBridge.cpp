#include "bridge/BridgeBridge.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/Log.h"

namespace glowmere {

namespace {

using namespace std::chrono_literals;

constexpr auto requestTimeout = std::chrono::milliseconds(30000);
constexpr auto loginPause = 2500ms;
constexpr int loginAttempts = 30;

std::string format2(const Value& v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v.doubleValue());
    return buf;
}

std::string orNull(const std::optional<std::string>& text) {
    return text ? *text : "(null)";
}

// Identifiers come back from the bridge as map keys; numeric ones are shown
// and read in numeric order (1, 2, 10) rather than as texts (1, 10, 2).
std::vector<std::string> keysInNumericOrder(const Value& map) {
    std::vector<std::string> keys;
    if (map.isMap())
        for (const auto& [key, value] : map.asMap()) keys.push_back(key);
    std::stable_sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
        if (a.size() != b.size()) return a.size() < b.size();
        return a < b;
    });
    return keys;
}

// Puts the colour members of a bridge state ("state" or "action") into the
// record as "%.2f" texts.
void copyColourMembers(const Value& state, Value& record) {
    if (state.contains("hue")) record.set("colour", format2(state["hue"]));
    if (state.contains("sat")) record.set("saturation", format2(state["sat"]));
    if (state.contains("bri")) record.set("brightness", format2(state["bri"]));
    // White lamps of adjustable warmth: the colour temperature in mireds.
    if (state.contains("ct")) record.set("ct", format2(state["ct"]));
}

std::string trimChars(std::string_view s, std::string_view chars) {
    auto first = s.find_first_not_of(chars);
    if (first == std::string_view::npos) return {};
    auto last = s.find_last_not_of(chars);
    return std::string(s.substr(first, last - first + 1));
}

const char* const unusableUsernameMessage =
    "the bridge answered with a user name that is not 1-64 letters, digits, '-' or '_'; not logged in";

const char* const unableToFindMessage = "Unable to find IP of bridge";
const char* const unableToFindInformative =
    "Have tried to discover the Bridge's IP but failed. Check your Internet connection and re-start this app, "
    "or OK this box and wait 15s for Glowmere to re-try. If your connection is fine then the brightgate portal "
    "may be temporarily unavailable. Try again in a little while\n\nIf you know or can find your bridge's IP, you "
    "can enter it in the Settings window";

}  // namespace

bool BridgeBridge::isUsableUsername(std::string_view name) {
    if (name.empty() || name.size() > 64) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
}

BridgeBridge::BridgeBridge(platform::HttpClient& http, platform::DefaultsStore& defaults, platform::Clock& clock)
    : http_(http), defaults_(defaults), clock_(clock) {}

// ---------------------------------------------------------------------------
// Request layer

std::optional<std::string> BridgeBridge::getUsername() const {
    Value name = defaults_.objectForKey(usernameKey);
    if (name.isNull()) return std::nullopt;
    return name.textValue();
}

std::optional<std::string> BridgeBridge::bridgeIP() const {
    std::lock_guard lock(addressMutex_);
    return bridgeIP_;
}

void BridgeBridge::setBridgeIP(std::optional<std::string> address) {
    std::lock_guard lock(addressMutex_);
    bridgeIP_ = std::move(address);
}

std::optional<std::string> BridgeBridge::request(const std::string& method, const std::string& path,
                                                 const Value* settings) {
    auto result = attempt(method, path, settings);
    if (!result) ++failedRequests_;
    return result;
}

std::optional<std::string> BridgeBridge::attempt(const std::string& method, const std::string& path,
                                                 const Value* settings) {
    if (!bridgeIP()) {
        // Several threads may find the address missing at once; only the
        // first asks the portal, the others take its answer.
        std::lock_guard setUp(setUpMutex_);
        if (!bridgeIP()) discoverBridge();
        if (!bridgeIP()) return std::nullopt;
    }
    if (!getUsername()) {
        std::lock_guard setUp(setUpMutex_);
        if (!getUsername()) {
            platform::log("we don't have a username");
            if (!logIn()) return std::nullopt;
        }
    }
    auto username = getUsername();
    if (!username) {
        platform::log("we still don't have a username");
        return std::nullopt;
    }
    if (!isUsableUsername(*username)) {
        platform::log("the stored user name is not a bridge user name; pair again with the link button");
        return std::nullopt;
    }
    auto address = bridgeIP();
    if (!address) return std::nullopt;

    platform::HttpRequest request;
    request.method = method;
    request.url = "http://" + *address + "/api/" + *username + "/" + path;
    request.timeout = requestTimeout;
    if (method == "PUT" || method == "POST")
        request.body = JSONFromDictionary(settings ? *settings : Value::emptyMap());

    auto response = http_.send(request);
    if (!response) {
        platform::log("no response from Bridge");
        return std::nullopt;
    }
    // Names may carry any character; bytes that are not UTF-8 become U+FFFD
    // so nothing downstream sees broken text.
    std::string text = platform::sanitizeUtf8(response->body);
    Value flat = dictionaryFromJSON(text);
    if (!flat.contains("error")) return text;

    Value error = dictionaryOfDictionariesFromJSON(flat["error"].textValue());
    std::string description = error["description"].textValue();
    platform::log("Bridge Error: " + platform::printable(description, platform::logTextLimit));
    if (errorObserver_) errorObserver_(method, path, description);
    if (description.find("unauthorized") != std::string::npos) {
        // Forget the login with the name, so the next request pairs again
        // in this run instead of failing until a restart.
        std::lock_guard setUp(setUpMutex_);
        defaults_.removeObject(usernameKey);
        loggedIn_ = false;
    }
    return std::nullopt;
}

bool BridgeBridge::sendPUTRequestToUrl(const Value& settings, const std::string& path) {
    return request("PUT", path, &settings).has_value();
}

std::optional<std::string> BridgeBridge::sendPOSTRequestToUrl(const Value& settings, const std::string& path) {
    return request("POST", path, &settings);
}

std::optional<std::string> BridgeBridge::sendDELETERequestToUrl(const std::string& path) {
    return request("DELETE", path, nullptr);
}

std::optional<std::string> BridgeBridge::sendGETRequestToUrl(const std::string& path) {
    return request("GET", path, nullptr);
}

// ---------------------------------------------------------------------------
// Discovery and login

void BridgeBridge::discoverBridge() {
    std::lock_guard setUp(setUpMutex_);
    Value lastUsed = defaults_.objectForKey(lastUsedBridgeIPKey);
    std::optional<std::string> last;
    if (!lastUsed.isNull()) last = lastUsed.textValue();

    if (defaults_.objectForKey(alwaysUseManualIPKey).boolValue()) {
        setBridgeIP(last);
        return;
    }

    std::optional<platform::HttpResponse> response;
    std::string portal = defaults_.stringForKey(discoveryPortalKey);
    if (!portal.empty()) {
        while (!portal.empty() && portal.back() == '/') portal.pop_back();
        platform::HttpRequest request;
        request.method = "GET";
        request.url = portal + "/api/nupnp";
        request.timeout = requestTimeout;
        response = http_.send(request);
    }

    if (response) {
        std::string text = platform::sanitizeUtf8(response->body);
        platform::log("response from portal is " + platform::printable(text, platform::logTextLimit));
        Value portalReply = dictionaryOfDictionariesFromJSON(text);
        std::optional<std::string> address;
        if (portalReply.contains("internalipaddress")) address = portalReply["internalipaddress"].textValue();
        platform::log("Bridge IP: " + platform::printable(orNull(address), platform::logTextLimit));
        if (address) {
            setBridgeIP(address);
            defaults_.setObject(lastUsedBridgeIPKey, *address);
            return;
        }
        setBridgeIP(last);
        platform::log(last ? "response from Portal API but no IP provided, using last used bridge IP"
                           : "response from Portal API but no IP provided, and no last used bridge IP");
        return;
    }
    setBridgeIP(last);
    platform::log(last ? "no response from Portal API, using last used bridge IP"
                       : "no response from Portal API and no last used bridge IP");
}

bool BridgeBridge::logIn() {
    std::lock_guard setUp(setUpMutex_);
    // A login whose name has since been dropped no longer counts.
    if (!getUsername()) loggedIn_ = false;
    if (!bridgeIP()) discoverBridge();
    auto address = bridgeIP();
    if (!address) {
        if (alerts_) {
            platform::AlertSpec alert;
            alert.message = unableToFindMessage;
            alert.defaultButton = "OK";
            alert.alternateButton = "Settings";
            alert.informativeText = unableToFindInformative;
            if (alerts_->runModal(alert) == platform::AlertResponse::Alternate) {
                if (prefsWindow_) prefsWindow_->makeKeyAndOrderFront();
                if (prefsTabView_) prefsTabView_->selectTabViewItemWithIdentifier("bridge");
            }
        }
        return false;
    }

    if (loginPaused_) {
        platform::log("pairing is paused until the user asks again");
        return false;
    }
    if (pushButtonWindow_) {
        pushButtonWindow_->center();
        pushButtonWindow_->makeKeyAndOrderFront();
    }
    if (throbber_) throbber_->startAnimation();
    if (loginObserver_) loginObserver_(0);

    platform::HttpRequest request;
    request.method = "POST";
    request.url = "http://" + *address + "/api";
    request.timeout = requestTimeout;
    request.body = JSONFromDictionary(Value::map({{"devicetype", deviceType}}));

    int attempts = 0;
    while (!loggedIn_ && attempts < loginAttempts && !loginPaused_) {
        ++attempts;
        if (loginObserver_) loginObserver_(attempts);
        auto response = http_.send(request);
        bool last = false;
        if (!response) {
            platform::log("unable to communicate with Bridge");
            last = true;
        } else {
            std::string text = platform::sanitizeUtf8(response->body);
            Value reply = dictionaryFromJSON(text);
            if (reply.contains("error")) {
                Value error = dictionaryFromJSON(reply["error"].textValue());
                platform::log("Bridge Error: " +
                              platform::printable(error["description"].textValue(), platform::logTextLimit));
            } else {
                Value success = dictionaryFromJSON(reply["success"].textValue());
                std::string username = success["username"].textValue();
                if (username.empty()) {
                    // A reply with neither an error nor a name cannot be used
                    // as a login; keep trying as after an error.
                    platform::log("Bridge Error: " + platform::printable(text, platform::logTextLimit));
                } else if (!isUsableUsername(username)) {
                    // The name goes into every request's path: one that could
                    // steer a request elsewhere is never stored or used.
                    platform::log(std::string(unusableUsernameMessage) + ": " +
                                  platform::printable(username, platform::logTextLimit));
                    last = true;
                } else {
                    // The name is a credential: the log shows only its start.
                    platform::log("logged into bridge as: " + username.substr(0, 4) + "…");
                    loggedIn_ = true;
                    defaults_.setObject(usernameKey, username);
                    defaults_.synchronize();
                }
            }
        }
        clock_.sleepFor(loginPause);
        if (last) break;
    }

    if (throbber_) throbber_->stopAnimation();
    if (loginEndObserver_) {
        if (!loggedIn_) loginPaused_ = true;
        loginEndObserver_(loggedIn_);
    } else if (pushButtonWindow_) {
        pushButtonWindow_->orderOut();
    }
    return loggedIn_;
}

// ---------------------------------------------------------------------------
// Lamps and groups

std::optional<Value> BridgeBridge::readList(const std::string& listPath, const char* stateKey, bool logSkipped) {
    auto listText = sendGETRequestToUrl(listPath);
    if (!listText) listText = sendGETRequestToUrl(listPath);
    if (!listText) return std::nullopt;

    Value list = dictionaryOfDictionariesFromJSON(*listText);
    Value result = Value::emptyList();
    for (const auto& id : keysInNumericOrder(list)) {
        auto itemText = sendGETRequestToUrl(listPath + "/" + id);
        if (!itemText) continue;
        Value record = dictionaryOfDictionariesFromJSON(*itemText);
        if (!record.isMap()) record = Value::emptyMap();
        const Value state = record[stateKey];
        if (!state.contains("bri") || !state.contains("on")) {
            if (logSkipped)
                platform::log("lightsArray dipping out, strAttributessForThisLamp is " +
                              platform::printable(*itemText, platform::logTextLimit));
            continue;
        }
        copyColourMembers(state, record);
        record.set("onoff", state["on"].boolValue());
        record.set("id", id);
        if (record.contains("name")) record.set("label", record["name"]);
        result.append(std::move(record));
    }
    return result;
}

std::optional<Value> BridgeBridge::lightsArray() {
    return readList("lights", "state", true);
}

std::optional<Value> BridgeBridge::groupsArray() {
    return readList("groups", "action", false);
}

std::vector<std::string> BridgeBridge::memberIdentifiers(const std::string& lightsText) {
    std::vector<std::string> ids;
    std::string_view rest = lightsText;
    while (true) {
        auto comma = rest.find(',');
        std::string piece = trimChars(trimChars(rest.substr(0, comma), "[] \t\r\n"), "\"");
        if (!piece.empty() && std::find(ids.begin(), ids.end(), piece) == ids.end()) ids.push_back(piece);
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    return ids;
}

std::optional<Value> BridgeBridge::lightsArrayForGroup(const std::string& groupId) {
    auto groupText = sendGETRequestToUrl("groups/" + groupId);
    if (!groupText) return std::nullopt;
    Value group = dictionaryOfDictionariesFromJSON(*groupText);
    Value result = Value::emptyList();
    for (const auto& id : memberIdentifiers(group["lights"].textValue())) {
        auto lampText = sendGETRequestToUrl("lights/" + id);
        if (!lampText) continue;
        Value record = dictionaryOfDictionariesFromJSON(*lampText);
        if (!record.isMap()) record = Value::emptyMap();
        const Value state = record["state"];
        if (!state.contains("bri") || !state.contains("on")) continue;
        copyColourMembers(state, record);
        record.set("onoff", state["on"].textValue());
        record.set("id", id);
        if (record.contains("name")) record.set("label", record["name"]);
        result.append(std::move(record));
    }
    return result;
}

std::optional<Value> BridgeBridge::settingsForGroup(const std::string& groupId) {
    auto groupText = sendGETRequestToUrl("groups/" + groupId);
    if (!groupText) return std::nullopt;
    Value record = dictionaryOfDictionariesFromJSON(*groupText);
    if (!record.isMap()) record = Value::emptyMap();
    const Value action = record["action"];
    copyColourMembers(action, record);
    if (action.contains("on")) record.set("onoff", action["on"].textValue());
    record.set("id", groupId);
    if (record.contains("name")) record.set("label", record["name"]);
    return record;
}

void BridgeBridge::makeGroupNamed(const std::vector<const LampIdentifying*>& strips, const std::string& name) {
    if (strips.empty()) return;
    std::string members;
    for (const auto* strip : strips) {
        if (!strip) continue;
        if (!members.empty()) members += ",";
        members += "\"" + std::to_string(Value(strip->getID()).intValue()) + "\"";
    }
    sendPOSTRequestToUrl(Value::map({{"name", name}, {"lights", "[" + members + "]"}}), "groups");
}

void BridgeBridge::removeGroupNamed(const std::string& groupId) {
    sendDELETERequestToUrl("groups/" + groupId);
}

void BridgeBridge::renameGroupNewName(const std::string& groupId, const std::string& newName) {
    sendPUTRequestToUrl(Value::map({{"name", newName}}), "groups/" + groupId);
}

void BridgeBridge::renameLampNewName(const std::string& lampId, const std::string& newName) {
    sendPUTRequestToUrl(Value::map({{"name", newName}}), "lights/" + lampId);
}

// ---------------------------------------------------------------------------
// Switching, settings, false dusk and dawn

void BridgeBridge::allOn(bool on) {
    groupOn("0", on);
}

void BridgeBridge::groupOn(const std::string& groupId, bool on) {
    sendPUTRequestToUrl(Value::map({{"on", on ? "true" : "false"}}), "groups/" + groupId + "/action");
}

void BridgeBridge::lampOn(const std::string& lampId, bool on) {
    sendPUTRequestToUrl(Value::map({{"on", on ? "true" : "false"}}), "lights/" + lampId + "/state");
}

void BridgeBridge::sendSettings(const Value& settings, const std::string& path,
                                const std::function<void(bool)>& switchFirst) {
    Value body = Value::emptyMap();
    const bool hasOnOff = settings.contains("onoff");
    const bool hasTransition = settings.contains("transitiontime");
    if (hasOnOff) body.set("on", settings["onoff"].boolValue() ? "true" : "false");
    if (settings.contains("colour")) body.set("hue", settings["colour"]);
    if (settings.contains("brightness")) body.set("bri", settings["brightness"]);
    if (settings.contains("saturation")) body.set("sat", settings["saturation"]);
    if (settings.contains("ct")) body.set("ct", settings["ct"]);
    if (hasTransition) body.set("transitiontime", settings["transitiontime"].doubleValue() * 10);

    if (hasOnOff && !hasTransition) switchFirst(settings["onoff"].boolValue());
    const bool hasColourValues = settings.contains("brightness") || settings.contains("colour") ||
                                 settings.contains("saturation") || settings.contains("ct");
    if (!hasColourValues && (!hasOnOff || !hasTransition)) return;
    sendPUTRequestToUrl(body, path);
}

void BridgeBridge::sendSettingsToLamp(const Value& settings, const std::string& lampId) {
    sendSettings(settings, "lights/" + lampId + "/state", [&](bool on) { lampOn(lampId, on); });
}

void BridgeBridge::sendSettingsToGroup(const Value& settings, const std::string& groupId) {
    sendSettings(settings, "groups/" + groupId + "/action", [&](bool on) { groupOn(groupId, on); });
}

void BridgeBridge::sendSettingsToLamp(const Value& settings) {
    sendSettingsToLamp(settings, settings["id"].textValue());
}

namespace {
// Whole seconds of a transition given in minutes, kept within what an int
// holds so absurd inputs cannot overflow.
std::string transitionSeconds(double minutes) {
    double seconds = minutes * 60;
    if (!(seconds == seconds)) seconds = 0;
    seconds = std::clamp(seconds, -2147483648.0, 2147483647.0);
    return std::to_string(static_cast<int>(seconds));
}

Value duskRecord(double minutes) {
    return Value::map({{"onoff", "false"}, {"transitiontime", transitionSeconds(minutes)}});
}
}  // namespace

void BridgeBridge::startFalseDuskForLampWithTransition(const std::string& lampId, double minutes) {
    sendSettingsToLamp(duskRecord(minutes), lampId);
}

void BridgeBridge::startFalseDuskForGroupWithTransition(const std::string& groupId, double minutes) {
    sendSettingsToGroup(duskRecord(minutes), groupId);
}

void BridgeBridge::startFalseDawnForLampWithTransition(const std::string& lampId, double minutes) {
    std::string seconds = transitionSeconds(minutes);
    lampOn(lampId, true);
    sendSettingsToLamp(Value::map({{"brightness", 0}, {"transitiontime", "0"}}), lampId);
    sendSettingsToLamp(Value::map({{"brightness", 255}, {"transitiontime", seconds}}), lampId);
}

void BridgeBridge::startFalseDawnForGroupWithTransition(const std::string& groupId, double minutes) {
    std::string seconds = transitionSeconds(minutes);
    groupOn(groupId, true);
    sendSettingsToGroup(Value::map({{"brightness", 255}, {"transitiontime", seconds}}), groupId);
}

}  // namespace glowmere
