#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace glowmere {

// One value type for every record the system passes around and stores: the
// bridge's replies as read, the settings records sent to it, schedule items,
// presets and the defaults store's contents. Maps keep their keys sorted, so
// anything written from a Value comes out the same way every time.
//
// The reading helpers follow the text-to-number rules the rest of the system
// relies on: a text read as a number takes its leading run of digits, a text
// read as a boolean looks at its first significant character, and an absent
// (null) value reads as false, 0 or the empty text.
class Value {
public:
    using List = std::vector<Value>;
    using Map = std::map<std::string, Value, std::less<>>;
    using Date = std::chrono::sys_seconds;

    enum class Type { Null, Bool, Integer, Real, Text, Date, List, Map };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : data_(b) {}
    Value(int i) : data_(static_cast<std::int64_t>(i)) {}
    Value(long i) : data_(static_cast<std::int64_t>(i)) {}
    Value(long long i) : data_(static_cast<std::int64_t>(i)) {}
    Value(unsigned i) : data_(static_cast<std::int64_t>(i)) {}
    Value(unsigned long i) : data_(static_cast<std::int64_t>(i)) {}
    Value(double d) : data_(d) {}
    Value(float f) : data_(static_cast<double>(f)) {}
    Value(const char* s) : data_(std::string(s)) {}
    Value(std::string s) : data_(std::move(s)) {}
    Value(std::string_view s) : data_(std::string(s)) {}
    Value(Date d) : data_(d) {}
    Value(List l) : data_(std::move(l)) {}
    Value(Map m) : data_(std::move(m)) {}

    static Value list(std::initializer_list<Value> items) { return Value(List(items)); }
    static Value map(std::initializer_list<std::pair<const std::string, Value>> items) {
        return Value(Map(items));
    }
    static Value emptyMap() { return Value(Map{}); }
    static Value emptyList() { return Value(List{}); }

    Type type() const;
    bool isNull() const { return type() == Type::Null; }
    bool isBool() const { return type() == Type::Bool; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isReal() const { return type() == Type::Real; }
    bool isNumber() const { return isInteger() || isReal() || isBool(); }
    bool isText() const { return type() == Type::Text; }
    bool isDate() const { return type() == Type::Date; }
    bool isList() const { return type() == Type::List; }
    bool isMap() const { return type() == Type::Map; }

    // Lenient readers (see the class comment).
    bool boolValue() const;
    std::int64_t integerValue() const;
    int intValue() const;  // clamped to the 32-bit range
    double doubleValue() const;
    float floatValue() const { return static_cast<float>(doubleValue()); }
    // Texts as they are; numbers in their shortest decimal form; booleans as
    // "1"/"0"; dates as ISO 8601; null as the empty text; lists and maps as "".
    std::string textValue() const;

    // Exact accessors; they throw std::bad_variant_access on a type mismatch,
    // so use them only after checking the type.
    const std::string& text() const { return std::get<std::string>(data_); }
    Date date() const { return std::get<Date>(data_); }
    const List& asList() const { return std::get<List>(data_); }
    List& asList() { return std::get<List>(data_); }
    const Map& asMap() const { return std::get<Map>(data_); }
    Map& asMap() { return std::get<Map>(data_); }

    // Map access. Reading a missing key (or reading a non-map) gives null.
    bool contains(std::string_view key) const;
    const Value& operator[](std::string_view key) const;
    const Value* find(std::string_view key) const;
    // Writing turns a null value into a map first. `member` gives the member
    // to change in place, creating it (as null) when missing. There is
    // deliberately no non-const operator[]: reading a record must never add
    // keys to it.
    Value& member(std::string_view key);
    void set(std::string_view key, Value v) { member(key) = std::move(v); }
    bool erase(std::string_view key);
    std::size_t size() const;  // members of a map or list, else 0
    bool empty() const { return size() == 0; }

    // List helpers.
    void append(Value v);
    const Value& at(std::size_t index) const;  // null when out of range

    bool operator==(const Value& other) const { return data_ == other.data_; }

    // A readable rendering for logs and diagnostics (not JSON, not stored).
    std::string debugString() const;

private:
    std::variant<std::monostate, bool, std::int64_t, double, std::string, Date, List, Map> data_;
};

// Leading-digits readers shared by Value and the time and number parsers:
// optional leading white space, an optional sign, then digits.
std::int64_t leadingInteger(std::string_view text);
double leadingReal(std::string_view text);
// First significant character: Y, y, T, t or 1-9 mean true (after white
// space, a sign and leading zeros), as the platform's text-to-boolean rule.
bool leadingBool(std::string_view text);

// Shortest text that reads back as the same double; whole numbers without a
// decimal point.
std::string formatNumber(double d);

std::string formatDate(Value::Date d);  // 2012-06-14T05:00:00Z

}  // namespace glowmere
