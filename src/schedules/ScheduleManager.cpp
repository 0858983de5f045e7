#include "schedules/ScheduleManager.h"

#include <algorithm>
#include <cstdio>
#include <future>

#include "platform/Log.h"
#include "platform/StoredListMerge.h"

namespace glowmere {

using namespace std::chrono_literals;
namespace chr = std::chrono;

namespace {

const char* const dayKeys[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};

std::string hhmm(long minutes) {
    char text[48];
    std::snprintf(text, sizeof text, "%02ld:%02ld", minutes / 60, minutes % 60);
    return text;
}

long minuteOf(chr::local_seconds t) {
    return static_cast<long>(chr::duration_cast<chr::minutes>(t - chr::floor<chr::days>(t)).count());
}

// Lengths and cuts in 16-bit text units, as the bridge's field lengths count.
std::size_t utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead >> 5) == 0x6) return 2;
    if ((lead >> 4) == 0xE) return 3;
    if ((lead >> 3) == 0x1E) return 4;
    return 1;
}

}  // namespace

ScheduleManager::ScheduleManager(BridgeBridge& bridge, platform::DefaultsStore& defaults, platform::RunLoop& loop,
                                 platform::TimeZone zone)
    : bridge_(bridge), defaults_(defaults), loop_(loop), zone_(std::move(zone)) {}

ScheduleManager::~ScheduleManager() {
    if (storeObserver_) defaults_.removeChangeObserver(storeObserver_);
    if (timer_) loop_.invalidate(timer_);
}

// ---- Weekday masks and time conversion ----

int ScheduleManager::weekdayMask(const Action& item) {
    int mask = 0;
    for (int i = 0; i < 7; ++i)
        if (item.objectForKey(dayKeys[i]).boolValue()) mask |= 64 >> i;
    return mask;
}

int ScheduleManager::rotateMask(int mask, int days) {
    mask &= 127;
    days %= 7;
    if (days < 0) days += 7;
    // A day later is one bit lower (Sunday wraps round to Monday).
    for (int i = 0; i < days; ++i) mask = (mask >> 1) | ((mask & 1) << 6);
    return mask;
}

static std::string maskText(int mask) {
    char text[8];
    std::snprintf(text, sizeof text, "%03d", mask);
    return text;
}

std::string ScheduleManager::getBinaryForWeekdays(const Action& item) {
    return maskText(weekdayMask(item));
}

std::string ScheduleManager::getShiftedBinaryForWeekdays(const Action& item) {
    return maskText(rotateMask(weekdayMask(item), 1));
}

std::optional<int> ScheduleManager::stringToNumber(const std::string& time) {
    auto colon = time.find(':');
    if (colon == std::string::npos) return std::nullopt;
    std::string_view rest = std::string_view(time).substr(colon + 1);
    auto h = leadingInteger(std::string_view(time).substr(0, colon));
    auto m = leadingInteger(rest.substr(0, rest.find(':')));
    // Far-out values are clamped so the sum cannot overflow.
    h = std::clamp<std::int64_t>(h, -1000000, 1000000);
    m = std::clamp<std::int64_t>(m, -1000000, 1000000);
    return static_cast<int>(h * 60 + m);
}

chr::local_days ScheduleManager::today() const {
    return chr::floor<chr::days>(zone_.toLocal(chr::floor<chr::seconds>(clock().now())));
}

std::string ScheduleManager::timeInUTC(const std::string& localTime) const {
    auto minutes = stringToNumber(localTime);
    if (!minutes) return "";
    auto instant = zone_.toSys(chr::local_seconds(today()) + chr::minutes(*minutes));
    return hhmm(minuteOf(chr::local_seconds(instant.time_since_epoch())));
}

int ScheduleManager::utcDayShift(const std::string& localTime) const {
    auto minutes = stringToNumber(localTime);
    if (!minutes) return 0;
    auto localDay = today();
    auto instant = zone_.toSys(chr::local_seconds(localDay) + chr::minutes(*minutes));
    auto utcDay = chr::floor<chr::days>(instant);
    return static_cast<int>((utcDay.time_since_epoch() - localDay.time_since_epoch()).count());
}

