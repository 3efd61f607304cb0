// The sizes a WAV file states: the RIFF size, the data size and, if there is one, the frame
// count of the "fact" chunk, computed once for what a file holds and set where they lie. The
// program's `silence` sets them on what it writes, `repair` on what it mends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wav/wav_reader.h"

namespace tamberlyn {

struct WavSizeField {
    std::uint64_t offset;  // in the file
    std::uint8_t bytes[8];
    std::size_t width;  // 4, or 8 for RF64's 64-bit sizes
};

struct WavSizePatch {
    WavSizeField fields[8];
    int count = 0;
};

// The fields that make `wav`'s head describe `data_bytes` of samples followed by `after_data`
// bytes (the data chunk's pad byte, when the data is odd, and the chunks after it). With
// `known` false, or sizes that 32 bits cannot hold, they are 0xFFFFFFFF, as streaming writers
// leave them. An RF64 file's 64-bit sizes are set in its "ds64" chunk (0 when not known, as
// FFmpeg writes and reads a stream), its 32-bit ones to 0xFFFFFFFF, which sends readers there.
WavSizePatch WavSizesFor(const WavDescription& wav, std::uint64_t data_bytes,
                         std::uint64_t after_data, bool known = true);

// As WavSizesFor, for a RIFF file with a "JUNK" chunk of room first, made RF64: its form and
// that chunk are renamed "RF64" and "ds64", and the sizes set there.
WavSizePatch Rf64SizesFor(const WavDescription& wav, std::uint64_t data_bytes,
                          std::uint64_t after_data);

// Sets what lies of the fields within `bytes`, the file's `size` bytes from `offset`: a field
// across the edge of a piece is set in part, and the rest with the piece that holds it.
void ApplyWavSizes(const WavSizePatch& patch, std::uint64_t offset, std::uint8_t* bytes,
                   std::size_t size);

}  // namespace tamberlyn
