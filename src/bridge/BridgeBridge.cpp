#include "bridge/BridgeBridge.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>

#include "platform/Log.h"

namespace glowmere {

namespace {

using namespace std::chrono_literals;

constexpr auto portalTimeout = std::chrono::milliseconds(30000);

// The newest failure each thread had, and through which bridge (by its
// number: an address may be used again by a later bridge).
struct ThreadFailure {
    std::uint64_t bridge = 0;
    std::optional<RequestFailure> failure;
};
thread_local ThreadFailure threadFailure;
std::atomic<std::uint64_t> bridgesMade{0};

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

const char* const pairingNeededDetail = "the bridge no longer accepts the stored user name";

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

std::string BridgeBridge::shortenedUsername(std::string_view name) {
    return std::string(name.substr(0, 4)) + "…";
}

bool BridgeBridge::isPlainBridgeAddress(std::string_view address) {
    const auto colon = address.find(':');
    const std::string_view host = address.substr(0, colon);
    if (host.empty() || host.size() > 253 || host.front() == '-' || host.front() == '.') return false;
    for (char c : host)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'))
            return false;
    if (colon == std::string_view::npos) return true;
    const std::string_view port = address.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.front() == '0') return false;
    for (char c : port)
        if (c < '0' || c > '9') return false;
    return std::stoi(std::string(port)) <= 65535;
}

BridgeBridge::BridgeBridge(platform::HttpClient& http, platform::DefaultsStore& defaults, platform::Clock& clock)
    : http_(http), defaults_(defaults), clock_(clock), number_(++bridgesMade) {
    commandQueue_ = std::make_unique<CommandQueue>(
        clock_, [this](const BridgeCommand& command) { return perform("PUT", command.path(), &command.body).failure; },
        [this](const RequestFailure& failure) { noteFailure(failure); });
}

BridgeBridge::~BridgeBridge() {
    commandQueue_.reset();
}

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

std::optional<RequestFailure> BridgeBridge::lastFailure() const {
    std::lock_guard lock(observersMutex_);
    return lastFailure_;
}

std::optional<RequestFailure> BridgeBridge::lastFailureOnThisThread() const {
    return threadFailure.bridge == number_ ? threadFailure.failure : std::nullopt;
}

std::optional<bool> BridgeBridge::answering() const {
    std::lock_guard lock(observersMutex_);
    return answering_;
}

int BridgeBridge::observeFailures(FailureObserver observer) {
    std::lock_guard lock(observersMutex_);
    failureObservers_.emplace_back(nextObserverId_, std::move(observer));
    return nextObserverId_++;
}

int BridgeBridge::observeAnswering(AnsweringObserver observer) {
    std::lock_guard lock(observersMutex_);
    answeringObservers_.emplace_back(nextObserverId_, std::move(observer));
    return nextObserverId_++;
}

void BridgeBridge::removeObserver(int id) {
    std::lock_guard lock(observersMutex_);
    std::erase_if(failureObservers_, [id](const auto& o) { return o.first == id; });
    std::erase_if(answeringObservers_, [id](const auto& o) { return o.first == id; });
}

void BridgeBridge::noteFailure(const RequestFailure& failure) {
    std::vector<FailureObserver> observers;
    {
        std::lock_guard lock(observersMutex_);
        lastFailure_ = failure;
        threadFailure = {number_, failure};
        for (const auto& [id, observer] : failureObservers_) observers.push_back(observer);
    }
    for (const auto& observer : observers) observer(failure);
}

void BridgeBridge::noteTooManyMembers(const std::string& listPath, std::size_t members) {
    platform::log(listPath + " refused: the bridge listed " + std::to_string(members) + " members");
    noteFailure(RequestFailure{RequestFailure::Kind::TooManyMembers, "GET", listPath, bridgeIP().value_or(""), 200,
                               std::to_string(members) + " members"});
}

void BridgeBridge::noteAnswering(bool answering, const std::string& address) {
    std::vector<AnsweringObserver> observers;
    {
        std::lock_guard lock(observersMutex_);
        if (answering_ == answering) return;
        answering_ = answering;
        for (const auto& [id, observer] : answeringObservers_) observers.push_back(observer);
    }
    for (const auto& observer : observers) observer(answering, address);
}

std::optional<std::string> BridgeBridge::request(const std::string& method, const std::string& path,
                                                 const Value* settings) {
    return sendRequest(method, path, settings).text;
}

BridgeBridge::Reply BridgeBridge::sendRequest(const std::string& method, const std::string& path, const Value* body) {
    Reply reply = perform(method, path, body);
    if (reply.failure) noteFailure(*reply.failure);
    return reply;
}

namespace {

// A reply that failed for `kind`, told about the request it answers.
BridgeBridge::Reply failedReply(const std::string& method, const std::string& path, RequestFailure::Kind kind,
                                std::string address = {}, int status = 0, std::string detail = {}) {
    return BridgeBridge::Reply{std::nullopt,
                               RequestFailure{kind, method, path, std::move(address), status, std::move(detail)}};
}

// A failure found before the request (a login, a link check) as this
// request's.
BridgeBridge::Reply refusedReply(RequestFailure failure, const std::string& method, const std::string& path) {
    failure.method = method;
    failure.path = path;
    return BridgeBridge::Reply{std::nullopt, std::move(failure)};
}

}  // namespace

BridgeBridge::Reply BridgeBridge::perform(const std::string& method, const std::string& path, const Value* settings) {
    if (auto refused = setUpForRequest(method, path)) return std::move(*refused);
    auto username = getUsername();
    if (!username) {
        platform::log("we still don't have a username");
        return failedReply(method, path, RequestFailure::Kind::NotPaired, bridgeIP().value_or(""));
    }
    if (!isUsableUsername(*username)) {
        platform::log("the stored user name is not a bridge user name; pair again with the link button");
        return failedReply(method, path, RequestFailure::Kind::NotPaired, bridgeIP().value_or(""), 0,
                           "the stored user name is not usable");
    }
    auto address = bridgeIP();
    if (!address) return failedReply(method, path, RequestFailure::Kind::NoAddress);

    Link link{*address, BridgeIdentity::plainBase(*address), {}, {}};
    if (BridgeIdentity::namesHttps(*address)) link.pin = defaults_.stringForKey(bridgePublicKeyKey);
    if (verifiesBridge_) {
        if (auto refused = verifyLinkBeforeRequest(address, link)) return refusedReply(*refused, method, path);
    }

    const platform::HttpRequest request = requestOverLink(method, path, settings, link, *username);
    platform::HttpError error;
    auto response = http_.send(request, &error);
    if (!response && error.kind == platform::HttpError::Kind::NewConnection) {
        if (auto refused = linkTo(*address, false, link, true)) return refusedReply(*refused, method, path);
        response = http_.send(request, &error);
        if (!response && error.kind == platform::HttpError::Kind::NewConnection)
            error = {platform::HttpError::Kind::Failed, "the bridge closed each connection before a request"};
    }
    if (!response) return noResponse(method, path, *address, error);
    noteAnswering(true, *address);
    return readResponse(method, path, *address, *username, *response);
}

std::optional<BridgeBridge::Reply> BridgeBridge::setUpForRequest(const std::string& method, const std::string& path) {
    using Kind = RequestFailure::Kind;
    if (!bridgeIP()) {
        // Several threads may find the address missing at once; only the
        // first asks the portal, the others take its answer.
        std::lock_guard setUp(setUpMutex_);
        if (!bridgeIP()) discoverBridge();
        if (!bridgeIP()) return failedReply(method, path, Kind::NoAddress);
    }
    if (!getUsername()) {
        std::lock_guard setUp(setUpMutex_);
        if (!getUsername()) {
            platform::log("we don't have a username");
            if (!logIn()) {
                // Login that could not reach the bridge says so.
                if (loginFailure_) return refusedReply(*loginFailure_, method, path);
                return failedReply(method, path, Kind::NotPaired, bridgeIP().value_or(""));
            }
        }
    }
    if (pairingNeeded_) {
        std::lock_guard setUp(setUpMutex_);
        if (pairingNeeded_) {
            // The stored name is not sent again: the bridge has said it
            // does not know it.
            if (!pairsOnDemand_ || !logIn()) {
                if (pairsOnDemand_ && loginFailure_) return refusedReply(*loginFailure_, method, path);
                return failedReply(method, path, Kind::NotPaired, bridgeIP().value_or(""), 0, pairingNeededDetail);
            }
        }
    }
    return std::nullopt;
}

std::optional<RequestFailure> BridgeBridge::verifyLinkBeforeRequest(std::optional<std::string>& address, Link& link) {
    auto refused = linkTo(*address, false, link);
    // A command-line run finds a bridge that moved once, before anything
    // with the user name was sent.
    if (refused && refused->kind == RequestFailure::Kind::NoReply && followsOnce_ && !followed_.exchange(true) &&
        followMovedBridge()) {
        address = bridgeIP();
        refused = address ? linkTo(*address, false, link) : refused;
    }
    return refused;
}

platform::HttpRequest BridgeBridge::requestOverLink(const std::string& method, const std::string& path,
                                                    const Value* settings, const Link& link,
                                                    const std::string& username) const {
    platform::HttpRequest request;
    request.method = method;
    request.url = link.base + "/api/" + username + "/" + path;
    if (!link.pin.empty()) request.pinnedPublicKey = link.pin;
    // Over plain HTTP only the connection ties a request to the device that
    // was asked who it is: a new one is asked again before the user name
    // goes over it. (HTTPS has the key for that.)
    request.sameConnectionOnly = verifiesBridge_ && link.pin.empty();
    request.timeout = replyTimeout_.load();
    if (method == "PUT" || method == "POST")
        request.body = JSONFromDictionary(settings ? *settings : Value::emptyMap());
    return request;
}

BridgeBridge::Reply BridgeBridge::noResponse(const std::string& method, const std::string& path,
                                             const std::string& address, const platform::HttpError& error) {
    using Kind = RequestFailure::Kind;
    platform::log("no response from Bridge");
    if (error.kind == platform::HttpError::Kind::TooLarge) {
        noteAnswering(true, address);
        platform::log("Bridge reply to " + method + " " + path + " was cut off: " + error.message);
        return failedReply(method, path, Kind::TooLarge, address, 0, error.message);
    }
    if (error.kind == platform::HttpError::Kind::KeyMismatch) {
        noteAnswering(true, address);
        forgetLink();
        tellLink(LinkEvent::KeyChanged, address, {});
        return failedReply(method, path, Kind::KeyChanged, address, 0, error.message);
    }
    noteAnswering(false, address);
    // Whatever answers there next is asked who it is first.
    forgetLink();
    return failedReply(method, path, error.kind == platform::HttpError::Kind::TimedOut ? Kind::TimedOut : Kind::NoReply,
                       address, 0, error.message);
}

BridgeBridge::Reply BridgeBridge::readResponse(const std::string& method, const std::string& path,
                                               const std::string& address, const std::string& username,
                                               const platform::HttpResponse& response) {
    using Kind = RequestFailure::Kind;
    // Names may carry any character; bytes that are not UTF-8 become U+FFFD
    // so nothing downstream sees broken text.
    std::string text = platform::sanitizeUtf8(response.body);
    const int status = response.status;
    const bool json = jsontext::isJSONText(text);
    const std::optional<std::string> description = json ? bridgeErrorDescription(text) : std::nullopt;
    if (description) noteBridgeError(method, path, *description, address, username);
    if (status < 200 || status > 299) {
        platform::log("Bridge answered HTTP " + std::to_string(status) + " to " + method + " " + path);
        return failedReply(method, path, Kind::HttpStatus, address, status, description.value_or(""));
    }
    if (!json) {
        platform::log("Bridge reply to " + method + " " + path + " is not JSON");
        return failedReply(method, path, Kind::NotJson, address, status);
    }
    if (description) return failedReply(method, path, Kind::BridgeError, address, status, *description);
    return Reply{std::move(text), std::nullopt};
}

std::optional<std::string> BridgeBridge::bridgeErrorDescription(const std::string& text) {
    Value flat = dictionaryFromJSON(text);
    if (!flat.contains("error")) return std::nullopt;
    Value error = dictionaryOfDictionariesFromJSON(flat["error"].textValue());
    return error["description"].textValue();
}

void BridgeBridge::noteBridgeError(const std::string& method, const std::string& path, const std::string& description,
                                   const std::string& address, const std::string& username) {
    platform::log("Bridge Error: " + platform::printable(description, platform::logTextLimit));
    if (auto told = observerCopy(errorObserver_)) told(method, path, description);
    // The name stays stored (a bridge may answer so by mistake, and the
    // name is the user's only credential); the next request pairs again
    // first. A reply to a name a pairing has since replaced changes nothing.
    if (description.find("unauthorized") != std::string::npos && getUsername() == username) {
        loggedIn_ = false;
        if (!pairingNeeded_.exchange(true))
            platform::log("the bridge at " + address +
                          " no longer accepts our user name; press its link button to pair again");
    }
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
        request.timeout = portalTimeout;
        if (auto told = observerCopy(discoveryObserver_)) told(DiscoveryStep::Portal, portal);
        response = http_.send(request);
    }