std::string ScheduleManager::localTimeFromUTC(const std::string& utcTime) const {
    auto minutes = stringToNumber(utcTime);
    if (!minutes) return "";
    // Today's offset, the one timeInUTC used, so a time reads back as it went out.
    auto utcDay = chr::floor<chr::days>(chr::floor<chr::seconds>(clock().now()));
    return hhmm(minuteOf(zone_.toLocal(utcDay + chr::minutes(*minutes))));
}

int ScheduleManager::localDayShift(const std::string& utcTime) const {
    auto minutes = stringToNumber(utcTime);
    if (!minutes) return 0;
    auto utcDay = chr::floor<chr::days>(chr::floor<chr::seconds>(clock().now()));
    auto local = zone_.toLocal(utcDay + chr::minutes(*minutes));
    return static_cast<int>((chr::floor<chr::days>(local).time_since_epoch() - utcDay.time_since_epoch()).count());
}

int ScheduleManager::currentOffsetSeconds() const {
    return static_cast<int>(zone_.offsetAt(chr::floor<chr::seconds>(clock().now())).count());
}

std::optional<std::string> ScheduleManager::normalisedTime(const std::string& input) {
    std::string text = input;
    if (text.find(':') == std::string::npos && text.find('.') == std::string::npos) {
        // Four characters (not bytes): "0730" but never half of a letter.
        std::size_t characters = 0;
        for (std::size_t i = 0; i < text.size(); i += utf8SequenceLength(static_cast<unsigned char>(text[i])))
            ++characters;
        if (characters != 4 || text.size() != 4) return std::nullopt;
        text.insert(2, ":");
    }
    char separator = text.find('.') != std::string::npos ? '.' : ':';
    auto first = text.find(separator);
    if (first == std::string::npos) return std::nullopt;
    std::string_view rest = std::string_view(text).substr(first + 1);
    auto h = leadingInteger(std::string_view(text).substr(0, first));
    auto m = leadingInteger(rest.substr(0, rest.find(separator)));
    if (h < 0 || h > 23 || m < 0 || m > 59) return std::nullopt;
    return hhmm(static_cast<long>(h * 60 + m));
}

bool ScheduleManager::validateTime(platform::TextField* field) {
    if (!field) return false;
    auto time = normalisedTime(field->stringValue());
    if (!time) return false;
    field->setStringValue(*time);
    return true;
}

std::string ScheduleManager::truncateStringCharacters(const std::string& text, std::size_t count) {
    std::size_t units = 0, i = 0;
    while (i < text.size()) {
        std::size_t length = utf8SequenceLength(static_cast<unsigned char>(text[i]));
        std::size_t needed = length == 4 ? 2 : 1;
        // A character that would not fit whole is left out rather than cut in two.
        if (units + needed > count) break;
        units += needed;
        i += length;
    }
    return text.substr(0, std::min(i, text.size()));
}

// ---- Threads ----

void ScheduleManager::onController(const std::function<void()>& work) {
    if (loop_.isLoopThread() || !loop_.isRunning()) {
        work();
        return;
    }
    loop_.postAndWait(work);
}

// ---- Storage and the list ----

void ScheduleManager::awakeFromNib() {
    if (loaded_) return;
    loaded_ = true;
    collection_.clear();
    collection_.reserve(10);
    Value stored = defaults_.objectForKey(actionsKey);
    if (stored.isList()) {
        storedBase_ = stored.asList();
        for (const Value& dictionary : stored.asList()) {
            if (!dictionary.isMap()) {
                platform::log("skipping a stored schedule item that is not a dictionary");
                continue;
            }
            collection_.push_back(std::make_shared<Action>(dictionary));
        }
    } else if (!stored.isNull()) {
        platform::log("the stored schedule items are not a list; they are left untouched");
    }
    // Items another process (glowmerectl) stores while this one runs are
    // taken in when the store notices them.
    storeObserver_ = defaults_.addChangeObserver([this](const std::set<std::string>& keys) {
        if (!keys.count(actionsKey)) return;
        if (loop_.isLoopThread() || !loop_.isRunning())
            takeStoredChanges();
        else
            loop_.post([this] { takeStoredChanges(); });
    });
    constructList();
    // Wake-up reaches makeWake() from the desktop application.
}

