#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "controller/ControllerSettings.h"
#include "controller/LoopHandoff.h"
#include "platform/BackgroundThread.h"
#include "platform/RunLoop.h"
#include "platform/Ui.h"

namespace glowmere {

class ManualController;
class MicListener;

// Listening for sound: the countdown before listening starts (on a thread of
// its own that only sleeps and posts), switching the listener on and off,
// and the sound trigger, which snapshots the lamps, applies the chosen
// preset (or recalls the chosen bridge scene) and restores the snapshot after
// the quiet period. Everything else
// runs on the controller thread.
class Listening {
public:
    static constexpr int countdownSeconds = 60;

    // What listening asks of the controller, on its thread.
    struct Lamps {
        // A preset of the lamps as they are now.
        std::function<Value()> snapshot;
        // Applies the preset at `index` of the list.
        std::function<void(int index)> applyPreset;
        // Recalls the bridge scene with this identifier.
        std::function<void(const std::string& sceneID)> applyScene;
        // Gives one lamp's record of the snapshot back to its strip.
        std::function<void(const Value& record)> restore;
    };

    // `owner` is who asks the listener to start or stop (it answers only to
    // its controller and its button).
    Listening(LoopHandoff handoff, ControllerSettings& settings, ManualController* owner, Lamps lamps);
    ~Listening();
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;

    void setMicListener(MicListener* listener) { micListener_ = listener; }
    void setListenToolbarButton(platform::Button* button) { listenToolbarButton_ = button; }
    void setListenOption1Panel(platform::Window* panel) { listenOption1Panel_ = panel; }
    platform::TextField& listenOption1Text() { return listenOption1Text_; }

    void StartListenMenuItem();
    void StopListenMenuItem();
    void ListenStep1();
    void ListenStep1Skip();
    void ListenStep1Cancel();
    void startListeningNow();
    void stopListening();
    void soundTrigger();
    void restoreSavedPreset();
    void stripDidChange();
    void soundTriggerAfterDelay(double seconds);
    // Told on the controller thread each time the sound trigger fires anew
    // (not at every loud moment while its preset is on).
    void setSoundTriggerObserver(std::function<void()> observer) {
        std::lock_guard lock(observerMutex_);
        soundTriggerObserver_ = std::move(observer);
    }
    const std::optional<Value>& savedPresetDict() const { return savedPresetDict_; }
    bool restorePending() const { return soundTriggerTimer_ != 0; }
    bool countingDown() const;
    // Ends the countdown's thread (the process is about to end).
    void stop();

private:
    void listenCountdown(std::stop_token stop, int generation);
    void closeCountdown();
    void cancelRestore();
    platform::RunLoop& loop() const { return handoff_.loop(); }

    LoopHandoff handoff_;
    ControllerSettings& settings_;
    ManualController* owner_;
    Lamps lamps_;
    std::optional<Value> savedPresetDict_;
    std::mutex observerMutex_;  // set on the window thread, read on the controller thread
    std::function<void()> soundTriggerObserver_;
    platform::RunLoop::TimerId soundTriggerTimer_ = 0;
    MicListener* micListener_ = nullptr;
    platform::Button* listenToolbarButton_ = nullptr;
    platform::Window* listenOption1Panel_ = nullptr;
    platform::TextField listenOption1Text_;
    // Each countdown has its number; one superseded, skipped or cancelled
    // ends at its next second without starting anything.
    std::atomic<int> countdownGeneration_{0};
    platform::BackgroundThread countdownThread_;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace glowmere
