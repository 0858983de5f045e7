// Keeping the items and the bridge's schedules honest: the start-up match,
// the status check and the import of schedules other clients left behind.
#include <algorithm>
#include <map>
#include <set>

#include "platform/Log.h"
#include "schedules/ScheduleManager.h"

namespace glowmere {

void ScheduleManager::matchBridgeWithInternal() {
    bool ok = false;
    auto listed = bridgeScheduleKeys(&ok);
    if (!ok) return;
    std::set<std::string> onBridge(listed.begin(), listed.end());

    struct Check {
        std::shared_ptr<Action> item;
        Value ids;
        std::vector<std::string> missing;
    };
    std::vector<Check> checks;
    onController([&] {
        for (const auto& item : collection_)
            if (item->isEnabled() && !item->scheduleIDs().empty())
                checks.push_back({item, item->getDictionary()["bridgeID"], {}});
    });
    for (Check& check : checks)
        for (const Value& id : check.ids.asList())
            // A schedule the list still names was only not answered for (a
            // dropped connection): that is no reason to forget the item's schedules.
            if (!bridge_.sendGETRequestToUrl("schedules/" + id.textValue()) && !onBridge.count(id.textValue()))
                check.missing.push_back(id.textValue());

    onController([&] {
        bool changed = false;
        for (Check& check : checks) {
            if (check.missing.empty()) continue;
            auto found = std::find(collection_.begin(), collection_.end(), check.item);
            if (found == collection_.end() || (*found)->getDictionary()["bridgeID"] != check.ids) continue;
            for (const std::string& id : check.missing) platform::log("disabling schedule " + id);
            (*found)->setEnabled(false);
            (*found)->removeAllScheduleIDs();
            changed = true;
        }
        if (changed) saveActions();
    });
}

void ScheduleManager::windowDidBecomeKey() {
    clearProblems();
    std::set<std::string> known;
    for (const auto& item : collection_)
        for (const std::string& id : item->scheduleIDs()) known.insert(id);
    bool ok = false;
    auto keys = bridgeScheduleKeys(&ok);
    missingOnBridge_.clear();
    if (ok) {
        std::set<std::string> onBridge(keys.begin(), keys.end());
        for (const auto& item : collection_) {
            if (!item->isEnabled()) continue;
            for (const std::string& id : item->scheduleIDs()) {
                if (onBridge.count(id)) continue;
                missingOnBridge_.push_back(item->objectForKey("name").textValue());
                break;
            }
        }
    }
    lastCheckRead_ = ok;
    foreignSchedules_ = static_cast<std::size_t>(
        std::count_if(keys.begin(), keys.end(), [&](const std::string& key) { return !known.count(key); }));
    setStatus(foreignSchedules_ ? otherAppStatus : "");
}

std::optional<std::string> ScheduleManager::bridgeName(const char* list, int id) {
    auto reply = bridge_.sendGETRequestToUrl(list);
    if (!reply) return std::nullopt;
    Value entries = BridgeBridge::dictionaryOfDictionariesFromJSON(reply);
    const Value& name = entries[std::to_string(id)]["name"];
    if (name.isNull()) return std::nullopt;
    return name.textValue();
}

namespace {

// The action of a bridge schedule's command body, in the item's keys: on
// (with any colour), off, or a colour change alone.
void copyScheduleAction(const Value& body, const std::string& localTime, Value& item) {
    auto copyColour = [&] {
        bool any = false;
        for (auto [from, to] : {std::pair{"sat", "saturation"}, {"bri", "brightness"}, {"hue", "colour"}}) {
            if (!body.contains(from)) continue;
            item.set(to, leadingReal(body[from].textValue()));
            any = true;
        }
        return any;
    };
    bool hasColour = body.contains("sat") || body.contains("bri") || body.contains("hue");
    if (body.contains("on") && body["on"].textValue() == "true") {
        item.set("action", static_cast<int>(Action::On));
        item.set("ontime", localTime);
        item.set("offtime", "00:00");
        item.set("vary", false);
        item.set("colourbrightness", copyColour());
    } else if (body.contains("on") && !body["on"].boolValue()) {
        item.set("action", static_cast<int>(Action::Off));
        item.set("offtime", localTime);
        item.set("ontime", "00:00");
        item.set("vary", false);
    } else if (!body.contains("on") && hasColour) {
        item.set("action", static_cast<int>(Action::ColourBrightness));
        item.set("colourbrightness", true);
        item.set("ontime", localTime);
        item.set("offtime", "00:00");
        copyColour();
    }
}

}  // namespace

bool ScheduleManager::importFromBridge() {
    clearProblems();
    // One request: the list carries each schedule's record (older bridges
    // list names only, and only those are read one by one).
    auto listed = readBridgeSchedules();
    if (!listed) return false;
    std::map<std::string, Action*> known;
    for (const auto& item : collection_)
        for (const std::string& id : item->scheduleIDs()) known[id] = item.get();

    for (const auto& [key, entry] : *listed) {
        if (known.count(key)) continue;
        auto whole = wholeRecord(key, entry);
        if (!whole) continue;
        auto item = itemFromBridgeSchedule(key, *whole);
        if (!item) continue;
        platform::log("adding " + (*item)["name"].textValue());
        auto added = std::make_shared<Action>(*item);
        collection_.push_back(added);
        known[key] = added.get();
    }
    saveActions();
    setStatus("");
    return true;
}

std::optional<Value> ScheduleManager::itemFromBridgeSchedule(const std::string& key, const Value& schedule) {
    const Value* command = schedule.find("command");
    if (!command) {
        platform::log("no command found in response from bridge");
        return std::nullopt;
    }
    const Value* body = command->find("body");
    if (!body) return std::nullopt;

    Value item = Value::emptyMap();
    if (schedule.contains("name")) item.set("name", schedule["name"].textValue());
    if (schedule.contains("description")) item.set("description", schedule["description"].textValue());
    const std::string localTime = copyScheduleTime(schedule["time"].textValue(), item);
    if (const Value* address = command->find("address")) copyScheduleTarget(address->textValue(), item);
    copyScheduleAction(*body, localTime, item);

    item.set("bridgeID", Value::list({key}));
    // The schedule is this item's as the bridge holds it, word for word.
    item.set(Action::registeredKey,
             Value::map({{key, Value::map({{"name", schedule["name"]}, {"command", *command}})}}));
    item.set("enabled", true);
    return item;
}

std::string ScheduleManager::copyScheduleTime(const std::string& t, Value& item) const {
    auto tAt = t.find('T');
    std::string utcTime = tAt != std::string::npos ? t.substr(tAt + 1, 5) : t;
    std::string localTime = tAt != std::string::npos ? localTimeFromUTC(utcTime) : t;
    if (tAt != std::string::npos && localTime.empty()) localTime = utcTime;
    if (auto wAt = t.find('W'); wAt != std::string::npos) {
        int mask = static_cast<int>(leadingInteger(std::string_view(t).substr(wAt + 1)));
        // The bridge's days are UTC days; the item's are local ones.
        if (tAt != std::string::npos) mask = rotateMask(mask, localDayShift(utcTime));
        static const char* const days[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
        for (int i = 0; i < 7; ++i) item.set(days[i], (mask & (64 >> i)) != 0);
    }
    if (tAt != std::string::npos) item.set(utcOffsetKey, currentOffsetSeconds());
    return localTime;
}

void ScheduleManager::copyScheduleTarget(const std::string& address, Value& item) {
    auto lampAt = [&](const char* word) -> std::optional<int> {
        auto at = address.find(word);
        if (at == std::string::npos) return std::nullopt;
        // An address that ends at the word names nothing.
        if (at + 7 > address.size()) return std::nullopt;
        return static_cast<int>(leadingInteger(std::string_view(address).substr(at + 7)));
    };
    if (auto group = lampAt("groups")) {
        item.set("group", true);
        item.set("lampid", *group);
        if (*group == 0) {
            item.set("lamp", "group: All");
        } else if (auto name = bridgeName("groups", *group)) {
            item.set("lamp", "group: " + *name);
        }
    } else if (auto lamp = lampAt("lights")) {
        item.set("group", false);
        item.set("lampid", *lamp);
        if (auto name = bridgeName("lights", *lamp)) item.set("lamp", "lamp: " + *name);
    }
}

}  // namespace glowmere
