#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bridge/BridgeIdentity.h"
#include "bridge/CommandQueue.h"
#include "bridge/JsonText.h"
#include "bridge/RequestFailure.h"
#include "platform/Clock.h"
#include "platform/DefaultsStore.h"
#include "platform/HttpClient.h"
#include "platform/LocalSearch.h"
#include "platform/Ui.h"
#include "platform/Value.h"

namespace glowmere {

// Anything that can say which lamp it stands for (a control strip); used when
// a group is made from the strips the user ticked.
class LampIdentifying {
public:
    virtual ~LampIdentifying() = default;
    virtual std::string getID() const = 0;
};

// The one object through which the system speaks to the lighting bridge:
// requests (finding the bridge and logging in on demand), lamps and groups,
// switching and settings, false dusk and dawn. Requests are synchronous and
// may be made from any thread; discovery and login run one at a time. Light
// and group commands pass the client's one CommandQueue, which paces them.
//
// A request fails honestly: no reply, a time-out, a status other than 2xx, a
// reply that is not JSON, one over 8 MB and a list of over 1000 members are
// failures, logged and reported to the failure observers with their reason.
// What a login came to: paired, or why not. Tests as a bool.
struct LoginResult {
    std::optional<RequestFailure> failure;  // empty: paired
    explicit operator bool() const { return !failure; }
};

class BridgeBridge {
public:
    // Defaults keys.
    static constexpr const char* usernameKey = "username";
    static constexpr const char* lastUsedBridgeIPKey = "lastusedbridgeIP";
    static constexpr const char* alwaysUseManualIPKey = "alwaysUseManualIP";
    // Base address of the discovery portal (e.g. "http://portal.example:80");
    // empty or absent: discovery behaves as if the portal gave no reply.
    static constexpr const char* discoveryPortalKey = "discoveryPortal";
    // Where a search of the local network is sent ("HOST:PORT"); absent or
    // empty: the UPnP group, 239.255.255.250:1900.
    static constexpr const char* ssdpAddressKey = "ssdpAddress";
    // How long a search of the local network waits for answers.
    static constexpr std::chrono::milliseconds localSearchWait{3000};
    // The paired bridge's identity ("bridgeid" of its configuration) and,
    // when it speaks HTTPS, the pin of its certificate's key
    // ("sha256//BASE64"), both taken at pairing.
    static constexpr const char* bridgeIdKey = "bridgeid";
    static constexpr const char* bridgePublicKeyKey = "bridgePublicKey";
    // The application's identifier, sent as "devicetype" when pairing.
    static constexpr const char* deviceType = "org.glowmere.Glowmere";

    // Login asks this often, this far apart, while it waits for the link
    // button: 75 s in all.
    static constexpr int loginAttempts = 30;
    static constexpr std::chrono::milliseconds loginPause{2500};

    // A list longer than this is taken for a hostile or broken reply.
    static constexpr std::size_t maxListMembers = 1000;

    BridgeBridge(platform::HttpClient& http, platform::DefaultsStore& defaults, platform::Clock& clock);
    ~BridgeBridge();
    BridgeBridge(const BridgeBridge&) = delete;
    BridgeBridge& operator=(const BridgeBridge&) = delete;

