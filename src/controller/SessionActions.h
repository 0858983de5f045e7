#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/DefaultsStore.h"
#include "platform/RunLoop.h"
#include "platform/Value.h"

namespace glowmere {

class ManualController;

// What the desktop session does that the lamps may follow.
enum class SessionEvent { BeforeSleep, AfterWake, Lock, Unlock, Logout };

// One stored choice: "nothing" (or absent), "off", "restore" (after wake and
// on unlock only) or "preset:NAME". Anything else reads as nothing.
struct SessionChoice {
    enum class Kind { Nothing, Off, Restore, Preset };
    Kind kind = Kind::Nothing;
    std::string preset;

    static SessionChoice parse(const std::string& text, SessionEvent event);
    std::string text() const;
    bool operator==(const SessionChoice&) const = default;
};

// What the session actions ask of the lamps; the application hands in the
// main controller's (ControllerSessionLamps), unit tests a recorder.
class SessionLamps {
public:
    virtual ~SessionLamps() = default;
    virtual Value snapshot() = 0;
    virtual void restore(const Value& snapshot) = 0;
    virtual void allOff() = 0;
    // False when there is no preset of that name.
    virtual bool applyPreset(const std::string& name) = 0;
    // True while commands wait for the bridge or are on their way to it.
    virtual bool commandsPending() = 0;
};

// The main controller's lamps, with the command queue's state.
class ControllerSessionLamps final : public SessionLamps {
public:
    ControllerSessionLamps(ManualController& manual, std::function<bool()> commandsPending)
        : manual_(manual), commandsPending_(std::move(commandsPending)) {}
    Value snapshot() override;
    void restore(const Value& snapshot) override;
    void allOff() override;
    bool applyPreset(const std::string& name) override;
    bool commandsPending() override { return commandsPending_ && commandsPending_(); }

private:
    ManualController& manual_;
    std::function<bool()> commandsPending_;
};

// The lamps following the session: the choice stored for each event is read
// when the event comes (so a change made anywhere counts at once), carried
// out, logged in one line and told to the observer. Before sleep and on lock
// the lamps are kept as a snapshot when the way back is to restore them.
// `done` runs once the bridge has answered what the action sent, or after
// answerWait: until then the desktop holds its sleep or shutdown back.
// Runs on the controller thread (the loop it is given).
class SessionActions {
public:
    static constexpr const char* beforeSleepKey = "sessionBeforeSleep";
    static constexpr const char* afterWakeKey = "sessionAfterWake";
    static constexpr const char* onLockKey = "sessionOnLock";
    static constexpr const char* onUnlockKey = "sessionOnUnlock";
    static constexpr const char* onLogoutKey = "sessionOnLogout";
    static constexpr std::chrono::seconds answerWait{3};
    static constexpr std::chrono::milliseconds answerCheck{50};

    static const char* keyFor(SessionEvent event);
    // "for sleep", "after wake", ...: the end of the line that says what was done.
    static std::string occasion(SessionEvent event);

    SessionActions(platform::RunLoop& loop, platform::DefaultsStore& defaults, SessionLamps& lamps);
    ~SessionActions();

    // Told of each action carried out, with its line ("Lamps turned off for
    // sleep"), on the controller thread.
    void setObserver(std::function<void(const std::string& line)> observer) { observer_ = std::move(observer); }
    SessionChoice choiceFor(SessionEvent event) const;
    // A lock while locked, or an unlock while unlocked, is the same news from
    // a second source and does nothing.
    void handle(SessionEvent event, std::function<void()> done = {});
    bool holdsSnapshot(SessionEvent returning) const;

private:
    void waitForAnswers(platform::Clock::TimePoint until, std::function<void()> done);
    std::optional<std::string> carryOut(SessionEvent event, const SessionChoice& choice);

    platform::RunLoop& loop_;
    platform::DefaultsStore& defaults_;
    SessionLamps& lamps_;
    std::function<void(const std::string&)> observer_;
    // The lamps before sleep [0] and before the lock [1].
    std::array<std::optional<Value>, 2> snapshots_;
    bool locked_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace glowmere
