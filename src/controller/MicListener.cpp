#include "controller/MicListener.h"

#include <algorithm>

#include "controller/ManualController.h"
#include "platform/Log.h"

namespace glowmere {

MicListener::MicListener(platform::RunLoop& loop) : loop_(loop) {}

MicListener::~MicListener() {
    if (levelTimer_) loop_.invalidate(levelTimer_);
    if (recorder_) recorder_->stop();
}

bool MicListener::makeRecorder() {
    if (!recorder_ && audioInput_) recorder_ = audioInput_->makeRecorder(platform::AudioRecorderSettings{44100, 2});
    if (!recorder_ && !toldNoInput_) {
        platform::log(noInputLog);
        toldNoInput_ = true;
    }
    return recorder_ != nullptr;
}

void MicListener::awakeFromNib() {
    makeRecorder();
}

void MicListener::start() {
    // A microphone plugged in after start-up is found at the next start.
    if (!makeRecorder()) return;
    recorder_->prepareToRecord();
    recorder_->setMeteringEnabled(true);
    inputWorks_ = recorder_->record();
    if (!inputWorks_) {
        if (!toldNoInput_) platform::log(noInputLog);
        toldNoInput_ = true;
        return;
    }
    toldNoInput_ = false;
    // The second channel, or the last one where the input gives fewer.
    channel_ = std::clamp(recorder_->numberOfChannels() - 1, 0, 1);
    if (levelTimer_) loop_.invalidate(levelTimer_);
    levelTimer_ = loop_.scheduleRepeating(levelInterval, [this] { levelTimerCallback(); });
}

void MicListener::stop() {
    if (mainToolbarListenButton_ && mainToolbarListenButton_->state() == 1) return;
    if (!recorder_) return;
    recorder_->stop();
    if (levelTimer_) loop_.invalidate(levelTimer_);
    levelTimer_ = 0;
}

void MicListener::startOrStop() {
    if (mainToolbarListenButton_ && mainToolbarListenButton_->state() == 1)
        start();
    else
        stop();
}

void MicListener::handleControl(platform::Control* sender) {
    if (sender && sender == mainToolbarListenButton_) startOrStop();
}

void MicListener::handleControl(ManualController* sender) {
    if (sender && sender == manualController_) startOrStop();
}

void MicListener::levelTimerCallback() {
    if (!recorder_) return;
    recorder_->updateMeters();
    const float level = recorder_->averagePowerForChannel(channel_);
    currentValue_ = level;
    if (delegate_) delegate_->ambientSoundIs(level);
    if (slSensitivity_ && level > slSensitivity_->floatValue() && mainToolbarListenButton_ &&
        mainToolbarListenButton_->state() == 1) {
        if (notifications_) notifications_->postNotificationNameObject(soundDetectedName, soundDetectedObject);
        if (manualController_)
            manualController_->soundTriggerAfterDelay(soundTriggerDelay_ ? soundTriggerDelay_->floatValue() : 0);
    }
}

}  // namespace glowmere
