#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace glowmere {

// One schedule item: a thin wrapper around one dictionary that holds all of
// its stored content, so it can be stored and restored as a property list.
class Action {
public:
    // Action kinds, the value under "action".
    enum Kind { OnAndOff = 0, On = 1, Off = 2, ColourBrightness = 3, Listening = 4, FalseDawn = 5, FalseDusk = 6 };

    // A new item with the editor's defaults; reseeds the vary shift's generator.
    Action();
    // A copy of `dictionary`; no defaults are added.
    explicit Action(Value dictionary);
    static Action initWithDictionary(const Value& dictionary) { return Action(dictionary); }

    Value& getDictionary() { return dictionary_; }
    const Value& getDictionary() const { return dictionary_; }
    void setObjectForKey(Value value, std::string_view key) { dictionary_.set(key, std::move(value)); }
    // The stored value; "rontime" and "rofftime" are the on and off times
    // with a fresh random shift when "vary" is set.
    Value objectForKey(std::string_view key) const;

    bool isEnabled() const { return dictionary_["enabled"].boolValue(); }
    void setEnabled(bool enabled) { dictionary_.set("enabled", enabled); }
    int kind() const { return dictionary_["action"].intValue(); }

    // Item key: for each bridge schedule id, the schedule's "name" and
    // "command" as this item registered (or imported) it, so a schedule the
    // bridge has since given to someone else is told from the item's own.
    static constexpr const char* registeredKey = "bridgeRegistered";

    void addScheduleID(const std::optional<std::string>& identifier);
    // The same, remembering what the schedule was registered as.
    void addScheduleID(const std::string& identifier, const Value& registered);
    void removeScheduleID(const std::string& identifier);
    void removeAllScheduleIDs() {
        dictionary_.erase("bridgeID");
        dictionary_.erase(registeredKey);
    }
    // The schedule's name and command as registered; nothing for ids stored
    // before these were kept.
    std::optional<Value> registeredSchedule(const std::string& identifier) const;
    std::optional<Value> getScheduleIDArray() const;
    // The identifiers as texts (empty when there are none).
    std::vector<std::string> scheduleIDs() const;

    void setEndTimeIsShifted(bool shifted) { endTimeIsShifted_ = shifted; }
    bool endTimeIsShifted() const { return endTimeIsShifted_; }

    std::string getDescription() const;
    // The description as the bridge keeps it, in at most `bytes` bytes of
    // UTF-8: without trailing spaces and, when too long, cut after a whole
    // word with "…" (never in the middle of a day list or a character).
    std::string getDescription(std::size_t bytes) const;

    // The shift applied to a varied time: `base` moved by r % 60 - 30 minutes
    // for draws r, redrawn while the hour leaves the day. Exposed so the
    // arithmetic can be checked with chosen draws.
    static std::string shiftedTime(const std::string& base, int (*draw)());

private:
    Value dictionary_;
    bool endTimeIsShifted_ = false;
};

}  // namespace glowmere