    // Outlets: the windows and alerts login reaches. Any may be left unset.
    void setPushButtonWindow(platform::Window* window) { pushButtonWindow_ = window; }
    void setThrobber(platform::ProgressIndicator* throbber) { throbber_ = throbber; }
    void setPrefsWindow(platform::Window* window) { prefsWindow_ = window; }
    void setPrefsTabView(platform::TabView* tabView) { prefsTabView_ = tabView; }
    void setAlerts(platform::Alerts* alerts) { alerts_ = alerts; }
    // The search of the local network discovery falls back on when neither
    // the portal nor a stored address gives one. Unset: no search.
    void setLocalSearch(platform::LocalSearch* search) { localSearch_ = search; }
    // What discovery asks, as it asks it: the portal (at its base address)
    // or the local network (at the search's "HOST:PORT"). Told on the
    // discovering thread, before the wait.
    enum class DiscoveryStep { Portal, LocalNetwork };
    // The observers below are told on the thread that discovers, logs in
    // or requests, which may be any; they are set under the lock they are
    // read under, so one may be set or cleared while requests run.
    void setDiscoveryObserver(std::function<void(DiscoveryStep step, const std::string& where)> observer) {
        std::lock_guard lock(observersMutex_);
        discoveryObserver_ = std::move(observer);
    }
    // Told when login starts waiting for the link button (0) and before each
    // attempt (1, 2, ...); the command-line tool prints these.
    void setLoginObserver(std::function<void(int attempt)> observer) {
        std::lock_guard lock(observersMutex_);
        loginObserver_ = std::move(observer);
    }
    // Told of every error reply of the bridge (method, path relative to the
    // user's base, the bridge's description), on the requesting thread.
    void setErrorObserver(std::function<void(const std::string&, const std::string&, const std::string&)> observer) {
        std::lock_guard lock(observersMutex_);
        errorObserver_ = std::move(observer);
    }
    // Told when login ends (paired or not). With one set, a login that ran
    // out of attempts (or was cancelled) leaves pairing paused, and its
    // window to the observer, until allowLogin(): nothing pairs behind the
    // user's back while the pairing window is closed.
    void setLoginEndObserver(std::function<void(bool paired)> observer) {
        std::lock_guard lock(observersMutex_);
        loginEndObserver_ = std::move(observer);
    }
    // The user cancelled pairing: the login waiting for the link button ends
    // after its current attempt, and no new one starts until allowLogin().
    void cancelLogin() { loginPaused_ = true; }
    // Whether the bridge said it no longer knows the stored user name. The
    // name is kept (only a successful pairing replaces it); until then a
    // request pairs again first, or, with pairing on demand off, fails at
    // once without reaching the bridge.
    bool pairingNeeded() const { return pairingNeeded_; }
    // On (the default): a request that finds pairing needed waits for the
    // link button as login does. The command-line tool turns it off so a
    // command ends at once and tells the user to pair.
    void setPairsOnDemand(bool pairs) { pairsOnDemand_ = pairs; }
    void allowLogin() { loginPaused_ = false; }
    bool loginPaused() const { return loginPaused_; }

    // ---- Which bridge, and how it is reached ----
    // On: before the user name goes to an address, the bridge there is
    // asked who it is (GET /api/config, no user name), over HTTPS where it
    // answers so, with the stored key pin; another bridge, or a key other
    // than the pinned one, gets nothing. Over plain HTTP it is asked again
    // on every new connection. The programs turn it on; off (the default),
    // requests go to the address as written.
    void setVerifiesBridge(bool verifies) { verifiesBridge_ = verifies; }
    // On: a request that finds no bridge at the address searches for the
    // paired one once in this object's life (followMovedBridge) and goes on
    // there. The command-line tool turns it on.
    void setFollowsOnce(bool follows) { followsOnce_ = follows; }
    // What happens to the link, told on the thread it happened on.
    enum class LinkEvent {
        Moved,        // `from` no longer answers; the paired bridge answers at `to`, now stored
        OtherBridge,  // another bridge (or no bridge) answers at `from`; nothing sent to it
        KeyChanged,   // the bridge at `from` shows a key other than the pinned one
    };
    using LinkObserver = std::function<void(LinkEvent event, const std::string& from, const std::string& to)>;
    void setLinkObserver(LinkObserver observer) {
        std::lock_guard lock(observersMutex_);
        linkObserver_ = std::move(observer);
    }
    // The stored address does not answer: searches (portal and local network)
    // for the bridge with the stored id at another address and, found, uses
    // and stores that address, without pairing again. Takes the search's 3 s.
    bool followMovedBridge();
    // Whether the bridge is reached over HTTPS; nothing until it was asked.
    std::optional<bool> encrypted() const;
    // Trusts the key the bridge at the address shows now (after a reset or a
    // replacement): nothing on success, else why not. Refused when what
    // answers there is another bridge than the paired one.
    std::optional<std::string> trustNewCertificate();
    // The user chose to pair with the other bridge answering at the address:
    // the stored identity goes, and the next request waits for the link
    // button before the stored user name is ever sent there.
    void pairWithBridgeAtAddress();

