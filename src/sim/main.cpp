// glowmere-bridge-sim: a simulated lighting bridge on an HTTP port.
#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "platform/Version.h"
#include "sim/SimServer.h"
#include "sim/SsdpResponder.h"

namespace {

void usage(std::FILE* out) {
    std::fputs(
        "usage: glowmere-bridge-sim [--listen HOST:PORT] [--lamps N] [--groups G] [--user NAME]\n"
        "                           [--link-button pressed|never|after=SECONDS] [--state FILE] [--demo]\n"
        "                           [--ssdp HOST:PORT] [--names-only] [--bridgeid ID] [--tls HOST:PORT]\n"
        "                           [--tls-key FILE]\n"
        "       glowmere-bridge-sim --help | --version\n"
        "  --listen HOST:PORT  address to serve (default 127.0.0.1:8080; port 0 picks a free one)\n"
        "  --lamps N           number of lamps (default 5)\n"
        "  --groups G          number of groups (default 2)\n"
        "  --user NAME         a user name that is already paired\n"
        "  --link-button ...   pressed (for the whole run), never, or after=SECONDS (then for 30 s)\n"
        "  --state FILE        load the bridge from FILE if present and save every change to it\n"
        "  --demo              a demo house whose lamps change now and then on their own\n"
        "  --ssdp HOST:PORT    answer searches of the local network (M-SEARCH) on this UDP address,\n"
        "                      e.g. 239.255.255.250:1900 (port 0 picks a free one)\n"
        "  --names-only        list lamps and groups by name only, as older bridges do\n"
        "  --bridgeid ID       the bridge's identity in its configuration (default gmsim0a1b2c)\n"
        "  --tls HOST:PORT     also serve HTTPS there, with a self-signed certificate made at start\n"
        "                      (port 0 picks a free one)\n"
        "  --tls-key FILE      the certificate's key: read from FILE, or made and written there,\n"
        "                      so a restarted bridge keeps it (default: a new key every start)\n"
        "  --version           print the version and exit\n",
        out);
}

bool parseCount(const char* text, int low, int high, int& out) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

// The command line as read.
struct Arguments {
    glowmere::sim::SimServer::Options options;
    std::string listen = "127.0.0.1:8080";
    std::string ssdp;
    std::string tls;
};

// "pressed", "never" or "after=SECONDS".
bool isLinkButtonSetting(const std::string& lb) {
    char* end = nullptr;
    bool after = lb.rfind("after=", 0) == 0 && lb.size() > 6 && (std::strtod(lb.c_str() + 6, &end), *end == '\0');
    return lb == "pressed" || lb == "never" || after;
}

bool isBridgeId(const std::string& id) {
    return !id.empty() && id.size() <= 64 &&
           id.find_first_not_of("0123456789abcdefABCDEFghijklmnopqrstuvwxyzGHIJKLMNOPQRSTUVWXYZ") == std::string::npos;
}

// The options read into `arguments`; the exit status when they end the run
// already (a mistake, --help, --version).
std::optional<int> readArguments(int argc, char** argv, Arguments& arguments) {
    auto& options = arguments.options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "glowmere-bridge-sim: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--listen") {
            arguments.listen = value("--listen");
        } else if (arg == "--lamps") {
            if (!parseCount(value("--lamps"), 0, 1000, options.start.lamps)) {
                std::fprintf(stderr, "glowmere-bridge-sim: --lamps takes a number from 0 to 1000\n");
                return 2;
            }
        } else if (arg == "--groups") {
            if (!parseCount(value("--groups"), 0, 1000, options.start.groups)) {
                std::fprintf(stderr, "glowmere-bridge-sim: --groups takes a number from 0 to 1000\n");
                return 2;
            }
        } else if (arg == "--user") {
            options.start.user = value("--user");
        } else if (arg == "--link-button") {
            std::string lb = value("--link-button");
            if (!isLinkButtonSetting(lb)) {
                std::fprintf(stderr, "glowmere-bridge-sim: --link-button takes pressed, never or after=SECONDS\n");
                return 2;
            }
            options.start.linkButton = lb;
        } else if (arg == "--state") {
            options.stateFile = value("--state");
        } else if (arg == "--ssdp") {
            arguments.ssdp = value("--ssdp");
        } else if (arg == "--bridgeid") {
            options.start.bridgeId = value("--bridgeid");
            if (!isBridgeId(options.start.bridgeId)) {
                std::fprintf(stderr, "glowmere-bridge-sim: --bridgeid takes 1-64 letters and digits\n");
                return 2;
            }
        } else if (arg == "--tls") {
            arguments.tls = value("--tls");
        } else if (arg == "--tls-key") {
            options.tlsKeyFile = value("--tls-key");
        } else if (arg == "--names-only") {
            options.start.namesOnly = true;
        } else if (arg == "--demo") {
            options.start.demo = true;
        } else if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("glowmere-bridge-sim %s\n", std::string(glowmere::platform::version()).c_str());
            return 0;
        } else {
            std::fprintf(stderr, "glowmere-bridge-sim: unknown option %s\n", arg.c_str());
            usage(stderr);
            return 2;
        }
    }
    return std::nullopt;
}

