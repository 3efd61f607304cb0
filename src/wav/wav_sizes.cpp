#include "wav/wav_sizes.h"

#include "wav/little_endian.h"

namespace tamberlyn {

namespace {

void Add(WavSizePatch& patch, std::uint64_t offset, std::uint32_t value) {
    WavSizeField& f = patch.fields[patch.count++];
    f.offset = offset;
    f.width = 4;
    PutLE32(f.bytes, value);
}

void Add64(WavSizePatch& patch, std::uint64_t offset, std::uint64_t value) {
    WavSizeField& f = patch.fields[patch.count++];
    f.offset = offset;
    f.width = 8;
    PutLE64(f.bytes, value);
}

}  // namespace

WavSizePatch WavSizesFor(const WavDescription& wav, std::uint64_t data_bytes,
                         std::uint64_t after_data, bool known) {
    WavSizePatch patch;
    const std::uint64_t riff = wav.data_offset - 8 + data_bytes + after_data;
    if (wav.ds64_offset != 0) {
        Add(patch, 4, kWavUnknownSize);
        // Unknown: 0, which FFmpeg reads as "to the end" (it refuses all ones).
        constexpr std::uint64_t kUnknown64 = 0;
        Add64(patch, wav.ds64_offset, known ? riff : kUnknown64);
        Add(patch, wav.data_offset - 4, kWavUnknownSize);
        Add64(patch, wav.ds64_offset + 8, known ? data_bytes : kUnknown64);
        const std::uint64_t frames = wav.block_align > 0 ? data_bytes / wav.block_align : 0;
        Add64(patch, wav.ds64_offset + 16, known ? frames : kUnknown64);
        if (wav.fact_count_offset != 0) {
            Add(patch, wav.fact_count_offset, known ? Saturate32(frames) : kWavUnknownSize);
        }
        return patch;
    }
    Add(patch, 4, known ? Saturate32(riff) : kWavUnknownSize);
    Add(patch, wav.data_offset - 4, known ? Saturate32(data_bytes) : kWavUnknownSize);
    if (wav.fact_count_offset != 0 && wav.block_align > 0) {
        Add(patch, wav.fact_count_offset,
            known ? Saturate32(data_bytes / wav.block_align) : kWavUnknownSize);
    }
    return patch;
}

WavSizePatch Rf64SizesFor(const WavDescription& wav, std::uint64_t data_bytes,
                          std::uint64_t after_data) {
    WavDescription rf64 = wav;
    rf64.ds64_offset = wav.junk_offset;
    const WavSizePatch sizes = WavSizesFor(rf64, data_bytes, after_data);
    WavSizePatch patch;
    Add(patch, 0, GetLE32(reinterpret_cast<const std::uint8_t*>("RF64")));
    Add(patch, wav.junk_offset - 8, GetLE32(reinterpret_cast<const std::uint8_t*>("ds64")));
    for (int i = 0; i < sizes.count; ++i) patch.fields[patch.count++] = sizes.fields[i];
    return patch;
}

void ApplyWavSizes(const WavSizePatch& patch, std::uint64_t offset, std::uint8_t* bytes,
                   std::size_t size) {
    for (int i = 0; i < patch.count; ++i) {
        const WavSizeField& f = patch.fields[i];
        for (std::uint64_t k = 0; k < f.width; ++k) {
            const std::uint64_t at = f.offset + k;
            if (at >= offset && at - offset < size) bytes[at - offset] = f.bytes[k];
        }
    }
}

}  // namespace tamberlyn