    if (response) {
        std::string text = platform::sanitizeUtf8(response->body);
        platform::log("response from portal is " + platform::printable(text, platform::logTextLimit));
        Value portalReply = dictionaryOfDictionariesFromJSON(text);
        std::optional<std::string> address;
        if (portalReply.contains("internalipaddress")) address = portalReply["internalipaddress"].textValue();
        platform::log("Bridge IP: " + platform::printable(orNull(address), platform::logTextLimit));
        // The portal is a host on the Internet: what it names is used only
        // when it is a plain address where a bridge answers.
        if (address && isPlainBridgeAddress(*address) && showsBridgeInterface(*address)) {
            setBridgeIP(address);
            defaults_.setObject(lastUsedBridgeIPKey, *address);
            return;
        }
        if (address)
            platform::log("the portal's address " + platform::printable(*address, platform::logTextLimit) +
                          " is no bridge's address; not used");
        setBridgeIP(last);
        platform::log(last ? "response from Portal API but no IP provided, using last used bridge IP"
                           : "response from Portal API but no IP provided, and no last used bridge IP");
    } else {
        setBridgeIP(last);
        platform::log(last ? "no response from Portal API, using last used bridge IP"
                           : "no response from Portal API and no last used bridge IP");
    }
    if (last || !localSearch_) return;
    // Nothing else knows an address: a fresh install. Ask the local network.
    auto found = searchLocalNetwork();
    if (found.empty()) {
        platform::log("no bridge answered on the local network");
        return;
    }
    platform::log("found bridge on the local network at " + found.front());
    setBridgeIP(found.front());
    defaults_.setObject(lastUsedBridgeIPKey, found.front());
}