namespace {

Value::List listOf(const Value& stored) {
    return stored.isList() ? stored.asList() : Value::List{};
}

}  // namespace

bool ScheduleManager::saveActions() {
    Value::List ours;
    ours.reserve(collection_.size());
    for (const auto& item : collection_) ours.push_back(item->getDictionary());
    Value::List theirs, merged;
    bool saved = defaults_.updateObject(actionsKey, [&](const Value& current) {
        theirs = listOf(current);
        merged = platform::mergeStoredList(storedBase_, ours, theirs);
        return Value(merged);
    });
    storedBase_ = saved ? merged : theirs;
    if (merged != ours) adoptList(merged);
    return saved;
}

void ScheduleManager::takeStoredChanges() {
    if (!loaded_) return;
    Value::List theirs = listOf(defaults_.objectForKey(actionsKey));
    if (theirs == storedBase_) return;
    Value::List ours;
    for (const auto& item : collection_) ours.push_back(item->getDictionary());
    Value::List merged = platform::mergeStoredList(storedBase_, ours, theirs);
    storedBase_ = std::move(theirs);
    if (merged != ours) adoptList(merged);
}

void ScheduleManager::adoptList(const Value::List& list) {
    std::vector<std::shared_ptr<Action>> old = std::move(collection_);
    collection_.clear();
    for (const Value& dictionary : list) {
        if (!dictionary.isMap()) continue;
        auto same = std::find_if(old.begin(), old.end(),
                                 [&](const auto& item) { return item && item->getDictionary() == dictionary; });
        if (same != old.end()) {
            collection_.push_back(std::move(*same));
        } else {
            collection_.push_back(std::make_shared<Action>(dictionary));
        }
    }
    constructList();
    std::function<void()> listChanged;
    {
        std::lock_guard lock(listChangedMutex_);
        listChanged = listChanged_;
    }
    if (listChanged) listChanged();
}

void ScheduleManager::withdrawUnsaved(Action& item) {
    // Schedules on the bridge that no stored item names would be orphans:
    // delete them again and keep the item (in memory) disabled.
    platform::log("the schedule item " + item.objectForKey("name").textValue() +
                  " could not be stored; its bridge schedules are deleted again");
    deleteActionFromHub(item);
    item.setEnabled(false);
    saveActions();
}

bool ScheduleManager::addAction(Action item) {
    clearProblems();
    auto shared = std::make_shared<Action>(std::move(item));
    bool registered = !shared->isEnabled() || breakDownAndRegisterNewActionWithHub(*shared);
    collection_.push_back(shared);
    bool saved = saveActions();
    if (!saved) withdrawUnsaved(*shared);
    constructList();
    return saved && registered;
}

bool ScheduleManager::setActionEnabled(std::size_t index, bool enabled) {
    if (index >= collection_.size()) return false;
    clearProblems();
    auto item = collection_[index];
    bool done;
    if (enabled) {
        item->setEnabled(true);
        done = breakDownAndRegisterNewActionWithHub(*item);
        platform::log("setting enabled");
    } else {
        done = deleteActionFromHub(*item);
        platform::log("unsetting enabled");
    }
    // An item is enabled exactly while the bridge runs schedules of it.
    if (!done || !enabled) item->setEnabled(enabled ? !item->scheduleIDs().empty() : !done);
    if (enabled && done) {
        if (saveActions()) return true;
        withdrawUnsaved(*item);
        return false;
    }
    return saveAfterBridgeChange() && done;
}

bool ScheduleManager::deleteAction(std::size_t index) {
    if (index >= collection_.size()) return false;
    clearProblems();
    auto item = collection_[index];
    if (!deleteActionFromHub(*item)) {
        // The item stays, with the schedules the bridge still runs.
        saveAfterBridgeChange();
        return false;
    }
    collection_.erase(collection_.begin() + static_cast<std::ptrdiff_t>(index));
    bool saved = saveAfterBridgeChange();
    constructList();
    return saved;
}

