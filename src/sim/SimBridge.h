#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace glowmere::sim {

using Json = nlohmann::ordered_json;
using Millis = std::chrono::milliseconds;
using SimTime = std::chrono::sys_time<Millis>;

// What the bridge's HTTP interface answers: a status and a JSON text.
struct Reply {
    int status = 200;
    std::string body;  // JSON; an HTML page with a 404; the XML description
};

// One lamp's values at a moment; a transition moves between two of these.
struct LampLevels {
    int bri = 254;
    int hue = 8000;
    int sat = 140;
};

struct Transition {
    SimTime start;
    SimTime end;
    LampLevels from;
    LampLevels to;
    bool offAtEnd = false;  // {"on":false} with a transition: dim, then switch off
    int restoreBri = 0;     // brightness the lamp comes back with when switched on again
};

struct Lamp {
    std::string name;
    std::string type;  // "Extended color light", "Color temperature light" or "Dimmable light"
    std::string modelid;
    std::string swversion = "1.2.0";
    std::string uniqueid;
    bool on = false;
    LampLevels levels;
    int ct = 366;
    std::array<double, 2> xy{0.3227, 0.329};  // as last set by "xy" (mode "xy")
    std::string alert = "none";
    SimTime alertEnd{};  // an alert shows until then, "none" after
    std::string effect = "none";
    std::string colormode = "hs";
    bool reachable = true;
    std::optional<Transition> transition;

    bool hasColour() const { return type == "Extended color light"; }
    bool hasColourTemperature() const { return type != "Dimmable light"; }
};

struct Group {
    std::string name;
    std::vector<std::string> lights;
    std::string type = "LampGroup";
};

struct Schedule {
    std::string name;
    std::string description;
    Json command;  // {"address","method","body"}
    std::string time;
    std::string owner;  // the user name that made it; the command runs as this user
    std::string created;
    int mask = 0;          // weekdays, Monday 64 ... Sunday 1
    int secondOfDay = 0;   // UTC
    SimTime nextFiring{};  // the next time it fires, after the clock's current time
};

// A scene kept on the bridge: its lamps and, for each, the state recalled.
struct Scene {
    std::string name;
    std::vector<std::string> lights;
    std::map<std::string, Json> lightstates;  // lamp id -> {"on","bri","hue","sat","ct"}
    std::string owner;
    std::string lastupdated;
    bool recycle = false;
};

struct LinkButton {
    bool never = false;     // presses are ignored
    bool heldDown = false;  // pressed for the whole run
    std::optional<SimTime> pressedUntil;
    std::optional<SimTime> pressAt;  // "after=SECONDS": pressed by itself at this time
};

struct StartOptions {
    int lamps = 5;
    int groups = 2;
    std::string user;
    std::string linkButton;  // "", "pressed", "never", "after=SECONDS"
    bool demo = false;
    std::string address;     // host:port, for the discovery portal's answer
    unsigned seed = 0;       // 0: random
    bool namesOnly = false;  // "lights" and "groups" list names only, as older bridges do
    std::string bridgeId;    // the bridge's identity in its configuration ("": the default one)
};

// The simulated bridge's state and its whole HTTP interface, independent of
// the server that carries it. All methods are safe to call from several
// threads; one mutex guards everything.
class SimBridge {
public:
    explicit SimBridge(const StartOptions& options, SimTime now);

    // The bridge interface: a request as it arrives (path with the leading
    // "/api", body as received).
    Reply handle(const std::string& method, const std::string& path, const std::string& body);

    // Control of the simulation (the /sim endpoints).
    Reply control(const std::string& method, const std::string& path, const std::string& body);

    // Moves the simulation's own clock forward to the time its clock source
    // shows now (real-time mode) and carries out whatever falls due.
    void tick();

    // Persistence: the whole state as JSON, and back.
    Json saveState() const;
    bool loadState(const Json& state, std::string& error);
    // Bumped on every change; the server saves when it moves.
    std::uint64_t changeCount() const;

    SimTime now() const;
    void setAddress(const std::string& address);
    // Set at construction, never changed.
    const std::string& bridgeId() const { return bridgeId_; }

private:
    Reply controlUnchecked(const std::string& method, const std::string& path, const std::string& body);
    // The control requests' parts, with the lock held: the clock (nothing
    // when the request is none of its), lamps queued for the next search,
    // and a lamp changed as a wall switch or another application would.
    std::optional<Reply> controlClockLocked(const std::string& method, const std::vector<std::string>& parts,
                                            const Json& request);
    Reply queueNewLampsLocked(const Json& request);
    Reply changeLampElsewhereLocked(const std::string& id, const Json& request);

    // Everything below expects mutex_ held.
    SimTime clockNow() const;
    void advanceLocked(SimTime target);
    std::optional<SimTime> nextEventLocked() const;
    void settleLampLocked(Lamp& lamp, SimTime t);
    LampLevels levelsAt(const Lamp& lamp, SimTime t) const;
    void fireScheduleLocked(const std::string& id);
    void demoChangeLocked();
    void changed();

