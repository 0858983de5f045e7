#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "bridge/BridgeBridge.h"
#include "platform/Controls.h"
#include "platform/DefaultsStore.h"
#include "platform/HttpClient.h"
#include "platform/RunLoop.h"
#include "platform/TimeZone.h"
#include "platform/Ui.h"
#include "schedules/Action.h"
#include "schedules/Location.h"
#include "schedules/MicListening.h"
#include "schedules/SunTimes.h"

namespace glowmere {

// Keeps the schedule items: turns them into schedules on the bridge, stores
// them, runs the local listening clock, re-times the bridge schedules daily
// (and when the zone's offset changes), imports schedules other clients left
// on the bridge and keeps today's sunrise and sunset.
//
// Every operation except adjustTimes runs on the controller thread (the run
// loop handed in). adjustTimes runs on a thread of its own and hands every
// change of an item or of the list to the controller thread.
class ScheduleManager {
public:
    // Defaults keys.
    static constexpr const char* actionsKey = "GlowmereController actions";
    static constexpr const char* dailyChecksKey = "dailyChecksLastPerformed";
    static constexpr const char* sunriseKey = "sunrise";
    static constexpr const char* sunsetKey = "sunset";
    static constexpr const char* transitionMinsKey = "transitionMins";
    // Base address of the sunrise/sunset web service; empty or absent: the
    // times are calculated here.
    static constexpr const char* sunServiceKey = "sunService";
    // Item key: the zone's offset from UTC (seconds) that the item's bridge
    // schedule times were worked out with.
    static constexpr const char* utcOffsetKey = "utcoffset";

    static constexpr const char* otherAppStatus = "there are schedules on the bridge which were created by another app";

    ScheduleManager(BridgeBridge& bridge, platform::DefaultsStore& defaults, platform::RunLoop& loop,
                    platform::TimeZone zone);
    ~ScheduleManager();
    ScheduleManager(const ScheduleManager&) = delete;
    ScheduleManager& operator=(const ScheduleManager&) = delete;

    // Outlets; any may be left unset.
    void setMicListener(MicListening* listener) { micListener_ = listener; }
    void setMainToolbarListenButton(platform::Button* button) { mainToolbarListenButton_ = button; }
    void setAlerts(platform::Alerts* alerts) { alerts_ = alerts; }
    void setManagerStatusField(platform::TextField* field) { tfManagerStatus_ = field; }
    void setLocation(Location* location) { location_ = location; }
    // The client for the sun service (absent: the service is not used).
    void setSunServiceClient(platform::HttpClient* http) { sunHttp_ = http; }
    void setTimeZone(platform::TimeZone zone) { zone_ = std::move(zone); }
    const platform::TimeZone& timeZone() const { return zone_; }

    // ---- Weekday masks and time conversion ----
    static std::string getBinaryForWeekdays(const Action& item);
    static std::string getShiftedBinaryForWeekdays(const Action& item);
    static int weekdayMask(const Action& item);
    // Moves every day of a mask `days` days later (negative: earlier).
    static int rotateMask(int mask, int days);
    static std::optional<int> stringToNumber(const std::string& time);
    std::string timeInUTC(const std::string& localTime) const;
    std::string localTimeFromUTC(const std::string& utcTime) const;
    // How many days the UTC time of today's `localTime` lies from the local
    // day: -1, 0 or 1.
    int utcDayShift(const std::string& localTime) const;
    // The same for a UTC time read back: how many days local lies from UTC.
    int localDayShift(const std::string& utcTime) const;
    static bool validateTime(platform::TextField* field);
    static std::optional<std::string> normalisedTime(const std::string& text);
    static std::string truncateStringCharacters(const std::string& text, std::size_t count);

