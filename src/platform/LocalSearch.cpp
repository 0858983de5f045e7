#include "platform/LocalSearch.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <optional>

namespace glowmere::platform {

namespace {

std::optional<sockaddr_in> resolve(const std::string& target) {
    const auto colon = target.rfind(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    const std::string host = target.substr(0, colon);
    const std::string port = target.substr(colon + 1);
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), ::isdigit)) return std::nullopt;
    const int number = std::stoi(port);
    if (number < 1 || number > 65535) return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
    sockaddr_in address = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
    ::freeaddrinfo(found);
    address.sin_port = htons(static_cast<std::uint16_t>(number));
    return address;
}

bool isMulticast(const sockaddr_in& address) {
    return IN_MULTICAST(ntohl(address.sin_addr.s_addr));
}

// The IPv4 addresses of the interfaces that are up and can multicast.
std::vector<in_addr> multicastInterfaces() {
    std::vector<in_addr> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return out;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        if (!(i->ifa_flags & IFF_UP) || !(i->ifa_flags & (IFF_MULTICAST | IFF_LOOPBACK))) continue;
        out.push_back(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr);
    }
    ::freeifaddrs(list);
    return out;
}

// The value of `name` among the reply's header lines, or empty.
std::string header(const std::string& reply, const std::string& name) {
    std::size_t at = 0;
    while (at < reply.size()) {
        auto end = reply.find('\n', at);
        if (end == std::string::npos) end = reply.size();
        std::string line = reply.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon != name.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < colon && same; ++k)
            same =
                std::toupper(static_cast<unsigned char>(line[k])) == std::toupper(static_cast<unsigned char>(name[k]));
        if (!same) continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
        return value;
    }
    return {};
}

}  // namespace

std::vector<LocalSearchReply> SsdpSearch::search(const std::string& target, std::chrono::milliseconds wait) {
    std::vector<LocalSearchReply> replies;
    auto address = resolve(target);
    if (!address) return replies;
    const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) return replies;
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes);
    unsigned char ttl = 2;
    ::setsockopt(sock, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);

    const std::string message =
        "M-SEARCH * HTTP/1.1\r\nHOST: " + target + "\r\nMAN: \"ssdp:discover\"\r\nMX: 2\r\nST: upnp:rootdevice\r\n\r\n";
    auto sendSearch = [&] {
        if (!isMulticast(*address)) {
            ::sendto(sock, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&*address), sizeof *address);
            return;
        }
        // A group is asked on each interface: the bridge may be on any of
        // them, the loopback one included (a bridge emulator on this host).
        for (in_addr interface : multicastInterfaces()) {
            ::setsockopt(sock, IPPROTO_IP, IP_MULTICAST_IF, &interface, sizeof interface);
            ::sendto(sock, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&*address), sizeof *address);
        }
    };

    using Steady = std::chrono::steady_clock;
    const auto start = Steady::now();
    const auto deadline = start + wait;
    // Datagrams may be lost; the search goes out twice, a second apart.
    auto resendAt = start + std::chrono::seconds(1);
    bool resent = wait <= std::chrono::seconds(1);
    sendSearch();
    for (;;) {
        const auto now = Steady::now();
        if (now >= deadline) break;
        if (!resent && now >= resendAt) {
            sendSearch();
            resent = true;
        }
        auto until = resent ? deadline : std::min(deadline, resendAt);
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
        pollfd p{sock, POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(std::max<long long>(1, left)));
        if (ready <= 0) continue;
        char buffer[2048];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        ssize_t n = ::recvfrom(sock, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n <= 0) continue;
        std::string reply(buffer, static_cast<std::size_t>(n));
        if (reply.rfind("HTTP/1.1 200", 0) != 0 && reply.rfind("HTTP/1.0 200", 0) != 0) continue;
        char sender[INET_ADDRSTRLEN] = "";
        ::inet_ntop(AF_INET, &from.sin_addr, sender, sizeof sender);
        LocalSearchReply found{sender, header(reply, "LOCATION")};
        const bool known = std::any_of(replies.begin(), replies.end(), [&](const LocalSearchReply& r) {
            return r.sender == found.sender && r.location == found.location;
        });
        if (!known && replies.size() < 256) replies.push_back(std::move(found));
    }
    ::close(sock);
    return replies;
}

std::string hostOfURL(const std::string& url) {
    const std::string scheme = "http://";
    if (url.size() <= scheme.size()) return {};
    for (std::size_t k = 0; k < scheme.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(url[k])) != scheme[k]) return {};
    std::string rest = url.substr(scheme.size());
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (rest.empty() || rest.find('@') != std::string::npos || rest.front() == '[') return {};
    for (char c : rest)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':')) return {};
    const auto colon = rest.find(':');
    if (colon != std::string::npos && rest.substr(colon + 1) == "80") rest.erase(colon);
    return rest;
}

}  // namespace glowmere::platform
