#include "sim/SimServer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

namespace glowmere::sim {

namespace {

// The request log keeps the latest requests, at most this many and this many
// bytes (method, path, body and time together).
constexpr std::size_t kLogLimit = 100000;
constexpr std::size_t kLogByteLimit = 16 << 20;
// No request to a bridge comes near this; a larger body (chunked too) is
// refused with 413 rather than held in memory.
constexpr std::size_t kBodyLimit = 1 << 20;
// Connections are served one thread each, started as they are needed, up to
// this many at once; idle and slow clients hold a thread each, so a normal
// request still finds one.
constexpr std::size_t kMaxWorkers = 512;

// The server library's task queue, growing with the connections: a fixed
// pool of a few threads is taken up by as many idle or slow clients.
class ElasticPool : public httplib::TaskQueue {
public:
    explicit ElasticPool(std::size_t maxThreads) : max_(maxThreads) {}
    ~ElasticPool() override { shutdown(); }

    void enqueue(std::function<void()> job) override {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        if (jobs_.size() > idle_ && threads_.size() < max_)
            threads_.emplace_back([this] { work(); });
        else
            wake_.notify_one();
    }

    void shutdown() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (auto& thread : threads_)
            if (thread.joinable()) thread.join();
    }

private:
    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            ++idle_;
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            --idle_;
            if (jobs_.empty()) return;  // stopping, nothing left to do
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    const std::size_t max_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    std::size_t idle_ = 0;
    bool stopping_ = false;
};

std::size_t logEntrySize(const Json& entry) {
    std::size_t size = 64;
    for (const auto& [key, value] : entry.items())
        if (value.is_string()) size += key.size() + value.get_ref<const std::string&>().size();
    return size;
}

const char* kErrorPage =
    "<html><head><title>500 Internal Server Error</title></head>"
    "<body><h1>Internal Server Error</h1><p>The bridge could not handle the request.</p></body></html>";

// The reply's text in Latin-1: what a device that does not speak UTF-8 sends.
// Characters beyond Latin-1 become "?".
std::string toLatin1(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            out += code < 0x100 ? static_cast<char>(code) : '?';
            ++i;
        } else {
            std::size_t extra = (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 0;
            out += '?';
            i += extra;
        }
    }
    return out;
}

