#include "silence/noise_floor.h"

#include <cmath>

namespace tamberlyn {

namespace {

constexpr double kFullScale = 32768.0;
constexpr double kStepsPerDecibel = 4.0;
constexpr double kFactor = 5.0;
constexpr double kQuantile = 0.10;

void CloseWindow(NoiseFloor& f) {
    const double samples = static_cast<double>(f.frames) * f.channels;
    const double rms = std::sqrt(f.energy / samples);
    int bin = kNoiseFloorBins;  // digital silence
    if (rms > 0.0) {
        const double db = 20.0 * std::log10(rms / kFullScale);  // at most 0
        const double steps = -db * kStepsPerDecibel;
        bin = steps >= kNoiseFloorBins ? kNoiseFloorBins - 1 : static_cast<int>(steps);
    }
    ++f.histogram[bin];
    ++f.windows;
    f.frames = 0;
    f.energy = 0.0;
}

}  // namespace

void StartNoiseFloor(NoiseFloor& f, std::uint32_t sample_rate, int channels) {
    f = NoiseFloor{};
    f.window_frames = sample_rate / 50 > 0 ? sample_rate / 50 : 1;
    f.channels = channels;
}

void AddToNoiseFloor(NoiseFloor& f, const std::uint8_t* p, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::int64_t sum = 0;
        for (int c = 0; c < f.channels; ++c, p += 2) {
            const std::int32_t s =
                static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
            sum += static_cast<std::int64_t>(s) * s;
        }
        f.energy += static_cast<double>(sum);
        if (++f.frames == f.window_frames) CloseWindow(f);
    }
}

std::int32_t NoiseFloorThreshold(NoiseFloor& f) {
    if (f.windows == 0 && f.frames > 0) CloseWindow(f);
    if (f.windows == 0) return kAutoThresholdMin;
    // Walk from the quietest bin up to the quantile.
    const auto target =
        static_cast<std::uint64_t>(std::ceil(kQuantile * static_cast<double>(f.windows)));
    std::uint64_t seen = f.histogram[kNoiseFloorBins];
    double rms = 0.0;
    for (int bin = kNoiseFloorBins - 1; seen < target && bin >= 0; --bin) {
        seen += f.histogram[bin];
        rms = kFullScale * std::pow(10.0, -static_cast<double>(bin) / (20.0 * kStepsPerDecibel));
    }
    const double threshold = std::round(kFactor * rms);
    if (threshold < kAutoThresholdMin) return kAutoThresholdMin;
    if (threshold > kAutoThresholdMax) return kAutoThresholdMax;
    return static_cast<std::int32_t>(threshold);
}

}  // namespace tamberlyn