bool BridgeBridge::showsBridgeInterface(const std::string& address) {
    platform::HttpRequest request;
    request.method = "GET";
    request.url = "http://" + address + "/api/config";
    request.timeout = std::chrono::seconds(5);
    request.maxReplyBytes = 64u << 10;
    auto response = http_.send(request);
    if (!response || response->status < 200 || response->status > 299) return false;
    std::string text = platform::sanitizeUtf8(response->body);
    if (!jsontext::isJSONText(text) || text.find_first_not_of(" \t\r\n") == std::string::npos ||
        text[text.find_first_not_of(" \t\r\n")] != '{')
        return false;
    Value config = dictionaryOfDictionariesFromJSON(text);
    return config.contains("bridgeid") && config.contains("apiversion");
}

std::vector<std::string> BridgeBridge::searchLocalNetwork(const std::optional<std::string>& target) {
    std::vector<std::string> found;
    if (!localSearch_) return found;
    std::string where = target.value_or(defaults_.stringForKey(ssdpAddressKey));
    if (where.empty()) where = platform::SsdpSearch::defaultTarget;
    if (auto told = observerCopy(discoveryObserver_)) told(DiscoveryStep::LocalNetwork, where);
    std::vector<std::string> answered;
    for (const auto& reply : localSearch_->search(where, localSearchWait)) {
        // An answer names the description's host; anyone on the network can
        // answer, so one naming another host than its own is not believed.
        std::string address = reply.location.empty() ? reply.sender : platform::hostOfURL(reply.location);
        if (address.substr(0, address.find(':')) != reply.sender || !isPlainBridgeAddress(address)) {
            platform::log("a search answer from " + platform::printable(reply.sender, platform::logTextLimit) +
                          " names " + platform::printable(reply.location, platform::logTextLimit) + "; not used");
            continue;
        }
        if (std::find(answered.begin(), answered.end(), address) == answered.end()) answered.push_back(address);
    }
    // Every device on the network may answer a search; a bridge is one that
    // shows the bridge's interface. They are asked at once, not in turn.
    std::vector<std::future<bool>> checks;
    for (const auto& address : answered)
        checks.push_back(std::async(std::launch::async, [this, address] { return showsBridgeInterface(address); }));
    for (std::size_t i = 0; i < answered.size(); ++i)
        if (checks[i].get()) found.push_back(answered[i]);
    return found;
}

