#pragma once

#include <QThread>
#include <memory>

#include "platform/AudioRecorder.h"

namespace glowmere::gui {

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
