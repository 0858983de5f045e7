// Schedule items as schedules on the bridge: registering, deleting.
#include <cstdio>
#include <set>

#include "platform/Log.h"
#include "schedules/ScheduleManager.h"

namespace glowmere {

std::string ScheduleManager::scheduleTime(const std::string& localTime, int mask, const char* seconds) const {
    // The bridge counts days in UTC: when the UTC time falls on another day
    // than the local one, so do the weekdays.
    int shifted = rotateMask(mask, utcDayShift(localTime));
    char days[8];
    std::snprintf(days, sizeof days, "%03d", shifted);
    return std::string("W") + days + "/T" + timeInUTC(localTime) + ":" + seconds;
}

std::optional<std::string> ScheduleManager::registerNewActionWithHub(const Action& item) {
    return registerSchedule(item, nullptr);
}

std::optional<std::string> ScheduleManager::registerSchedule(const Action& item, Value* registered, std::string* why) {
    long transition = 18000;
    if (defaults_.hasObject(transitionMinsKey))
        transition = static_cast<long>(defaults_.floatForKey(transitionMinsKey) * 600.0f);

    auto username = bridge_.getUsername().value_or("");
    std::string lampId = item.objectForKey("lampid").textValue();
    Value command = Value::map({{"method", "PUT"}});
    command.set("address", item.objectForKey("group").boolValue()
                               ? "/api/" + username + "/groups/" + lampId + "/action"
                               : "/api/" + username + "/lights/" + lampId + "/state");
    Value body = Value::emptyMap();
    Value schedule = Value::map({
        {"name", truncateStringCharacters(item.objectForKey("name").textValue(), 32)},
        {"description", item.getDescription(64)},
    });

    auto copyNumber = [&](const char* from, const char* to) {
        Value v = item.objectForKey(from);
        if (!v.isNull()) body.set(to, Value(static_cast<std::int64_t>(v.doubleValue())));
    };
    int mask = weekdayMask(item);
    switch (item.kind()) {
        case Action::On:
            body.set("on", "true");
            schedule.set("time", scheduleTime(item.objectForKey("rontime").textValue(), mask, "00"));
            break;
        case Action::Off:
            body.set("on", "false");
            schedule.set("time", scheduleTime(item.objectForKey("rofftime").textValue(),
                                              item.endTimeIsShifted() ? rotateMask(mask, 1) : mask, "00"));
            break;
        case Action::ColourBrightness:
            copyNumber("brightness", "bri");
            copyNumber("colour", "hue");
            copyNumber("saturation", "sat");
            schedule.set("time", scheduleTime(item.objectForKey("rontime").textValue(), mask, "01"));
            break;
        case Action::FalseDawn:
            body.set("on", "true");
            body.set("bri", 255);
            body.set("transitiontime", Value(static_cast<std::int64_t>(transition)));
            schedule.set("time", scheduleTime(item.objectForKey("rontime").textValue(), mask, "00"));
            break;
        case Action::FalseDusk:
            body.set("on", "false");
            body.set("transitiontime", Value(static_cast<std::int64_t>(transition)));
            schedule.set("time", scheduleTime(item.objectForKey("rofftime").textValue(),
                                              item.endTimeIsShifted() ? rotateMask(mask, 1) : mask, "00"));
            break;
        default:
            return std::nullopt;
    }
    command.set("body", std::move(body));
    schedule.set("command", std::move(command));

    auto reply = bridge_.sendRequest("POST", "schedules", &schedule);
    if (!reply) {
        if (why) *why = reply.failure ? reply.failure->describe() : "no answer";
        return std::nullopt;
    }
    Value success = BridgeBridge::dictionaryFromJSON(reply.text)["success"];
    Value id = BridgeBridge::dictionaryFromJSON(success.textValue())["id"];
    if (id.isNull() || id.textValue().empty()) {
        platform::log("the bridge's reply to a new schedule holds no schedule id");
        if (why) *why = "its reply held no schedule id";
        return std::nullopt;
    }
    if (registered) {
        // As the bridge lists it: what was sent, read back as its reply would be.
        *registered = Value::map({{"name", schedule["name"]},
                                  {"command", BridgeBridge::dictionaryOfDictionariesFromJSON(
                                                  BridgeBridge::JSONFromDictionary(schedule["command"]))}});
    }
    return id.textValue();
}

bool ScheduleManager::breakDownAndRegisterNewActionWithHub(Action& item) {
    const std::string name = item.objectForKey("name").textValue();
    if (item.getScheduleIDArray() && !deleteActionFromHub(item)) return false;
    std::vector<std::string> added;
    bool complete = true;
    std::string why;
    auto add = [&](const Action& part) {
        Value registered;
        auto id = registerSchedule(part, &registered, &why);
        if (!id) {
            complete = false;
            return;
        }
        item.addScheduleID(*id, registered);
        added.push_back(*id);
    };
    int kind = item.kind();
    if (kind == Action::On || kind == Action::Off || kind == Action::FalseDawn || kind == Action::FalseDusk) {
        add(item);
    } else if (kind == Action::OnAndOff) {
        Action on(item.getDictionary());
        on.setObjectForKey(static_cast<int>(Action::On), "action");
        Action off(item.getDictionary());
        off.setObjectForKey(static_cast<int>(Action::Off), "action");
        int onMinute = stringToNumber(item.objectForKey("ontime").textValue()).value_or(0);
        int offMinute = stringToNumber(item.objectForKey("offtime").textValue()).value_or(0);
        if (onMinute > offMinute) off.setEndTimeIsShifted(true);
        add(on);
        add(off);
    }
    if (kind == Action::ColourBrightness || item.objectForKey("colourbrightness").boolValue()) {
        Action colour(item.getDictionary());
        colour.setObjectForKey(static_cast<int>(Action::ColourBrightness), "action");
        add(colour);
    }
    item.setObjectForKey(currentOffsetSeconds(), utcOffsetKey);
    if (complete) return true;
    // Half an item on the bridge runs half of what the user asked for: what
    // did get registered is taken back, and the item is left disabled.
    addProblem("the bridge did not register every schedule of \"" + name + "\": " + why);
    RegistrationFailureObserver told;
    {
        std::lock_guard lock(problemsMutex_);
        told = registrationFailureObserver_;
    }
    if (told) told(name, why);
    for (const std::string& id : added)
        if (deleteBridgeSchedule(id, name)) item.removeScheduleID(id);
    if (item.scheduleIDs().empty()) item.setEnabled(false);
    return false;
}

std::optional<Value::Map> ScheduleManager::readBridgeSchedules() {
    auto reply = bridge_.sendGETRequestToUrl("schedules");
    if (!reply) return std::nullopt;
    // The list is an object, "{}" when empty; anything else tells nothing
    // about which schedules are gone.
    auto start = reply->find_first_not_of(" \t\r\n");
    if (start == std::string::npos || (*reply)[start] != '{') {
        platform::log("the bridge's schedule list is not an object");
        addProblem("the bridge's schedule list could not be read");
        return std::nullopt;
    }
    Value list = BridgeBridge::dictionaryOfDictionariesFromJSON(reply);
    if (!list.isMap()) return Value::Map{};
    if (list.size() > BridgeBridge::maxListMembers) {
        platform::log("schedules refused: the bridge listed " + std::to_string(list.size()) + " members");
        addProblem("the bridge listed " + std::to_string(list.size()) + " schedules, more than any bridge holds");
        return std::nullopt;
    }
    return list.asMap();
}

std::optional<Value> ScheduleManager::wholeRecord(const std::string& id, const Value& listed) {
    if (listed.contains("command")) return listed;
    auto reply = bridge_.sendGETRequestToUrl("schedules/" + id);
    if (!reply) return std::nullopt;
    Value record = BridgeBridge::dictionaryOfDictionariesFromJSON(reply);
    if (!record.isMap() || !record.contains("name")) return std::nullopt;
    return record;
}

bool ScheduleManager::isOwnSchedule(const Action& item, const std::string& id, const Value& record) const {
    if (auto registered = item.registeredSchedule(id))
        return record["name"] == (*registered)["name"] && record["command"] == (*registered)["command"];
    // Registered before the commands were kept: the name the item gives its schedules.
    return record["name"].textValue() == truncateStringCharacters(item.objectForKey("name").textValue(), 32);
}

bool ScheduleManager::deleteBridgeSchedule(const std::string& id, const std::string& owner) {
    const std::string path = "schedules/" + id;
    auto reply = bridge_.sendRequest("DELETE", path);
    if (reply) return true;
    const auto& failure = reply.failure;
    if (failure && failure->kind == RequestFailure::Kind::BridgeError &&
        failure->detail.find("not available") != std::string::npos) {
        platform::log("schedule " + id + " was already gone from the bridge");
        return true;
    }
    std::string line = "the bridge did not delete schedule " + id;
    if (!owner.empty()) line += " of \"" + owner + "\"";
    line += ": " + (failure ? failure->describe() : std::string("no answer"));
    platform::log(line);
    addProblem(line);
    return false;
}

bool ScheduleManager::deleteActionFromHub(Action& item) {
    const auto ids = item.scheduleIDs();
    if (ids.empty()) {
        item.removeAllScheduleIDs();
        return true;
    }
    const std::string name = item.objectForKey("name").textValue();
    auto listed = readBridgeSchedules();
    if (!listed) {
        addProblem("the bridge's schedules could not be read; those of \"" + name + "\" are left as they are");
        return false;
    }
    bool all = true;
    for (const std::string& id : ids) {
        auto at = listed->find(id);
        if (at == listed->end()) {
            platform::log("schedule " + id + " of " + name + " is no longer on the bridge");
            item.removeScheduleID(id);
            continue;
        }
        auto record = wholeRecord(id, at->second);
        if (!record) {
            addProblem("schedule " + id + " of \"" + name + "\" could not be read; it is left as it is");
            all = false;
            continue;
        }
        if (!isOwnSchedule(item, id, *record)) {
            platform::log("schedule " + id + " on the bridge is no longer " + name + "'s own (it is \"" +
                          (*record)["name"].textValue() + "\"); it is left alone and forgotten");
            item.removeScheduleID(id);
            continue;
        }
        if (deleteBridgeSchedule(id, name))
            item.removeScheduleID(id);
        else
            all = false;
    }
    return all;
}

std::vector<std::string> ScheduleManager::bridgeScheduleKeys(bool* ok) {
    std::vector<std::string> keys;
    auto listed = readBridgeSchedules();
    if (ok) *ok = listed.has_value();
    if (listed)
        for (const auto& [key, value] : *listed) keys.push_back(key);
    return keys;
}

platform::AlertSpec ScheduleManager::deleteAllAlert() {
    platform::AlertSpec alert;
    alert.message = "Delete all schedules from the bridge?";
    alert.defaultButton = "Delete All";
    alert.alternateButton = "Cancel";
    alert.informativeText = "Schedules won't be deleted from Glowmere, just disabled.";
    return alert;
}

bool ScheduleManager::deleteAllFromBridge(bool confirmed) {
    if (!confirmed) {
        if (!alerts_ || alerts_->runModal(deleteAllAlert()) != platform::AlertResponse::Default) return false;
    }
    clearProblems();
    refused_.clear();
    auto listed = readBridgeSchedules();
    if (!listed) return false;
    std::set<std::string> refused;
    for (const auto& [id, record] : *listed)
        if (!deleteBridgeSchedule(id, record["name"].textValue())) refused.insert(id);
    for (auto& item : collection_) {
        // An item whose schedule the bridge kept keeps that id, and runs on.
        for (const std::string& id : item->scheduleIDs())
            if (!refused.count(id)) item->removeScheduleID(id);
        if (item->scheduleIDs().empty()) item->setEnabled(false);
    }
    refused_.assign(refused.begin(), refused.end());
    if (refused.empty()) setStatus("");
    saveAfterBridgeChange();
    return true;
}

bool ScheduleManager::saveAfterBridgeChange() {
    if (saveActions() || saveActions()) return true;
    std::string why = defaults_.lastSaveError();
    std::string line = "the bridge's schedules changed, but the schedule items could not be saved" +
                       (why.empty() ? std::string() : ": " + why) + "; they are kept while this program runs";
    platform::log(line);
    addProblem(line);
    return false;
}

void ScheduleManager::clearProblems() {
    std::lock_guard lock(problemsMutex_);
    problems_.clear();
}

void ScheduleManager::addProblem(const std::string& text) {
    std::lock_guard lock(problemsMutex_);
    problems_.push_back(text);
}

void ScheduleManager::setRegistrationFailureObserver(RegistrationFailureObserver observer) {
    std::lock_guard lock(problemsMutex_);
    registrationFailureObserver_ = std::move(observer);
}

std::vector<std::string> ScheduleManager::problems() const {
    std::lock_guard lock(problemsMutex_);
    return problems_;
}

}  // namespace glowmere
