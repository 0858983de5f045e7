#include "platform/Value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include <date/date.h>

namespace glowmere {

namespace {

const Value& nullValue() {
    static const Value null;
    return null;
}

std::size_t skipSpaceAndSign(std::string_view text, bool& negative) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\f' || text[i] == '\v'))
        ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

}  // namespace

std::int64_t leadingInteger(std::string_view text) {
    bool negative = false;
    std::size_t i = skipSpaceAndSign(text, negative);
    std::int64_t result = 0;
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 10 - 10;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (result < limit) result = result * 10 + (text[i] - '0');
        ++i;
    }
    return negative ? -result : result;
}

double leadingReal(std::string_view text) {
    bool negative = false;
    std::size_t start = skipSpaceAndSign(text, negative);
    std::size_t i = start;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    }
    // An exponent counts only when digits follow it.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
            i = j;
        }
    }
    double result = 0;
    if (i > start) {
        auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + i, result);
        if (ec == std::errc::result_out_of_range) result = std::numeric_limits<double>::infinity();
        (void)ptr;
    }
    return negative ? -result : result;
}

bool leadingBool(std::string_view text) {
    bool negative = false;
    std::size_t i = skipSpaceAndSign(text, negative);
    while (i < text.size() && text[i] == '0') ++i;
    if (i >= text.size()) return false;
    char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::string formatNumber(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
    if (d == std::trunc(d) && std::fabs(d) < 1e15) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", d);
        return buf;
    }
    char buf[64];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, d);
    (void)ec;
    return std::string(buf, ptr);
}

std::string formatDate(Value::Date d) {
    return date::format("%Y-%m-%dT%H:%M:%SZ", d);
}

Value::Type Value::type() const {
    return static_cast<Type>(data_.index());
}

bool Value::boolValue() const {
    switch (type()) {
    case Type::Bool: return std::get<bool>(data_);
    case Type::Integer: return std::get<std::int64_t>(data_) != 0;
    case Type::Real: return std::get<double>(data_) != 0.0;
    case Type::Text: return leadingBool(std::get<std::string>(data_));
    default: return false;
    }
}

std::int64_t Value::integerValue() const {
    switch (type()) {
    case Type::Bool: return std::get<bool>(data_) ? 1 : 0;
    case Type::Integer: return std::get<std::int64_t>(data_);
    case Type::Real: {
        double d = std::get<double>(data_);
        if (std::isnan(d)) return 0;
        if (d >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
        if (d <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(d);
    }
    case Type::Text: return leadingInteger(std::get<std::string>(data_));
    default: return 0;
    }
}

int Value::intValue() const {
    std::int64_t v = integerValue();
    if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

double Value::doubleValue() const {
    switch (type()) {
    case Type::Bool: return std::get<bool>(data_) ? 1.0 : 0.0;
    case Type::Integer: return static_cast<double>(std::get<std::int64_t>(data_));
    case Type::Real: return std::get<double>(data_);
    case Type::Text: return leadingReal(std::get<std::string>(data_));
    default: return 0.0;
    }
}

std::string Value::textValue() const {
    switch (type()) {
    case Type::Bool: return std::get<bool>(data_) ? "1" : "0";
    case Type::Integer: return std::to_string(std::get<std::int64_t>(data_));
    case Type::Real: return formatNumber(std::get<double>(data_));
    case Type::Text: return std::get<std::string>(data_);
    case Type::Date: return formatDate(std::get<Date>(data_));
    default: return {};
    }
}

bool Value::contains(std::string_view key) const {
    return find(key) != nullptr;
}

const Value* Value::find(std::string_view key) const {
    if (!isMap()) return nullptr;
    const auto& m = asMap();
    auto it = m.find(key);
    return it == m.end() ? nullptr : &it->second;
}

const Value& Value::operator[](std::string_view key) const {
    const Value* v = find(key);
    return v ? *v : nullValue();
}

Value& Value::member(std::string_view key) {
    if (!isMap()) data_ = Map{};
    auto& m = asMap();
    auto it = m.find(key);
    if (it == m.end()) it = m.emplace(std::string(key), Value()).first;
    return it->second;
}

bool Value::erase(std::string_view key) {
    if (!isMap()) return false;
    auto& m = asMap();
    auto it = m.find(key);
    if (it == m.end()) return false;
    m.erase(it);
    return true;
}

std::size_t Value::size() const {
    if (isMap()) return asMap().size();
    if (isList()) return asList().size();
    return 0;
}

void Value::append(Value v) {
    if (!isList()) data_ = List{};
    asList().push_back(std::move(v));
}

const Value& Value::at(std::size_t index) const {
    if (!isList() || index >= asList().size()) return nullValue();
    return asList()[index];
}

std::string Value::debugString() const {
    switch (type()) {
    case Type::Null: return "null";
    case Type::Bool: return std::get<bool>(data_) ? "true" : "false";
    case Type::Text: return "\"" + text() + "\"";
    case Type::List: {
        std::string out = "[";
        bool first = true;
        for (const auto& item : asList()) {
            if (!first) out += ", ";
            first = false;
            out += item.debugString();
        }
        return out + "]";
    }
    case Type::Map: {
        std::string out = "{";
        bool first = true;
        for (const auto& [k, v] : asMap()) {
            if (!first) out += ", ";
            first = false;
            out += k + ": " + v.debugString();
        }
        return out + "}";
    }
    default: return textValue();
    }
}

}  // namespace glowmere
