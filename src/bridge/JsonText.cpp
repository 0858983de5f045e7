#include "bridge/JsonText.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace glowmere::jsontext {

namespace {

// Deeper nesting than this is kept as text rather than read recursively, so
// a hostile reply cannot exhaust the stack.
constexpr int maxDepth = 128;

bool isOuterTrim(char c) {
    return c == '[' || c == '{' || c == '}' || c == ']';
}

std::string_view trimOuter(std::string_view s) {
    while (!s.empty() && isOuterTrim(s.front())) s.remove_prefix(1);
    while (!s.empty() && isOuterTrim(s.back())) s.remove_suffix(1);
    return s;
}

// Removes spaces and double quotes from both ends; a quote at the end that
// is escaped (an odd run of backslashes before it) belongs to the text.
std::string_view trimKeyValue(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '"')) s.remove_prefix(1);
    while (!s.empty()) {
        char c = s.back();
        if (c == ' ') {
            s.remove_suffix(1);
            continue;
        }
        if (c != '"') break;
        std::size_t backslashes = 0;
        for (std::size_t i = s.size() - 1; i > 0 && s[i - 1] == '\\'; --i) ++backslashes;
        if (backslashes % 2 == 1) break;
        s.remove_suffix(1);
    }
    return s;
}

// Where a text splits into pieces: every "|" that stands outside quoted
// text, and every character `isSeparator` picks. Quotes are tracked with
// their escapes, so nothing inside a quoted name (a bar, a comma, a bracket,
// a brace) changes how the text splits. Each piece is handed to `take` as a
// view into `text`: nothing is copied or collected, so reading costs memory
// only for what it gives.
template <typename Separator, typename Take>
void forEachPiece(std::string_view text, Separator isSeparator, Take take) {
    bool inQuotes = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inQuotes) {
            if (c == '\\')
                ++i;  // an escaped character is part of the text whatever it is
            else if (c == '"')
                inQuotes = false;
            continue;
        }
        if (c == '"') {
            inQuotes = true;
            continue;
        }
        if (c == '|' || isSeparator(c)) {
            take(text.substr(start, i - start));
            start = i + 1;
        }
    }
    take(text.substr(start));
}

// The commas that separate members at the top level: outside brackets and
// braces (which count only outside quotes).
struct TopLevelComma {
    bool trackBrackets;
    bool inBracket = false;
    long depth = 0;
    bool operator()(char c) {
        switch (c) {
            case '[':
                if (trackBrackets) inBracket = true;  // a flag, not a count
                return false;
            case ']':
                if (trackBrackets) inBracket = false;
                return false;
            case '{':
                ++depth;
                return false;
            case '}':
                --depth;
                return false;
            case ',':
                return !inBracket && depth <= 0;
            default:
                return false;
        }
    }
};

bool hasBraceOutsideQuotes(std::string_view text) {
    bool inQuotes = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inQuotes) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inQuotes = false;
        } else if (c == '"') {
            inQuotes = true;
        } else if (c == '{') {
            return true;
        }
    }
    return false;
}

