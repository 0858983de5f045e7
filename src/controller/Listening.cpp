// The countdown before listening starts, the sound trigger with its snapshot
// of the lamps, and the restore after the quiet period.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "controller/Listening.h"
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

Listening::Listening(LoopHandoff handoff, ControllerSettings& settings, ManualController* owner, Lamps lamps)
    : handoff_(std::move(handoff)), settings_(settings), owner_(owner), lamps_(std::move(lamps)) {}

Listening::~Listening() {
    stop();
    lifetime_.reset();
    cancelRestore();
}

void Listening::stop() {
    countdownThread_.requestStop();
    countdownThread_.join();
}

void Listening::cancelRestore() {
    if (soundTriggerTimer_) loop().invalidate(soundTriggerTimer_);
    soundTriggerTimer_ = 0;
}

void Listening::StartListenMenuItem() {
    if (!listenToolbarButton_) return;
    listenToolbarButton_->setState(1);
    ListenStep1();
}

void Listening::StopListenMenuItem() {
    if (!listenToolbarButton_) return;
    listenToolbarButton_->setState(0);
    ListenStep1();
}

void Listening::ListenStep1() {
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
        loop().clock(), [this, generation](std::stop_token stop) { listenCountdown(stop, generation); });
}

void Listening::listenCountdown(std::stop_token stop, int generation) {
    auto current = [this, generation] { return countdownGeneration_ == generation; };
    for (int n = countdownSeconds - 1;; --n) {
        if (n < 1) {
            handoff_.post([this, current] {
                if (!current()) return;
                closeCountdown();
                if (micListener_ && listenToolbarButton_) micListener_->handleControl(listenToolbarButton_);
            });
            return;
        }
        if (!loop().clock().sleepFor(std::chrono::seconds(1), stop)) return;
        handoff_.post([this, current, n] {
            if (current()) listenOption1Text_.setStringValue(countdownText(n));
        });
        // Skipped, cancelled or superseded: end without starting anything.
        if (!current() || (listenOption1Panel_ && !listenOption1Panel_->isVisible())) return;
    }
}

void Listening::closeCountdown() {
    ++countdownGeneration_;
    if (listenOption1Panel_ && listenOption1Panel_->isVisible()) listenOption1Panel_->orderOut();
}

bool Listening::countingDown() const {
    return listenOption1Panel_ && listenOption1Panel_->isVisible();
}

void Listening::ListenStep1Skip() {
    closeCountdown();
    if (micListener_) micListener_->handleControl(owner_);
}

void Listening::ListenStep1Cancel() {
    if (listenToolbarButton_) listenToolbarButton_->setState(0);
    closeCountdown();
}

void Listening::startListeningNow() {
    closeCountdown();
    if (listenToolbarButton_) listenToolbarButton_->setState(1);
    if (micListener_) micListener_->handleControl(owner_);
}

void Listening::stopListening() {
    closeCountdown();
    if (listenToolbarButton_) listenToolbarButton_->setState(0);
    if (micListener_) micListener_->handleControl(owner_);
}

void Listening::soundTriggerAfterDelay(double seconds) {
    loop().schedule(waitOf(seconds), [this, alive = std::weak_ptr<void>(lifetime_)] {
        if (alive.lock()) soundTrigger();
    });
}

void Listening::soundTrigger() {
    if (!savedPresetDict_) {
        Value snapshot = lamps_.snapshot();
        // An item that stands for something beyond its tag is a bridge scene.
        if (auto chosen = settings_.soundTriggerPreset.selectedItem()) {
            if (chosen->represented.empty())
                lamps_.applyPreset(chosen->tag);
            else if (lamps_.applyScene)
                lamps_.applyScene(chosen->represented);
        }
        savedPresetDict_ = std::move(snapshot);
        std::function<void()> observer;
        {
            std::lock_guard lock(observerMutex_);
            observer = soundTriggerObserver_;
        }
        if (observer) observer();
    }
    cancelRestore();
    const double onPeriod = static_cast<double>(settings_.soundOnPeriod.floatValue()) * 60;
    soundTriggerTimer_ = loop().schedule(waitOf(onPeriod), [this, alive = std::weak_ptr<void>(lifetime_)] {
        if (!alive.lock()) return;
        soundTriggerTimer_ = 0;
        restoreSavedPreset();
    });
}

void Listening::restoreSavedPreset() {
    if (!savedPresetDict_) return;
    Value snapshot = std::move(*savedPresetDict_);
    savedPresetDict_.reset();
    cancelRestore();
    const Value& strips = snapshot[presets::stripsKey];
    if (!strips.isList()) return;
    for (const Value& record : strips.asList()) lamps_.restore(record);
}

void Listening::stripDidChange() {
    savedPresetDict_.reset();
    cancelRestore();
}

}  // namespace glowmere
