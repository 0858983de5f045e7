#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace glowmere::platform {

// Turns audio samples into what a level meter shows: the average power of
// each channel over the samples since the last update, in decibels of full
// scale (0 for a full-scale square wave, -160 for silence or no samples).
// Samples arrive on the audio thread; updates and readings come from
// another. Holds no samples, only running sums.
class LevelMeter {
public:
    static constexpr float silence = -160;
    static constexpr int maximumChannels = 8;

    explicit LevelMeter(int channels = 2);

    void setChannels(int channels);
    int channels() const;

    // Interleaved samples; a buffer may end in the middle of a frame.
    void addSamples(const std::int16_t* samples, std::size_t count);
    void addSamples(const std::int32_t* samples, std::size_t count);
    void addSamples(const float* samples, std::size_t count);  // -1..1
    void addSamples(const std::uint8_t* samples, std::size_t count);

    // Takes the levels of the samples since the last update.
    void update();
    // A channel's level at the last update; silence for a channel the
    // input does not have.
    float averagePower(int channel) const;

private:
    template <class T>
    void add(const T* samples, std::size_t count, double scale, double offset);

    mutable std::mutex mutex_;
    int channels_;
    int position_ = 0;  // channel of the next sample
    std::array<double, maximumChannels> sums_{};
    std::array<std::size_t, maximumChannels> counts_{};
    std::array<float, maximumChannels> levels_{};
};

}  // namespace glowmere::platform