std::vector<std::string> BridgeBridge::findBridges(const std::optional<std::string>& target) {
    std::vector<std::string> found;
    std::string portal = defaults_.stringForKey(discoveryPortalKey);
    while (!portal.empty() && portal.back() == '/') portal.pop_back();
    if (!portal.empty() && !target) {
        platform::HttpRequest request;
        request.method = "GET";
        request.url = portal + "/api/nupnp";
        request.timeout = portalTimeout;
        auto response = http_.send(request);
        if (response && response->status >= 200 && response->status <= 299) {
            // Here every bridge the portal lists counts, not only the last.
            Value bridges = arrayOfDictionariesFromJSON(platform::sanitizeUtf8(response->body));
            if (bridges.isList())
                for (const Value& bridge : bridges.asList()) {
                    std::string address = bridge["internalipaddress"].textValue();
                    if (isPlainBridgeAddress(address) && std::find(found.begin(), found.end(), address) == found.end())
                        found.push_back(address);
                }
        }
        // Only those where a bridge answers, asked at once.
        std::vector<std::future<bool>> checks;
        for (const auto& address : found)
            checks.push_back(std::async(std::launch::async, [this, address] { return showsBridgeInterface(address); }));
        std::vector<std::string> bridges;
        for (std::size_t i = 0; i < found.size(); ++i)
            if (checks[i].get()) bridges.push_back(found[i]);
        found = std::move(bridges);
    }
    for (auto& address : searchLocalNetwork(target))
        if (std::find(found.begin(), found.end(), address) == found.end()) found.push_back(std::move(address));
    return found;
}

void BridgeBridge::tellNoBridgeFound() {
    // Asked without waiting: the thread looking for the bridge goes on
    // (and retries) while the question is open, and never asks twice.
    if (!alerts_ || unableToFindAsked_.exchange(true)) return;
    platform::AlertSpec alert;
    alert.message = unableToFindMessage;
    alert.defaultButton = "OK";
    alert.alternateButton = "Settings";
    alert.informativeText = unableToFindInformative;
    alerts_->ask(alert, [this](platform::AlertResponse response) {
        unableToFindAsked_ = false;
        if (response != platform::AlertResponse::Alternate) return;
        if (prefsWindow_) prefsWindow_->makeKeyAndOrderFront();
        if (prefsTabView_) prefsTabView_->selectTabViewItemWithIdentifier("bridge");
    });
}

