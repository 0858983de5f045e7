#include "sim/SsdpResponder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace glowmere::sim {

SsdpResponder::~SsdpResponder() {
    stop();
}

bool SsdpResponder::start(const std::string& host, int port, const std::string& httpAddress, std::string& error) {
    in_addr group{};
    if (::inet_pton(AF_INET, host.c_str(), &group) != 1) {
        error = "--ssdp takes a numeric IPv4 address, not " + host;
        return false;
    }
    const bool multicast = IN_MULTICAST(ntohl(group.s_addr));
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) {
        error = std::string("cannot make a UDP socket: ") + std::strerror(errno);
        return false;
    }
    int yes = 1;
    ::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_port = htons(static_cast<std::uint16_t>(port));
    bound.sin_addr.s_addr = multicast ? htonl(INADDR_ANY) : group.s_addr;
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0) {
        error = "cannot answer discovery on " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
        stop();
        return false;
    }
    socklen_t length = sizeof bound;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.sin_port);
    if (multicast) {
        bool joined = false;
        for (const char* interface : {"127.0.0.1", "0.0.0.0"}) {
            ip_mreq request{};
            request.imr_multiaddr = group;
            ::inet_pton(AF_INET, interface, &request.imr_interface);
            if (::setsockopt(socket_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) == 0) joined = true;
        }
        if (!joined) {
            error = "cannot join the group " + host + ": " + std::strerror(errno);
            stop();
            return false;
        }
    }
    answer_ =
        "HTTP/1.1 200 OK\r\n"
        "CACHE-CONTROL: max-age=100\r\n"
        "EXT:\r\n"
        "LOCATION: http://" +
        httpAddress +
        "/description.xml\r\n"
        "SERVER: Linux/6 UPnP/1.0 glowmere-bridge-sim/1.0\r\n"
        "ST: upnp:rootdevice\r\n"
        "USN: uuid:2f402f80-da50-11e1-9b23-02474d0a1b2c::upnp:rootdevice\r\n"
        "\r\n";
    thread_ = std::thread([this] { run(); });
    return true;
}

void SsdpResponder::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
}

void SsdpResponder::run() {
    while (!stopping_) {
        pollfd p{socket_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buffer[2048];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        ssize_t n = ::recvfrom(socket_, buffer, sizeof buffer - 1, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n <= 0) continue;
        buffer[n] = '\0';
        // Only searches are answered; the device's own announcements and
        // other traffic on the group are not.
        if (std::strncmp(buffer, "M-SEARCH", 8) != 0 || !std::strstr(buffer, "ssdp:discover")) continue;
        ::sendto(socket_, answer_.data(), answer_.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
    }
}

}  // namespace glowmere::sim