    Reply handleLocked(const std::string& method, const std::string& path, const std::string& body, bool fromSchedule);
    Reply pairLocked(const std::string& body);
    Reply lightsLocked(const std::string& method, const std::vector<std::string>& parts, const Json* body,
                       const std::string& address);
    Reply groupsLocked(const std::string& method, const std::vector<std::string>& parts, const Json* body,
                       const std::string& address);
    // The lamps a group's or scene's "lights" member names, each once (an
    // error object when one is wrong; `resource`: "/groups" or "/scenes").
    std::optional<Json> lampListLocked(const Json& value, const std::string& resource, bool emptyAllowed,
                                       std::vector<std::string>& out) const;
    // groupsLocked's parts: a new group, a change of name or members, and a
    // state for every member.
    Reply createGroupLocked(const Json* body, const std::string& address);
    Json changeGroupLocked(Group& group, const std::string& groupAddress, const Json& body);
    Json groupActionLocked(const std::vector<std::string>& members, const std::string& groupAddress, const Json& body);
    Reply schedulesLocked(const std::string& method, const std::vector<std::string>& parts, const Json* body,
                          const std::string& user, const std::string& address);
    Reply scenesLocked(const std::string& method, const std::vector<std::string>& parts, const Json* body,
                       const std::string& user, const std::string& address);
    // scenesLocked's parts: a scene's lamps (keeping the states of those
    // that stay), a new scene, a change of name, lamps or stored states, and
    // a change of one lamp's stored state.
    void setSceneLightsLocked(Scene& scene, std::vector<std::string> lights);
    Reply createSceneLocked(const Json* body, const std::string& user, const std::string& address);
    Json changeSceneLocked(Scene& scene, const std::string& sceneAddress, const Json& body);
    Json changeSceneLampStateLocked(Scene& scene, const std::string& lampId, const Lamp& lamp,
                                    const std::string& stateAddress, const Json& body);
    // Recalls a scene on the members of a group (all lamps for group 0).
    Reply recallSceneLocked(const std::string& groupAddress, const std::vector<std::string>& members, const Json& body);
    Json sceneJson(const Scene& scene, bool withStates) const;
    Json scenesJson() const;
    Json capturedStateLocked(const Lamp& lamp) const;
    std::string newSceneId();
    void addDemoScenes();
    Reply configLocked(const std::string& method, const Json* body, bool known);
    Json applyStateLocked(Lamp& lamp, const Json& body, const std::string& prefix, bool reportErrors);
    // applyStateLocked's change of the lamp once the keys it takes are known
    // (a transition when `tenths` is above 0), and the alert it starts.
    void changeLampLocked(Lamp& lamp, const std::map<std::string, Json>& accepted, const std::string& prefix,
                          long long tenths, bool switchOn, bool switchOff);
    void startAlertLocked(Lamp& lamp, const std::string& alert, const std::string& prefix);
    Json lampJson(const Lamp& lamp) const;
    Json lampStateJson(const Lamp& lamp) const;
    Json groupJson(const Group& group) const;
    Json scheduleJson(const Schedule& schedule) const;
    Json lightsJson() const;
    Json groupsJson() const;
    Json schedulesJson() const;
    Json configJson(bool full) const;
    std::string descriptionXml() const;
    std::vector<std::string> allLampIds() const;
    std::string newUserName();
    void addLamp(const std::string& name, const std::string& type);
    bool scheduleTimeValid(Schedule& schedule, const std::string& time) const;
    // loadState's schedules; nothing (with `error` saying why) when one is unusable.
    std::optional<std::map<int, Schedule>> savedSchedules(const Json& state, std::string& error) const;
    void planScheduleLocked(Schedule& schedule);
    void planSearchArrivalsLocked();

    mutable std::mutex mutex_;
    // The clock: frozen at `base_` (manual mode), or `base_` plus the real
    // time elapsed since `anchor_` (real-time mode).
    bool realTime_ = true;
    SimTime base_;
    std::chrono::steady_clock::time_point anchor_;
    SimTime current_;  // how far events have been carried out

    std::map<int, Lamp> lamps_;
    std::map<int, Group> groups_;
    std::map<int, Schedule> schedules_;
    std::map<std::string, Scene> scenes_;
    std::map<std::string, Json> whitelist_;  // user name -> {"name","created","lastused"}
    std::set<std::string> revoked_;          // users the "unauthorized" fault shuts out
    LinkButton linkButton_;
    std::string address_;
    std::string bridgeName_ = "Glowmere simulated bridge";
    std::string bridgeId_;

    struct QueuedLamp {
        std::string name;
        std::string type;
        SimTime appearAt{};
        bool planned = false;
    };
    std::vector<QueuedLamp> queuedLamps_;
    double searchDelaySeconds_ = 20.0;
    std::optional<SimTime> searchStarted_;

    bool demo_ = false;
    bool namesOnly_ = false;
    std::optional<SimTime> nextDemoChange_;
    std::mt19937 random_;
    std::uint64_t changes_ = 0;
};

// Helpers shared with the server and tests.
std::string formatTime(SimTime t);                          // 2026-12-08T06:29:59.000Z
std::optional<SimTime> parseTime(const std::string& text);  // the same, "Z" and fraction optional
std::string errorArray(int type, const std::string& address, const std::string& description);

std::vector<std::string> splitPath(const std::string& path);

}  // namespace glowmere::sim