bool BridgeBridge::attemptLogin(const platform::HttpRequest& request, const std::string& address) {
    using Kind = RequestFailure::Kind;
    platform::HttpError error;
    auto response = http_.send(request, &error);
    bool last = false;
    if (!response) {
        platform::log("unable to communicate with Bridge");
        last = true;
        const bool tooLarge = error.kind == platform::HttpError::Kind::TooLarge;
        noteAnswering(tooLarge, address);
        loginFailure_ = RequestFailure{tooLarge                                            ? Kind::TooLarge
                                       : error.kind == platform::HttpError::Kind::TimedOut ? Kind::TimedOut
                                                                                           : Kind::NoReply,
                                       "POST",
                                       "",
                                       address,
                                       0,
                                       error.message};
    } else if (response->status < 200 || response->status > 299) {
        // Whatever answers there with an error page is no bridge that
        // will pair.
        noteAnswering(true, address);
        platform::log("Bridge answered HTTP " + std::to_string(response->status) + " to POST api");
        loginFailure_ = RequestFailure{Kind::HttpStatus, "POST", "", address, response->status, {}};
        last = true;
    } else {
        noteAnswering(true, address);
        std::string text = platform::sanitizeUtf8(response->body);
        Value reply = dictionaryFromJSON(text);
        if (reply.contains("error")) {
            Value error = dictionaryFromJSON(reply["error"].textValue());
            platform::log("Bridge Error: " +
                          platform::printable(error["description"].textValue(), platform::logTextLimit));
            loginFailure_->detail = error["description"].textValue();
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
                loginFailure_->detail = unusableUsernameMessage;
                last = true;
            } else {
                // The name is a credential: the log shows only its start.
                platform::log("logged into bridge as: " + shortenedUsername(username));
                loggedIn_ = true;
                pairingNeeded_ = false;
                defaults_.setObject(usernameKey, username);
                // The bridge paired with is the one whose name this is.
                if (pairingLink_ && !pairingLink_->bridgeId.empty()) {
                    defaults_.setObject(bridgeIdKey, pairingLink_->bridgeId);
                    if (pairingLink_->pin.empty())
                        defaults_.removeObject(bridgePublicKeyKey);
                    else
                        defaults_.setObject(bridgePublicKeyKey, pairingLink_->pin);
                    std::lock_guard lock(linkMutex_);
                    link_ = pairingLink_;
                }
                defaults_.synchronize();
            }
        }
    }
    return last;
}

LoginResult BridgeBridge::logIn() {
    std::lock_guard setUp(setUpMutex_);
    // A login whose name has since been dropped no longer counts.
    if (!getUsername()) loggedIn_ = false;
    if (!bridgeIP()) discoverBridge();
    auto address = bridgeIP();
    if (!address) {
        tellNoBridgeFound();
        return {RequestFailure{RequestFailure::Kind::NoAddress, "POST", "", "", 0, {}}};
    }

    if (loginPaused_) {
        platform::log("pairing is paused until the user asks again");
        return {RequestFailure{RequestFailure::Kind::NotPaired, "POST", "", *address, 0, "pairing is paused"}};
    }
    if (pushButtonWindow_) {
        pushButtonWindow_->center();
        pushButtonWindow_->makeKeyAndOrderFront();
    }
    if (throbber_) throbber_->startAnimation();
    const auto loginObserver = observerCopy(loginObserver_);
    const auto loginEndObserver = observerCopy(loginEndObserver_);
    if (loginObserver) loginObserver(0);

    Link link{*address, BridgeIdentity::plainBase(*address), {}, {}};
    if (verifiesBridge_) {
        if (auto refused = linkTo(*address, true, link)) {
            if (throbber_) throbber_->stopAnimation();
            if (loginEndObserver) loginEndObserver(false);
            refused->method = "POST";
            refused->path = "";
            loginFailure_ = refused;
            return {refused};
        }
    }
    pairingLink_ = link;

    platform::HttpRequest request;
    request.method = "POST";
    request.url = link.base + "/api";
    if (!link.pin.empty()) request.pinnedPublicKey = link.pin;
    request.timeout = replyTimeout_.load();
    request.body = JSONFromDictionary(Value::map({{"devicetype", deviceType}}));

    using Kind = RequestFailure::Kind;
    loginFailure_ = RequestFailure{Kind::NotPaired, "POST", "", *address, 0, {}};
    int attempts = 0;
    while (!loggedIn_ && attempts < loginAttempts && !loginPaused_) {
        ++attempts;
        if (loginObserver) loginObserver(attempts);
        const bool last = attemptLogin(request, *address);
        // Pause before the next attempt; a successful one needs none.
        if (!loggedIn_) clock_.sleepFor(loginPause);
        if (last) break;
    }
    if (loggedIn_) loginFailure_.reset();

    if (throbber_) throbber_->stopAnimation();
    if (loginEndObserver) {
        if (!loggedIn_) loginPaused_ = true;
        loginEndObserver(loggedIn_);
    } else if (pushButtonWindow_) {
        pushButtonWindow_->orderOut();
    }
    if (loggedIn_) return {};
    return {loginFailure_};
}

