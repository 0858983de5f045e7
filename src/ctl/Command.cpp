#include "ctl/Command.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <ostream>

#include "platform/Log.h"

namespace glowmere::ctl {

void LogRecorder::take(std::string_view line) {
    // Lines quote the bridge's text: cut long ones and escape control
    // characters, for the terminal's sake.
    std::string shown = platform::printable(line, platform::logTextLimit + 200);
    std::lock_guard lock(mutex_);
    lines_.push_back(shown);
    if (lines_.size() > keptLines) {
        lines_.pop_front();
        ++dropped_;
    }
    if (echo_) *echo_ << shown << std::endl;
}

std::vector<std::string> LogRecorder::linesSince(std::size_t mark) const {
    std::lock_guard lock(mutex_);
    std::size_t from = mark > dropped_ ? mark - dropped_ : 0;
    if (from >= lines_.size()) return {};
    return {lines_.begin() + static_cast<std::ptrdiff_t>(from), lines_.end()};
}

std::size_t LogRecorder::mark() const {
    std::lock_guard lock(mutex_);
    return dropped_ + lines_.size();
}

void LogRecorder::setEcho(std::ostream* stream) {
    std::lock_guard lock(mutex_);
    echo_ = stream;
}

int usageError(Context& ctx, const Command& command, std::string_view message) {
    // The message may quote an argument as given: escaped, like any text from outside.
    ctx.err << "glowmerectl: " << platform::printable(message) << "\nusage: glowmerectl " << command.name
            << (command.arguments.empty() ? "" : " ") << command.arguments << std::endl;
    return exitUsage;
}

int reportFailure(Context& ctx, std::string_view what, std::size_t mark) {
    const auto lines = ctx.log.linesSince(mark);
    auto has = [&](std::string_view text) {
        for (const auto& l : lines)
            if (l == text) return true;
        return false;
    };
    const auto address = ctx.bridge.bridgeIP();
    std::string reason;
    if (!address) {
        reason = "no bridge address known; give one with --bridge HOST[:PORT] or set \"lastusedbridgeIP\"";
    } else if (has("unable to communicate with Bridge")) {
        reason = "could not reach the bridge at " + *address;
    } else if (ctx.bridge.pairingNeeded()) {
        reason = "the bridge at " + *address +
                 " no longer accepts the stored user name: pairing is needed; run 'glowmerectl login' and press the "
                 "bridge's link button";
    } else if (has("we don't have a username") && !ctx.bridge.getUsername()) {
        reason = "not paired with the bridge at " + *address +
                 "; run 'glowmerectl login' and press the bridge's link button";
    } else if (auto failure = ctx.bridge.lastFailure()) {
        using Kind = RequestFailure::Kind;
        if (failure->kind == Kind::NoReply || failure->kind == Kind::NotSent)
            reason = "could not reach the bridge at " + *address;
        else
            reason = failure->describe();
    } else {
        reason = "the request failed";
    }
    ctx.err << "glowmerectl: " << what << ": " << reason << std::endl;
    return exitFailed;
}

int runOnBridge(Context& ctx, std::string_view what, const std::function<void()>& operation) {
    const auto mark = ctx.log.mark();
    const auto failedBefore = ctx.bridge.failedRequests();
    operation();
    // Commands go through the pacing queue; their outcome comes when it is empty.
    ctx.bridge.waitForCommands();
    if (ctx.bridge.failedRequests() == failedBefore) return exitOk;
    return reportFailure(ctx, what, mark);
}

std::optional<double> parseNumber(std::string_view text, double min, double max) {
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return value;
}

bool isHostAndPort(std::string_view text) {
    auto colon = text.rfind(':');
    std::string_view host = text.substr(0, colon);
    if (host.empty() || host.size() > 253) return false;
    // Dot-separated labels of letters, digits and inner hyphens: nothing an
    // option ("-x") or a URL could be mistaken for.
    for (std::size_t from = 0; from <= host.size();) {
        auto dot = host.find('.', from);
        std::string_view label = host.substr(from, dot == std::string_view::npos ? std::string_view::npos : dot - from);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
        for (char c : label)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-')) return false;
        if (dot == std::string_view::npos) break;
        from = dot + 1;
    }
    if (colon == std::string_view::npos) return true;
    // A port as written in an address: digits, no leading zero ("080" could be
    // meant as octal or as a slip).
    std::string_view port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.front() == '0' ||
        port.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    auto value = parseNumber(port, 1, 65535);
    return value.has_value();
}

}  // namespace glowmere::ctl
