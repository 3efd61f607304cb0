// The 44-byte RIFF/WAVE header of the files the recorder writes: PCM, 8000 Hz, 16-bit, mono.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wav/recording_format.h"

namespace tamberlyn {

struct WAVHeader {
    char riff_id[4];           // "RIFF"
    std::uint32_t riff_size;   // data size + 36
    char wave_id[4];           // "WAVE"
    char fmt_id[4];            // "fmt "
    std::uint32_t fmt_size;    // 16
    std::uint16_t format_tag;  // 1, linear PCM
    std::uint16_t channels;
    std::uint32_t samples_per_second;
    std::uint32_t bytes_per_second;
    std::uint16_t block_align;
    std::uint16_t bits_per_sample;
    char data_id[4];          // "data"
    std::uint32_t data_size;  // blocks * 16000
};

// Sets every field for `blocks` one-second blocks of data. Sizes are computed in 32-bit unsigned
// arithmetic: exact up to kMaxHeaderBlocks.
void FillWAVHeader(WAVHeader& header, std::int32_t blocks);

// The same for `extra` bytes of data past the whole blocks (a last second cut short).
void FillWAVHeaderWithExtra(WAVHeader& header, std::int32_t blocks, std::uint32_t extra);

// The header's 44 bytes, little-endian, in file order. A zero-initialised record gives 44 zeros.
void SerializeWAVHeader(const WAVHeader& header, std::uint8_t (&bytes)[WAVE_HEADER_BYTES]);

}  // namespace tamberlyn