bool BridgeBridge::pairAgain() {
    const bool wasLoggedIn = loggedIn_.exchange(false);
    allowLogin();
    if (logIn()) return true;
    // The old name still works unless the bridge said otherwise meanwhile.
    if (wasLoggedIn && getUsername() && !pairingNeeded_) loggedIn_ = true;
    return false;
}

// ---------------------------------------------------------------------------
// Which bridge, and how it is reached

void BridgeBridge::tellLink(LinkEvent event, const std::string& from, const std::string& to) {
    LinkObserver observer;
    {
        std::lock_guard lock(observersMutex_);
        observer = linkObserver_;
    }
    if (observer) observer(event, from, to);
}

void BridgeBridge::forgetLink() {
    std::lock_guard lock(linkMutex_);
    link_.reset();
}

std::optional<bool> BridgeBridge::encrypted() const {
    std::lock_guard lock(linkMutex_);
    if (!link_) return std::nullopt;
    return !link_->pin.empty();
}

std::optional<RequestFailure> BridgeBridge::linkTo(const std::string& address, bool pairing, Link& link, bool fresh) {
    using Kind = RequestFailure::Kind;
    using Outcome = BridgeIdentity::Answer::Outcome;
    if (!fresh) {
        std::lock_guard lock(linkMutex_);
        if (link_ && link_->address == address) {
            link = *link_;
            return std::nullopt;
        }
    }
    const std::string storedId = defaults_.stringForKey(bridgeIdKey);
    const std::string storedPin = storedId.empty() ? std::string() : defaults_.stringForKey(bridgePublicKeyKey);
    // Pairing learns the key of whatever bridge it pairs with; it is held
    // against the stored one below when that bridge is the paired one.
    // Asked again, the device is asked the way it was reached before.
    std::string asked = address;
    if (fresh) {
        std::lock_guard lock(linkMutex_);
        if (link_ && link_->address == address) asked = link_->base;
    }
    const auto answer = BridgeIdentity(http_).identify(asked, pairing ? std::string() : storedPin);
    // Until a check succeeds, nothing counts as checked: every request asks.
    if (answer.outcome != Outcome::Reached) forgetLink();
    RequestFailure failure{Kind::NoReply, "GET", "config", address, 0, answer.detail};
    switch (answer.outcome) {
        case Outcome::NoReply:
            noteAnswering(false, address);
            return failure;
        case Outcome::KeyMismatch:
            noteAnswering(true, address);
            failure.kind = Kind::KeyChanged;
            platform::log(failure.describe());
            tellLink(LinkEvent::KeyChanged, address, {});
            return failure;
        case Outcome::NotBridge:
            noteAnswering(true, address);
            failure.kind = Kind::OtherBridge;
            failure.detail = "what answers there does not show a bridge's interface";
            platform::log(failure.describe());
            tellLink(LinkEvent::OtherBridge, address, {});
            return failure;
        case Outcome::Reached:
            break;
    }
    noteAnswering(true, address);
    const bool sameBridge = storedId.empty() || answer.bridgeId == storedId;
    if (!sameBridge && !pairing) {
        forgetLink();
        failure.kind = Kind::OtherBridge;
        failure.detail = "it is bridge " + platform::printable(answer.bridgeId, platform::logTextLimit);
        platform::log(failure.describe());
        tellLink(LinkEvent::OtherBridge, address, {});
        return failure;
    }
    if (sameBridge && !storedId.empty() && !storedPin.empty() && answer.pin != storedPin) {
        // Pairing again does not slip a new key past the pin either.
        forgetLink();
        failure.kind = Kind::KeyChanged;
        platform::log(failure.describe());
        tellLink(LinkEvent::KeyChanged, address, {});
        return failure;
    }
    link = Link{address, answer.base, answer.pin, answer.bridgeId};
    if (!pairing && (storedId.empty() || (storedPin.empty() && !answer.pin.empty()))) {
        // Paired before the identity was kept, or the bridge learnt HTTPS
        // since: what it shows now is trusted from here on.
        defaults_.setObject(bridgeIdKey, answer.bridgeId);
        if (!answer.pin.empty()) {
            defaults_.setObject(bridgePublicKeyKey, answer.pin);
            platform::log("trusting the certificate of the bridge at " + address);
        }
        defaults_.synchronize();
    }
    if (!pairing) {
        std::lock_guard lock(linkMutex_);
        link_ = link;
    }
    return std::nullopt;
}

