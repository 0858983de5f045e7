#include "schedules/Action.h"

#include <cstdio>
#include <mutex>
#include <random>

#include "platform/Log.h"

namespace glowmere {

namespace {

// One generator for the whole process, seeded once; items may be read on
// several threads, so draws are serialised.
int randomDraw() {
    static std::mutex mutex;
    static std::mt19937 generator{std::random_device{}()};
    std::lock_guard lock(mutex);
    return static_cast<int>(generator() & 0x7fffffff);
}

std::string twoDigits(int h, int m) {
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d", h, m);
    return text;
}

}  // namespace

Action::Action() {
    dictionary_ = Value::map({
        {"name", ""},           {"lamp", ""},       {"group", false},
        {"enabled", true},      {"mon", true},      {"tue", true},
        {"wed", true},          {"thu", true},      {"fri", true},
        {"sat", true},          {"sun", true},      {"ontime", "00:00"},
        {"offtime", "00:00"},   {"vary", false},    {"colourbrightness", false},
        {"brightness", 225.0},  {"colour", 9948.0}, {"saturation", 30.0},
        {"action", "On & Off"},
    });
}

Action::Action(Value dictionary) : dictionary_(std::move(dictionary)) {
    if (!dictionary_.isMap()) dictionary_ = Value::emptyMap();
}

std::string Action::shiftedTime(const std::string& base, int (*draw)()) {
    auto colon = base.find(':');
    if (colon == std::string::npos) return base;
    std::string_view rest = std::string_view(base).substr(colon + 1);
    int h = static_cast<int>(leadingInteger(std::string_view(base).substr(0, colon)));
    int m = static_cast<int>(leadingInteger(rest.substr(0, rest.find(':'))));
    // A shift that leaves the day is drawn again from the stored time. (Shifting
    // the shifted value again, as a random walk, can wander off the day for
    // ever near midnight and never return.)
    const int baseH = h, baseM = m;
    int draws = 0;
    do {
        // A stored time far outside the day ("25:00") can never land in it.
        if (++draws > 1000) return base;
        int r = draw() % 60;
        h = baseH;
        m = baseM + r - 30;
        if (m >= 60) {
            h += 1;
            m -= 60;
        }
        if (m < 0) {
            h -= 1;
            m += 60;
        }
    } while (h < 0 || h > 23);
    platform::log("Adjusted time from " + base + " to " + twoDigits(h, m));
    return twoDigits(h, m);
}

Value Action::objectForKey(std::string_view key) const {
    if (key != "rontime" && key != "rofftime") return dictionary_[key];
    const Value& base = dictionary_[key == "rontime" ? "ontime" : "offtime"];
    if (!dictionary_["vary"].boolValue()) return base;
    return Value(shiftedTime(base.textValue(), randomDraw));
}

void Action::addScheduleID(const std::optional<std::string>& identifier) {
    if (!identifier) return;
    Value list = dictionary_["bridgeID"].isList() ? dictionary_["bridgeID"] : Value::emptyList();
    list.append(*identifier);
    dictionary_.set("bridgeID", std::move(list));
}

void Action::addScheduleID(const std::string& identifier, const Value& registered) {
    addScheduleID(std::optional<std::string>(identifier));
    Value records = dictionary_[registeredKey].isMap() ? dictionary_[registeredKey] : Value::emptyMap();
    records.set(identifier, registered);
    dictionary_.set(registeredKey, std::move(records));
}

void Action::removeScheduleID(const std::string& identifier) {
    Value kept = Value::emptyList();
    for (const std::string& id : scheduleIDs())
        if (id != identifier) kept.append(id);
    if (kept.empty())
        dictionary_.erase("bridgeID");
    else
        dictionary_.set("bridgeID", std::move(kept));
    if (dictionary_[registeredKey].isMap()) {
        Value records = dictionary_[registeredKey];
        records.erase(identifier);
        if (records.empty())
            dictionary_.erase(registeredKey);
        else
            dictionary_.set(registeredKey, std::move(records));
    }
}

std::optional<Value> Action::registeredSchedule(const std::string& identifier) const {
    const Value* record = dictionary_[registeredKey].find(identifier);
    if (!record || !record->isMap()) return std::nullopt;
    return *record;
}

std::optional<Value> Action::getScheduleIDArray() const {
    const Value* ids = dictionary_.find("bridgeID");
    if (!ids || ids->isNull()) return std::nullopt;
    return *ids;
}

std::vector<std::string> Action::scheduleIDs() const {
    std::vector<std::string> out;
    const Value& ids = dictionary_["bridgeID"];
    if (!ids.isList()) return out;
    for (const Value& id : ids.asList()) out.push_back(id.textValue());
    return out;
}

std::string Action::getDescription() const {
    static const char* const keys[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    static const char* const names[] = {"Mo", "Tu", "We", "Th", "Fr", "Sa", "Su"};
    std::string days;
    for (int i = 0; i < 7; ++i) {
        if (!dictionary_[keys[i]].boolValue()) continue;
        if (!days.empty()) days += ", ";
        days += names[i];
    }
    const std::string lamp = dictionary_["lamp"].textValue();
    const std::string on = dictionary_["ontime"].textValue();
    const std::string off = dictionary_["offtime"].textValue();
    switch (kind()) {
        case OnAndOff:
            return "Switch " + lamp + " on at " + on + " on " + days + " and off again at " + off + " ";
        case On:
            return "Switch " + lamp + " on at " + on + " on " + days;
        case Off:
            return "Switch " + lamp + " off at " + off + " on " + days;
        case ColourBrightness: {
            auto brightness =
                static_cast<long long>(static_cast<double>(dictionary_["brightness"].integerValue()) / 2.55);
            auto colour = static_cast<long long>(static_cast<double>(dictionary_["colour"].integerValue()) / 655.35);
            return "Change brightness and colour of " + lamp + " at " + on + " on " + days + " to brightness " +
                   std::to_string(brightness) + "% and colour " + std::to_string(colour) + "% ";
        }
        case Listening:
            return "Start listening at " + on + " on " + days + " and stop again at " + off + " ";
        case FalseDawn:
            return "False dawn using " + lamp + " starting " + on + " on " + days;
        case FalseDusk:
            return "False dusk using " + lamp + " starting " + off + " on " + days;
        default:
            return "";
    }
}

std::string Action::getDescription(std::size_t bytes) const {
    std::string text = getDescription();
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (text.size() <= bytes) return text;
    static const std::string ellipsis = "\u2026";
    if (bytes < ellipsis.size()) return {};
    const std::size_t room = bytes - ellipsis.size();
    // The last space at or before the room ends a whole word.
    std::size_t end = text.rfind(' ', room);
    if (end == std::string::npos || end == 0) {
        // One long word: cut before a UTF-8 continuation byte never.
        end = room;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    }
    text.resize(end);
    // No dangling separator or joining word before the ellipsis.
    auto strip = [&text](std::string_view tail) {
        if (text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0) {
            text.resize(text.size() - tail.size());
            return true;
        }
        return false;
    };
    while (strip(",") || strip(":") || strip(" ")) {
    }
    for (std::string_view word : {" on", " at", " and", " to", " of", " using", " starting"})
        if (strip(word)) break;
    return text + ellipsis;
}

}  // namespace glowmere
