#include "platform/InputChecks.h"

#include <algorithm>

namespace glowmere::platform {

namespace {

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isSegmentCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// The number of 16-bit units of valid UTF-8 text without control
// characters; nothing for anything else.
std::optional<std::size_t> utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) return std::nullopt;
        std::uint32_t cp = length == 1 ? c : c & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            cp = (cp << 6) | (next & 0x3F);
        }
        static const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < smallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return std::nullopt;
        units += cp >= 0x10000 ? 2 : 1;
        i += length;
    }
    return units;
}

}  // namespace

std::optional<std::int64_t> wholeNumber(std::string_view text, std::int64_t min, std::int64_t max) {
    if (!allDigits(text) || text.size() > 18) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) value = value * 10 + (c - '0');
    if (value < min || value > max) return std::nullopt;
    return value;
}

bool isBridgeIdentifier(std::string_view text, bool allowZero) {
    if (text == "0") return allowZero;
    return allDigits(text) && text.front() != '0' && wholeNumber(text, 1, 2147483647).has_value();
}

std::optional<std::int64_t> tenths(std::string_view text, std::int64_t maxTenths) {
    auto point = text.find('.');
    std::string_view whole = text.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (point != std::string_view::npos && fraction.size() != 1) return std::nullopt;
    auto w = wholeNumber(whole, 0, maxTenths / 10 + 1);
    if (!w) return std::nullopt;
    std::int64_t value = *w * 10;
    if (!fraction.empty()) {
        if (!allDigits(fraction)) return std::nullopt;
        value += fraction.front() - '0';
    }
    if (value > maxTenths) return std::nullopt;
    return value;
}

bool isTimeOfDay(std::string_view text) {
    if (text.size() != 5 || text[2] != ':') return false;
    auto h = wholeNumber(text.substr(0, 2), 0, 23);
    auto m = wholeNumber(text.substr(3, 2), 0, 59);
    return h && m;
}

std::optional<std::string> checkedName(std::string_view text, std::size_t maxLength) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    auto length = utf16Length(text);
    if (!length || *length == 0 || *length > maxLength) return std::nullopt;
    return std::string(text);
}

std::optional<std::string> fittedName(std::string_view text, std::size_t maxLength) {
    if (!utf16Length(text)) return std::nullopt;
    while (!text.empty()) {
        if (auto name = checkedName(text, maxLength)) return name;
        // Too long: drop the last character whole (its continuation bytes, then its lead byte).
        while (text.size() > 1 && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80) text.remove_suffix(1);
        text.remove_suffix(1);
    }
    return std::nullopt;
}

std::optional<std::string> checkedBridgePath(std::string_view text) {
    if (!text.empty() && text.front() == '/') text.remove_prefix(1);
    if (text.empty() || text.size() > 256) return std::nullopt;
    bool segmentStart = true;
    for (char c : text) {
        if (c == '/') {
            if (segmentStart) return std::nullopt;  // an empty segment
            segmentStart = true;
            continue;
        }
        if (!isSegmentCharacter(c)) return std::nullopt;
        segmentStart = false;
    }
    if (segmentStart) return std::nullopt;  // ends in "/"
    return std::string(text);
}

}  // namespace glowmere::platform
