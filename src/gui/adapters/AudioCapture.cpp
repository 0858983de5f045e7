#include "gui/adapters/AudioCapture.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>

#include "platform/Log.h"

namespace glowmere::gui {

bool AudioCapture::startCapture(int sampleRate, int channels) {
    if (source_) return true;
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) return false;
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) format = device.preferredFormat();
    source_ = new QAudioSource(device, format, this);
    io_ = source_->start();
    if (!io_ || source_->error() != QAudio::NoError) {
        platform::log("the audio input could not be opened (" + device.description().toStdString() + ")");
        delete source_;
        source_ = nullptr;
        io_ = nullptr;
        return false;
    }
    sampleFormat_ = static_cast<int>(format.sampleFormat());
    meter_->setChannels(format.channelCount());
    channels_ = format.channelCount();
    connect(io_, &QIODevice::readyRead, this, &AudioCapture::readAvailable);
    return true;
}

void AudioCapture::stopCapture() {
    if (!source_) return;
    source_->stop();
    delete source_;
    source_ = nullptr;
    io_ = nullptr;
}

void AudioCapture::readAvailable() {
    if (!io_) return;
    // A fixed buffer: reading costs no allocation, however long it runs.
    alignas(8) char buffer[16384];
    for (;;) {
        const qint64 got = io_->read(buffer, sizeof buffer);
        if (got <= 0) break;
        const auto bytes = static_cast<std::size_t>(got);
        switch (static_cast<QAudioFormat::SampleFormat>(sampleFormat_)) {
            case QAudioFormat::UInt8:
                meter_->addSamples(reinterpret_cast<const std::uint8_t*>(buffer), bytes);
                break;
            case QAudioFormat::Int16:
                meter_->addSamples(reinterpret_cast<const std::int16_t*>(buffer), bytes / 2);
                break;
            case QAudioFormat::Int32:
                meter_->addSamples(reinterpret_cast<const std::int32_t*>(buffer), bytes / 4);
                break;
            case QAudioFormat::Float:
                meter_->addSamples(reinterpret_cast<const float*>(buffer), bytes / 4);
                break;
            default:
                break;
        }
    }
}

}  // namespace glowmere::gui
