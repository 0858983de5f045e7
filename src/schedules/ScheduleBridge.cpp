// Schedule items as schedules on the bridge: registering, deleting.
#include <cstdio>

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
        {"description", truncateStringCharacters(item.getDescription(), 64)},
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

    auto reply = bridge_.sendPOSTRequestToUrl(schedule, "schedules");
    if (!reply) return std::nullopt;
    Value success = BridgeBridge::dictionaryFromJSON(reply)["success"];
    Value id = BridgeBridge::dictionaryFromJSON(success.textValue())["id"];
    if (id.isNull() || id.textValue().empty()) return std::nullopt;
    return id.textValue();
}

void ScheduleManager::breakDownAndRegisterNewActionWithHub(Action& item) {
    if (item.getScheduleIDArray()) deleteActionFromHub(item);
    int kind = item.kind();
    if (kind == Action::On || kind == Action::Off || kind == Action::FalseDawn || kind == Action::FalseDusk) {
        item.addScheduleID(registerNewActionWithHub(item));
    } else if (kind == Action::OnAndOff) {
        Action on(item.getDictionary());
        on.setObjectForKey(static_cast<int>(Action::On), "action");
        Action off(item.getDictionary());
        off.setObjectForKey(static_cast<int>(Action::Off), "action");
        int onMinute = stringToNumber(item.objectForKey("ontime").textValue()).value_or(0);
        int offMinute = stringToNumber(item.objectForKey("offtime").textValue()).value_or(0);
        if (onMinute > offMinute) off.setEndTimeIsShifted(true);
        item.addScheduleID(registerNewActionWithHub(on));
        item.addScheduleID(registerNewActionWithHub(off));
    }
    if (kind == Action::ColourBrightness || item.objectForKey("colourbrightness").boolValue()) {
        Action colour(item.getDictionary());
        colour.setObjectForKey(static_cast<int>(Action::ColourBrightness), "action");
        item.addScheduleID(registerNewActionWithHub(colour));
    }
    item.setObjectForKey(currentOffsetSeconds(), utcOffsetKey);
}

void ScheduleManager::deleteActionFromHub(Action& item) {
    for (const std::string& id : item.scheduleIDs()) bridge_.sendDELETERequestToUrl("schedules/" + id);
    item.removeAllScheduleIDs();
}

std::vector<std::string> ScheduleManager::bridgeScheduleKeys(bool* ok) {
    std::vector<std::string> keys;
    auto reply = bridge_.sendGETRequestToUrl("schedules");
    if (ok) *ok = reply.has_value();
    if (!reply) return keys;
    Value list = BridgeBridge::dictionaryOfDictionariesFromJSON(reply);
    if (list.isMap())
        for (const auto& [key, value] : list.asMap()) keys.push_back(key);
    return keys;
}

platform::AlertSpec ScheduleManager::deleteAllAlert() {
    platform::AlertSpec alert;
    alert.message = "Delete all schedules from bridge";
    alert.defaultButton = "OK";
    alert.alternateButton = "Cancel";
    alert.informativeText =
        "Are you sure that you want to delete all schedules from your bridge? (Schedules won't be deleted from "
        "Glowmere, just disabled)";
    return alert;
}

bool ScheduleManager::deleteAllFromBridge(bool confirmed) {
    if (!confirmed) {
        if (!alerts_ || alerts_->runModal(deleteAllAlert()) != platform::AlertResponse::Default) return false;
    }
    bool ok = false;
    auto keys = bridgeScheduleKeys(&ok);
    if (!ok) return false;
    for (const std::string& key : keys) bridge_.sendDELETERequestToUrl("schedules/" + key);
    for (auto& item : collection_) {
        item->removeAllScheduleIDs();
        item->setEnabled(false);
    }
    setStatus("");
    saveActions();
    return true;
}

}  // namespace glowmere