    // ---- Schedules on the bridge ----
    // Replaces the item's bridge schedules with new ones. False when its old
    // schedules could not be deleted (the item is left as it was) or a new
    // one got no id from the bridge (those registered are deleted again and
    // the item is disabled); problems() says which and why.
    bool breakDownAndRegisterNewActionWithHub(Action& item);
    std::optional<std::string> registerNewActionWithHub(const Action& item);
    // Deletes the item's bridge schedules. An id is forgotten once the bridge
    // confirmed the delete, or no longer holds that schedule, or holds
    // another one there (not the item's own name and command: left alone).
    // False when any was refused or could not be read: those ids stay.
    bool deleteActionFromHub(Action& item);
    // Asks first (through the alerts) unless `confirmed`. True when it ran
    // (the list could be read). Items whose schedules the bridge refused to
    // delete keep them and stay enabled; refusedSchedules() lists those.
    bool deleteAllFromBridge(bool confirmed = false);
    const std::vector<std::string>& refusedSchedules() const { return refused_; }
    // What the last operation on the bridge's schedules or on the list could
    // not do, one line each for a person (empty when all went through).
    std::vector<std::string> problems() const;
    // Told, on the thread that registered, of an item whose bridge schedules
    // could not all be registered: its name and why.
    using RegistrationFailureObserver = std::function<void(const std::string& name, const std::string& why)>;
    void setRegistrationFailureObserver(RegistrationFailureObserver observer);
    // The question asked before every schedule on the bridge is deleted.
    static platform::AlertSpec deleteAllAlert();

    // ---- The list, storage and the clock ----
    void awakeFromNib();
    // Stores the list: merged with what other processes stored since this
    // one last read or wrote it, so their items are kept (and then shown
    // here too). False when it could not be written.
    bool saveActions();
    // Takes the items other processes stored meanwhile (the defaults store
    // tells when); this process's unsaved changes stay.
    void takeStoredChanges();
    // Told on the controller thread after the list changed from outside.
    void setListChangedHandler(std::function<void()> handler) {
        std::lock_guard lock(listChangedMutex_);
        listChanged_ = std::move(handler);
    }
    void constructList();
    void timerFired(int minute);
    void makeWake();
    // The hourly loop; returns when `stop` is requested.
    void adjustTimes(std::stop_token stop);
    // One hourly wake of that loop: the daily adjustment when a day has
    // passed, and re-timing after a change of the zone's offset.
    void hourlyCheck();

    std::vector<std::shared_ptr<Action>>& collection() { return collection_; }
    const std::vector<std::shared_ptr<Action>>& collection() const { return collection_; }
    // A new item: registered, appended, stored, clock planned. When it
    // cannot be stored, its new bridge schedules are deleted again and it
    // stays in the list disabled; false then.
    bool addAction(Action item);
    // False when the index is out of range or the change could not be
    // stored (an item enabled then is disabled again, as for addAction).
    bool setActionEnabled(std::size_t index, bool enabled);
    bool deleteAction(std::size_t index);

    // The armed listening timer: its entry (minute of day) and wait.
    std::optional<int> plannedEntry() const { return timer_ ? std::optional<int>(timerEntry_) : std::nullopt; }
    std::optional<platform::Clock::Duration> plannedWait() const {
        return timer_ ? std::optional(timerWait_) : std::nullopt;
    }

    // ---- Import and matching ----
    void matchBridgeWithInternal();
    void windowDidBecomeKey();
    // False when the bridge's list could not be read (nothing imported).
    bool importFromBridge();
    const std::string& managerStatus() const { return managerStatus_; }
    // The names of the enabled items whose bridge schedules the last status
    // check did not find on the bridge.
    const std::vector<std::string>& itemsMissingOnBridge() const { return missingOnBridge_; }
    // How many of the bridge's schedules the last status check found that
    // belong to no item; whether it could read the bridge's list.
    std::size_t foreignScheduleCount() const { return foreignSchedules_; }
    bool lastCheckReadBridge() const { return lastCheckRead_; }

