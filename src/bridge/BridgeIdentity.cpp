#include "bridge/BridgeIdentity.h"

#include "bridge/JsonText.h"

namespace glowmere {

std::string BridgeIdentity::hostPart(const std::string& address) {
    if (namesHttps(address)) return address.substr(8);
    if (namesHttp(address)) return address.substr(7);
    return address;
}

std::string BridgeIdentity::plainBase(const std::string& address) {
    if (namesHttps(address) || namesHttp(address)) return address;
    return "http://" + address;
}

std::vector<std::string> BridgeIdentity::movedAddresses(const std::string& from, const std::string& found) {
    std::vector<std::string> out;
    if (namesHttps(from)) {
        const std::string was = hostPart(from);
        const auto colon = was.rfind(':');
        const std::string port = colon == std::string::npos ? std::string() : was.substr(colon + 1);
        const std::string host = hostPart(found).substr(0, hostPart(found).find(':'));
        const std::string same = "https://" + host + ":" + port;
        if (!port.empty() && port != "443" && !host.empty() && same != from) out.push_back(same);
    }
    out.push_back(found);
    return out;
}

BridgeIdentity::Answer BridgeIdentity::ask(const std::string& base, const std::string& pin, bool tls) const {
    using Outcome = Answer::Outcome;
    platform::HttpRequest request;
    request.method = "GET";
    request.url = base + "/api/config";
    request.timeout = configTimeout;
    request.maxReplyBytes = 64u << 10;
    if (tls && !pin.empty()) request.pinnedPublicKey = pin;
    if (tls && pin.empty()) request.learnPublicKey = true;
    platform::HttpError error;
    auto response = http_.send(request, &error);
    Answer answer;
    answer.base = base;
    if (!response) {
        answer.outcome = error.kind == platform::HttpError::Kind::KeyMismatch ? Outcome::KeyMismatch : Outcome::NoReply;
        answer.detail = error.message;
        return answer;
    }
    answer.outcome = Outcome::NotBridge;
    if (response->status < 200 || response->status > 299) return answer;
    const std::string text = platform::sanitizeUtf8(response->body);
    const auto first = text.find_first_not_of(" \t\r\n");
    if (!jsontext::isJSONText(text) || first == std::string::npos || text[first] != '{') return answer;
    Value config = jsontext::dictionaryOfDictionariesFromJSON(text);
    if (!config.contains("bridgeid") || !config.contains("apiversion")) return answer;
    answer.bridgeId = config["bridgeid"].textValue();
    if (answer.bridgeId.empty()) return answer;
    answer.outcome = Outcome::Reached;
    answer.pin = tls ? (pin.empty() ? response->publicKeyPin : pin) : std::string();
    // A key that could not be read cannot be pinned: not taken for HTTPS.
    if (tls && answer.pin.empty()) answer.outcome = Outcome::NotBridge;
    return answer;
}

BridgeIdentity::Answer BridgeIdentity::identify(const std::string& address, const std::string& pin) const {
    using Outcome = Answer::Outcome;
    if (namesHttps(address)) return ask(address, pin, true);
    if (namesHttp(address)) return ask(address, "", false);
    // A bridge of recent years answers HTTPS on its standard port; on a host
    // that does not, the connection is refused at once and HTTP is asked.
    const std::string host = address.substr(0, address.find(':'));
    Answer secure = ask("https://" + host + ":443", pin, true);
    if (secure.outcome == Outcome::Reached || secure.outcome == Outcome::KeyMismatch) return secure;
    if (!pin.empty()) {
        // The bridge was reached over HTTPS before: no quiet step down to HTTP.
        secure.outcome = Outcome::NoReply;
        if (secure.detail.empty()) secure.detail = "it no longer answers HTTPS";
        return secure;
    }
    return ask("http://" + address, "", false);
}

}  // namespace glowmere
