// The local listening clock and the hourly/daily adjustment of bridge times.
#include <algorithm>

#include "platform/Log.h"
#include "schedules/ScheduleManager.h"

namespace glowmere {

using namespace std::chrono_literals;
namespace chr = std::chrono;

std::optional<int> ScheduleManager::localMinuteOfDayNow(int* second) const {
    auto local = zone_.toLocal(chr::floor<chr::seconds>(clock().now()));
    auto sinceMidnight = local - chr::floor<chr::days>(local);
    auto seconds = static_cast<int>(chr::duration_cast<chr::seconds>(sinceMidnight).count());
    if (second) *second = seconds % 60;
    return seconds / 60;
}

void ScheduleManager::constructList() {
    orderedList_.clear();
    orderedList_.reserve(20);
    for (const auto& item : collection_) {
        if (item->kind() != Action::Listening) continue;
        for (const char* key : {"ontime", "offtime"}) {
            auto minute = stringToNumber(item->objectForKey(key).textValue());
            // A minute outside the day would arm a timer that is already due
            // and re-plans itself at once, for ever.
            if (minute && *minute >= 0 && *minute < 1440) orderedList_.push_back(*minute);
        }
    }
    std::sort(orderedList_.begin(), orderedList_.end());
    if (orderedList_.empty()) return;

    int second = 0;
    int now = *localMinuteOfDayNow(&second);
    auto next = std::upper_bound(orderedList_.begin(), orderedList_.end(), now);
    int entry = next != orderedList_.end() ? *next : orderedList_.front();
    long wait = static_cast<long>(entry - now) * 60;
    if (wait <= 0) wait += 86400;
    wait -= second;

    if (timer_) loop_.invalidate(timer_);
    timerEntry_ = entry;
    timerWait_ = chr::seconds(wait);
    timer_ = loop_.schedule(chr::seconds(wait), [this, entry] {
        timer_ = 0;
        timerFired(entry);
    });
}

void ScheduleManager::timerFired(int minute) {
    platform::log("timer fired");
    std::vector<std::shared_ptr<Action>> due;
    for (const auto& item : collection_) {
        if (item->kind() != Action::Listening) continue;
        if (stringToNumber(item->objectForKey("ontime").textValue()) == minute) due.push_back(item);
        if (stringToNumber(item->objectForKey("offtime").textValue()) == minute) due.push_back(item);
    }
    for (const auto& item : due) {
        if (item->kind() != Action::Listening || !item->isEnabled()) continue;
        if (stringToNumber(item->objectForKey("ontime").textValue()) == minute) {
            platform::log("starting to listen");
            if (mainToolbarListenButton_) mainToolbarListenButton_->setState(1);
            if (micListener_) micListener_->start();
        }
        if (stringToNumber(item->objectForKey("offtime").textValue()) == minute) {
            platform::log("stopping listening");
            if (mainToolbarListenButton_) mainToolbarListenButton_->setState(0);
            if (micListener_) micListener_->stop();
        }
    }
    constructList();
}

void ScheduleManager::makeWake() {
    platform::log("Computer woken");
    constructList();
}

void ScheduleManager::adjustTimes(std::stop_token stop) {
    while (clock().sleepFor(3600s, stop)) hourlyCheck();
}

void ScheduleManager::hourlyCheck() {
    Value last = defaults_.objectForKey(dailyChecksKey);
    Value::Date lastDate = last.isDate() ? last.date() : Value::Date(chr::sys_days(chr::year{1977} / chr::January / 1));
    if (chr::floor<chr::seconds>(clock().now()) - lastDate > chr::seconds(86400)) dailyAdjustment();
    retimeForOffsetChanges();
}

namespace {

struct Snapshot {
    std::shared_ptr<Action> item;
    Value dictionary;
};

// `hh:mm` today, moved by `delta`, as local HH:MM.
std::string movedTime(const platform::TimeZone& zone, chr::local_days today, int minutes, chr::seconds delta) {
    auto instant = zone.toSys(chr::local_seconds(today) + chr::minutes(minutes)) + delta;
    auto local = zone.toLocal(instant);
    auto m = chr::duration_cast<chr::minutes>(local - chr::floor<chr::days>(local)).count();
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(m / 60), static_cast<int>(m % 60));
    return text;
}

}  // namespace

