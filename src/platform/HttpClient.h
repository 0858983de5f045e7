#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace glowmere::platform {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::optional<std::string> body;  // sent for PUT and POST
    std::chrono::milliseconds timeout{30000};
    std::vector<std::pair<std::string, std::string>> headers;
};

struct HttpResponse {
    int status = 0;
    std::string body;
};

// Synchronous HTTP: the calling thread waits for the reply or the time-out.
// No local cache is ever used. A missing reply (refused, unreachable, timed
// out, cut off) gives nothing, with the reason in `error` when asked.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual std::optional<HttpResponse> send(const HttpRequest& request, std::string* error = nullptr) = 0;
};

// The real client, on libcurl. One easy handle per request, so it is safe to
// use from several threads at once.
class CurlHttpClient final : public HttpClient {
public:
    CurlHttpClient();
    std::optional<HttpResponse> send(const HttpRequest& request, std::string* error = nullptr) override;
};

// Replaces every byte sequence that is not valid UTF-8 with U+FFFD, so text
// from the network can be shown and stored safely; valid text is unchanged.
std::string sanitizeUtf8(std::string_view bytes);

}  // namespace glowmere::platform