bool writeFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    std::string temporary = path + ".tmp";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot write " + temporary + ": " + std::strerror(errno);
        return false;
    }
    std::size_t written = 0;
    while (written < text.size()) {
        ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = "cannot write " + temporary + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        error = "cannot write " + temporary + ": " + std::strerror(errno);
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

SimServer::SimServer(Options options) : options_(std::move(options)), http_(std::make_unique<httplib::Server>()) {}

SimServer::~SimServer() {
    stop();
    finish();
}

bool SimServer::start(const std::string& host, int port, std::string& error) {
    auto now = std::chrono::floor<Millis>(std::chrono::system_clock::now());
    bridge_ = std::make_unique<SimBridge>(options_.start, now);
    if (!options_.stateFile.empty() && std::filesystem::exists(options_.stateFile)) loadStateFile(now);

    configure(*http_);
    if (!listen(host, port, error)) return false;
    widenBacklog();
    bridge_->setAddress(host + ":" + std::to_string(port_));
    savedChanges_ = bridge_->changeCount();
    // A state file that cannot be written is found out now, not at the first change.
    if (!options_.stateFile.empty() && !writeFileAtomically(options_.stateFile, bridge_->saveState().dump(2), error)) {
        return false;
    }
    startTicker();
    return true;
}

void SimServer::loadStateFile(SimTime now) {
    std::ifstream in(options_.stateFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    Json state = Json::parse(text.str(), nullptr, false);
    std::string why;
    if (state.is_discarded()) why = "it is not JSON";
    if (why.empty()) bridge_->loadState(state, why);
    if (why.empty()) return;
    // Keep the unreadable file for a look by hand; never overwrite it.
    std::string aside = options_.stateFile + ".unreadable";
    for (int n = 2; std::filesystem::exists(aside); ++n) {
        aside = options_.stateFile + ".unreadable-" + std::to_string(n);
    }
    std::rename(options_.stateFile.c_str(), aside.c_str());
    std::fprintf(stderr, "glowmere-bridge-sim: cannot read the state file %s (%s); moved it to %s and started fresh\n",
                 options_.stateFile.c_str(), why.c_str(), aside.c_str());
    bridge_ = std::make_unique<SimBridge>(options_.start, now);
}

bool SimServer::listen(const std::string& host, int port, std::string& error) {
    if (port == 0) {
        port_ = http_->bind_to_any_port(host);
        if (port_ < 0) {
            error = "cannot listen on " + host + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    if (!http_->bind_to_port(host, port)) {
        error = "cannot listen on " + host + ":" + std::to_string(port) + " (in use, or no such address)";
        return false;
    }
    port_ = port;
    return true;
}

void SimServer::startTicker() {
    // The clock's own events (schedules, transitions ending, new lamps, the
    // demo's changes) need carrying out even when nobody asks.
    ticker_ = std::thread([this] {
        std::unique_lock lock(tickMutex_);
        while (!stopping_) {
            tickWake_.wait_for(lock, std::chrono::milliseconds(100));
            if (stopping_) break;
            lock.unlock();
            try {
                bridge_->tick();
                saveIfChanged();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "glowmere-bridge-sim: %s\n", e.what());
            }
            lock.lock();
        }
    });
}

void SimServer::configure(httplib::Server& server) {
    server.new_task_queue = [] { return new ElasticPool(kMaxWorkers); };
    server.set_keep_alive_max_count(1000);
    // Short, so that a stop is not held up by idle connections, and a client
    // that connects and says nothing (or stops half-way) is let go soon.
    server.set_keep_alive_timeout(1);
    server.set_read_timeout(2, 0);
    server.set_write_timeout(5, 0);
    // Headers and body go out in two writes; without this a client on a kept
    // connection waits for the delayed acknowledgement (about 40 ms) each time.
    server.set_tcp_nodelay(true);
    server.set_payload_max_length(kBodyLimit);
    // Address reuse only (a quick restart after a stop), never port sharing:
    // a second simulator on a taken port must fail, not split the requests.
    server.set_socket_options([](int sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    auto handler = [this](const httplib::Request& request, httplib::Response& response) { route(request, response); };
    // Bodies are read here, so that the limit holds for chunked ones too.
    auto withBody = [this](const httplib::Request& request, httplib::Response& response,
                           const httplib::ContentReader& reader) {
        std::string body;
        bool tooLarge = false;
        bool read = reader([&](const char* data, std::size_t length) {
            if (body.size() + length > kBodyLimit) {
                tooLarge = true;
                return false;
            }
            body.append(data, length);
            return true;
        });
        // The library refuses a declared length over the limit itself.
        if (tooLarge || !read) {
            response.status = 413;
            response.set_header("Connection", "close");
            response.set_content(errorArray(413, request.path, "body larger than 1 MB"), "application/json");
            return;
        }
        httplib::Request complete = request;
        complete.body = std::move(body);
        route(complete, response);
    };
    server.Get(".*", handler);
    server.Post(".*", withBody);
    server.Put(".*", withBody);
    server.Delete(".*", withBody);
    server.Patch(".*", withBody);
}

namespace {

// The key kept in `path`, or a new one written there (readable by the owner
// only); a bridge keeps its key across restarts until it is reset.
EVP_PKEY* keptKey(const std::string& path, std::string& error) {
    if (std::FILE* in = std::fopen(path.c_str(), "r")) {
        EVP_PKEY* key = PEM_read_PrivateKey(in, nullptr, nullptr, nullptr);
        std::fclose(in);
        if (!key) error = "the key in " + path + " cannot be read";
        return key;
    }
    EVP_PKEY* key = EVP_EC_gen("P-256");
    const int fd = key ? ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600) : -1;
    std::FILE* out = fd >= 0 ? ::fdopen(fd, "w") : nullptr;
    const bool written = out && PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    if (out)
        std::fclose(out);
    else if (fd >= 0)
        ::close(fd);
    if (!written) {
        error = "cannot write the key to " + path;
        EVP_PKEY_free(key);
        return nullptr;
    }
    return key;
}

}  // namespace

bool SimServer::startTls(const std::string& host, int port, std::string& error) {
    // A key and a certificate of a year, made here: what a bridge makes for
    // itself when it first starts.
    EVP_PKEY* key = options_.tlsKeyFile.empty() ? EVP_EC_gen("P-256") : keptKey(options_.tlsKeyFile, error);
    if (!key) {
        if (error.empty()) error = "cannot make a certificate for HTTPS";
        return false;
    }
    X509* certificate = X509_new();
    bool made = key && certificate;
    if (made) {
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), static_cast<long>(std::random_device{}() & 0x7fffffff));
        X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 365L * 24 * 3600);
        X509_set_pubkey(certificate, key);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(bridge_->bridgeId().c_str()), -1, -1, 0);
        X509_set_issuer_name(certificate, name);
        made = X509_sign(certificate, key, EVP_sha256()) > 0;
    }
    if (made) {
        // The server takes its own references to both.
        tls_ = std::make_unique<httplib::SSLServer>(certificate, key);
        made = tls_->is_valid();
    }
    X509_free(certificate);
    EVP_PKEY_free(key);
    if (!made) {
        error = "cannot make a certificate for HTTPS";
        tls_.reset();
        return false;
    }
    configure(*tls_);
    if (port == 0) {
        tlsPort_ = tls_->bind_to_any_port(host);
    } else if (tls_->bind_to_port(host, port)) {
        tlsPort_ = port;
    } else {
        tlsPort_ = -1;
    }
    if (tlsPort_ < 0) {
        error = "cannot listen for HTTPS on " + host + ":" + std::to_string(port) + " (in use, or no such address)";
        tls_.reset();
        return false;
    }
    return true;
}

