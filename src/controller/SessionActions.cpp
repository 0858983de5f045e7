#include "controller/SessionActions.h"

#include "controller/ManualController.h"
#include "platform/Log.h"
#include "platform/ThreadCheck.h"

namespace glowmere {

namespace {
constexpr const char* presetPrefix = "preset:";

bool mayRestore(SessionEvent event) {
    return event == SessionEvent::AfterWake || event == SessionEvent::Unlock;
}

// The snapshot slot an event fills (leaving) or uses (returning): sleep 0, lock 1.
std::optional<std::size_t> slotOf(SessionEvent event) {
    switch (event) {
        case SessionEvent::BeforeSleep:
        case SessionEvent::AfterWake:
            return 0;
        case SessionEvent::Lock:
        case SessionEvent::Unlock:
            return 1;
        case SessionEvent::Logout:
            return std::nullopt;
    }
    return std::nullopt;
}
}  // namespace

SessionChoice SessionChoice::parse(const std::string& text, SessionEvent event) {
    SessionChoice choice;
    if (text == "off") {
        choice.kind = Kind::Off;
    } else if (text == "restore" && mayRestore(event)) {
        choice.kind = Kind::Restore;
    } else if (text.starts_with(presetPrefix) && text.size() > std::char_traits<char>::length(presetPrefix) &&
               event != SessionEvent::Logout) {
        choice.kind = Kind::Preset;
        choice.preset = text.substr(std::char_traits<char>::length(presetPrefix));
    }
    return choice;
}

std::string SessionChoice::text() const {
    switch (kind) {
        case Kind::Nothing:
            return "nothing";
        case Kind::Off:
            return "off";
        case Kind::Restore:
            return "restore";
        case Kind::Preset:
            return presetPrefix + preset;
    }
    return "nothing";
}

Value ControllerSessionLamps::snapshot() {
    return manual_.lampSnapshot();
}

void ControllerSessionLamps::restore(const Value& snapshot) {
    manual_.restoreLampSnapshot(snapshot);
}

void ControllerSessionLamps::allOff() {
    manual_.allOff();
}

bool ControllerSessionLamps::applyPreset(const std::string& name) {
    return manual_.implementPresetNamed(name);
}

const char* SessionActions::keyFor(SessionEvent event) {
    switch (event) {
        case SessionEvent::BeforeSleep:
            return beforeSleepKey;
        case SessionEvent::AfterWake:
            return afterWakeKey;
        case SessionEvent::Lock:
            return onLockKey;
        case SessionEvent::Unlock:
            return onUnlockKey;
        case SessionEvent::Logout:
            return onLogoutKey;
    }
    return beforeSleepKey;
}

std::string SessionActions::occasion(SessionEvent event) {
    switch (event) {
        case SessionEvent::BeforeSleep:
            return "for sleep";
        case SessionEvent::AfterWake:
            return "after wake";
        case SessionEvent::Lock:
            return "for the lock";
        case SessionEvent::Unlock:
            return "after unlock";
        case SessionEvent::Logout:
            return "for log-out";
    }
    return {};
}

SessionActions::SessionActions(platform::RunLoop& loop, platform::DefaultsStore& defaults, SessionLamps& lamps)
    : loop_(loop), defaults_(defaults), lamps_(lamps) {}

SessionActions::~SessionActions() = default;

SessionChoice SessionActions::choiceFor(SessionEvent event) const {
    const Value stored = defaults_.objectForKey(keyFor(event));
    return SessionChoice::parse(stored.isText() ? stored.textValue() : std::string(), event);
}

bool SessionActions::holdsSnapshot(SessionEvent returning) const {
    const auto slot = slotOf(returning);
    return slot && snapshots_[*slot].has_value();
}

void SessionActions::handle(SessionEvent event, std::function<void()> done) {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "SessionActions::handle");
    const bool lockNews = event == SessionEvent::Lock || event == SessionEvent::Unlock;
    if (lockNews && locked_ == (event == SessionEvent::Lock)) {
        if (done) done();
        return;
    }
    if (lockNews) locked_ = event == SessionEvent::Lock;
    // Leaving: the lamps as they are now, for the way back.
    if (event == SessionEvent::BeforeSleep || event == SessionEvent::Lock)
        snapshots_[*slotOf(event)] = lamps_.snapshot();

    const SessionChoice choice = choiceFor(event);
    if (choice.kind == SessionChoice::Kind::Nothing) {
        if (done) done();
        return;
    }
    if (auto line = carryOut(event, choice)) {
        platform::log(*line);
        if (observer_) observer_(*line);
    }
    waitForAnswers(loop_.clock().now() + answerWait, std::move(done));
}

std::optional<std::string> SessionActions::carryOut(SessionEvent event, const SessionChoice& choice) {
    switch (choice.kind) {
        case SessionChoice::Kind::Nothing:
            return std::nullopt;
        case SessionChoice::Kind::Off:
            lamps_.allOff();
            return "Lamps turned off " + occasion(event);
        case SessionChoice::Kind::Restore: {
            std::optional<Value>& kept = snapshots_[*slotOf(event)];
            if (!kept) {
                platform::log("no lamps kept to restore " + occasion(event));
                return std::nullopt;
            }
            lamps_.restore(*kept);
            kept.reset();
            return "Lamps restored " + occasion(event);
        }
        case SessionChoice::Kind::Preset:
            if (!lamps_.applyPreset(choice.preset)) {
                platform::log("no preset named \"" + choice.preset + "\" to apply " + occasion(event));
                return std::nullopt;
            }
            return "Preset \"" + choice.preset + "\" applied " + occasion(event);
    }
    return std::nullopt;
}

void SessionActions::waitForAnswers(platform::Clock::TimePoint until, std::function<void()> done) {
    // The commands an action sends go through the command queue, paced;
    // the desktop waits until they have all been answered, or not longer
    // than answerWait.
    if (!lamps_.commandsPending() || loop_.clock().now() >= until) {
        if (done) done();
        return;
    }
    loop_.schedule(answerCheck, [this, until, done = std::move(done), alive = std::weak_ptr<int>(alive_)]() mutable {
        if (alive.lock()) waitForAnswers(until, std::move(done));
    });
}

}  // namespace glowmere
