#include "platform/HttpDownload.h"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>

namespace glowmere::platform {

namespace {

struct Transfer {
    const HttpDownloader::Sink* sink;
    const HttpDownloader::ProgressObserver* progress;
    CURL* curl;
    HttpDownloader::Progress state;
    long status = 0;
    bool statusChecked = false;
    bool refusedByStatus = false;
    bool stoppedBySink = false;
    const std::atomic<bool>* cancel = nullptr;
};

int checkCancel(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto& t = *static_cast<Transfer*>(context);
    return t.cancel && t.cancel->load() ? 1 : 0;
}

std::size_t receive(char* data, std::size_t size, std::size_t count, void* context) {
    auto& t = *static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    if (!t.statusChecked) {
        // The body of an error page is never handed on as the download.
        t.statusChecked = true;
        curl_easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &t.status);
        if (t.status < 200 || t.status >= 300) {
            t.refusedByStatus = true;
            return 0;
        }
        curl_off_t length = -1;
        if (curl_easy_getinfo(t.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0)
            t.state.total = static_cast<std::uint64_t>(length);
    }
    if (bytes && !(*t.sink)(std::string_view(data, bytes))) {
        t.stoppedBySink = true;
        return 0;
    }
    t.state.received += bytes;
    if (*t.progress) (*t.progress)(t.state);
    return bytes;
}

}  // namespace

CurlHttpDownloader::CurlHttpDownloader() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool CurlHttpDownloader::download(const Request& request, const Sink& sink, const ProgressObserver& progress,
                                  std::string* error) {
    CURL* curl = curl_easy_init();
    if (!curl) {
        if (error) *error = "could not create an HTTP handle";
        return false;
    }
    Transfer transfer{&sink, &progress, curl, {}};
    transfer.cancel = request.cancel;
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
    // Less than a byte a second for the stall time-out ends the transfer.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME,
                     std::max(1L, static_cast<long>((request.stallTimeout.count() + 999) / 1000)));
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, receive);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, checkCancel);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);

    const CURLcode code = curl_easy_perform(curl);
    if (!transfer.statusChecked) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &transfer.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);

    if (transfer.refusedByStatus || (code == CURLE_OK && (transfer.status < 200 || transfer.status >= 300))) {
        if (error) *error = "the server answered with status " + std::to_string(transfer.status);
        return false;
    }
    if (transfer.stoppedBySink) {
        if (error && error->empty()) *error = "the download was stopped";
        return false;
    }
    if (code == CURLE_ABORTED_BY_CALLBACK) {
        if (error) *error = "the download was cancelled";
        return false;
    }
    if (code != CURLE_OK) {
        if (error) *error = curl_easy_strerror(code);
        return false;
    }
    return true;
}

std::optional<std::string> fetchLimited(HttpDownloader& downloader, const std::string& url, std::size_t maxBytes,
                                        std::string* error, const std::atomic<bool>* cancel,
                                        std::chrono::milliseconds timeout) {
    std::string body;
    bool tooLong = false;
    HttpDownloader::Request request{url, timeout, timeout, cancel};
    const bool ok = downloader.download(
        request,
        [&](std::string_view piece) {
            if (body.size() + piece.size() > maxBytes) {
                tooLong = true;
                return false;
            }
            body.append(piece);
            return true;
        },
        {}, error);
    if (tooLong) {
        if (error) *error = "the reply is longer than " + std::to_string(maxBytes) + " bytes";
        return std::nullopt;
    }
    if (!ok) return std::nullopt;
    return body;
}

}  // namespace glowmere::platform