void ScheduleManager::retimeSchedules(const Action& item, bool varied) {
    // One draw each for the on and the off time.
    std::string onTime = item.objectForKey(varied ? "rontime" : "ontime").textValue();
    std::string offTime = item.objectForKey(varied ? "rofftime" : "offtime").textValue();
    int onMinute = stringToNumber(item.objectForKey("ontime").textValue()).value_or(0);
    int offMinute = stringToNumber(item.objectForKey("offtime").textValue()).value_or(0);
    int mask = weekdayMask(item);
    bool shiftOff = onMinute > offMinute && (varied || item.kind() == Action::OnAndOff);
    for (const std::string& id : item.scheduleIDs()) {
        auto reply = bridge_.sendGETRequestToUrl("schedules/" + id);
        Value read = BridgeBridge::dictionaryFromJSON(reply);
        platform::log("response command is: " + read["command"].textValue());
        // Unanswered: the schedule may be an on schedule, and moving it to
        // the off time would switch the lamp on when it should go off.
        if (!reply) continue;
        std::string time;
        if (reply->find("\"on\":false") == std::string::npos) {
            // A colour schedule (no "on" in its body) keeps its second past
            // the minute unless the time is varied.
            bool colour = reply->find("\"on\":") == std::string::npos;
            time = scheduleTime(onTime, mask, colour && !varied ? "01" : "00");
        } else {
            time = scheduleTime(offTime, shiftOff ? rotateMask(mask, 1) : mask, "00");
        }
        bridge_.sendPUTRequestToUrl(Value::map({{"time", time}}), "schedules/" + id);
    }
}

void ScheduleManager::dailyAdjustment() {
    platform::log("adjusting times");
    fetchSunriseSunetTimes();

    std::vector<Snapshot> items;
    onController([&] {
        for (const auto& item : collection_) items.push_back({item, item->getDictionary()});
    });

    Value sunrise = defaults_.objectForKey(sunriseKey);
    Value sunset = defaults_.objectForKey(sunsetKey);
    bool sunKnown = sunrise.isText() && sunset.isText() && isTimeText(sunrise.text()) && isTimeText(sunset.text());

    for (const Snapshot& snapshot : items) {
        Action work(snapshot.dictionary);
        bool touched = false;
        int kind = work.kind();
        if (work.isEnabled() && (kind == Action::OnAndOff || kind == Action::On || kind == Action::ColourBrightness) &&
            work.objectForKey("vary").boolValue()) {
            retimeSchedules(work, true);
            work.setObjectForKey(currentOffsetSeconds(), utcOffsetKey);
            touched = true;
        }
        if (work.objectForKey("linksunrisesunset").boolValue()) {
            if (sunKnown) {
                auto day = today();
                work.setObjectForKey(movedTime(zone_, day, *stringToNumber(sunrise.text()), 3600s), "offtime");
                work.setObjectForKey(movedTime(zone_, day, *stringToNumber(sunset.text()), -3600s), "ontime");
                if (!breakDownAndRegisterNewActionWithHub(work)) {
                    // The bridge keeps the old times (or, with a new schedule
                    // refused, nothing: the item is then disabled).
                    work.setObjectForKey(snapshot.dictionary["ontime"], "ontime");
                    work.setObjectForKey(snapshot.dictionary["offtime"], "offtime");
                }
                touched = true;
            } else {
                platform::log("no sunrise or sunset known; keeping the times of " +
                              work.objectForKey("name").textValue());
            }
        }
        if (!touched) continue;

        bool applied = false;
        onController([&] {
            auto found = std::find(collection_.begin(), collection_.end(), snapshot.item);
            // An item edited or deleted meanwhile keeps what the user gave it.
            if (found == collection_.end() || (*found)->getDictionary()["bridgeID"] != snapshot.dictionary["bridgeID"])
                return;
            for (const char* key : {"ontime", "offtime", "bridgeID", Action::registeredKey, "enabled", utcOffsetKey}) {
                const Value& value = work.getDictionary()[key];
                if (value.isNull())
                    (*found)->getDictionary().erase(key);
                else
                    (*found)->setObjectForKey(value, key);
            }
            saveActions();
            applied = true;
        });
        if (!applied) {
            Action original(snapshot.dictionary);
            auto old = original.scheduleIDs();
            for (const std::string& id : work.scheduleIDs())
                if (std::find(old.begin(), old.end(), id) == old.end())
                    bridge_.sendDELETERequestToUrl("schedules/" + id);
        }
    }
    onController([&] { constructList(); });
    defaults_.setObject(dailyChecksKey, Value(chr::floor<chr::seconds>(clock().now())));
}

void ScheduleManager::retimeForOffsetChanges() {
    int offset = currentOffsetSeconds();
    std::vector<Snapshot> items;
    onController([&] {
        for (const auto& item : collection_) {
            const Value& registered = item->getDictionary()[utcOffsetKey];
            if (item->isEnabled() && !item->scheduleIDs().empty() && !registered.isNull() &&
                registered.intValue() != offset)
                items.push_back({item, item->getDictionary()});
        }
    });
    for (const Snapshot& snapshot : items) {
        Action work(snapshot.dictionary);
        platform::log("re-timing " + work.objectForKey("name").textValue() + " after a change of the UTC offset");
        retimeSchedules(work, work.objectForKey("vary").boolValue());
        onController([&] {
            auto found = std::find(collection_.begin(), collection_.end(), snapshot.item);
            if (found == collection_.end() || (*found)->getDictionary()["bridgeID"] != snapshot.dictionary["bridgeID"])
                return;
            (*found)->setObjectForKey(offset, utcOffsetKey);
            saveActions();
        });
    }
}

}  // namespace glowmere
