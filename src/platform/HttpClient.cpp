#include "platform/HttpClient.h"

#include <curl/curl.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdint>
#include <mutex>

namespace glowmere::platform {

namespace {

struct Collector {
    std::string* body = nullptr;
    std::size_t limit = 0;
    bool tooLarge = false;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* out) {
    auto* collector = static_cast<Collector*>(out);
    const std::size_t bytes = size * count;
    if (collector->body->size() + bytes > collector->limit) {
        // Stop reading: a reply this large is no bridge's, and an endless one
        // must not take the memory with it.
        collector->tooLarge = true;
        return 0;
    }
    collector->body->append(data, bytes);
    return bytes;
}

// The calling thread's own handle. Reusing it keeps the connection to the
// host it last spoke to open for the next request.
class ThreadHandle {
public:
    ~ThreadHandle() {
        if (handle_) curl_easy_cleanup(handle_);
    }
    // The connection the previous request went over: the far end and our
    // own port, which differs for every new connection.
    std::string lastConnection;
    CURL* get() {
        if (!handle_)
            handle_ = curl_easy_init();
        else
            curl_easy_reset(handle_);  // options go; the open connection stays
        return handle_;
    }

private:
    CURL* handle_ = nullptr;
};

thread_local ThreadHandle threadHandle;

struct ConnectionGuard {
    bool sameOnly = false;
    bool refused = false;
    std::string* last = nullptr;
};

// Called once the connection stands, before the request goes out.
int checkConnection(void* data, char* remoteIp, char* /*localIp*/, int remotePort, int localPort) {
    auto* guard = static_cast<ConnectionGuard*>(data);
    std::string connection = std::string(remoteIp) + "/" + std::to_string(remotePort) + "/" + std::to_string(localPort);
    if (guard->sameOnly && connection != *guard->last) {
        guard->refused = true;
        guard->last->clear();
        return CURL_PREREQFUNC_ABORT;
    }
    *guard->last = std::move(connection);
    return CURL_PREREQFUNC_OK;
}

// The request's headers, with no cache between us and the bridge, ever.
curl_slist* requestHeaders(const HttpRequest& request) {
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    headers = curl_slist_append(headers, "Expect:");
    bool hasContentType = false;
    for (const auto& [name, value] : request.headers) {
        if (curl_strnequal(name.c_str(), "Content-Type", 12)) hasContentType = true;
        std::string line = name + ": " + value;
        headers = curl_slist_append(headers, line.c_str());
    }
    if (request.body && !hasContentType) headers = curl_slist_append(headers, "Content-Type: application/json");
    return headers;
}

// The handle's options for one request: where, how long, what comes back
// where, and the pinned or learnt key of an HTTPS bridge.
void setRequestOptions(CURL* curl, const HttpRequest& request, curl_slist* headers, Collector& collector) {
    const long timeout = static_cast<long>(std::max<std::int64_t>(1, request.timeout.count()));
    const long connectTimeout = static_cast<long>(std::clamp<std::int64_t>(request.connectTimeout.count(), 1, timeout));
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeout);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectTimeout);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &collector);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxReplyBytes));
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    if (request.method == "GET") {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    const bool pinning = request.pinnedPublicKey || request.learnPublicKey;
    if (pinning) {
        // A bridge's certificate is signed by itself; the pin stands in for
        // the authority and the name check.
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    if (request.pinnedPublicKey) curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, request.pinnedPublicKey->c_str());
    if (request.learnPublicKey) {
        // The key is read during the handshake, so the connection must be new.
        curl_easy_setopt(curl, CURLOPT_CERTINFO, 1L);
        curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    }
    if (request.body) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body->data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body->size()));
    }
}

// The pin of the key the server's certificate holds ("" when none was shown).
std::string shownPublicKeyPin(CURL* curl) {
    std::string pin;
    curl_certinfo* certificates = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CERTINFO, &certificates) == CURLE_OK && certificates &&
        certificates->num_of_certs > 0)
        for (curl_slist* field = certificates->certinfo[0]; field; field = field->next)
            if (std::string_view(field->data).rfind("Cert:", 0) == 0) pin = publicKeyPinOfPem(field->data + 5);
    return pin;
}

