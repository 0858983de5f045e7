// glowmerectl: the bridge client's operations from the command line, on the
// same defaults store as the desktop application, so pairing once serves
// both.
//
// Commands live in groups, one pair of files per group, each with a function
// that appends its commands to the table (see BridgeCommands.h). To add a
// group, write e.g. ScheduleCommands.{h,cpp} with
// `void addScheduleCommands(CommandTable&)`, list the sources and any layer
// library they need in CMakeLists.txt, and add the function to
// `commandGroups` below; main only parses the global options and dispatches.

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "bridge/BridgeBridge.h"
#include "ctl/BridgeCommands.h"
#include "ctl/Command.h"
#include "ctl/DesktopCommands.h"
#include "ctl/ExplorerCommands.h"
#include "ctl/PresetCommands.h"
#include "ctl/SceneCommands.h"
#include "ctl/ScheduleCommands.h"
#include "platform/Clock.h"
#include "platform/DefaultsStore.h"
#include "platform/HttpClient.h"
#include "platform/LocalSearch.h"
#include "platform/Log.h"
#include "platform/Version.h"

using namespace glowmere;
using namespace glowmere::ctl;

namespace {

const std::vector<void (*)(CommandTable&)> commandGroups = {
    addBridgeCommands, addScheduleCommands, addPresetCommands,
    addSceneCommands,  addExplorerCommands, addDesktopCommands,
};

// Whether a command's usage text names `option` as a whole word.
bool namesOption(const std::string& usage, const std::string& option) {
    for (auto at = usage.find(option); at != std::string::npos; at = usage.find(option, at + 1)) {
        auto end = at + option.size();
        if (end == usage.size() || std::string(" ]|)").find(usage[end]) != std::string::npos) return true;
    }
    return false;
}

// The search of the local network. GLOWMERE_SEARCH_WAIT_MS (100-3000) cuts
// its wait for answers: the tests' bridges answer on loopback within
// milliseconds, so they need not wait out the whole 3 s each time.
class LocalNetworkSearch final : public platform::LocalSearch {
public:
    LocalNetworkSearch() {
        const char* text = std::getenv("GLOWMERE_SEARCH_WAIT_MS");
        char* end = nullptr;
        const long millis = text ? std::strtol(text, &end, 10) : 0;
        if (text && end != text && *end == '\0' && millis >= 100 && millis <= 3000)
            wait_ = std::chrono::milliseconds(millis);
    }
    std::vector<platform::LocalSearchReply> search(const std::string& target,
                                                   std::chrono::milliseconds wait) override {
        return ssdp_.search(target, wait_.value_or(wait));
    }

private:
    platform::SsdpSearch ssdp_;
    std::optional<std::chrono::milliseconds> wait_;
};

void printUsage(std::ostream& out, const CommandTable& table) {
    out << "usage: glowmerectl [--profile DIR] [--bridge [https://]HOST[:PORT]] [--timeout SECONDS] [--json] "
           "[--verbose]\n"
           "                   COMMAND [ARGS]\n"
           "       glowmerectl --help | --version\n\n"
           "commands:\n";
    for (const auto& c : table) {
        std::string head = "  " + c.name + (c.arguments.empty() ? "" : " " + c.arguments);
        out << head;
        if (head.size() < 52)
            out << std::string(52 - head.size(), ' ');
        else
            out << "\n" << std::string(52, ' ');
        out << c.summary << '\n';
    }
    out << "\nexit status: 0 success, 1 the bridge refused or could not be reached or the settings could not be "
           "saved, 2 usage error\n";
}

// The options before the command, and the command with its arguments.
struct GlobalOptions {
    std::optional<std::filesystem::path> profile;
    std::optional<std::string> bridgeOverride;
    std::optional<double> replyTimeout;
    bool json = false;
    bool verbose = false;
    std::vector<std::string> rest;
};

// "--profile DIR" or "--bridge ADDRESS" taken into `options`; false (said
// on standard error) when the value is not one.
bool takeValueOption(const std::string& arg, const std::string& value, GlobalOptions& options) {
    if (arg == "--profile") {
        if (value.empty()) {
            std::cerr << "glowmerectl: --profile needs a directory" << std::endl;
            return false;
        }
        options.profile = value;
        return true;
    }
    const bool secure = value.rfind("https://", 0) == 0;
    if (!isHostAndPort(secure ? value.substr(8) : value)) {
        std::cerr << "glowmerectl: '" << platform::printable(value) << "' is not HOST, HOST:PORT or https://HOST[:PORT]"
                  << std::endl;
        return false;
    }
    options.bridgeOverride = value;
    return true;
}

// The global options read into `options`; the exit status when they end the
// run already (a usage error, --help, --version).
std::optional<int> readGlobalOptions(int argc, char** argv, const CommandTable& table, GlobalOptions& options) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded) {
            options.rest.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--timeout") {
            if (i + 1 >= argc) {
                std::cerr << "glowmerectl: --timeout needs a value" << std::endl;
                return exitUsage;
            }
            options.replyTimeout = parseNumber(argv[++i], 0.1, 3600);
            if (!options.replyTimeout) {
                std::cerr << "glowmerectl: --timeout takes seconds from 0.1 to 3600" << std::endl;
                return exitUsage;
            }
        } else if (arg == "--profile" || arg == "--bridge") {
            if (i + 1 >= argc) {
                std::cerr << "glowmerectl: " << arg << " needs a value" << std::endl;
                return exitUsage;
            }
            if (!takeValueOption(arg, argv[++i], options)) return exitUsage;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--verbose" || arg == "-v") {
            options.verbose = true;
        } else if (arg == "--help" || arg == "-h" || arg == "help") {
            printUsage(std::cout, table);
            return exitOk;
        } else if (arg == "--version") {
            std::cout << "glowmerectl " << platform::version() << std::endl;
            return exitOk;
        } else {
            options.rest.push_back(arg);
        }
    }
    return std::nullopt;
}

