#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace glowmere::platform {

// One device's answer to a search of the local network.
struct LocalSearchReply {
    std::string sender;    // the answering host's IPv4 address
    std::string location;  // its LOCATION header (the description's URL), may be empty
};

// A search of the local network for devices (UPnP's M-SEARCH over UDP).
class LocalSearch {
public:
    virtual ~LocalSearch() = default;
    // Sends the search to `target` ("HOST:PORT"; a multicast group is asked
    // on every interface, the loopback one included) and gathers the answers
    // that come within `wait`, each once. Blocks for the whole `wait`.
    virtual std::vector<LocalSearchReply> search(const std::string& target, std::chrono::milliseconds wait) = 0;
};

// The real search, on a UDP socket; waits in real time.
class SsdpSearch final : public LocalSearch {
public:
    static constexpr const char* defaultTarget = "239.255.255.250:1900";
    std::vector<LocalSearchReply> search(const std::string& target, std::chrono::milliseconds wait) override;
};

// "HOST[:PORT]" of a URL such as "http://10.0.0.2:80/description.xml" (the
// port left out when it is 80); empty when it is no http URL.
std::string hostOfURL(const std::string& url);

}  // namespace glowmere::platform
