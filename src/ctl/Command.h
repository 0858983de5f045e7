#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/BridgeBridge.h"
#include "platform/DefaultsStore.h"

namespace glowmere::ctl {

enum ExitCode { exitOk = 0, exitFailed = 1, exitUsage = 2 };

// Takes the core's log lines and passes them on to a stream while one is
// set (--verbose), cut and escaped for the terminal's sake.
class LogRecorder {
public:
    void take(std::string_view line);
    void setEcho(std::ostream* stream);

private:
    std::mutex mutex_;
    std::ostream* echo_ = nullptr;
};

// Shows how long pairing still waits for the link button: one line,
// rewritten in place on a terminal, otherwise a new line about every 10 s
// (a log or a pipe gets no carriage returns).
class PairingCountdown {
public:
    PairingCountdown(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
    // The login observer: 0 when waiting starts, then each attempt from 1.
    void attempt(int attempt, const std::string& address);
    // Ends the rewritten line, if one was started.
    void finish();
    // How many attempts were made (the last one seen).
    int attempts() const { return attempts_; }

private:
    std::ostream& out_;
    bool terminal_;
    int attempts_ = 0;
    bool lineOpen_ = false;
};

// What every command gets: the core objects and the streams to write to.
struct Context {
    platform::DefaultsStore& defaults;
    BridgeBridge& bridge;
    LogRecorder& log;
    std::ostream& out;
    std::ostream& err;
    bool json = false;
    bool verbose = false;
    std::optional<std::string> bridgeOverride;              // --bridge for this call only
    std::optional<std::chrono::milliseconds> replyTimeout;  // --timeout
    PairingCountdown* pairing = nullptr;                    // shows a login's wait, when set
    // Every request failure of the command so far, when set: what a failed
    // read is explained by.
    const FailureRecorder* failures = nullptr;
};

struct Command {
    std::string name;
    std::string arguments;  // shown in the usage text, e.g. "ID [bri=N]"
    std::string summary;
    // Gets the arguments after the command's name, global options removed.
    std::function<int(Context&, const std::vector<std::string>&)> run;
};

using CommandTable = std::vector<Command>;

// A command whose `run` is also handed the command itself (for its usage).
Command command(std::string name, std::string arguments, std::string summary,
                std::function<int(Context&, const Command&, const std::vector<std::string>&)> run);

// Prints "glowmerectl: MESSAGE" and the command's usage; gives exitUsage.
int usageError(Context& ctx, const Command& command, std::string_view message);

// Runs one or more core operations and tells whether every request they made
// succeeded; when not, prints one line saying why and gives exitFailed.
int runOnBridge(Context& ctx, std::string_view what, const std::function<void()>& operation);
// Prints the one-line explanation of a failure, from the failure the call
// gave back (else the command's newest one), and gives exitFailed.
int reportFailure(Context& ctx, std::string_view what, const std::optional<RequestFailure>& failure = std::nullopt);

// Standard JSON of a record: every text a JSON string, escaped, except the
// members known to be numbers, booleans or lists, which the bridge's
// records keep as texts; typed values (numbers, booleans) as themselves.
std::string jsonOf(const Value& v, std::string_view key = {});
// A text as a JSON string.
std::string jsonString(std::string_view text);

// Checks of command-line arguments.
std::optional<double> parseNumber(std::string_view text, double min, double max);
bool isHostAndPort(std::string_view text);

}  // namespace glowmere::ctl
