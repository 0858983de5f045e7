#pragma once

#include <string>

namespace glowmere {

// Why a request to the bridge did not succeed, in a form callers can act on
// and show: the request layer hands one to its observers and keeps the last.
struct RequestFailure {
    enum class Kind {
        NoAddress,       // no bridge address known: discovery found none
        NotPaired,       // no user name and login did not get one
        NoReply,         // refused, no route, connection dropped
        TimedOut,        // no connection within 3 s or no whole reply in time
        HttpStatus,      // a reply whose status is not 2xx (`status`)
        NotJson,         // a reply that is not JSON where JSON is expected
        TooLarge,        // a reply over the size limit, cut off
        TooManyMembers,  // a list of more members than any bridge holds
        BridgeError,     // the bridge answered with an error (`detail` has its description)
        Busy,            // 429 or 503 still after backing off
        NotSent,         // a waiting command dropped: the bridge had just timed out
        KeyChanged,      // HTTPS: the bridge's key is not the trusted one; refused in the handshake
        OtherBridge,     // what answers at the address is not the bridge paired with
    };

    Kind kind = Kind::NoReply;
    std::string method;   // "GET", "PUT", ...
    std::string path;     // relative to the user's API root ("lights/1/state"); never the user name
    std::string address;  // the bridge's address, when one was known
    int status = 0;       // the HTTP status, when a reply came
    std::string detail;   // the bridge's error description, or the transport's reason

    // Whether the bridge answered at all (with anything HTTP).
    bool bridgeAnswered() const {
        return kind == Kind::HttpStatus || kind == Kind::NotJson || kind == Kind::TooLarge ||
               kind == Kind::TooManyMembers || kind == Kind::BridgeError || kind == Kind::Busy ||
               kind == Kind::KeyChanged || kind == Kind::OtherBridge;
    }
    // Plain words for a person: "the bridge at 10.0.0.2 answered HTTP 404".
    std::string describe() const;
};

}  // namespace glowmere
