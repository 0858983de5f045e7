#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace glowmere::platform {

// The system's log: free-text lines without levels. By default each line goes
// to standard error behind a local timestamp; a capture (tests) or another
// sink can take them instead.
void log(std::string_view line);

// Text from outside (a bridge's reply, a name) made safe to show on a
// terminal or in a log line: control characters (C0, DEL and the C1 range)
// are written as escapes (\n, \t, \x1b, \u009b), and so is every byte that
// is not part of valid UTF-8 (\xff); everything else stays as it is. With a `limit`, at most that many bytes of the
// text are kept and the rest is summed up as "... (N bytes)", so a huge reply never makes a huge line.
std::string printable(std::string_view text, std::size_t limit = 0);

// The limit for bridge text quoted in log lines.
constexpr std::size_t logTextLimit = 1000;

using LogSink = std::function<void(std::string_view line)>;

// Replaces the sink; an empty function restores standard error. Returns the
// sink that was in place.
LogSink setLogSink(LogSink sink);

// Collects every line logged while it lives (and still lets them through to
// the previous sink when `echo` is set). Safe to read from any thread.
class LogCapture {
public:
    explicit LogCapture(bool echo = false);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(std::string_view line) const;  // an exact line
    std::size_t count(std::string_view line) const;
    bool containsSubstring(std::string_view part) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    LogSink previous_;
    bool echo_;
};

}  // namespace glowmere::platform