void SimServer::serve() {
    if (tls_) tlsServing_ = std::thread([this] { tls_->listen_after_bind(); });
    http_->listen_after_bind();
    if (tls_) tls_->stop();
    if (tlsServing_.joinable()) tlsServing_.join();
}

void SimServer::stop() {
    if (http_) http_->stop();
    if (tls_) tls_->stop();
    endClientConnections();
    std::lock_guard lock(tickMutex_);
    stopping_ = true;
    tickWake_.notify_all();
}

void SimServer::finish() {
    if (ticker_.joinable()) ticker_.join();
    if (bridge_) saveIfChanged();
}

void SimServer::saveIfChanged() {
    if (options_.stateFile.empty()) return;
    std::lock_guard lock(saveMutex_);
    std::uint64_t changes = bridge_->changeCount();
    if (changes == savedChanges_) return;
    std::string why;
    if (writeFileAtomically(options_.stateFile, bridge_->saveState().dump(2), why)) {
        savedChanges_ = changes;
    } else {
        std::fprintf(stderr, "glowmere-bridge-sim: %s\n", why.c_str());
    }
}

// The server library listens with a backlog of 5: a burst of connections
// (many clients at once, or a flood of idle ones) then has its connection
// attempts dropped and retried a second or more later. Listening again on the
// same socket widens the queue; the library offers no handle on the socket,
// so it is found among the process's descriptors.
void SimServer::widenBacklog() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return;
    while (dirent* entry = ::readdir(dir)) {
        int fd = std::atoi(entry->d_name);
        if (fd <= 2) continue;
        int listening = 0;
        socklen_t length = sizeof listening;
        if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) != 0 || !listening) continue;
        sockaddr_storage local{};
        socklen_t localLength = sizeof local;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) continue;
        int localPort = local.ss_family == AF_INET    ? ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port)
                        : local.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port)
                                                      : 0;
        if (localPort == port_) ::listen(fd, SOMAXCONN);
    }
    ::closedir(dir);
}

// Ends reading on every connection a client holds open, as a bridge that is
// switched off does: a connection kept alive between requests would
// otherwise hold its thread, and with it the stop, for the whole keep-alive
// time. A reply being written still goes out. Found among the process's
// descriptors, as above.
void SimServer::endClientConnections() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return;
    while (dirent* entry = ::readdir(dir)) {
        int fd = std::atoi(entry->d_name);
        if (fd <= 2) continue;
        int type = 0, listening = 0;
        socklen_t length = sizeof type;
        if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM) continue;
        length = sizeof listening;
        if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) != 0 || listening) continue;
        sockaddr_storage local{};
        socklen_t localLength = sizeof local;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) continue;
        int localPort = local.ss_family == AF_INET    ? ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port)
                        : local.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port)
                                                      : 0;
        if (localPort != 0 && (localPort == port_ || localPort == tlsPort_)) ::shutdown(fd, SHUT_RD);
    }
    ::closedir(dir);
}

// Shuts the request's own connection, so the client gets no reply at all.
// The server library offers no handle on the socket, so it is found among
// the process's descriptors by its two ends.
void SimServer::closeConnection(const httplib::Request& request) {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return;
    while (dirent* entry = ::readdir(dir)) {
        int fd = std::atoi(entry->d_name);
        if (fd <= 2) continue;
        sockaddr_storage local{}, peer{};
        socklen_t localLength = sizeof local, peerLength = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) continue;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) continue;
        int localPort = 0, peerPort = 0;
        char peerAddress[INET6_ADDRSTRLEN] = "";
        if (peer.ss_family == AF_INET) {
            auto* p = reinterpret_cast<sockaddr_in*>(&peer);
            peerPort = ntohs(p->sin_port);
            ::inet_ntop(AF_INET, &p->sin_addr, peerAddress, sizeof peerAddress);
            localPort = ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
        } else if (peer.ss_family == AF_INET6) {
            auto* p = reinterpret_cast<sockaddr_in6*>(&peer);
            peerPort = ntohs(p->sin6_port);
            ::inet_ntop(AF_INET6, &p->sin6_addr, peerAddress, sizeof peerAddress);
            localPort = ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
        } else {
            continue;
        }
        if (localPort == port_ && peerPort == request.remote_port && request.remote_addr == peerAddress) {
            ::shutdown(fd, SHUT_RDWR);
            break;
        }
    }
    ::closedir(dir);
}