bool BridgeBridge::followMovedBridge() {
    std::lock_guard setUp(setUpMutex_);
    const std::string id = defaults_.stringForKey(bridgeIdKey);
    const auto from = bridgeIP();
    if (!verifiesBridge_ || id.empty() || !from || defaults_.objectForKey(alwaysUseManualIPKey).boolValue())
        return false;
    const std::string pin = defaults_.stringForKey(bridgePublicKeyKey);
    platform::log("the bridge at " + *from + " does not answer; looking for it on the network");
    for (const auto& found : findBridges()) {
        if (found == BridgeIdentity::hostPart(*from)) continue;
        std::string candidate;
        BridgeIdentity::Answer answer;
        for (const auto& address : BridgeIdentity::movedAddresses(*from, found)) {
            answer = BridgeIdentity(http_).identify(address, pin);
            if (answer.outcome == BridgeIdentity::Answer::Outcome::Reached && answer.bridgeId == id) {
                candidate = address;
                break;
            }
        }
        if (candidate.empty()) continue;
        setBridgeIP(candidate);
        defaults_.setObject(lastUsedBridgeIPKey, candidate);
        if (pin.empty() && !answer.pin.empty()) defaults_.setObject(bridgePublicKeyKey, answer.pin);
        defaults_.synchronize();
        {
            std::lock_guard lock(linkMutex_);
            link_ = Link{candidate, answer.base, answer.pin, answer.bridgeId};
        }
        platform::log("the bridge moved from " + *from + " to " + candidate);
        noteAnswering(true, candidate);
        tellLink(LinkEvent::Moved, *from, candidate);
        return true;
    }
    platform::log("the paired bridge answers at no address found on the network");
    return false;
}

std::optional<std::string> BridgeBridge::trustNewCertificate() {
    std::lock_guard setUp(setUpMutex_);
    if (!bridgeIP()) discoverBridge();
    const auto address = bridgeIP();
    if (!address) return std::string("no bridge address known");
    const auto answer = BridgeIdentity(http_).identify(*address, {});
    if (answer.outcome != BridgeIdentity::Answer::Outcome::Reached)
        return "no bridge answers at " + *address + (answer.detail.empty() ? "" : " (" + answer.detail + ")");
    const std::string storedId = defaults_.stringForKey(bridgeIdKey);
    if (!storedId.empty() && answer.bridgeId != storedId)
        return "the bridge at " + *address + " is not the one Glowmere is paired with; pair with it instead";
    if (answer.pin.empty())
        return "the bridge at " + *address + " does not answer HTTPS; there is no certificate to trust";
    defaults_.setObject(bridgeIdKey, answer.bridgeId);
    defaults_.setObject(bridgePublicKeyKey, answer.pin);
    if (!defaults_.synchronize()) return std::string("the new certificate could not be stored");
    {
        std::lock_guard lock(linkMutex_);
        link_ = Link{*address, answer.base, answer.pin, answer.bridgeId};
    }
    platform::log("trusting the new certificate of the bridge at " + *address);
    return std::nullopt;
}

void BridgeBridge::pairWithBridgeAtAddress() {
    // The old bridge's name is never sent to the new one: pairing comes first.
    defaults_.removeObject(bridgeIdKey);
    defaults_.removeObject(bridgePublicKeyKey);
    defaults_.synchronize();
    forgetLink();
    loggedIn_ = false;
    pairingNeeded_ = true;
    allowLogin();
}

// ---------------------------------------------------------------------------
// Lamps and groups

namespace {
// Whether a failed list request is worth asking once more: not after a
// time-out (one per operation is enough), and not when discovery or login
// already did all they could.
bool worthRepeating(const RequestFailure& failure) {
    using Kind = RequestFailure::Kind;
    return failure.kind == Kind::NoReply || failure.kind == Kind::HttpStatus || failure.kind == Kind::NotJson ||
           failure.kind == Kind::BridgeError;
}
}  // namespace

