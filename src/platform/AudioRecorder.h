#pragma once

#include <memory>

namespace glowmere::platform {

// The microphone as the sound trigger sees it: a recorder on the default
// input that only meters. Nothing it hears is stored. The desktop
// application implements it on the platform's audio input; tests feed levels.
// Every method is called on the controller thread.
class AudioRecorder {
public:
    virtual ~AudioRecorder() = default;

    virtual bool prepareToRecord() = 0;
    virtual void setMeteringEnabled(bool enabled) = 0;
    // Starts taking samples. False when the input cannot be opened (no
    // device, no sound server).
    virtual bool record() = 0;
    virtual void stop() = 0;
    virtual bool isRecording() const = 0;

    // Takes the level of the samples that arrived since the last update.
    virtual void updateMeters() = 0;
    // The level of the last update, in decibels of full scale: 0 is full
    // scale, -160 silence.
    virtual float averagePowerForChannel(int channel) const = 0;
    // Channels the input gives (known once recording).
    virtual int numberOfChannels() const = 0;
};

// What the recorder is asked for: the sample rate and channels to record.
struct AudioRecorderSettings {
    int sampleRate = 44100;
    int channels = 2;
};

// The audio inputs of the machine.
class AudioInput {
public:
    virtual ~AudioInput() = default;
    // A recorder on the default input; nothing when the machine has none.
    virtual std::unique_ptr<AudioRecorder> makeRecorder(const AudioRecorderSettings& settings) = 0;
};

}  // namespace glowmere::platform
