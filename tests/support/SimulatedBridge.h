#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace glowmere::testing {

struct SimRequest {
    std::string method;
    std::string path;
    std::string body;
    std::string time;
};

// The simulated bridge as a real process on an ephemeral loopback port.
//
// Its default house (Options{}): lamps "1" Hall, "2" Küche, "3" Living room,
// "4" Bedroom (white only: no "hue"/"sat"), "5" Study, then "Lamp N"; every
// fourth lamp is white only. Groups "1" Downstairs and "2" Upstairs share the
// lamps in contiguous runs (5 lamps: 1-2 and 3-5), then "Group N". Odd lamps
// start switched on. Changes take effect at once unless a "transitiontime"
// is given. The bridge's clock runs on real time until a test sets it.
class SimulatedBridge {
public:
    struct Options {
        int lamps = 5;
        int groups = 2;
        std::string user = "testuser";  // a user name that is already paired ("" for none)
        std::string linkButton;         // "" (not pressed), "pressed", "never", "after=SECONDS"
        bool demo = false;
        std::vector<std::string> extraArgs;
        bool namesOnly = false;              // "lights" and "groups" list names only, as older bridges do
        std::string ssdp;                    // "HOST:PORT": answer searches of the local network there
        std::string listen = "127.0.0.1:0";  // where it serves HTTP (a stopped one's address to take its place)
        std::string tls;                     // "HOST:PORT": serve HTTPS there too, with a new certificate
        std::string tlsKeyFile;              // keeps the certificate's key across restarts
        std::string bridgeId;                // its identity ("": the simulator's default)
        std::string stateFile;               // keeps the bridge (its users too) across restarts
    };

    SimulatedBridge();
    explicit SimulatedBridge(Options options);  // starts the program, waits for "listening on"
    ~SimulatedBridge();                         // SIGTERM and wait
    SimulatedBridge(const SimulatedBridge&) = delete;
    SimulatedBridge& operator=(const SimulatedBridge&) = delete;

    int port() const;
    std::string address() const;     // "HOST:PORT" (HOST of Options::listen)
    int ssdpPort() const;            // where it answers searches (with Options::ssdp)
    int tlsPort() const;             // where it serves HTTPS (with Options::tls)
    std::string tlsAddress() const;  // "https://HOST:PORT" (HOST of Options::tls)
    std::string user() const;

    // A raw request as any other client would send it; nothing when no reply.
    std::optional<std::string> request(const std::string& method, const std::string& path,
                                       const std::string& body = "");
    // The same, with the HTTP status (0 when no reply).
    std::optional<std::string> request(const std::string& method, const std::string& path, const std::string& body,
                                       int& status);
    // A request under the paired user's base path: "lights/1" -> /api/USER/lights/1.
    std::optional<std::string> userRequest(const std::string& method, const std::string& path,
                                           const std::string& body = "");

    void pressLinkButton();
    // Requests to the bridge interface (paths as received), arrival order;
    // control calls under /sim are not logged.
    std::vector<SimRequest> requestLog();
    void clearRequestLog();
    // The bridge is switched off (process ends); further requests get no reply.
    void stop();
    // Ends the program with `signal` and gives its exit status (-1 when it
    // did not exit normally, for example killed by the signal).
    int stopWithSignal(int signal);

    // The bridge's clock. Setting it stops it (manual mode) at that time,
    // given as "2026-12-08T06:29:59Z"; what lies between is not carried out.
    void setClock(const std::string& utcTime);
    // Moves a stopped clock on, carrying out what falls due on the way
    // (schedules fire, transitions end, searched lamps appear).
    void advanceClock(double seconds);
    void runClockInRealTime();
    std::string clock();  // the bridge's time, "2026-12-08T06:29:59.000Z"

    // Faults the next `count` requests meet (count < 0: until cleared), only
    // those whose path contains `pathContains` when given. Every such request
    // is logged. A closed connection and an error page leave the request
    // undone; a malformed or Latin-1 reply comes after it was carried out.
    // Latency is real time (the client's time-outs are), so keep it short.
    void addLatency(int millis, int count = -1, const std::string& pathContains = "");
    void closeWithoutReply(int count = 1, const std::string& pathContains = "");
    void malformedReply(int count = 1, const std::string& pathContains = "");
    void errorPage(int count = 1, const std::string& pathContains = "");              // HTTP 500 with an HTML page
    void nonAsciiReply(int count = 1, const std::string& pathContains = "");          // reply in Latin-1
    void statusPage(int code, int count = 1, const std::string& pathContains = "");   // an HTML page with `code`
    void oversizedReply(int count = 1, const std::string& pathContains = "");         // 9 MB of JSON
    void endlessReply(int count = 1, const std::string& pathContains = "");           // a reply that never ends
    void longList(int members, int count = 1, const std::string& pathContains = "");  // a names-only list
    // A reply of `body` (HTTP 200) to the next `count` requests of `method`
    // ("" any) whose path holds `pathContains`; the request is not carried out.
    void fixedReply(const std::string& body, const std::string& method, int count = 1,
                    const std::string& pathContains = "");
    void makeUnauthorized(const std::string& user);  // the bridge no longer knows the name
    void clearFaults();

    // A change made elsewhere (wall switch, another application): JSON with any
    // of "on", "bri", "hue", "sat", "ct", "name", "reachable".
    void changeLamp(const std::string& lampId, const std::string& json);
    // Lamps the next search finds, `delaySeconds` after the search starts.
    void queueNewLamps(int count, double delaySeconds = 20, const std::vector<std::string>& names = {});
    // Adds (or restores) a paired user name.
    void addUser(const std::string& name);
    // Everything the bridge holds, as JSON: "lights", "groups", "schedules",
    // "config", "queued", "clock".
    std::string state();

    // A control call; throws when the simulator refuses it.
    std::string control(const std::string& method, const std::string& path, const std::string& body = "");

private:
    std::string host() const;  // where it serves HTTP, as a client reaches it
    void addFault(const std::string& kind, int count, int millis, const std::string& pathContains, int code = 0,
                  int members = 0);

    Options options_;
    pid_t pid_ = -1;
    int port_ = 0;
    int ssdpPort_ = 0;
    int tlsPort_ = 0;
};

}  // namespace glowmere::testing
