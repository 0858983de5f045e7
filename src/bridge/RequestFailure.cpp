#include "bridge/RequestFailure.h"

namespace glowmere {

std::string RequestFailure::describe() const {
    const std::string bridge = address.empty() ? "the bridge" : "the bridge at " + address;
    switch (kind) {
        case Kind::NoAddress:
            return "no bridge address known";
        case Kind::NotPaired:
            return "not paired with " + bridge;
        case Kind::NoReply:
            return bridge + " did not answer" + (detail.empty() ? "" : " (" + detail + ")");
        case Kind::TimedOut:
            return bridge + " did not answer in time";
        case Kind::HttpStatus:
            return bridge + " answered HTTP " + std::to_string(status) + (detail.empty() ? "" : ": " + detail);
        case Kind::NotJson:
            return bridge + " answered with something that is not JSON (HTTP " + std::to_string(status) + ")";
        case Kind::TooLarge:
            return bridge + " sent a reply larger than any bridge sends; it was cut off";
        case Kind::TooManyMembers:
            return bridge + " listed more members than any bridge holds; the list was refused";
        case Kind::BridgeError:
            return "the bridge refused: " + detail;
        case Kind::Busy:
            return bridge + " stayed busy (HTTP " + std::to_string(status) + ") and the command was given up";
        case Kind::NotSent:
            return "not sent: " + bridge + " had just stopped answering";
        case Kind::KeyChanged:
            return bridge +
                   " shows a certificate other than the one trusted; nothing was sent. If the bridge was "
                   "reset or replaced, use \"Trust the new certificate\" in Settings (glowmerectl trust-bridge)";
        case Kind::OtherBridge:
            return bridge + " is not the one Glowmere is paired with; nothing was sent to it" +
                   (detail.empty() ? "" : " (" + detail + ")");
    }
    return "the request failed";
}

}  // namespace glowmere