std::int32_t truncateToInt32(double d) {
    if (std::isnan(d)) return 0;
    d = std::trunc(d);
    if (d >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (d <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(d);
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool readHex4(std::string_view s, std::size_t at, std::uint32_t& out) {
    if (at + 4 > s.size()) return false;
    out = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        int d = hexDigit(s[at + k]);
        if (d < 0) return false;
        out = out * 16 + static_cast<std::uint32_t>(d);
    }
    return true;
}

Value nestingRead(std::string_view text, int depth);

// Splits one piece at its first colon into a trimmed key and value. False
// when the piece has no colon. `object` tells whether the value is an
// object to read again: it begins with a brace before any quote is trimmed,
// so a quoted name that begins with one ("{curly") stays a name.
bool splitPiece(std::string_view piece, std::string_view& key, std::string_view& value, bool& object) {
    std::size_t colon = piece.find(':');
    if (colon == std::string_view::npos) return false;
    key = trimKeyValue(piece.substr(0, colon));
    std::string_view raw = piece.substr(colon + 1);
    while (!raw.empty() && raw.front() == ' ') raw.remove_prefix(1);
    object = !raw.empty() && raw.front() == '{';
    value = trimKeyValue(raw);
    return true;
}

Value nestingRead(std::string_view text, int depth) {
    Value result = Value::emptyMap();
    std::string_view trimmed = trimOuter(text);
    forEachPiece(trimmed, TopLevelComma{true}, [&](std::string_view piece) {
        std::string_view key, value;
        bool object = false;
        if (!splitPiece(piece, key, value, object)) return;
        if (object && depth < maxDepth)
            result.set(unescapeJSONText(key), nestingRead(value, depth + 1));
        else
            result.set(unescapeJSONText(key), unescapeJSONText(value));
    });
    return result;
}

Value flatRead(std::string_view text) {
    Value result = Value::emptyMap();
    auto take = [&](std::string_view piece) {
        std::string_view key, value;
        bool object = false;
        if (!splitPiece(piece, key, value, object)) return;
        // A value that still holds an object is meant to be read again, so
        // its escapes are left for that reading.
        if (object)
            result.set(unescapeJSONText(key), std::string(value));
        else
            result.set(unescapeJSONText(key), unescapeJSONText(value));
    };
    std::string_view trimmed = trimOuter(text);
    if (!hasBraceOutsideQuotes(trimmed)) {
        forEachPiece(
            trimmed, [](char c) { return c == ','; }, take);
        return result;
    }
    // A reply that holds an object is one piece, its top-level commas turned
    // into bars, so that reading its value again splits there.
    std::string joined;
    joined.reserve(trimmed.size());
    bool inQuotes = false;
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        char c = trimmed[i];
        if (inQuotes && c == '\\' && i + 1 < trimmed.size()) {
            joined.push_back(c);
            joined.push_back(trimmed[++i]);
            continue;
        }
        if (c == '"') inQuotes = !inQuotes;
        joined.push_back(c == ',' && !inQuotes ? '|' : c);
    }
    take(joined);
    return result;
}

Value arrayRead(std::string_view text) {
    Value result = Value::emptyList();
    // Every piece gives a dictionary (empty ones too): the list is made as
    // long as it will be at once rather than grown.
    std::size_t count = 0;
    forEachPiece(text, TopLevelComma{false}, [&](std::string_view) { ++count; });
    result.asList().reserve(count);
    forEachPiece(text, TopLevelComma{false}, [&](std::string_view piece) { result.append(nestingRead(piece, 0)); });
    return result;
}

// A small recursive-descent check of JSON syntax, enough to tell whether a
// text that begins with "[" really is one array.
class JsonSyntax {
public:
    explicit JsonSyntax(std::string_view s) : s_(s) {}

    bool wholeArray() {
        skipSpace();
        if (i_ >= s_.size() || s_[i_] != '[') return false;
        if (!value(0)) return false;
        skipSpace();
        return i_ == s_.size();
    }

    bool wholeObjectOrArray() {
        skipSpace();
        if (i_ >= s_.size() || (s_[i_] != '[' && s_[i_] != '{')) return false;
        if (!value(0)) return false;
        skipSpace();
        return i_ == s_.size();
    }

private:
    void skipSpace() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
    }
    bool literal(std::string_view word) {
        if (s_.substr(i_, word.size()) != word) return false;
        i_ += word.size();
        return true;
    }
    bool string() {
        ++i_;  // opening quote
        while (i_ < s_.size()) {
            auto c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') {
                ++i_;
                return true;
            }
            if (c < 0x20) return false;
            if (c == '\\') {
                if (++i_ >= s_.size()) return false;
                char e = s_[i_];
                if (e == 'u') {
                    std::uint32_t cp;
                    if (!readHex4(s_, i_ + 1, cp)) return false;
                    i_ += 4;
                } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                    return false;
                }
            }
            ++i_;
        }
        return false;
    }
    bool number() {
        std::size_t start = i_;
        if (i_ < s_.size() && s_[i_] == '-') ++i_;
        std::size_t digits = i_;
        while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
        if (i_ == digits) return false;
        if (i_ < s_.size() && s_[i_] == '.') {
            ++i_;
            std::size_t frac = i_;
            while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
            if (i_ == frac) return false;
        }
        if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
            ++i_;
            if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
            std::size_t exp = i_;
            while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
            if (i_ == exp) return false;
        }
        return i_ > start;
    }
    bool value(int depth) {
        if (depth > maxDepth) return false;
        skipSpace();
        if (i_ >= s_.size()) return false;
        char c = s_[i_];
        if (c == '"') return string();
        if (c == 't') return literal("true");
        if (c == 'f') return literal("false");
        if (c == 'n') return literal("null");
        if (c == '[' || c == '{') {
            char close = c == '[' ? ']' : '}';
            ++i_;
            skipSpace();
            if (i_ < s_.size() && s_[i_] == close) {
                ++i_;
                return true;
            }
            for (;;) {
                if (c == '{') {
                    skipSpace();
                    if (i_ >= s_.size() || s_[i_] != '"' || !string()) return false;
                    skipSpace();
                    if (i_ >= s_.size() || s_[i_] != ':') return false;
                    ++i_;
                }
                if (!value(depth + 1)) return false;
                skipSpace();
                if (i_ >= s_.size()) return false;
                if (s_[i_] == close) {
                    ++i_;
                    return true;
                }
                if (s_[i_] != ',') return false;
                ++i_;
            }
        }
        return number();
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

std::string writeList(const Value& list);

std::string writeScalar(const Value& value) {
    switch (value.type()) {
        case Value::Type::Map:
            return JSONFromDictionary(value);
        case Value::Type::List:
            return writeList(value);
        case Value::Type::Bool:
            return value.boolValue() ? "true" : "false";
        case Value::Type::Integer:
        case Value::Type::Real:
            return std::to_string(truncateToInt32(value.doubleValue()));
        case Value::Type::Null:
            return "null";
        case Value::Type::Date:
            return "\"" + escapeJSONText(value.textValue()) + "\"";
        case Value::Type::Text: {
            const std::string& t = value.text();
            if (t == "true" || t == "false") return t;
            if (!t.empty() && t.front() == '[' && isJSONArrayText(t)) return t;
            return "\"" + escapeJSONText(t) + "\"";
        }
    }
    return "null";
}

std::string writeList(const Value& list) {
    std::string out = "[";
    bool first = true;
    for (const auto& item : list.asList()) {
        if (!first) out += ",";
        first = false;
        out += writeScalar(item);
    }
    return out + "]";
}

}  // namespace

