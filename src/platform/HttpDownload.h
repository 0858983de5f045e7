#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace glowmere::platform {

// Streams the body of an HTTP(S) GET to the caller piece by piece, for
// downloads too big to hold in memory and for replies whose size must be
// capped before they are read whole. Redirects are followed (HTTP and HTTPS
// only). A reply whose status is not 2xx, a connection that stalls for
// `stallTimeout`, a body cut short and a sink that answers false are all
// failures, with the reason in `error`.
class HttpDownloader {
public:
    struct Progress {
        std::uint64_t received = 0;
        std::optional<std::uint64_t> total;  // when the server said
    };
    // Takes each piece of the body; false stops the download (a failure).
    using Sink = std::function<bool(std::string_view piece)>;
    using ProgressObserver = std::function<void(const Progress&)>;

    struct Request {
        std::string url;
        std::chrono::milliseconds connectTimeout{30000};
        // Given up when no byte arrives for this long (a large download may
        // take longer than any fixed time-out as long as bytes keep coming).
        std::chrono::milliseconds stallTimeout{30000};
        // Set from another thread to end the download soon (a failure).
        const std::atomic<bool>* cancel = nullptr;
    };

    virtual ~HttpDownloader() = default;
    virtual bool download(const Request& request, const Sink& sink, const ProgressObserver& progress,
                          std::string* error = nullptr) = 0;
};

class CurlHttpDownloader final : public HttpDownloader {
public:
    CurlHttpDownloader();
    bool download(const Request& request, const Sink& sink, const ProgressObserver& progress,
                  std::string* error = nullptr) override;
};

// GETs `url` into memory, refusing replies longer than `maxBytes`.
std::optional<std::string> fetchLimited(HttpDownloader& downloader, const std::string& url, std::size_t maxBytes,
                                        std::string* error = nullptr, const std::atomic<bool>* cancel = nullptr,
                                        std::chrono::milliseconds timeout = std::chrono::milliseconds(30000));

}  // namespace glowmere::platform
