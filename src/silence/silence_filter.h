// The silence engine: cuts every run of quiet frames down to its first `keep` frames.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wav/little_endian.h"

namespace tamberlyn {

constexpr int QUIET_THRESHOLD = 500;           // a sample whose magnitude is below this is quiet
constexpr std::int32_t QUIET_RUN_LIMIT = 800;  // the 800th quiet sample of a run and later ones go

// Magnitude taken after widening, so -32768 is loud; quiet samples are exactly -499..499.
constexpr bool IsQuietSample(std::int16_t sample) {
    const std::int32_t wide = sample;
    return (wide < 0 ? -wide : wide) < QUIET_THRESHOLD;
}

constexpr int kMaxSilenceChannels = 8;
constexpr std::int32_t kMaxSilenceThreshold = kPcm16FullScale;
// The run counter saturates one past `keep`, and a block of frames is added to it before that
// is checked; this bound keeps both inside 32 bits.
constexpr std::int32_t kMaxSilenceKeep = 0x7FFFFF00;

// What counts as silence and how much of it stays. A frame (one 16-bit sample per channel) is
// quiet when every sample in it has a widened magnitude below `threshold`; the first `keep`
// quiet frames of a run pass, the rest of the run is dropped whole frames at a time.
struct SilenceRule {
    int channels;            // 1..kMaxSilenceChannels
    std::int32_t threshold;  // 1..kMaxSilenceThreshold
    std::int32_t keep;       // 0..kMaxSilenceKeep
};

// The library's own rule: mono, |s| < 500, 799 samples kept.
constexpr SilenceRule kLibrarySilenceRule = {1, QUIET_THRESHOLD, QUIET_RUN_LIMIT - 1};

constexpr bool IsValidSilenceRule(const SilenceRule& rule) {
    return rule.channels >= 1 && rule.channels <= kMaxSilenceChannels && rule.threshold >= 1 &&
           rule.threshold <= kMaxSilenceThreshold && rule.keep >= 0 && rule.keep <= kMaxSilenceKeep;
}

// Filters `frames` frames of 16-bit little-endian samples from `in` to `out` and returns the
// bytes written. `run` is the quiet-run length carried from the previous call (0 at the start
// of the data); it saturates at rule.keep + 1, beyond which every further quiet frame is dropped
// alike. `out` may equal `in`: the output never runs ahead of the input. The rule must be valid.
std::size_t FilterFrames(const SilenceRule& rule, const std::uint8_t* in, std::size_t frames,
                         std::uint8_t* out, std::int32_t& run);

// How many frames at the start of `in` (up to `frames`) are all quiet by `rule`, when `quiet`,
// or all loud otherwise.
std::size_t SameQuietnessRun(const SilenceRule& rule, const std::uint8_t* in, std::size_t frames,
                             bool quiet);

// The library's rule over mono samples.
inline std::size_t FilterSamples(const std::uint8_t* in, std::size_t count, std::uint8_t* out,
                                 std::int32_t& run) {
    return FilterFrames(kLibrarySilenceRule, in, count, out, run);
}

}  // namespace tamberlyn
