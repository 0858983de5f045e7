#include "gui/adapters/QtAudioInput.h"

#include <QAudioDevice>
#include <QMediaDevices>

#include "gui/adapters/QtAudioRecorder.h"

namespace glowmere::gui {

QtAudioInput::QtAudioInput() {
    thread_.setObjectName("audio");
    thread_.start();
}

QtAudioInput::~QtAudioInput() {
    thread_.quit();
    thread_.wait();
}

bool QtAudioInput::hasInput() {
    return !QMediaDevices::audioInputs().isEmpty();
}

std::unique_ptr<platform::AudioRecorder> QtAudioInput::makeRecorder(const platform::AudioRecorderSettings& settings) {
    return std::make_unique<QtAudioRecorder>(thread_, settings);
}

}  // namespace glowmere::gui
