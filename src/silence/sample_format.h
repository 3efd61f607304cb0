// The sample formats the engine shortens: 8-bit unsigned, 16, 24 and 32-bit integer PCM, and 32
// and 64-bit float, little-endian and interleaved as WAV stores them. The engine never changes a
// sample: it reads each one only to judge it, in the units of 16-bit full scale, so that a
// threshold means the same fraction of full scale in every format.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "wav/little_endian.h"

namespace tamberlyn {

enum class SampleFormat { kU8, kS16, kS24, kS32, kF32, kF64 };

constexpr std::size_t SampleBytes(SampleFormat f) {
    switch (f) {
        case SampleFormat::kU8:
            return 1;
        case SampleFormat::kS16:
            return 2;
        case SampleFormat::kS24:
            return 3;
        case SampleFormat::kS32:
        case SampleFormat::kF32:
            return 4;
        case SampleFormat::kF64:
            return 8;
    }
    return 2;
}

inline std::int32_t GetS24(const std::uint8_t* p) {
    const std::uint32_t u = static_cast<std::uint32_t>(p[0]) |
                            static_cast<std::uint32_t>(p[1]) << 8 |
                            static_cast<std::uint32_t>(p[2]) << 16;
    return static_cast<std::int32_t>(u << 8) >> 8;
}

inline float GetF32(const std::uint8_t* p) {
    const std::uint32_t bits = GetLE32(p);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

inline double GetF64(const std::uint8_t* p) {
    const std::uint64_t bits = GetLE32(p) | static_cast<std::uint64_t>(GetLE32(p + 4)) << 32;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// The sample at `p`, in units of 16-bit full scale (32768 is full scale), for measuring.
template <SampleFormat F>
inline float SampleValue(const std::uint8_t* p) {
    if constexpr (F == SampleFormat::kU8) return static_cast<float>((p[0] - 128) * 256);
    if constexpr (F == SampleFormat::kS16) return static_cast<float>(GetPcm16(p));
    if constexpr (F == SampleFormat::kS24) return static_cast<float>(GetS24(p)) * (1.0f / 256);
    if constexpr (F == SampleFormat::kS32) {
        return static_cast<float>(static_cast<std::int32_t>(GetLE32(p))) * (1.0f / 65536);
    }
    if constexpr (F == SampleFormat::kF32) return GetF32(p) * 32768.0f;
    if constexpr (F == SampleFormat::kF64) return static_cast<float>(GetF64(p) * 32768.0);
    return 0.0f;
}

// Whether the sample at `p` has a magnitude below `threshold` sixteen-bit steps of full scale:
// exactly, in the format's own resolution (-32768 is loud at 500, as it is in 16 bits; a float
// that is not a number is loud).
template <SampleFormat F>
inline bool SampleQuiet(const std::uint8_t* p, std::int32_t threshold) {
    if constexpr (F == SampleFormat::kU8) {
        const std::int32_t v = p[0] - 128;
        return (v < 0 ? -v : v) * 256 < threshold;
    } else if constexpr (F == SampleFormat::kS16) {
        const std::int32_t v = GetPcm16(p);
        return (v < 0 ? -v : v) < threshold;
    } else if constexpr (F == SampleFormat::kS24) {
        const std::int64_t v = GetS24(p);
        return (v < 0 ? -v : v) < std::int64_t{threshold} * 256;
    } else if constexpr (F == SampleFormat::kS32) {
        const std::int64_t v = static_cast<std::int32_t>(GetLE32(p));
        return (v < 0 ? -v : v) < std::int64_t{threshold} * 65536;
    } else if constexpr (F == SampleFormat::kF32) {
        return std::fabs(static_cast<double>(GetF32(p))) * 32768.0 < threshold;
    } else {
        return std::fabs(GetF64(p)) * 32768.0 < threshold;
    }
}

}  // namespace tamberlyn
