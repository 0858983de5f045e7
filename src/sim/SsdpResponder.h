#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace glowmere::sim {

// Answers searches of the local network (UPnP's M-SEARCH over UDP) the way
// the device does: with the address of its description, which the HTTP
// server serves at "/description.xml". On a multicast group the socket joins
// it on the loopback interface and the default one; on any other address it
// binds there, shared, so several simulators can answer one broadcast (the
// loopback one, 127.255.255.255, lets tests search without leaving the host).
class SsdpResponder {
public:
    SsdpResponder() = default;
    ~SsdpResponder();
    SsdpResponder(const SsdpResponder&) = delete;
    SsdpResponder& operator=(const SsdpResponder&) = delete;

    // `httpAddress` is what the answers name as the description's host and
    // port ("127.0.0.1:8080"). Port 0 picks a free one.
    bool start(const std::string& host, int port, const std::string& httpAddress, std::string& error);
    int port() const { return port_; }
    void stop();

private:
    void run();

    int socket_ = -1;
    int port_ = 0;
    std::string answer_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace glowmere::sim