    // ---- Sunrise and sunset ----
    bool requiresLocationManager() const;
    void locationManagerDidUpdateToLocationFromLocation(const GeoPosition& newLocation,
                                                        const std::optional<GeoPosition>& oldLocation);
    // Fetches today's times unless the last daily adjustment is under a day
    // old; true when new times were stored.
    bool fetchSunriseSunetTimes();
    // The same without the daily gate.
    bool updateSunTimes();
    float latitude() const { return latitude_; }
    float longitude() const { return longitude_; }
    // Where the stored times came from last: "calculated", "web service", or
    // empty.
    std::string sunSource() const;

private:
    platform::Clock& clock() const { return loop_.clock(); }
    std::chrono::local_days today() const;
    std::optional<int> localMinuteOfDayNow(int* second) const;
    std::string scheduleTime(const std::string& localTime, int mask, const char* seconds) const;
    void setStatus(const std::string& text);
    // The bridge's schedules by id, each with the record the list carries
    // (a name only, from older bridges). Nothing when the list could not be
    // read or holds more members than any bridge has.
    std::optional<Value::Map> readBridgeSchedules();
    // A listed schedule's whole record: the list's own, or read on its own
    // where the list carries names only. Nothing when it could not be read.
    std::optional<Value> wholeRecord(const std::string& id, const Value& listed);
    // registerNewActionWithHub, giving also the schedule's name and command
    // as the bridge will list them.
    // `why` gets the reason when no id came back.
    std::optional<std::string> registerSchedule(const Action& item, Value* registered, std::string* why = nullptr);
    bool isOwnSchedule(const Action& item, const std::string& id, const Value& record) const;
    // DELETE of one schedule: true when the bridge confirmed it or answered
    // that there is no such schedule.
    bool deleteBridgeSchedule(const std::string& id, const std::string& owner);
    // Stores the list after the bridge changed; a failure is tried once
    // more, then told in problems(). The items stay as they are in memory.
    bool saveAfterBridgeChange();
    void clearProblems();
    void addProblem(const std::string& text);
    // Makes the list `list`, keeping the items whose content is unchanged.
    void adoptList(const Value::List& list);
    // Undoes the bridge side of an item whose change could not be stored.
    void withdrawUnsaved(Action& item);
    // Runs `work` on the controller thread (at once when this is it, or when
    // no loop runs) and waits for it.
    void onController(const std::function<void()>& work);
    void dailyAdjustment();
    void retimeSchedules(const Action& item, bool varied);
    void retimeForOffsetChanges();
    std::vector<std::string> bridgeScheduleKeys(bool* ok);
    std::optional<std::string> bridgeName(const char* list, int id);
    // importFromBridge's steps: the item a bridge schedule becomes (nothing
    // without a command body), its time and days (giving the local time),
    // and the lamp or group its address names.
    std::optional<Value> itemFromBridgeSchedule(const std::string& key, const Value& schedule);
    std::string copyScheduleTime(const std::string& t, Value& item) const;
    void copyScheduleTarget(const std::string& address, Value& item);
    std::optional<SunTimes> sunTimesFromService(const GeoPosition& position);
    int currentOffsetSeconds() const;

    BridgeBridge& bridge_;
    platform::DefaultsStore& defaults_;
    platform::RunLoop& loop_;
    platform::TimeZone zone_;
    MicListening* micListener_ = nullptr;
    platform::Button* mainToolbarListenButton_ = nullptr;
    platform::Alerts* alerts_ = nullptr;
    platform::TextField* tfManagerStatus_ = nullptr;
    std::size_t foreignSchedules_ = 0;
    bool lastCheckRead_ = false;
    Location* location_ = nullptr;
    platform::HttpClient* sunHttp_ = nullptr;

    bool loaded_ = false;
    std::vector<std::shared_ptr<Action>> collection_;
    // The list as this process last read or wrote it in the store.
    Value::List storedBase_;
    platform::DefaultsStore::ObserverId storeObserver_ = 0;
    std::mutex listChangedMutex_;  // set on the window thread, read on the controller thread
    std::function<void()> listChanged_;
    std::vector<int> orderedList_;
    platform::RunLoop::TimerId timer_ = 0;
    int timerEntry_ = 0;
    platform::Clock::Duration timerWait_{};
    std::string managerStatus_;
    mutable std::mutex problemsMutex_;  // the daily adjustment registers on its own thread
    std::vector<std::string> problems_;
    RegistrationFailureObserver registrationFailureObserver_;  // under problemsMutex_
    std::vector<std::string> refused_;
    std::vector<std::string> missingOnBridge_;
    std::atomic<float> latitude_{0};
    std::atomic<float> longitude_{0};
    std::atomic<bool> positionReported_{false};
    mutable std::mutex sunMutex_;
    std::string sunSource_;
};

}  // namespace glowmere