// The command `rest` names, with no option it does not take; nothing (said
// on standard error) otherwise.
const Command* chosenCommand(const CommandTable& table, const std::vector<std::string>& rest) {
    if (rest.empty()) {
        printUsage(std::cerr, table);
        return nullptr;
    }
    const Command* command = nullptr;
    for (const auto& c : table)
        if (c.name == rest[0]) command = &c;
    if (!command) {
        std::cerr << "glowmerectl: unknown command '" << platform::printable(rest[0]) << "' (see glowmerectl --help)"
                  << std::endl;
        return nullptr;
    }
    for (std::size_t i = 1; i < rest.size(); ++i) {
        // Options of a command itself (--group, or any its usage names) are
        // left to it; others are mistakes.
        if (rest[i].rfind("--", 0) == 0 && rest[i] != "--group" && !namesOption(command->arguments, rest[i])) {
            std::cerr << "glowmerectl: unknown option '" << platform::printable(rest[i]) << "'" << std::endl;
            return nullptr;
        }
    }
    return command;
}

// The bridge as a command-line run uses it.
void setUpBridge(BridgeBridge& bridge, platform::LocalSearch& localSearch, const GlobalOptions& options) {
    bridge.setLocalSearch(&localSearch);
    // A bridge that no longer knows the stored name ends the command at
    // once with how to pair, rather than waiting for a link button.
    bridge.setPairsOnDemand(false);
    // The bridge is asked who it is before it gets the user name; one that
    // moved is looked for once in this call.
    bridge.setVerifiesBridge(true);
    bridge.setFollowsOnce(true);
    bridge.setLinkObserver([](BridgeBridge::LinkEvent event, const std::string& from, const std::string& to) {
        if (event == BridgeBridge::LinkEvent::Moved)
            std::cerr << "glowmerectl: the bridge moved from " << platform::printable(from) << " to "
                      << platform::printable(to) << std::endl;
    });
    // An address given for this call is used without being stored.
    if (options.bridgeOverride) bridge.setBridgeIP(*options.bridgeOverride);
    if (options.replyTimeout)
        bridge.setReplyTimeout(std::chrono::milliseconds(static_cast<long long>(*options.replyTimeout * 1000)));
}

}  // namespace

int main(int argc, char** argv) {
    CommandTable table;
    for (auto add : commandGroups) add(table);

    GlobalOptions options;
    if (auto status = readGlobalOptions(argc, argv, table, options)) return *status;
    const Command* command = chosenCommand(table, options.rest);
    if (!command) return exitUsage;

    LogRecorder log;
    log.setEcho(options.verbose ? &std::cerr : nullptr);
    platform::setLogSink([&log](std::string_view line) { log.take(line); });

    platform::DefaultsStore defaults(options.profile ? *options.profile : platform::DefaultsStore::defaultDirectory());
    // Settings that could not be read are set aside, not lost: say where, once.
    std::optional<std::filesystem::path> toldAside;
    auto tellSetAside = [&] {
        auto aside = defaults.movedAsideFile();
        if (!aside || aside == toldAside) return;
        toldAside = aside;
        std::cerr << "glowmerectl: the settings file could not be read; it was kept as "
                  << platform::printable(aside->string()) << " and the settings start empty" << std::endl;
    };
    tellSetAside();
    platform::CurlHttpClient http;
    LocalNetworkSearch localSearch;
    BridgeBridge bridge(http, defaults, platform::SystemClock::shared());
    setUpBridge(bridge, localSearch, options);
    // Pairing shows its countdown where the command's output goes (login)
    // or beside it (a command that finds itself without a user name).
    const bool loginCommand = command->name == "login";
    PairingCountdown pairing(loginCommand ? std::cout : std::cerr, ::isatty(loginCommand ? 1 : 2) == 1);
    bridge.setLoginObserver([&](int attempt) { pairing.attempt(attempt, bridge.bridgeIP().value_or("?")); });

    std::optional<std::chrono::milliseconds> timeout;
    if (options.replyTimeout) timeout = std::chrono::milliseconds(static_cast<long long>(*options.replyTimeout * 1000));
    Context ctx{defaults, bridge,  log, std::cout, std::cerr, options.json, options.verbose, options.bridgeOverride,
                timeout,  &pairing};
    FailureRecorder failures(bridge);
    ctx.failures = &failures;
    std::vector<std::string> args(options.rest.begin() + 1, options.rest.end());
    std::string saveFailure;
    defaults.setSaveFailureObserver([&](const std::string& reason) {
        if (saveFailure.empty()) saveFailure = reason;
    });
    int status = command->run(ctx, args);
    pairing.finish();
    platform::setLogSink({});
    tellSetAside();
    // A change that did not reach the profile is a failure, whatever the
    // bridge said: the next run would not know about it.
    if (!saveFailure.empty() && status != exitUsage) {
        std::cerr << "glowmerectl: could not save the settings in " << defaults.directory().string() << ": "
                  << saveFailure << std::endl;
        return exitFailed;
    }
    return status;
}
