#include "support/FakeHttpClient.h"

#include <algorithm>

namespace glowmere::testing {

namespace {
bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}
}  // namespace

void FakeHttpClient::reply(std::string method, std::string urlSuffix, std::string body, int times) {
    handle(
        std::move(method), std::move(urlSuffix),
        [body = std::move(body)](const platform::HttpRequest&) {
            return std::optional<platform::HttpResponse>(platform::HttpResponse{200, body, {}});
        },
        times);
}

void FakeHttpClient::fail(std::string method, std::string urlSuffix, int times) {
    handle(
        std::move(method), std::move(urlSuffix),
        [](const platform::HttpRequest&) { return std::optional<platform::HttpResponse>(); }, times);
}

void FakeHttpClient::timeOut(std::string method, std::string urlSuffix, int times) {
    std::lock_guard lock(mutex_);
    rules_.push_back(Rule{std::move(method), std::move(urlSuffix),
                          [](const platform::HttpRequest&) { return std::optional<platform::HttpResponse>(); }, times,
                          true});
}

void FakeHttpClient::handle(std::string method, std::string urlSuffix, Handler handler, int times) {
    std::lock_guard lock(mutex_);
    rules_.push_back(Rule{std::move(method), std::move(urlSuffix), std::move(handler), times, false});
}

std::optional<platform::HttpResponse> FakeHttpClient::send(const platform::HttpRequest& request,
                                                           platform::HttpError* error) {
    Handler handler;
    bool timedOut = false;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        for (auto it = rules_.rbegin(); it != rules_.rend(); ++it) {
            if (it->remaining == 0 || it->method != request.method || !endsWith(request.url, it->urlSuffix)) continue;
            if (it->remaining > 0) --it->remaining;
            handler = it->handler;
            timedOut = it->timesOut;
            break;
        }
    }
    // Called without the lock, so a handler may script further replies.
    auto response = handler ? handler(request) : std::nullopt;
    if (!response && error) {
        *error = timedOut ? platform::HttpError{platform::HttpError::Kind::TimedOut, "timed out"}
                          : platform::HttpError{platform::HttpError::Kind::Failed, "no reply scripted"};
    }
    return response;
}

std::vector<platform::HttpRequest> FakeHttpClient::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t FakeHttpClient::count(const std::string& method, const std::string& urlSuffix) const {
    std::lock_guard lock(mutex_);
    return std::count_if(requests_.begin(), requests_.end(), [&](const platform::HttpRequest& r) {
        return r.method == method && endsWith(r.url, urlSuffix);
    });
}

std::vector<std::string> FakeHttpClient::describe() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines;
    for (const auto& r : requests_) lines.push_back(r.method + " " + r.url + (r.body ? " " + *r.body : ""));
    return lines;
}

void FakeHttpClient::clearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

void FakeHttpClient::clearRules() {
    std::lock_guard lock(mutex_);
    rules_.clear();
}

}  // namespace glowmere::testing
