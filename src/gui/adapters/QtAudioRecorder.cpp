#include "gui/adapters/QtAudioRecorder.h"

#include <QMetaObject>

namespace glowmere::gui {

QtAudioRecorder::QtAudioRecorder(QThread& audioThread, const platform::AudioRecorderSettings& settings)
    : settings_(settings), capture_(new AudioCapture(meter_)) {
    capture_->moveToThread(&audioThread);
}

QtAudioRecorder::~QtAudioRecorder() {
    QMetaObject::invokeMethod(capture_, [capture = capture_] {
        capture->stopCapture();
        capture->deleteLater();
    });
}

bool QtAudioRecorder::record() {
    bool started = false;
    QMetaObject::invokeMethod(
        capture_, [&] { started = capture_->startCapture(settings_.sampleRate, settings_.channels); },
        Qt::BlockingQueuedConnection);
    recording_ = started;
    return started;
}

void QtAudioRecorder::stop() {
    QMetaObject::invokeMethod(
        capture_, [this] { capture_->stopCapture(); }, Qt::BlockingQueuedConnection);
    recording_ = false;
}

}  // namespace glowmere::gui
