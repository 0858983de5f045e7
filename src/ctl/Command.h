#pragma once

#include <chrono>
#include <deque>
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

// Takes the core's log lines: keeps the latest ones so a failure can be
// explained in one line, and passes them on to a stream while one is set.
// Only a bounded tail is kept (a login makes 30 attempts, a bridge may
// answer each with a long text), so memory does not grow with what is
// logged.
class LogRecorder {
public:
    static constexpr std::size_t keptLines = 64;

    void take(std::string_view line);
    // The kept lines logged since `mark` (older ones may be gone).
    std::vector<std::string> linesSince(std::size_t mark) const;
    std::size_t mark() const;  // how many lines were logged so far
    void setEcho(std::ostream* stream);

private:
    mutable std::mutex mutex_;
    std::deque<std::string> lines_;
    std::size_t dropped_ = 0;  // lines logged before the first kept one
    std::ostream* echo_ = nullptr;
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
};

struct Command {
    std::string name;
    std::string arguments;  // shown in the usage text, e.g. "ID [bri=N]"
    std::string summary;
    // Gets the arguments after the command's name, global options removed.
    std::function<int(Context&, const std::vector<std::string>&)> run;
};

using CommandTable = std::vector<Command>;

// Prints "glowmerectl: MESSAGE" and the command's usage; gives exitUsage.
int usageError(Context& ctx, const Command& command, std::string_view message);

// Runs one or more core operations and tells whether every request they made
// succeeded; when not, prints one line saying why (from what the core
// logged) and gives exitFailed.
int runOnBridge(Context& ctx, std::string_view what, const std::function<void()>& operation);
// The one-line explanation of a failure, from the log lines since `mark`.
int reportFailure(Context& ctx, std::string_view what, std::size_t mark);

// Checks of command-line arguments.
std::optional<double> parseNumber(std::string_view text, double min, double max);
bool isHostAndPort(std::string_view text);

}  // namespace glowmere::ctl
