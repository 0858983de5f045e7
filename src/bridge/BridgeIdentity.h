#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/HttpClient.h"

namespace glowmere {

// Who answers at a bridge address, asked without any credential: one
// GET /api/config, over HTTPS where the bridge offers it. Stateless; the
// request layer decides what to trust and what to store.
//
// An address is "HOST[:PORT]" (HTTPS on port 443 of HOST is tried first, then
// plain HTTP at the address), "https://HOST[:PORT]" (HTTPS only) or
// "http://HOST[:PORT]" (plain HTTP only).
class BridgeIdentity {
public:
    // The time the question may take; a bridge answers in well under it.
    static constexpr std::chrono::milliseconds configTimeout{5000};

    struct Answer {
        enum class Outcome {
            Reached,      // a bridge answered: `base`, `bridgeId`, `pin` are set
            NoReply,      // nothing answered (refused, unreachable, timed out)
            KeyMismatch,  // HTTPS with a key other than the pinned one; nothing sent
            NotBridge,    // something answered that does not show a bridge's interface
        };
        Outcome outcome = Outcome::NoReply;
        std::string base;      // "https://HOST:PORT" or "http://HOST[:PORT]", no trailing "/"
        std::string bridgeId;  // the bridge's "bridgeid"
        std::string pin;       // HTTPS: its key's pin ("sha256//BASE64"); empty: plain HTTP
        std::string detail;    // the transport's reason, for messages
    };

    explicit BridgeIdentity(platform::HttpClient& http) : http_(http) {}

    // Asks `address`. A non-empty `pin` is required of an HTTPS bridge (a key
    // that differs ends the exchange in the handshake, and plain HTTP is then
    // not tried either: a pinned bridge is never talked to in clear text);
    // an empty one learns whatever key the bridge shows.
    Answer identify(const std::string& address, const std::string& pin) const;

    // The address without its scheme, and whether it names one.
    static std::string hostPart(const std::string& address);
    static bool namesHttps(const std::string& address) { return address.rfind("https://", 0) == 0; }
    static bool namesHttp(const std::string& address) { return address.rfind("http://", 0) == 0; }
    // Where requests go when nobody asked (no check of the bridge): the
    // address with its own scheme, plain HTTP when it names none.
    static std::string plainBase(const std::string& address);
    // Where to ask for a bridge that was at `from` and that a search found
    // at `found`, in that order. A bridge keeps its ports when the router
    // gives it a new address, so one reached at "https://HOST:PORT" on a
    // port other than 443 is asked on that port at the new host first;
    // then `found` as the search gave it.
    static std::vector<std::string> movedAddresses(const std::string& from, const std::string& found);

private:
    Answer ask(const std::string& base, const std::string& pin, bool tls) const;

    platform::HttpClient& http_;
};

}  // namespace glowmere