void ScheduleManager::setStatus(const std::string& text) {
    managerStatus_ = text;
    if (text.empty()) foreignSchedules_ = 0;
    if (tfManagerStatus_) tfManagerStatus_->setStringValue(text);
}

// ---- Sunrise and sunset ----

bool ScheduleManager::requiresLocationManager() const {
    for (const auto& item : collection_)
        if (item->objectForKey("linksunrisesunset").boolValue()) return true;
    return false;
}

void ScheduleManager::locationManagerDidUpdateToLocationFromLocation(const GeoPosition& newLocation,
                                                                     const std::optional<GeoPosition>& oldLocation) {
    if (oldLocation && *oldLocation == newLocation) return;
    latitude_ = static_cast<float>(newLocation.latitude);
    longitude_ = static_cast<float>(newLocation.longitude);
    positionReported_ = true;
    if (!defaults_.hasObject(sunriseKey)) fetchSunriseSunetTimes();
}

bool ScheduleManager::fetchSunriseSunetTimes() {
    Value last = defaults_.objectForKey(dailyChecksKey);
    if (last.isDate() && chr::floor<chr::seconds>(clock().now()) - last.date() < chr::seconds(86400)) return false;
    return updateSunTimes();
}

std::string ScheduleManager::sunSource() const {
    std::lock_guard lock(sunMutex_);
    return sunSource_;
}

std::optional<SunTimes> ScheduleManager::sunTimesFromService(const GeoPosition& position) {
    std::string base = defaults_.stringForKey(sunServiceKey);
    auto now = chr::floor<chr::seconds>(clock().now());
    chr::year_month_day date(today());
    int offsetHours = static_cast<int>(zone_.offsetAt(now).count() / 3600);
    while (!base.empty() && base.back() == '/') base.pop_back();
    std::string url = base + sunServicePath(position.latitude, position.longitude, static_cast<unsigned>(date.day()),
                                            static_cast<unsigned>(date.month()), offsetHours);
    if (url.find("://") == std::string::npos) url = "http://" + url;
    platform::log("calling url: " + url);
    if (!sunHttp_) return std::nullopt;
    platform::HttpRequest request;
    request.url = url;
    request.timeout = 30s;
    std::string error;
    auto response = sunHttp_->send(request, &error);
    if (!response || response->status < 200 || response->status >= 300) {
        platform::log("the sun service gave no times: " +
                      (response ? "status " + std::to_string(response->status) : error));
        return std::nullopt;
    }
    auto times = parseSunServiceReply(platform::sanitizeUtf8(response->body));
    if (!times) platform::log("the sun service's reply holds no sunrise and sunset times");
    return times;
}

bool ScheduleManager::updateSunTimes() {
    GeoPosition position{latitude_.load(), longitude_.load(), 0};
    // A position the platform reported wins over the coarser fallbacks.
    if (location_ && !positionReported_) {
        if (auto found = location_->currentPosition()) {
            position = *found;
            latitude_ = static_cast<float>(position.latitude);
            longitude_ = static_cast<float>(position.longitude);
        }
    }
    std::optional<SunTimes> times;
    std::string source;
    if (!defaults_.stringForKey(sunServiceKey).empty()) {
        // The service is asked for the same single-precision position it
        // always was.
        times = sunTimesFromService(GeoPosition{latitude_.load(), longitude_.load(), 0});
        source = "web service";
    } else {
        times = computeSunTimes(position, today(), zone_);
        source = "calculated";
        if (!times) platform::log("the sun does not rise and set here today; the stored times are kept");
    }
    // Text that is not a time never replaces the stored times.
    if (!times) return false;
    defaults_.setObject(sunriseKey, times->sunrise);
    defaults_.setObject(sunsetKey, times->sunset);
    defaults_.synchronize();
    {
        std::lock_guard lock(sunMutex_);
        sunSource_ = source;
    }
    platform::log("sunrise:" + times->sunrise + ", sunset:" + times->sunset);
    return true;
}

}  // namespace glowmere
