// Picks a quiet threshold from a recording's own background noise.
//
// The samples are cut into 20 ms windows and each window's RMS level is counted in a histogram
// of quarter-decibel steps. The quietest tenth of the windows is taken as the background: in
// dictation those are the pauses, whatever hiss or hum the microphone adds. The threshold sits a
// factor of 5 (14 dB) above that level, where white noise of that RMS almost never reaches (a
// Gaussian sample exceeds 5 sigma about once in 1.7 million), so a pause counts as quiet from
// end to end; it is kept between 100 (-50 dBFS) and 4096 (-18 dBFS) so that clean recordings
// keep their quiet speech and no speech is taken for noise.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tamberlyn {

constexpr int kNoiseFloorBins = 4 * 100;  // -100 dBFS .. 0 dBFS in quarter decibels
constexpr std::int32_t kAutoThresholdMin = 100;
constexpr std::int32_t kAutoThresholdMax = 4096;

struct NoiseFloor {
    std::uint32_t window_frames = 0;
    int channels = 1;
    // The window being summed.
    std::uint32_t frames = 0;
    double energy = 0.0;
    std::uint64_t windows = 0;
    std::uint64_t histogram[kNoiseFloorBins + 1] = {};  // the last bin: digital silence
};

void StartNoiseFloor(NoiseFloor& floor, std::uint32_t sample_rate, int channels);

// Adds whole frames of 16-bit little-endian samples.
void AddToNoiseFloor(NoiseFloor& floor, const std::uint8_t* frames, std::size_t count);

// The threshold for what was added (a partial last window counts when nothing else does).
std::int32_t NoiseFloorThreshold(NoiseFloor& floor);

}  // namespace tamberlyn
