#include "wav/wav_sizes.h"

#include "wav/little_endian.h"

namespace tamberlyn {

namespace {

void Add(WavSizePatch& patch, std::uint64_t offset, std::uint32_t value) {
    WavSizeField& f = patch.fields[patch.count++];
    f.offset = offset;
    PutLE32(f.bytes, value);
}

}  // namespace

WavSizePatch WavSizesFor(const WavDescription& wav, std::uint64_t data_bytes,
                         std::uint64_t after_data, bool known) {
    WavSizePatch patch;
    const std::uint64_t riff = wav.data_offset - 8 + data_bytes + after_data;
    Add(patch, 4, known ? Saturate32(riff) : kWavUnknownSize);
    Add(patch, wav.data_offset - 4, known ? Saturate32(data_bytes) : kWavUnknownSize);
    if (wav.fact_count_offset != 0 && wav.block_align > 0) {
        Add(patch, wav.fact_count_offset,
            known ? Saturate32(data_bytes / wav.block_align) : kWavUnknownSize);
    }
    return patch;
}

void ApplyWavSizes(const WavSizePatch& patch, std::uint64_t offset, std::uint8_t* bytes,
                   std::size_t size) {
    for (int i = 0; i < patch.count; ++i) {
        const WavSizeField& f = patch.fields[i];
        for (std::uint64_t k = 0; k < 4; ++k) {
            const std::uint64_t at = f.offset + k;
            if (at >= offset && at - offset < size) bytes[at - offset] = f.bytes[k];
        }
    }
}

}  // namespace tamberlyn
