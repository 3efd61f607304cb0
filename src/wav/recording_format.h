// The one format the recorder writes, described once: linear PCM, 8000 samples per second,
// 16 bits, one channel, in whole one-second blocks behind a 44-byte header. The header's
// filling, the capture format the recorder asks for and the program all read it from here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tamberlyn {

constexpr std::uint16_t RECORD_FORMAT_TAG = 1;  // linear PCM
constexpr std::uint16_t RECORD_CHANNELS = 1;
constexpr std::int32_t RECORD_SAMPLE_RATE = 8000;
constexpr std::uint16_t RECORD_BITS_PER_SAMPLE = 16;
constexpr std::uint16_t RECORD_BLOCK_ALIGN = RECORD_CHANNELS * RECORD_BITS_PER_SAMPLE / 8;
constexpr std::int32_t RECORD_BYTES_PER_SECOND = RECORD_SAMPLE_RATE * RECORD_BLOCK_ALIGN;
constexpr std::int32_t RECORD_BLOCK_BYTES = RECORD_BYTES_PER_SECOND;  // one second of samples
constexpr std::size_t WAVE_HEADER_BYTES = 44;
// The most blocks whose sizes still fit the header's 32-bit fields (74 h 33 min 55 s).
constexpr std::int32_t kMaxHeaderBlocks =
    static_cast<std::int32_t>((0xFFFFFFFFu - (WAVE_HEADER_BYTES - 8)) / RECORD_BLOCK_BYTES);
static_assert(RECORD_BLOCK_BYTES == 16000 && kMaxHeaderBlocks == 268435, "the recorder's format");

}  // namespace tamberlyn
