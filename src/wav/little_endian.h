// Little-endian numbers in file bytes, as RIFF stores them.
#pragma once

#include <cstdint>

namespace tamberlyn {

inline std::uint16_t GetLE16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// A 16-bit PCM sample as files store it, and full scale: the magnitude of the most negative one,
// which decibels below full scale (dBFS) are measured against.
inline std::int16_t GetPcm16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(GetLE16(p));
}
constexpr std::int32_t kPcm16FullScale = 32768;

inline std::uint32_t GetLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// A size for a 32-bit field, saturated: 0xFFFFFFFF (what readers take as unknown) when larger.
inline std::uint64_t GetLE64(const std::uint8_t* p) {
    return std::uint64_t{GetLE32(p)} | std::uint64_t{GetLE32(p + 4)} << 32;
}

inline std::uint32_t Saturate32(std::uint64_t v) {
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

inline void PutLE32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void PutLE64(std::uint8_t* p, std::uint64_t v) {
    PutLE32(p, static_cast<std::uint32_t>(v));
    PutLE32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace tamberlyn
