// The sample filter behind WAVSilence: cuts every run of quiet samples to its first 799.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tamberlyn {

constexpr int QUIET_THRESHOLD = 500;           // a sample whose magnitude is below this is quiet
constexpr std::int32_t QUIET_RUN_LIMIT = 800;  // the 800th quiet sample of a run and later ones go

// Magnitude taken after widening, so -32768 is loud; quiet samples are exactly -499..499.
constexpr bool IsQuietSample(std::int16_t sample) {
    const std::int32_t wide = sample;
    return (wide < 0 ? -wide : wide) < QUIET_THRESHOLD;
}

// Filters `count` 16-bit little-endian samples from `in` to `out` and returns the bytes written.
// `run` is the quiet-run length carried from the previous call (0 at the start of the data); it
// saturates at QUIET_RUN_LIMIT, beyond which every further quiet sample is dropped alike.
// `out` may equal `in`: the output never runs ahead of the input.
std::size_t FilterSamples(const std::uint8_t* in, std::size_t count, std::uint8_t* out,
                          std::int32_t& run);

}  // namespace tamberlyn
