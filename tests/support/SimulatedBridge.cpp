#include "support/SimulatedBridge.h"

#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace glowmere::testing {

namespace {

#ifdef GLOWMERE_SIM_PATH
const char* kSimPath = GLOWMERE_SIM_PATH;
#else
const char* kSimPath = nullptr;
#endif

std::string numberText(double value) {
    nlohmann::json j = value;
    return j.dump();
}

}  // namespace

SimulatedBridge::SimulatedBridge() : SimulatedBridge(Options{}) {}

SimulatedBridge::SimulatedBridge(Options options) : options_(std::move(options)) {
    if (!kSimPath) throw std::runtime_error("glowmere-bridge-sim was not built with the tests");
    std::vector<std::string> args{kSimPath,
                                  "--listen",
                                  options_.listen,
                                  "--lamps",
                                  std::to_string(options_.lamps),
                                  "--groups",
                                  std::to_string(options_.groups)};
    if (!options_.user.empty()) args.insert(args.end(), {"--user", options_.user});
    if (!options_.linkButton.empty()) args.insert(args.end(), {"--link-button", options_.linkButton});
    if (options_.demo) args.push_back("--demo");
    if (options_.namesOnly) args.push_back("--names-only");
    if (!options_.ssdp.empty()) args.insert(args.end(), {"--ssdp", options_.ssdp});
    if (!options_.tls.empty()) args.insert(args.end(), {"--tls", options_.tls});
    if (!options_.tlsKeyFile.empty()) args.insert(args.end(), {"--tls-key", options_.tlsKeyFile});
    if (!options_.bridgeId.empty()) args.insert(args.end(), {"--bridgeid", options_.bridgeId});
    if (!options_.stateFile.empty()) args.insert(args.end(), {"--state", options_.stateFile});
    args.insert(args.end(), options_.extraArgs.begin(), options_.extraArgs.end());

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // The simulator goes with the test process, even when that one crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(1);
        ::dup2(out[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);

    // Wait (real time, bounded) for "listening on HOST:PORT" (and "answering
    // discovery on HOST:PORT" after it).
    std::string line;
    const std::size_t lines = 1 + (options_.ssdp.empty() ? 0 : 1) + (options_.tls.empty() ? 0 : 1);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (static_cast<std::size_t>(std::count(line.begin(), line.end(), '\n')) < lines) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{out[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[256];
        ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    auto at = line.find("listening on ");
    auto colon = line.rfind(':', line.find('\n'));
    if (at == std::string::npos || colon == std::string::npos) {
        stop();
        throw std::runtime_error("glowmere-bridge-sim did not start: " + line);
    }
    port_ = std::stoi(line.substr(colon + 1));
    if (!options_.tls.empty()) {
        auto secure = line.find("listening for HTTPS on ");
        auto secureColon = secure == std::string::npos ? std::string::npos : line.rfind(':', line.find('\n', secure));
        if (secureColon == std::string::npos || secureColon < secure) {
            stop();
            throw std::runtime_error("glowmere-bridge-sim did not serve HTTPS: " + line);
        }
        tlsPort_ = std::stoi(line.substr(secureColon + 1));
    }
    if (!options_.ssdp.empty()) {
        auto second = line.find("answering discovery on ");
        auto end = line.find('\n', second);
        auto ssdpColon = second == std::string::npos ? std::string::npos : line.rfind(':', end);
        if (ssdpColon == std::string::npos || ssdpColon < second) {
            stop();
            throw std::runtime_error("glowmere-bridge-sim did not answer discovery: " + line);
        }
        ssdpPort_ = std::stoi(line.substr(ssdpColon + 1));
    }
}

int SimulatedBridge::tlsPort() const {
    return tlsPort_;
}

std::string SimulatedBridge::tlsAddress() const {
    return "https://" + options_.tls.substr(0, options_.tls.rfind(':')) + ":" + std::to_string(tlsPort_);
}

int SimulatedBridge::ssdpPort() const {
    return ssdpPort_;
}

SimulatedBridge::~SimulatedBridge() {
    stop();
}

int SimulatedBridge::port() const {
    return port_;
}
std::string SimulatedBridge::host() const {
    const std::string host = options_.listen.substr(0, options_.listen.rfind(':'));
    return host.empty() || host == "0.0.0.0" ? "127.0.0.1" : host;
}
std::string SimulatedBridge::address() const {
    return host() + ":" + std::to_string(port_);
}
std::string SimulatedBridge::user() const {
    return options_.user;
}

void SimulatedBridge::stop() {
    stopWithSignal(SIGTERM);
}

int SimulatedBridge::stopWithSignal(int signal) {
    if (pid_ <= 0) return -1;
    ::kill(pid_, signal);
    int status = 0;
    // Bounded: a simulator that does not stop is killed, and the test sees it.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        ::usleep(1000);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<std::string> SimulatedBridge::request(const std::string& method, const std::string& path,
                                                    const std::string& body) {
    int status = 0;
    return request(method, path, body, status);
}

std::optional<std::string> SimulatedBridge::request(const std::string& method, const std::string& path,
                                                    const std::string& body, int& status) {
    status = 0;
    if (pid_ <= 0) return std::nullopt;
    httplib::Client client(host(), port_);
    client.set_connection_timeout(std::chrono::seconds(5));
    client.set_read_timeout(std::chrono::seconds(30));
    httplib::Request req;
    req.method = method;
    req.path = path;
    req.body = body;
    if (!body.empty()) req.set_header("Content-Type", "application/json");
    auto result = client.send(req);
    if (!result) return std::nullopt;
    status = result->status;
    return result->body;
}

std::optional<std::string> SimulatedBridge::userRequest(const std::string& method, const std::string& path,
                                                        const std::string& body) {
    return request(method, "/api/" + options_.user + "/" + path, body);
}

std::string SimulatedBridge::control(const std::string& method, const std::string& path, const std::string& body) {
    int status = 0;
    auto reply = request(method, path, body, status);
    if (!reply) throw std::runtime_error("no reply from the simulator to " + method + " " + path);
    if (status != 200) throw std::runtime_error("the simulator refused " + method + " " + path + ": " + *reply);
    return *reply;
}

void SimulatedBridge::pressLinkButton() {
    control("POST", "/sim/linkbutton");
}

std::vector<SimRequest> SimulatedBridge::requestLog() {
    auto log = nlohmann::json::parse(control("GET", "/sim/log"));
    std::vector<SimRequest> out;
    for (const auto& entry : log) {
        out.push_back(SimRequest{entry.at("method"), entry.at("path"), entry.at("body"), entry.at("time")});
    }
    return out;
}

void SimulatedBridge::clearRequestLog() {
    control("DELETE", "/sim/log");
}

void SimulatedBridge::setClock(const std::string& utcTime) {
    control("PUT", "/sim/clock", nlohmann::json{{"time", utcTime}}.dump());
}

void SimulatedBridge::advanceClock(double seconds) {
    control("POST", "/sim/clock/advance", "{\"seconds\":" + numberText(seconds) + "}");
}

void SimulatedBridge::runClockInRealTime() {
    control("PUT", "/sim/clock", R"({"real":true})");
}

std::string SimulatedBridge::clock() {
    return nlohmann::json::parse(control("GET", "/sim/clock")).at("time");
}

void SimulatedBridge::addFault(const std::string& kind, int count, int millis, const std::string& pathContains,
                               int code, int members) {
    nlohmann::json fault{{"kind", kind}, {"count", count}, {"ms", millis}, {"path", pathContains}};
    if (code) fault["code"] = code;
    if (members) fault["members"] = members;
    control("POST", "/sim/faults", fault.dump());
}

void SimulatedBridge::addLatency(int millis, int count, const std::string& pathContains) {
    addFault("latency", count, millis, pathContains);
}
void SimulatedBridge::closeWithoutReply(int count, const std::string& pathContains) {
    addFault("close", count, 0, pathContains);
}
void SimulatedBridge::malformedReply(int count, const std::string& pathContains) {
    addFault("malformed", count, 0, pathContains);
}
void SimulatedBridge::errorPage(int count, const std::string& pathContains) {
    addFault("error500", count, 0, pathContains);
}
void SimulatedBridge::nonAsciiReply(int count, const std::string& pathContains) {
    addFault("nonascii", count, 0, pathContains);
}
void SimulatedBridge::statusPage(int code, int count, const std::string& pathContains) {
    addFault("status", count, 0, pathContains, code);
}
void SimulatedBridge::oversizedReply(int count, const std::string& pathContains) {
    addFault("oversized", count, 0, pathContains);
}
void SimulatedBridge::endlessReply(int count, const std::string& pathContains) {
    addFault("endless", count, 0, pathContains);
}
void SimulatedBridge::longList(int members, int count, const std::string& pathContains) {
    addFault("members", count, 0, pathContains, 0, members);
}
void SimulatedBridge::fixedReply(const std::string& body, const std::string& method, int count,
                                 const std::string& pathContains) {
    control(
        "POST", "/sim/faults",
        nlohmann::json{{"kind", "reply"}, {"count", count}, {"body", body}, {"method", method}, {"path", pathContains}}
            .dump());
}
void SimulatedBridge::makeUnauthorized(const std::string& user) {
    control("POST", "/sim/faults", nlohmann::json{{"kind", "unauthorized"}, {"user", user}}.dump());
}
void SimulatedBridge::clearFaults() {
    control("DELETE", "/sim/faults");
}

void SimulatedBridge::changeLamp(const std::string& lampId, const std::string& json) {
    control("PUT", "/sim/lights/" + lampId, json);
}

void SimulatedBridge::queueNewLamps(int count, double delaySeconds, const std::vector<std::string>& names) {
    control("POST", "/sim/newlamps",
            nlohmann::json{{"count", count}, {"delay", delaySeconds}, {"names", names}}.dump());
}

void SimulatedBridge::addUser(const std::string& name) {
    control("POST", "/sim/users", nlohmann::json{{"name", name}}.dump());
}

std::string SimulatedBridge::state() {
    return control("GET", "/sim/state");
}

}  // namespace glowmere::testing
