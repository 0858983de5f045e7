#include "platform/Log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace glowmere::platform {

namespace {

std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}

LogSink& currentSink() {
    static LogSink sink;
    return sink;
}

void writeToStandardError(std::string_view line) {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&t, &local);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    // Lines quote names and replies from outside: nothing in them may act
    // on the terminal.
    const std::string shown = printable(line);
    std::fprintf(stderr, "%s.%03d glowmere: %.*s\n", stamp, static_cast<int>(ms), static_cast<int>(shown.size()),
                 shown.data());
    std::fflush(stderr);
}

// The length of the valid UTF-8 sequence `text` starts with (shortest form,
// no surrogates, at most U+10FFFF), or 0.
std::size_t utf8SequenceLength(std::string_view text) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0xC2 || lead > 0xF4 || text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80) return 0;
    if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F) || (lead == 0xF0 && byte(1) < 0x90) ||
        (lead == 0xF4 && byte(1) > 0x8F))
        return 0;
    return length;
}

}  // namespace

std::string printable(std::string_view text, std::size_t limit) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    std::size_t kept = limit && text.size() > limit ? limit : text.size();
    // Never cut a UTF-8 sequence in two.
    while (kept < text.size() && kept > 0 && (static_cast<unsigned char>(text[kept]) & 0xC0) == 0x80) --kept;
    out.reserve(kept + 16);
    for (std::size_t i = 0; i < kept; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == 0xC2 && i + 1 < kept && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // A C1 control character (U+0080 to U+009F): terminals act on some.
            auto c1 = static_cast<unsigned char>(text[++i]);
            out += "\\u00";
            out.push_back(hex[c1 >> 4]);
            out.push_back(hex[c1 & 0xF]);
            continue;
        }
        if (c >= 0x80) {
            // A whole UTF-8 sequence is kept; a byte that is not part of one
            // is escaped like a control character.
            if (std::size_t length = utf8SequenceLength(text.substr(i, kept - i))) {
                out.append(text.substr(i, length));
                i += length - 1;
                continue;
            }
        } else if (c >= 0x20 && c != 0x7F) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += "\\x";
                out.push_back(hex[c >> 4]);
                out.push_back(hex[c & 0xF]);
        }
    }
    if (kept < text.size()) out += "... (" + std::to_string(text.size()) + " bytes)";
    return out;
}

void log(std::string_view line) {
    LogSink sink;
    {
        std::lock_guard lock(sinkMutex());
        sink = currentSink();
    }
    if (sink)
        sink(line);
    else
        writeToStandardError(line);
}

LogSink setLogSink(LogSink sink) {
    std::lock_guard lock(sinkMutex());
    LogSink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

LogCapture::LogCapture(bool echo) : echo_(echo) {
    previous_ = setLogSink([this](std::string_view line) {
        {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(line);
        }
        if (echo_) {
            if (previous_)
                previous_(line);
            else
                writeToStandardError(line);
        }
    });
}

LogCapture::~LogCapture() {
    setLogSink(std::move(previous_));
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool LogCapture::contains(std::string_view line) const {
    return count(line) > 0;
}

std::size_t LogCapture::count(std::string_view line) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count(lines_.begin(), lines_.end(), line));
}

bool LogCapture::containsSubstring(std::string_view part) const {
    std::lock_guard lock(mutex_);
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

void LogCapture::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

}  // namespace glowmere::platform