// What went wrong with a finished request, if anything.
std::optional<HttpError> failureOf(CURLcode code, const Collector& collector, const HttpRequest& request) {
    if (collector.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        const std::size_t limit = request.maxReplyBytes;
        return HttpError{HttpError::Kind::TooLarge,
                         "the reply was larger than " + (limit >= (1u << 20) ? std::to_string(limit >> 20) + " MB"
                                                                             : std::to_string(limit) + " bytes")};
    }
    if (code == CURLE_SSL_PINNEDPUBKEYNOTMATCH)
        return HttpError{HttpError::Kind::KeyMismatch, "the server's public key is not the one trusted"};
    if (code == CURLE_OPERATION_TIMEDOUT) return HttpError{HttpError::Kind::TimedOut, curl_easy_strerror(code)};
    if (code != CURLE_OK) return HttpError{HttpError::Kind::Failed, curl_easy_strerror(code)};
    return std::nullopt;
}

}  // namespace

CurlHttpClient::CurlHttpClient() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::optional<HttpResponse> CurlHttpClient::send(const HttpRequest& request, HttpError* error) {
    auto fail = [error](HttpError failure) -> std::optional<HttpResponse> {
        if (error) *error = std::move(failure);
        return std::nullopt;
    };
    CURL* curl = threadHandle.get();
    if (!curl) return fail({HttpError::Kind::Failed, "could not create an HTTP handle"});
    HttpResponse response;
    Collector collector{&response.body, request.maxReplyBytes, false};
    curl_slist* headers = requestHeaders(request);
    setRequestOptions(curl, request, headers, collector);
    ConnectionGuard guard{request.sameConnectionOnly, false, &threadHandle.lastConnection};
    curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, checkConnection);
    curl_easy_setopt(curl, CURLOPT_PREREQDATA, &guard);

    CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (request.learnPublicKey && code == CURLE_OK) {
        if (auto pin = shownPublicKeyPin(curl); !pin.empty()) response.publicKeyPin = std::move(pin);
    }
    // The next request on this handle may not want these.
    curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, nullptr);
    curl_slist_free_all(headers);
    // The handle keeps pointers into this call's data; none may outlive it.
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(curl, CURLOPT_PREREQDATA, nullptr);
    if (guard.refused) return fail({HttpError::Kind::NewConnection, "the connection to the host is a new one"});
    // A request that failed may have left no connection to reuse.
    if (code != CURLE_OK) threadHandle.lastConnection.clear();
    if (auto failure = failureOf(code, collector, request)) {
        if (failure->kind == HttpError::Kind::TooLarge) {
            response.body.clear();
            response.body.shrink_to_fit();
        }
        return fail(std::move(*failure));
    }
    response.status = static_cast<int>(status);
    return response;
}

std::string publicKeyPinOfPem(std::string_view pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    if (!bio) return {};
    X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (!certificate) return {};
    std::string pin;
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(X509_get0_pubkey(certificate), &der);
    if (length > 0) {
        unsigned char digest[SHA256_DIGEST_LENGTH];
        SHA256(der, static_cast<std::size_t>(length), digest);
        unsigned char text[4 * ((SHA256_DIGEST_LENGTH + 2) / 3) + 1];
        const int written = EVP_EncodeBlock(text, digest, SHA256_DIGEST_LENGTH);
        pin = "sha256//" + std::string(reinterpret_cast<char*>(text), static_cast<std::size_t>(written));
    }
    OPENSSL_free(der);
    X509_free(certificate);
    return pin;
}

std::string sanitizeUtf8(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    std::size_t n = in.size(), i = 0;
    static const char replacement[] = "\xEF\xBF\xBD";
    while (i < n) {
        unsigned char c = s[i];
        std::size_t len = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            out += replacement;
            ++i;
            continue;
        }
        bool ok = i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        // Reject overlong forms, surrogates and values past U+10FFFF.
        if (ok && ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
                   (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF))
            ok = false;
        if (ok) {
            out.append(in.substr(i, len));
            i += len;
        } else {
            out += replacement;
            ++i;
        }
    }
    return out;
}

}  // namespace glowmere::platform
