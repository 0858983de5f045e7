#pragma once

#include <QObject>
#include <atomic>
#include <memory>

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

}  // namespace glowmere::gui
