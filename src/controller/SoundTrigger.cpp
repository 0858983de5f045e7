// The main controller's side of listening: the countdown before listening
// starts, the sound trigger with its snapshot of the lamps, and the restore
// after the quiet period.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "controller/ManualController.h"
#include "controller/MicListener.h"
#include "controller/PresetRecords.h"

namespace glowmere {

namespace {

// Seconds as a wait for the run loop: what is not a number, or negative,
// waits not at all; nothing waits longer than a year.
platform::Clock::Duration waitOf(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    seconds = std::min(seconds, 366.0 * 86400);
    return std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds));
}

std::string countdownText(int seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "Listening will start in %i seconds", seconds);
    return text;
}

}  // namespace

void ManualController::StartListenMenuItem() {
    if (!listenToolbarButton_) return;
    listenToolbarButton_->setState(1);
    ListenStep1();
}

void ManualController::StopListenMenuItem() {
    if (!listenToolbarButton_) return;
    listenToolbarButton_->setState(0);
    ListenStep1();
}

void ManualController::ListenStep1() {
    if (!listenToolbarButton_ || listenToolbarButton_->state() != 1) {
        // Switched off while counting down: the panel goes too.
        closeCountdown();
        if (micListener_) micListener_->stop();
        return;
    }
    const int generation = ++countdownGeneration_;
    listenOption1Text_.setStringValue(countdownText(countdownSeconds));
    if (listenOption1Panel_) {
        listenOption1Panel_->center();
        listenOption1Panel_->makeKeyAndOrderFront();
    }
    // Ending an earlier countdown's thread is quick: it only sleeps.
    countdownThread_ = platform::BackgroundThread(
        loop_.clock(), [this, generation](std::stop_token stop) { listenCountdown(stop, generation); });
}

void ManualController::listenCountdown(std::stop_token stop, int generation) {
    auto current = [this, generation] { return countdownGeneration_ == generation; };
    for (int n = countdownSeconds - 1;; --n) {
        if (n < 1) {
            postToController([this, current] {
                if (!current()) return;
                closeCountdown();
                if (micListener_ && listenToolbarButton_) micListener_->handleControl(listenToolbarButton_);
            });
            return;
        }
        if (!loop_.clock().sleepFor(std::chrono::seconds(1), stop)) return;
        postToController([this, current, n] {
            if (current()) listenOption1Text_.setStringValue(countdownText(n));
        });
        // Skipped, cancelled or superseded: end without starting anything.
        if (!current() || (listenOption1Panel_ && !listenOption1Panel_->isVisible())) return;
    }
}

void ManualController::closeCountdown() {
    ++countdownGeneration_;
    if (listenOption1Panel_ && listenOption1Panel_->isVisible()) listenOption1Panel_->orderOut();
}

bool ManualController::countingDown() const {
    return listenOption1Panel_ && listenOption1Panel_->isVisible();
}

void ManualController::ListenStep1Skip() {
    closeCountdown();
    if (micListener_) micListener_->handleControl(this);
}

void ManualController::ListenStep1Cancel() {
    if (listenToolbarButton_) listenToolbarButton_->setState(0);
    closeCountdown();
}

void ManualController::startListeningNow() {
    closeCountdown();
    if (listenToolbarButton_) listenToolbarButton_->setState(1);
    if (micListener_) micListener_->handleControl(this);
}

void ManualController::stopListening() {
    closeCountdown();
    if (listenToolbarButton_) listenToolbarButton_->setState(0);
    if (micListener_) micListener_->handleControl(this);
}

void ManualController::soundTriggerAfterDelay(double seconds) {
    loop_.schedule(waitOf(seconds), [this, alive = std::weak_ptr<void>(lifetime_)] {
        if (alive.lock()) soundTrigger();
    });
}

void ManualController::soundTrigger() {
    Value strips = lampStripRecords();
    if (!savedPresetDict_) {
        Value snapshot = presets::makePreset(getUniqueID(), presetNameEditingField_.stringValue(), std::move(strips));
        if (auto chosen = settings_.soundTriggerPreset.selectedItem()) implementPreset(chosen->tag);
        savedPresetDict_ = std::move(snapshot);
        if (soundTriggerObserver_) soundTriggerObserver_();
    }
    if (soundTriggerTimer_) loop_.invalidate(soundTriggerTimer_);
    const double onPeriod = static_cast<double>(settings_.soundOnPeriod.floatValue()) * 60;
    soundTriggerTimer_ = loop_.schedule(waitOf(onPeriod), [this, alive = std::weak_ptr<void>(lifetime_)] {
        if (!alive.lock()) return;
        soundTriggerTimer_ = 0;
        restoreSavedPreset();
    });
}

void ManualController::restoreSavedPreset() {
    if (!savedPresetDict_) return;
    Value snapshot = std::move(*savedPresetDict_);
    savedPresetDict_.reset();
    if (soundTriggerTimer_) loop_.invalidate(soundTriggerTimer_);
    soundTriggerTimer_ = 0;
    restoreLampSnapshot(snapshot);
}

Value ManualController::lampSnapshot() {
    return presets::makePreset(getUniqueID(), "", lampStripRecords());
}

void ManualController::restoreLampSnapshot(const Value& snapshot) {
    const Value& strips = snapshot[presets::stripsKey];
    if (!strips.isList()) return;
    for (const Value& record : strips.asList())
        if (LampControlStrip* strip = getStripWithID(presets::stripIdentifier(record)))
            strip->implementSettingsFromDictionary(record);
}

void ManualController::stripDidChange() {
    savedPresetDict_.reset();
    if (soundTriggerTimer_) loop_.invalidate(soundTriggerTimer_);
    soundTriggerTimer_ = 0;
}

}  // namespace glowmere