void SimServer::route(const httplib::Request& request, httplib::Response& response) {
    const std::string& path = request.path;
    if (path == "/sim" || path.rfind("/sim/", 0) == 0) {
        Reply reply;
        try {
            reply = controlFaultsAndLog(request.method, path, request.body);
        } catch (const std::exception& e) {
            reply = Reply{400, Json{{"error", std::string("bad control request: ") + e.what()}}.dump()};
        }
        response.status = reply.status;
        response.set_content(reply.body, "application/json");
        saveIfChanged();
        return;
    }

    logRequest(request);
    int latency = 0;
    const Fault chosen = faultsMetBy(request, latency);
    // A slow network or device: real time on purpose, as the client's
    // time-outs are real.
    if (latency > 0) std::this_thread::sleep_for(std::chrono::milliseconds(latency));
    if (answerWithFault(chosen, request, response)) return;
    answerFromBridge(request, response, chosen.kind);
}

void SimServer::logRequest(const httplib::Request& request) {
    Json entry{{"method", request.method},
               {"path", request.path},
               {"body", request.body},
               {"time", formatTime(bridge_->now())}};
    std::lock_guard lock(logMutex_);
    // Bounded in entries and bytes, for a demo left running for days or a
    // client sending large bodies; tests never come near.
    logBytes_ += logEntrySize(entry);
    log_.push_back(std::move(entry));
    while (log_.size() > kLogLimit || (logBytes_ > kLogByteLimit && log_.size() > 1)) {
        logBytes_ -= logEntrySize(log_.front());
        log_.pop_front();
    }
}

Fault SimServer::faultsMetBy(const httplib::Request& request, int& latency) {
    // Which faults this request meets; each counted one is used up.
    Fault chosen;
    std::lock_guard lock(logMutex_);
    for (auto& fault : faults_) {
        if (!fault.pathContains.empty() && request.path.find(fault.pathContains) == std::string::npos) continue;
        if (!fault.method.empty() && request.method != fault.method) continue;
        if (fault.remaining == 0) continue;
        if (fault.kind == "latency") {
            latency += fault.millis;
        } else if (chosen.kind.empty()) {
            chosen = fault;
        } else {
            continue;
        }
        if (fault.remaining > 0) --fault.remaining;
    }
    std::erase_if(faults_, [](const Fault& f) { return f.remaining == 0; });
    return chosen;
}

bool SimServer::answerWithFault(const Fault& chosen, const httplib::Request& request, httplib::Response& response) {
    const std::string& kind = chosen.kind;
    if (kind == "close") {
        closeConnection(request);
        response.status = 200;
        return true;
    }
    if (kind == "error500") {
        response.status = 500;
        response.set_content(kErrorPage, "text/html");
        return true;
    }
    if (kind == "status") {
        response.status = chosen.code;
        response.set_content("<html><head><title>" + std::to_string(chosen.code) + "</title></head><body><h1>" +
                                 std::to_string(chosen.code) + "</h1></body></html>",
                             "text/html");
        return true;
    }
    if (kind == "oversized" || kind == "members") {
        // Well-formed JSON, only far too much of it: a names-only list.
        const int members = kind == "members" ? chosen.members : 1;
        std::string body = "{";
        for (int i = 1; i <= members; ++i)
            body += (i > 1 ? ",\"" : "\"") + std::to_string(i) + "\":{\"name\":\"Lamp " + std::to_string(i) + "\"}";
        if (kind == "oversized") body.insert(body.size() - 2, std::string(9u << 20, 'x'));
        body += "}";
        response.status = 200;
        response.set_content(body, "application/json");
        return true;
    }
    if (kind == "reply") {
        response.status = 200;
        response.set_content(chosen.body, "application/json");
        return true;
    }
    if (kind == "endless") {
        // A reply that never ends, until the client stops reading it.
        response.status = 200;
        response.set_chunked_content_provider("application/json", [](std::size_t offset, httplib::DataSink& sink) {
            static const std::string chunk = [] {
                std::string c;
                while (c.size() < 65536) c += "{\"name\":\"Lamp\"},";
                return c;
            }();
            if (offset == 0 && !sink.write("[", 1)) return false;
            return sink.write(chunk.data(), chunk.size());
        });
        return true;
    }
    return false;
}

