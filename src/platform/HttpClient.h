#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace glowmere::platform {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::optional<std::string> body;  // sent for PUT and POST
    // The whole exchange, from connecting to the reply's last byte.
    std::chrono::milliseconds timeout{30000};
    // A host on the local network that does not take the connection within
    // this time is taken to be gone.
    std::chrono::milliseconds connectTimeout{3000};
    // A reply larger than this is cut off and counts as no reply.
    std::size_t maxReplyBytes = 8u << 20;
    std::vector<std::pair<std::string, std::string>> headers;
    // HTTPS to a device with a certificate of its own making: no authority
    // vouches for it, so its public key is the check. Set, the connection is
    // refused (KeyMismatch) unless the server's key has this pin
    // ("sha256//BASE64"); nothing is sent past the handshake.
    std::optional<std::string> pinnedPublicKey;
    // HTTPS trusting whatever key the server shows, to learn its pin (in
    // HttpResponse::publicKeyPin) on a new connection. Only for requests that
    // carry no secret.
    bool learnPublicKey = false;
    // Sent only over the connection this thread's previous request used:
    // one that would need a new connection ends before anything is sent
    // (NewConnection), so the caller can first ask who answers on it. For
    // plain HTTP, where nothing else tells one device from another.
    bool sameConnectionOnly = false;
};

struct HttpResponse {
    int status = 0;
    std::string body;
    std::string publicKeyPin;  // with learnPublicKey over HTTPS: "sha256//BASE64"
};

// Why a request brought no reply.
struct HttpError {
    enum class Kind {
        Failed,         // refused, no route, dropped, not HTTP
        TimedOut,       // no connection, or no whole reply, in time
        TooLarge,       // the reply passed maxReplyBytes and was cut off
        KeyMismatch,    // HTTPS: the server's key is not the pinned one
        NewConnection,  // sameConnectionOnly, and the previous connection was gone
    };
    Kind kind = Kind::Failed;
    std::string message;
};

// Synchronous HTTP: the calling thread waits for the reply or the time-out.
// No local cache is ever used. A missing reply (refused, unreachable, timed
// out, cut off) gives nothing, with the reason in `error` when asked. Any
// reply that came, whatever its status, is given back with its status.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual std::optional<HttpResponse> send(const HttpRequest& request, HttpError* error = nullptr) = 0;
    // The reason as text only.
    std::optional<HttpResponse> send(const HttpRequest& request, std::string* error) {
        HttpError why;
        auto response = send(request, &why);
        if (!response && error) *error = why.message;
        return response;
    }
};

// The real client, on libcurl. Each thread keeps one handle of its own and
// with it the connection to the host it last spoke to, so a thread that
// asks the same bridge again and again reuses one kept-alive connection.
// Safe to use from several threads at once.
class CurlHttpClient final : public HttpClient {
public:
    CurlHttpClient();
    using HttpClient::send;
    std::optional<HttpResponse> send(const HttpRequest& request, HttpError* error = nullptr) override;
};

// Replaces every byte sequence that is not valid UTF-8 with U+FFFD, so text
// from the network can be shown and stored safely; valid text is unchanged.
std::string sanitizeUtf8(std::string_view bytes);

// The pin ("sha256//BASE64" of the DER public key) of the first certificate in
// PEM text; empty when it holds none.
std::string publicKeyPinOfPem(std::string_view pem);

}  // namespace glowmere::platform
