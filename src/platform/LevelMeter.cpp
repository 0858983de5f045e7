#include "platform/LevelMeter.h"

#include <algorithm>
#include <cmath>

namespace glowmere::platform {

LevelMeter::LevelMeter(int channels) : channels_(std::clamp(channels, 1, maximumChannels)) {
    levels_.fill(silence);
}

void LevelMeter::setChannels(int channels) {
    std::lock_guard g(mutex_);
    channels_ = std::clamp(channels, 1, maximumChannels);
    position_ = 0;
    sums_.fill(0);
    counts_.fill(0);
}

int LevelMeter::channels() const {
    std::lock_guard g(mutex_);
    return channels_;
}

template <class T>
void LevelMeter::add(const T* samples, std::size_t count, double scale, double offset) {
    std::lock_guard g(mutex_);
    for (std::size_t i = 0; i < count; ++i) {
        const double v = (static_cast<double>(samples[i]) - offset) * scale;
        sums_[static_cast<std::size_t>(position_)] += v * v;
        ++counts_[static_cast<std::size_t>(position_)];
        if (++position_ == channels_) position_ = 0;
    }
}

void LevelMeter::addSamples(const std::int16_t* samples, std::size_t count) {
    add(samples, count, 1.0 / 32768, 0);
}

void LevelMeter::addSamples(const std::int32_t* samples, std::size_t count) {
    add(samples, count, 1.0 / 2147483648.0, 0);
}

void LevelMeter::addSamples(const float* samples, std::size_t count) {
    add(samples, count, 1.0, 0);
}

void LevelMeter::addSamples(const std::uint8_t* samples, std::size_t count) {
    add(samples, count, 1.0 / 128, 128);
}

void LevelMeter::update() {
    std::lock_guard g(mutex_);
    for (std::size_t c = 0; c < maximumChannels; ++c) {
        const double meanSquare = counts_[c] ? sums_[c] / static_cast<double>(counts_[c]) : 0;
        // A float input may exceed full scale; the meter tops out at 0.
        levels_[c] = meanSquare > 0 && std::isfinite(meanSquare)
                         ? std::clamp(static_cast<float>(10 * std::log10(meanSquare)), silence, 0.0f)
                         : silence;
        sums_[c] = 0;
        counts_[c] = 0;
    }
}

float LevelMeter::averagePower(int channel) const {
    std::lock_guard g(mutex_);
    if (channel < 0 || channel >= channels_) return silence;
    return levels_[static_cast<std::size_t>(channel)];
}

}  // namespace glowmere::platform
