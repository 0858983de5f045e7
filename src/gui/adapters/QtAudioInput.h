#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>

#include "platform/AudioRecorder.h"
#include "platform/LevelMeter.h"

class QAudioSource;
class QIODevice;

namespace glowmere::gui {

// Reads the default audio input on the audio thread and feeds a level meter;
// the samples go nowhere else.
class AudioCapture : public QObject {
    Q_OBJECT
public:
    explicit AudioCapture(std::shared_ptr<platform::LevelMeter> meter) : meter_(std::move(meter)) {}

    // On the audio thread. False when the default input cannot be opened.
    Q_INVOKABLE bool startCapture(int sampleRate, int channels);
    Q_INVOKABLE void stopCapture();
    int channels() const { return channels_; }

private:
    void readAvailable();

    std::shared_ptr<platform::LevelMeter> meter_;
    QAudioSource* source_ = nullptr;
    QIODevice* io_ = nullptr;
    int sampleFormat_ = 0;
    std::atomic<int> channels_{0};
};

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

// The machine's audio input for the sound trigger. Made on the Qt thread.
class QtAudioInput final : public platform::AudioInput {
public:
    QtAudioInput();
    ~QtAudioInput() override;
    std::unique_ptr<platform::AudioRecorder> makeRecorder(const platform::AudioRecorderSettings& settings) override;
    // Whether the machine has an audio input now (Qt thread).
    static bool hasInput();

private:
    QThread thread_;
};

}  // namespace glowmere::gui
