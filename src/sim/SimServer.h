#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/SimBridge.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace glowmere::sim {

// A fault the next requests meet (or all of them, with `remaining` < 0).
struct Fault {
    // "latency", "close", "malformed", "error500", "nonascii", "status"
    // (an HTML page with `code`), "oversized" (a 9 MB reply), "endless" (a
    // reply that never ends), "members" (a names-only list of `members`),
    // "reply" (200 with `body`, the request not carried out)
    std::string kind;
    int remaining = 1;
    int millis = 0;            // latency only
    int code = 0;              // status only
    int members = 0;           // members only
    std::string pathContains;  // only requests whose path holds this text
    std::string method;        // only requests of this method ("": any)
    std::string body;          // reply only
};

// Carries a SimBridge over HTTP: the request log, the faults, the state file
// and the clock's ticking in real-time mode.
class SimServer {
public:
    struct Options {
        StartOptions start;
        std::string stateFile;
        // The HTTPS certificate's key (PEM): read from here when the file
        // exists, else made and written here; empty: a new key every start.
        std::string tlsKeyFile;
    };

    explicit SimServer(Options options);
    ~SimServer();

    bool start(const std::string& host, int port, std::string& error);
    // After start(): the same bridge over HTTPS too, with a certificate made
    // now and signed by itself (a new key every start unless it is kept in
    // Options::tlsKeyFile).
    bool startTls(const std::string& host, int port, std::string& error);
    int port() const { return port_; }
    int tlsPort() const { return tlsPort_; }
    void serve();   // blocks until stop()
    void stop();    // from any thread
    void finish();  // after serve() returned: last save, ticker ends

private:
    // start's steps: a state file read back (or set aside when unreadable),
    // the listening socket, and the thread that carries out the clock's events.
    void loadStateFile(SimTime now);
    bool listen(const std::string& host, int port, std::string& error);
    void startTicker();
    void route(const httplib::Request& request, httplib::Response& response);
    // route's steps for a request to the bridge: the request log, the faults
    // it meets (the one fault that shapes the reply; latencies add up), a
    // reply the fault makes instead of the bridge, and the bridge's reply.
    void logRequest(const httplib::Request& request);
    Fault faultsMetBy(const httplib::Request& request, int& latency);
    bool answerWithFault(const Fault& chosen, const httplib::Request& request, httplib::Response& response);
    void answerFromBridge(const httplib::Request& request, httplib::Response& response, const std::string& fault);
    Reply controlFaultsAndLog(const std::string& method, const std::string& path, const std::string& body);
    void saveIfChanged();
    void closeConnection(const httplib::Request& request);
    void widenBacklog();
    void endClientConnections();
    void configure(httplib::Server& server);

    Options options_;
    std::unique_ptr<httplib::Server> http_;
    std::unique_ptr<SimBridge> bridge_;
    int port_ = 0;
    std::unique_ptr<httplib::Server> tls_;
    int tlsPort_ = 0;
    std::thread tlsServing_;

    std::mutex logMutex_;
    std::deque<Json> log_;
    std::size_t logBytes_ = 0;
    std::vector<Fault> faults_;

    std::mutex saveMutex_;
    std::uint64_t savedChanges_ = 0;

    std::mutex tickMutex_;
    std::condition_variable tickWake_;
    bool stopping_ = false;
    std::thread ticker_;
};

}  // namespace glowmere::sim