void SimServer::answerFromBridge(const httplib::Request& request, httplib::Response& response,
                                 const std::string& fault) {
    const std::string& path = request.path;
    Reply reply;
    try {
        reply = bridge_->handle(request.method, path, request.body);
    } catch (const std::exception& e) {
        // A fault of the simulator itself; the device's own answer to that.
        std::fprintf(stderr, "glowmere-bridge-sim: %s %s failed: %s\n", request.method.c_str(), path.c_str(), e.what());
        reply = Reply{200, errorArray(901, path, "internal error")};
    }
    saveIfChanged();
    if (fault == "malformed") {
        // Cut off in the middle, as a reply broken off on the way.
        reply.body = reply.body.substr(0, reply.body.size() / 2) + "\x01}";
    } else if (fault == "nonascii") {
        reply.body = toLatin1(reply.body);
    }
    response.status = reply.status;
    response.set_content(reply.body, reply.status == 404                 ? "text/html"
                                     : reply.body.rfind("<?xml", 0) == 0 ? "text/xml"
                                                                         : "application/json");
}

Reply SimServer::controlFaultsAndLog(const std::string& method, const std::string& path, const std::string& body) {
    auto json = [](const Json& value, int status = 200) {
        return Reply{status, value.dump(-1, ' ', false, Json::error_handler_t::replace)};
    };
    if (path == "/sim/log") {
        std::lock_guard lock(logMutex_);
        if (method == "GET") {
            Json out = Json::array();
            for (const auto& entry : log_) out.push_back(entry);
            return json(out);
        }
        if (method == "DELETE") {
            log_.clear();
            logBytes_ = 0;
            return json(Json{{"cleared", true}});
        }
    }
    if (path == "/sim/faults") {
        if (method == "GET") {
            std::lock_guard lock(logMutex_);
            Json out = Json::array();
            for (const auto& f : faults_) {
                out.push_back(
                    Json{{"kind", f.kind}, {"count", f.remaining}, {"ms", f.millis}, {"path", f.pathContains}});
            }
            return json(out);
        }
        if (method == "DELETE") {
            {
                std::lock_guard lock(logMutex_);
                faults_.clear();
            }
            bridge_->control("DELETE", "/sim/unauthorized", "");
            return json(Json{{"cleared", true}});
        }
        if (method == "POST") {
            Json request = Json::parse(body, nullptr, false);
            if (request.is_discarded() || !request.is_object() || !request.contains("kind") ||
                !request["kind"].is_string()) {
                return json(Json{{"error", "give {\"kind\": ..., \"count\": N, \"ms\": M, \"path\": TEXT}"}}, 400);
            }
            std::string kind = request["kind"].get<std::string>();
            if (kind == "unauthorized") {
                return bridge_->control("POST", "/sim/unauthorized", Json{{"user", request.value("user", "")}}.dump());
            }
            if (kind != "latency" && kind != "close" && kind != "malformed" && kind != "error500" &&
                kind != "nonascii" && kind != "status" && kind != "oversized" && kind != "endless" &&
                kind != "members" && kind != "reply") {
                return json(Json{{"error", "unknown fault " + kind}}, 400);
            }
            Fault fault;
            fault.kind = kind;
            fault.remaining = request.value("count", kind == "latency" ? -1 : 1);
            fault.millis = request.value("ms", 0);
            fault.code = request.value("code", 503);
            fault.members = request.value("members", 1001);
            fault.pathContains = request.value("path", "");
            fault.method = request.value("method", "");
            fault.body = request.value("body", "");
            if (fault.remaining == 0 || fault.millis < 0 || fault.millis > 120000) {
                return json(Json{{"error", "\"count\" must not be 0 and \"ms\" must be 0 to 120000"}}, 400);
            }
            if (fault.code < 100 || fault.code > 599 || fault.members < 0 || fault.members > 100000) {
                return json(Json{{"error", "\"code\" must be 100 to 599 and \"members\" 0 to 100000"}}, 400);
            }
            std::lock_guard lock(logMutex_);
            faults_.push_back(fault);
            return json(Json{{"added", kind}});
        }
    }
    return bridge_->control(method, path, body);
}

}  // namespace glowmere::sim
