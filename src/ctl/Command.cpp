#include "ctl/Command.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <ostream>

#include "bridge/JsonText.h"
#include "platform/Log.h"

namespace glowmere::ctl {

void LogRecorder::take(std::string_view line) {
    std::lock_guard lock(mutex_);
    if (!echo_) return;
    // Lines quote the bridge's text: cut long ones and escape control
    // characters, for the terminal's sake.
    *echo_ << platform::printable(line, platform::logTextLimit + 200) << std::endl;
}

void LogRecorder::setEcho(std::ostream* stream) {
    std::lock_guard lock(mutex_);
    echo_ = stream;
}

namespace {

// The record's reader keeps the bridge's numbers, booleans and lists as
// texts; these members are given back as the JSON types they were.
bool isNumberKey(std::string_view key) {
    for (const char* k : {"brightness", "colour", "saturation", "ct", "bri", "hue", "sat", "transitiontime"})
        if (key == k) return true;
    return false;
}
bool isBooleanKey(std::string_view key) {
    for (const char* k : {"onoff", "on", "reachable", "all_on", "any_on"})
        if (key == k) return true;
    return false;
}

std::optional<std::string> jsonNumber(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789.-+eE") != std::string_view::npos) return std::nullopt;
    double d = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), d);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(d)) return std::nullopt;
    return formatNumber(d);
}

// "[0.3,0.4]" as a JSON list of numbers; "[\"1\",\"2\"]" as one of texts.
std::optional<std::string> jsonList(const std::string& text, std::string_view key) {
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') return std::nullopt;
    std::string out = "[";
    if (key == "lights") {
        for (const auto& id : BridgeBridge::memberIdentifiers(text))
            out += (out.size() > 1 ? "," : "") + jsonOf(Value(id));
        return out + "]";
    }
    std::string_view rest = std::string_view(text).substr(1, text.size() - 2);
    while (!rest.empty()) {
        auto comma = rest.find(',');
        auto number = jsonNumber(rest.substr(0, comma));
        if (!number) return std::nullopt;
        out += (out.size() > 1 ? "," : "") + *number;
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return out + "]";
}

}  // namespace

// Every text a JSON string, escaped, so the output is valid JSON holding
// every character the bridge sent (the bridge writer's own rules would write
// a name "true" as a boolean).
std::string jsonOf(const Value& v, std::string_view key) {
    switch (v.type()) {
        case Value::Type::Map: {
            std::string out = "{";
            for (const auto& [name, member] : v.asMap())
                out += (out.size() > 1 ? "," : "") + ("\"" + jsontext::escapeJSONText(name) + "\":") +
                       jsonOf(member, name);
            return out + "}";
        }
        case Value::Type::List: {
            std::string out = "[";
            for (const auto& item : v.asList()) out += (out.size() > 1 ? "," : "") + jsonOf(item);
            return out + "]";
        }
        case Value::Type::Null:
            return "null";
        case Value::Type::Bool:
            return v.boolValue() ? "true" : "false";
        case Value::Type::Integer:
        case Value::Type::Real:
            return formatNumber(v.doubleValue());
        default: {
            const std::string text = v.textValue();
            if (isBooleanKey(key) && (text == "true" || text == "false")) return text;
            if (isNumberKey(key))
                if (auto number = jsonNumber(text)) return *number;
            if (key == "lights" || key == "xy")
                if (auto list = jsonList(text, key)) return *list;
            return jsonString(text);
        }
    }
}

std::string jsonString(std::string_view text) {
    return "\"" + jsontext::escapeJSONText(text) + "\"";
}

void PairingCountdown::attempt(int attempt, const std::string& address) {
    if (attempt == 0) return;
    attempts_ = attempt;
    using namespace std::chrono;
    const auto pause = BridgeBridge::loginPause;
    const auto left = duration_cast<seconds>(pause * (BridgeBridge::loginAttempts - attempt + 1) + 999ms).count();
    // Every attempt on a terminal; elsewhere the first and one about every 10 s.
    const int every = std::max<int>(1, static_cast<int>(10s / pause));
    if (!terminal_ && (attempt - 1) % every != 0) return;
    if (terminal_) out_ << '\r';
    out_ << "Press the link button on the bridge at " << platform::printable(address) << " now: " << std::setw(2)
         << left << " s left";
    if (terminal_)
        out_ << std::flush;
    else
        out_ << std::endl;
    lineOpen_ = terminal_;
}

void PairingCountdown::finish() {
    if (lineOpen_) out_ << std::endl;
    lineOpen_ = false;
}

int usageError(Context& ctx, const Command& command, std::string_view message) {
    // The message may quote an argument as given: escaped, like any text from outside.
    ctx.err << "glowmerectl: " << platform::printable(message) << "\nusage: glowmerectl " << command.name
            << (command.arguments.empty() ? "" : " ") << command.arguments << std::endl;
    return exitUsage;
}

int reportFailure(Context& ctx, std::string_view what, const std::optional<RequestFailure>& given) {
    using Kind = RequestFailure::Kind;
    const auto failure = given ? given : ctx.failures ? ctx.failures->last() : std::nullopt;
    const auto address = ctx.bridge.bridgeIP();
    std::string reason;
    if (!address) {
        reason = "no bridge address known; give one with --bridge HOST[:PORT] or set \"lastusedbridgeIP\"";
    } else if (failure && (failure->kind == Kind::NoReply || failure->kind == Kind::NotSent)) {
        reason = "could not reach the bridge at " + *address;
    } else if (ctx.bridge.pairingNeeded()) {
        reason = "the bridge at " + *address +
                 " no longer accepts the stored user name: pairing is needed; run 'glowmerectl login' and press the "
                 "bridge's link button";
    } else if (failure && failure->kind == Kind::NotPaired && !ctx.bridge.getUsername()) {
        reason = "not paired with the bridge at " + *address +
                 "; run 'glowmerectl login' and press the bridge's link button";
    } else if (failure) {
        reason = failure->describe();
    } else {
        reason = "the request failed";
    }
    ctx.err << "glowmerectl: " << what << ": " << reason << std::endl;
    return exitFailed;
}

int runOnBridge(Context& ctx, std::string_view what, const std::function<void()>& operation) {
    FailureRecorder failures(ctx.bridge);
    operation();
    // Commands go through the pacing queue; their outcome comes when it is empty.
    ctx.bridge.waitForCommands();
    if (failures.empty()) return exitOk;
    return reportFailure(ctx, what, failures.last());
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

Command command(std::string name, std::string arguments, std::string summary,
                std::function<int(Context&, const Command&, const std::vector<std::string>&)> run) {
    Command c{std::move(name), std::move(arguments), std::move(summary), nullptr};
    c.run = [c, run](Context& ctx, const std::vector<std::string>& args) { return run(ctx, c, args); };
    return c;
}

}  // namespace glowmere::ctl