std::string escapeJSONText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    static const char hex[] = "0123456789abcdef";
                    out += "\\u00";
                    out.push_back(hex[c >> 4]);
                    out.push_back(hex[c & 0xF]);
                } else {
                    out.push_back(ch);
                }
        }
    }
    return out;
}

std::string unescapeJSONText(std::string_view text) {
    if (text.find('\\') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            out.push_back(c);
            continue;
        }
        char e = text[i + 1];
        switch (e) {
            case '"':
                out.push_back('"');
                break;
            case '\\':
                out.push_back('\\');
                break;
            case '/':
                out.push_back('/');
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'u': {
                std::uint32_t cp;
                if (!readHex4(text, i + 2, cp)) {
                    out.push_back(c);
                    continue;  // not an escape: keep the backslash as it stands
                }
                std::size_t used = 6;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    std::uint32_t low;
                    if (i + 7 < text.size() && text[i + 6] == '\\' && text[i + 7] == 'u' &&
                        readHex4(text, i + 8, low) && low >= 0xDC00 && low <= 0xDFFF) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        used = 12;
                    } else {
                        cp = 0xFFFD;
                    }
                } else if ((cp >= 0xDC00 && cp <= 0xDFFF) || cp == 0) {
                    cp = 0xFFFD;
                }
                appendUtf8(out, cp);
                i += used - 1;
                continue;
            }
            default:
                out.push_back(c);
                continue;  // unknown escape: keep both characters
        }
        ++i;
    }
    return out;
}

bool isJSONArrayText(std::string_view text) {
    return JsonSyntax(text).wholeArray();
}

bool isJSONText(std::string_view text) {
    return JsonSyntax(text).wholeObjectOrArray();
}

std::string JSONFromDictionary(const Value& dictionary) {
    if (!dictionary.isMap() || dictionary.empty()) return "{}";
    std::string out = "{";
    bool first = true;
    for (const auto& [key, value] : dictionary.asMap()) {
        if (!first) out += ",";
        first = false;
        out += "\"" + escapeJSONText(key) + "\":" + writeScalar(value);
    }
    return out + "}";
}

Value dictionaryOfDictionariesFromJSON(std::string_view text) {
    return nestingRead(text, 0);
}
Value dictionaryOfDictionariesFromJSON(const std::string& text) {
    return nestingRead(text, 0);
}
Value dictionaryOfDictionariesFromJSON(const std::optional<std::string>& text) {
    return nestingRead(text ? std::string_view(*text) : std::string_view(), 0);
}

Value dictionaryFromJSON(std::string_view text) {
    return flatRead(text);
}
Value dictionaryFromJSON(const std::string& text) {
    return flatRead(text);
}
Value dictionaryFromJSON(const std::optional<std::string>& text) {
    return flatRead(text ? std::string_view(*text) : std::string_view());
}

Value arrayOfDictionariesFromJSON(std::string_view text) {
    return arrayRead(text);
}
Value arrayOfDictionariesFromJSON(const std::string& text) {
    return arrayRead(text);
}
Value arrayOfDictionariesFromJSON(const std::optional<std::string>& text) {
    return arrayRead(text ? std::string_view(*text) : std::string_view());
}

}  // namespace glowmere::jsontext
