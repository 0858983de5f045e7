#pragma once

#include <QThread>
#include <atomic>
#include <memory>

#include "gui/adapters/AudioCapture.h"
#include "platform/AudioRecorder.h"
#include "platform/LevelMeter.h"

namespace glowmere::gui {

// platform::AudioRecorder on Qt Multimedia's QAudioSource (PulseAudio or
// PipeWire underneath). Called on the controller thread; the input lives on
// an audio thread of its own, so neither the windows nor the controller
// thread handle samples. Recording starts and stops wait for that thread.
class QtAudioRecorder final : public platform::AudioRecorder {
public:
    QtAudioRecorder(QThread& audioThread, const platform::AudioRecorderSettings& settings);
    ~QtAudioRecorder() override;

    bool prepareToRecord() override { return true; }
    void setMeteringEnabled(bool) override {}
    bool record() override;
    void stop() override;
    bool isRecording() const override { return recording_; }
    void updateMeters() override { meter_->update(); }
    float averagePowerForChannel(int channel) const override { return meter_->averagePower(channel); }
    int numberOfChannels() const override { return capture_->channels(); }

private:
    platform::AudioRecorderSettings settings_;
    std::shared_ptr<platform::LevelMeter> meter_ = std::make_shared<platform::LevelMeter>();
    AudioCapture* capture_;  // lives on the audio thread; deleted there
    std::atomic<bool> recording_{false};
};

}  // namespace glowmere::gui