struct Endpoint {
    std::string host;
    int port = -1;
};

// "HOST:PORT"; nothing when it is not one.
std::optional<Endpoint> parseEndpoint(const std::string& text) {
    auto colon = text.rfind(':');
    Endpoint endpoint;
    if (colon == std::string::npos || !parseCount(text.c_str() + colon + 1, 0, 65535, endpoint.port))
        return std::nullopt;
    endpoint.host = text.substr(0, colon);
    return endpoint;
}

// Serves until SIGTERM or SIGINT (blocked in every thread, waited for by one)
// or until the listener fails.
void serveUntilStopped(glowmere::sim::SimServer& server, const sigset_t& stopSignals) {
    // A signal can come before the server has started serving, when a stop
    // does not take yet; so keep asking until serve() has returned.
    std::atomic<bool> served{false};
    std::atomic<bool> signalled{false};
    std::thread signalWaiter([&server, &served, &signalled, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        signalled = true;
        while (!served) {
            server.stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    server.serve();
    served = true;
    // serve() also ends when the listener fails; wake the waiter then.
    if (!signalled) pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
}

}  // namespace

int main(int argc, char** argv) {
    using glowmere::sim::SimServer;
    Arguments arguments;
    if (auto status = readArguments(argc, argv, arguments)) return *status;
    auto listen = parseEndpoint(arguments.listen);
    if (!listen) {
        std::fprintf(stderr, "glowmere-bridge-sim: --listen takes HOST:PORT, for example 127.0.0.1:0\n");
        return 2;
    }
    const std::string& host = listen->host;
    auto ssdp = arguments.ssdp.empty() ? std::optional<Endpoint>() : parseEndpoint(arguments.ssdp);
    if (!arguments.ssdp.empty() && !ssdp) {
        std::fprintf(stderr, "glowmere-bridge-sim: --ssdp takes HOST:PORT, for example 239.255.255.250:1900\n");
        return 2;
    }
    auto tls = arguments.tls.empty() ? std::optional<Endpoint>() : parseEndpoint(arguments.tls);
    if (!arguments.tls.empty() && !tls) {
        std::fprintf(stderr, "glowmere-bridge-sim: --tls takes HOST:PORT, for example 127.0.0.1:0\n");
        return 2;
    }

    // SIGTERM and SIGINT are taken by one thread that stops the server; every
    // other thread (started below) inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    SimServer server(arguments.options);
    std::string error;
    if (!server.start(host, listen->port, error)) {
        std::fprintf(stderr, "glowmere-bridge-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on %s:%d\n", host.c_str(), server.port());
    std::fflush(stdout);
    if (tls) {
        if (!server.startTls(tls->host, tls->port, error)) {
            std::fprintf(stderr, "glowmere-bridge-sim: %s\n", error.c_str());
            return 1;
        }
        std::printf("listening for HTTPS on %s:%d\n", tls->host.c_str(), server.tlsPort());
        std::fflush(stdout);
    }
    glowmere::sim::SsdpResponder responder;
    if (ssdp) {
        // The description's address as a searching host reaches it.
        std::string reachable = host == "0.0.0.0" ? "127.0.0.1" : host;
        if (!responder.start(ssdp->host, ssdp->port, reachable + ":" + std::to_string(server.port()), error)) {
            std::fprintf(stderr, "glowmere-bridge-sim: %s\n", error.c_str());
            return 1;
        }
        std::printf("answering discovery on %s:%d\n", ssdp->host.c_str(), responder.port());
        std::fflush(stdout);
    }

    serveUntilStopped(server, stopSignals);
    server.finish();
    std::fprintf(stderr, "glowmere-bridge-sim: stopped\n");
    return 0;
}