    // ---- JSON text (stateless) ----
    static std::string JSONFromDictionary(const Value& dictionary) { return jsontext::JSONFromDictionary(dictionary); }
    static Value dictionaryOfDictionariesFromJSON(const std::optional<std::string>& text) {
        return jsontext::dictionaryOfDictionariesFromJSON(text);
    }
    static Value dictionaryFromJSON(const std::optional<std::string>& text) {
        return jsontext::dictionaryFromJSON(text);
    }
    static Value arrayOfDictionariesFromJSON(const std::optional<std::string>& text) {
        return jsontext::arrayOfDictionariesFromJSON(text);
    }

    // ---- Request layer ----
    // A request's reply text, or why there was none.
    struct Reply {
        std::optional<std::string> text;
        std::optional<RequestFailure> failure;
        explicit operator bool() const { return text.has_value(); }
    };
    // One request; a failure is reported as every request's is, and also
    // returned, for callers that act on why it failed.
    Reply sendRequest(const std::string& method, const std::string& path, const Value* body = nullptr);
    bool sendPUTRequestToUrl(const Value& settings, const std::string& path);
    std::optional<std::string> sendPOSTRequestToUrl(const Value& settings, const std::string& path);
    std::optional<std::string> sendDELETERequestToUrl(const std::string& path);
    std::optional<std::string> sendGETRequestToUrl(const std::string& path);
    std::optional<std::string> getUsername() const;
    // A user name the bridge may issue: 1-64 letters, digits, "-" and "_".
    // Anything else could steer the requests it is pasted into.
    static bool isUsableUsername(std::string_view name);
    // How a user name is shown anywhere a person or a log may see it: its
    // first four characters and an ellipsis.
    static std::string shortenedUsername(std::string_view name);

    // ---- Discovery and login ----
    void discoverBridge();
    // Waits for the link button (loginAttempts attempts, loginPause apart).
    // Not paired: why, e.g. NotPaired when every attempt was refused (the
    // button was not pressed), NoReply when the bridge could not be reached.
    LoginResult logIn();
    // Pairs once more even with a working pairing: waits for the link button
    // and stores the name the bridge then issues. Without a new pairing the
    // name in use stays in use.
    bool pairAgain();
    std::optional<std::string> bridgeIP() const;
    void setBridgeIP(std::optional<std::string> address);  // e.g. the settings window's "find bridge"
    // "HOST" or "HOST:PORT" and nothing else: letters, digits, "." and "-"
    // in the host, a port of 1-65535 without leading zeros. What a portal or
    // a search names must be one before it is asked anything.
    static bool isPlainBridgeAddress(std::string_view address);
    // Every bridge that can be found now, each once, as "HOST" or
    // "HOST:PORT" (when the port is not 80): those the portal lists, then
    // those that answer a search of the local network (at `target`, or the
    // "ssdpAddress" setting) and show the bridge's interface at
    // GET /api/config. Takes the search's 3 s; stores nothing.
    std::vector<std::string> findBridges(const std::optional<std::string>& target = std::nullopt);
    // Only the search of the local network, as findBridges.
    std::vector<std::string> searchLocalNetwork(const std::optional<std::string>& target = std::nullopt);
    bool loggedIn() const { return loggedIn_; }
    // The newest failure of any request, on any thread.
    std::optional<RequestFailure> lastFailure() const;
    // The newest failure of a request the calling thread made: what a
    // caller that must know why its own request failed reads, untouched by
    // what other threads' requests meet meanwhile.
    std::optional<RequestFailure> lastFailureOnThisThread() const;
    // Whether the bridge answered the newest request that reached the
    // network (with anything HTTP); nothing before the first.
    std::optional<bool> answering() const;
    // The time a whole reply may take (default 30 s); connecting takes at
    // most 3 s of it.
    void setReplyTimeout(std::chrono::milliseconds timeout) { replyTimeout_ = timeout; }

    // ---- Observers ----
    // Called on the thread that made the request, with no lock of the
    // client held: hand the news to your own thread and return. Never make
    // a request from inside an observer.
    using FailureObserver = std::function<void(const RequestFailure&)>;
    // `answering` false: no reply (refused, unreachable, timed out);
    // true: a reply came again. Called on changes only (and for the first).
    using AnsweringObserver = std::function<void(bool answering, const std::string& address)>;
    int observeFailures(FailureObserver observer);
    int observeAnswering(AnsweringObserver observer);
    void removeObserver(int id);
    // A list of more than maxListMembers read by someone else (the
    // explorer): logged and reported as the lamp list's would be.
    void noteTooManyMembers(const std::string& listPath, std::size_t members);

