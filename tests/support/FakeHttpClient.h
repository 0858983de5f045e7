#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/HttpClient.h"

namespace glowmere::testing {

// A scripted HTTP client for unit tests of logic that talks HTTP. Replies are
// chosen by rules matched against the method and the end of the URL (so a
// rule for "lights/1" answers "http://host/api/user/lights/1"); the rule added
// last wins, and a rule given a count answers that many times and then steps
// aside. A request no rule matches gets no reply, as an unreachable host.
// Every request is recorded. Safe to use from several threads.
class FakeHttpClient final : public platform::HttpClient {
public:
    using Handler = std::function<std::optional<platform::HttpResponse>(const platform::HttpRequest&)>;

    // Answer with `body` (status 200). `times` < 0: for ever.
    void reply(std::string method, std::string urlSuffix, std::string body, int times = -1);
    // Answer with no reply at all (refused connection, time-out).
    void fail(std::string method, std::string urlSuffix, int times = -1);
    // Answer with no reply because the time ran out.
    void timeOut(std::string method, std::string urlSuffix, int times = -1);
    // Answer with whatever `handler` gives.
    void handle(std::string method, std::string urlSuffix, Handler handler, int times = -1);

    using platform::HttpClient::send;
    std::optional<platform::HttpResponse> send(const platform::HttpRequest& request,
                                               platform::HttpError* error = nullptr) override;

    std::vector<platform::HttpRequest> requests() const;
    // How many recorded requests had this method and ended with this suffix.
    std::size_t count(const std::string& method, const std::string& urlSuffix) const;
    // "METHOD url body" per request, for readable failure messages.
    std::vector<std::string> describe() const;
    void clearRequests();
    void clearRules();

private:
    struct Rule {
        std::string method;
        std::string urlSuffix;
        Handler handler;
        int remaining;
        bool timesOut;
    };

    mutable std::mutex mutex_;
    std::vector<Rule> rules_;
    std::vector<platform::HttpRequest> requests_;
};

}  // namespace glowmere::testing