std::optional<Value> BridgeBridge::readList(const ListReading& how) {
    const std::string listPath = how.listPath;
    Reply listReply = perform("GET", listPath, nullptr);
    if (!listReply.text && worthRepeating(*listReply.failure)) listReply = perform("GET", listPath, nullptr);
    if (!listReply.text) {
        noteFailure(*listReply.failure);
        return std::nullopt;
    }

    Value list = dictionaryOfDictionariesFromJSON(*listReply.text);
    if (list.size() > maxListMembers) {
        noteTooManyMembers(listPath, list.size());
        return std::nullopt;
    }
    Value result = Value::emptyList();
    for (const auto& id : keysInNumericOrder(list)) {
        // Taken out of the list rather than copied: every cycle reads the whole list.
        Value record = std::move(list.member(id));
        // The list's reply holds each member's whole record; older bridges
        // list names only, and those members are read one by one.
        std::string itemText;
        const bool whole = record[how.stateKey].isMap() && (!how.needsMembers || record.contains("lights"));
        if (!whole) {
            Reply item = perform("GET", listPath + "/" + id, nullptr);
            if (!item.text) {
                noteFailure(*item.failure);
                // A bridge that just timed out is not asked again.
                if (item.failure->kind == RequestFailure::Kind::TimedOut) return std::nullopt;
                continue;
            }
            itemText = *item.text;
            record = dictionaryOfDictionariesFromJSON(itemText);
        }
        if (!record.isMap()) record = Value::emptyMap();
        // Read in place; copied only where a missing "on" is read as off.
        Value patchedState;
        const Value* statePointer = &record[how.stateKey];
        if (how.missingOnIsOff && statePointer->contains("bri") && !statePointer->contains("on")) {
            patchedState = *statePointer;
            patchedState.set("on", "false");
            statePointer = &patchedState;
        }
        const Value& state = *statePointer;
        if (!state.contains("bri") || !state.contains("on")) {
            if (how.logSkipped)
                platform::log(
                    "lightsArray dipping out, strAttributessForThisLamp is " +
                    platform::printable(whole ? JSONFromDictionary(record) : itemText, platform::logTextLimit));
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
    return readList({"lights", "state", true, false, false});
}

std::optional<Value> BridgeBridge::groupsArray() {
    return readList({"groups", "action", false, true, true});
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
    const auto members = memberIdentifiers(group["lights"].textValue());
    Value result = Value::emptyList();
    if (members.empty()) return result;
    // One more request reads every lamp; the members are taken from it.
    auto lamps = readList({"lights", "state", false, false, false});
    if (!lamps) return result;
    for (const auto& id : members) {
        for (const Value& lamp : lamps->asList()) {
            if (lamp["id"].textValue() != id) continue;
            Value record = lamp;
            // The bridge's own "on" text here, as the group's readers take it.
            record.set("onoff", lamp["onoff"].boolValue() ? "true" : "false");
            result.append(std::move(record));
            break;
        }
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

std::shared_ptr<CommandTicket> BridgeBridge::sendCommand(BridgeCommand command) {
    return commandQueue_->enqueue(std::move(command));
}

void BridgeBridge::waitForCommands() {
    commandQueue_->waitUntilIdle();
}

void BridgeBridge::enqueue(bool group, const std::string& id, Value body, bool replaceable) {
    sendCommand(BridgeCommand{group, id, std::move(body), replaceable});
}

void BridgeBridge::allOn(bool on) {
    groupOn("0", on);
}

void BridgeBridge::groupOn(const std::string& groupId, bool on) {
    enqueue(true, groupId, Value::map({{"on", on ? "true" : "false"}}));
}

void BridgeBridge::lampOn(const std::string& lampId, bool on) {
    enqueue(false, lampId, Value::map({{"on", on ? "true" : "false"}}));
}

void BridgeBridge::sendSettings(const Value& settings, bool group, const std::string& id) {
    Value body = Value::emptyMap();
    const bool hasOnOff = settings.contains("onoff");
    const bool hasTransition = settings.contains("transitiontime");
    if (hasOnOff) body.set("on", settings["onoff"].boolValue() ? "true" : "false");
    if (settings.contains("colour")) body.set("hue", settings["colour"]);
    if (settings.contains("brightness")) body.set("bri", settings["brightness"]);
    if (settings.contains("saturation")) body.set("sat", settings["saturation"]);
    if (settings.contains("ct")) body.set("ct", settings["ct"]);
    if (hasTransition) body.set("transitiontime", settings["transitiontime"].doubleValue() * 10);

    if (hasOnOff && !hasTransition) {
        if (group)
            groupOn(id, settings["onoff"].boolValue());
        else
            lampOn(id, settings["onoff"].boolValue());
    }
    const bool hasColourValues = settings.contains("brightness") || settings.contains("colour") ||
                                 settings.contains("saturation") || settings.contains("ct");
    if (!hasColourValues && (!hasOnOff || !hasTransition)) return;
    enqueue(group, id, std::move(body));
}

void BridgeBridge::sendSettingsToLamp(const Value& settings, const std::string& lampId) {
    sendSettings(settings, false, lampId);
}

void BridgeBridge::sendSettingsToGroup(const Value& settings, const std::string& groupId) {
    sendSettings(settings, true, groupId);
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
    // Steps of one sequence: a later step must not take an earlier one's place.
    enqueue(false, lampId, Value::map({{"on", "true"}}), false);
    enqueue(false, lampId, Value::map({{"bri", 0}, {"transitiontime", 0}}), false);
    sendSettingsToLamp(Value::map({{"brightness", 255}, {"transitiontime", seconds}}), lampId);
}

void BridgeBridge::startFalseDawnForGroupWithTransition(const std::string& groupId, double minutes) {
    std::string seconds = transitionSeconds(minutes);
    enqueue(true, groupId, Value::map({{"on", "true"}}), false);
    sendSettingsToGroup(Value::map({{"brightness", 255}, {"transitiontime", seconds}}), groupId);
}

// ---------------------------------------------------------------------------
// Failure recorder

FailureRecorder::FailureRecorder(BridgeBridge& bridge)
    : bridge_(bridge), observer_(bridge.observeFailures([this](const RequestFailure& failure) {
          std::lock_guard lock(mutex_);
          failures_.push_back(failure);
      })) {}

FailureRecorder::~FailureRecorder() {
    bridge_.removeObserver(observer_);
}

std::vector<RequestFailure> FailureRecorder::failures() const {
    std::lock_guard lock(mutex_);
    return failures_;
}

std::optional<RequestFailure> FailureRecorder::last() const {
    std::lock_guard lock(mutex_);
    if (failures_.empty()) return std::nullopt;
    return failures_.back();
}

bool FailureRecorder::empty() const {
    std::lock_guard lock(mutex_);
    return failures_.empty();
}

}  // namespace glowmere