    // ---- Lamps and groups ----
    std::optional<Value> lightsArray();  // list of lamp records
    std::optional<Value> groupsArray();  // list of group records
    std::optional<Value> lightsArrayForGroup(const std::string& groupId);
    std::optional<Value> settingsForGroup(const std::string& groupId);
    void makeGroupNamed(const std::vector<const LampIdentifying*>& strips, const std::string& name);
    void removeGroupNamed(const std::string& groupId);
    void renameGroupNewName(const std::string& groupId, const std::string& newName);
    void renameLampNewName(const std::string& lampId, const std::string& newName);

    // ---- Paced commands ----
    // Queues a PUT of `body` (the bridge's own keys) to a lamp's state or a
    // group's action; see CommandQueue. The switching operations below use it.
    std::shared_ptr<CommandTicket> sendCommand(BridgeCommand command);
    // Waits (real time) until every queued command was sent or given up.
    void waitForCommands();
    CommandQueue& commandQueue() { return *commandQueue_; }

    // ---- Switching, settings, false dusk and dawn ----
    void allOn(bool on);
    void groupOn(const std::string& groupId, bool on);
    void lampOn(const std::string& lampId, bool on);
    void sendSettingsToLamp(const Value& settings, const std::string& lampId);
    void sendSettingsToGroup(const Value& settings, const std::string& groupId);
    void sendSettingsToLamp(const Value& settings);  // the record's own "id"
    void startFalseDuskForLampWithTransition(const std::string& lampId, double minutes);
    void startFalseDuskForGroupWithTransition(const std::string& groupId, double minutes);
    void startFalseDawnForLampWithTransition(const std::string& lampId, double minutes);
    void startFalseDawnForGroupWithTransition(const std::string& groupId, double minutes);

    platform::DefaultsStore& defaults() const { return defaults_; }
    platform::Clock& clock() const { return clock_; }

    // The member identifiers of a group's "lights" text (["1","2"], possibly
    // without its closing bracket), first occurrence of each, in order.
    static std::vector<std::string> memberIdentifiers(const std::string& lightsText);

private:
    // One request with the request layer's steps; reports nothing.
    Reply perform(const std::string& method, const std::string& path, const Value* settings);
    // perform's steps: an address and a user name (discovering and pairing
    // as needed), the check of who answers at the address, the request, and
    // what a missing or received response means.
    std::optional<Reply> setUpForRequest(const std::string& method, const std::string& path);
    struct Link;
    std::optional<RequestFailure> verifyLinkBeforeRequest(std::optional<std::string>& address, Link& link);
    platform::HttpRequest requestOverLink(const std::string& method, const std::string& path, const Value* settings,
                                          const Link& link, const std::string& username) const;
    Reply noResponse(const std::string& method, const std::string& path, const std::string& address,
                     const platform::HttpError& error);
    Reply readResponse(const std::string& method, const std::string& path, const std::string& address,
                       const std::string& username, const platform::HttpResponse& response);
    // The description of an {"error": ...} reply, if the reply is one.
    static std::optional<std::string> bridgeErrorDescription(const std::string& text);
    void noteBridgeError(const std::string& method, const std::string& path, const std::string& description,
                         const std::string& address, const std::string& username);
    // The same, with a failure reported.
    std::optional<std::string> request(const std::string& method, const std::string& path, const Value* settings);
    void noteFailure(const RequestFailure& failure);
    // A copy of an observer, taken under observersMutex_, to call without it.
    template <class Observer>
    Observer observerCopy(const Observer& member) const {
        std::lock_guard lock(observersMutex_);
        return member;
    }
    // Pairing: says once at a time that no bridge is known (with a way to
    // the settings); one request for a user name, which stores the name the
    // bridge issued or notes why not in loginFailure_ (true: trying again is
    // pointless, nothing that pairs answers there).
    void tellNoBridgeFound();
    bool attemptLogin(const platform::HttpRequest& request, const std::string& address);
    void noteAnswering(bool answering, const std::string& address);
    struct ListReading {
        const char* listPath;
        const char* stateKey;
        bool logSkipped;      // the lamps' "dipping out" line
        bool needsMembers;    // groups: a full record also holds "lights"
        bool missingOnIsOff;  // groups: a missing "on" reads as off
    };
    std::optional<Value> readList(const ListReading& how);
    void sendSettings(const Value& settings, bool group, const std::string& id);
    void enqueue(bool group, const std::string& id, Value body, bool replaceable = true);
    // Whether `address` answers GET /api/config with a bridge's interface.
    bool showsBridgeInterface(const std::string& address);
    // Where requests to `address` go ("https://HOST:PORT" or "http://..."),
    // and the key pin they require; a failure when the bridge there must not
    // be sent anything. `pairing`: another bridge is acceptable (it is
    // stored when pairing succeeds).
    struct Link {
        std::string address;
        std::string base;
        std::string pin;
        std::string bridgeId;
    };
    // `fresh`: asked again even when the address was checked before (a new
    // connection over plain HTTP may reach another device).
    std::optional<RequestFailure> linkTo(const std::string& address, bool pairing, Link& link, bool fresh = false);
    void forgetLink();
    void tellLink(LinkEvent event, const std::string& from, const std::string& to);

    platform::HttpClient& http_;
    platform::DefaultsStore& defaults_;
    platform::Clock& clock_;
    const std::uint64_t number_;  // this bridge's among those the process made
    platform::Window* pushButtonWindow_ = nullptr;
    platform::ProgressIndicator* throbber_ = nullptr;
    platform::Window* prefsWindow_ = nullptr;
    platform::TabView* prefsTabView_ = nullptr;
    platform::Alerts* alerts_ = nullptr;
    platform::LocalSearch* localSearch_ = nullptr;
    // These four: observersMutex_.
    std::function<void(int)> loginObserver_;
    std::function<void(bool)> loginEndObserver_;
    std::function<void(DiscoveryStep, const std::string&)> discoveryObserver_;
    std::function<void(const std::string&, const std::string&, const std::string&)> errorObserver_;
    std::atomic<bool> loginPaused_{false};
    std::atomic<bool> pairingNeeded_{false};
    std::atomic<bool> unableToFindAsked_{false};  // the "unable to find" question is open
    std::atomic<bool> pairsOnDemand_{true};

    std::atomic<bool> verifiesBridge_{false};
    std::atomic<bool> followsOnce_{false};
    std::atomic<bool> followed_{false};
    mutable std::mutex linkMutex_;
    std::optional<Link> link_;         // the address checked, while it answers
    std::optional<Link> pairingLink_;  // what a login in progress pairs with (setUpMutex_)
    LinkObserver linkObserver_;        // observersMutex_

    mutable std::mutex addressMutex_;
    std::optional<std::string> bridgeIP_;
    std::atomic<bool> loggedIn_{false};
    std::recursive_mutex setUpMutex_;  // one discovery or login at a time
    std::atomic<std::chrono::milliseconds> replyTimeout_{std::chrono::milliseconds(30000)};
    std::optional<RequestFailure> loginFailure_;  // why the newest login failed (setUpMutex_)

    mutable std::mutex observersMutex_;
    int nextObserverId_ = 1;
    std::vector<std::pair<int, FailureObserver>> failureObservers_;
    std::vector<std::pair<int, AnsweringObserver>> answeringObservers_;
    std::optional<RequestFailure> lastFailure_;
    std::optional<bool> answering_;

    // Last, so it goes first: its thread still sends through the members above.
    std::unique_ptr<CommandQueue> commandQueue_;
};

// The failures of every request made while it lives, on any thread, in the
// order they were reported: for a caller that must say whether, and why, an
// operation that reports nothing itself went wrong.
class FailureRecorder {
public:
    explicit FailureRecorder(BridgeBridge& bridge);
    ~FailureRecorder();
    FailureRecorder(const FailureRecorder&) = delete;
    FailureRecorder& operator=(const FailureRecorder&) = delete;

    std::vector<RequestFailure> failures() const;
    std::optional<RequestFailure> last() const;
    bool empty() const;

private:
    // The list before the observer: a failure may arrive as soon as it is set.
    mutable std::mutex mutex_;
    std::vector<RequestFailure> failures_;
    BridgeBridge& bridge_;
    int observer_;
};

}  // namespace glowmere
