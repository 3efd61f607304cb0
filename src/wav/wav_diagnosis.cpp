#include "wav/wav_diagnosis.h"

#include <cstring>

#include "wav/little_endian.h"
#include "wav/wav_header.h"

namespace tamberlyn {

namespace {

constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;

// The recorder's header for `blocks` blocks, as a stop writes it.
bool IsRecorderLayout(const std::uint8_t* bytes, std::size_t size, const WavDescription& wav) {
    if (size < WAVE_HEADER_BYTES || wav.data_offset != WAVE_HEADER_BYTES) return false;
    WAVHeader header;
    FillWAVHeader(header, static_cast<std::int32_t>(wav.data_size / RECORD_BLOCK_BYTES));
    std::uint8_t expected[WAVE_HEADER_BYTES];
    SerializeWAVHeader(header, expected);
    return wav.data_size % RECORD_BLOCK_BYTES == 0 &&
           std::memcmp(bytes, expected, WAVE_HEADER_BYTES) == 0;
}

// Walks the chunks after the data; true when they end exactly at the end of the file.
bool ChunksFillTheRest(const std::uint8_t* bytes, std::size_t size, std::uint64_t at,
                       std::uint64_t file_size, const WavBytesAt* more) {
    for (int chunks = 0; at + 8 <= file_size && chunks < 10000; ++chunks) {
        std::uint8_t p[8];
        if (at + 8 <= size) {
            std::memcpy(p, bytes + at, 8);
        } else if (more == nullptr || !more->read(more->context, at, p, 8)) {
            return false;  // not read: cannot tell
        }
        const std::uint32_t chunk = GetLE32(p + 4);
        at += 8 + std::uint64_t{chunk} + (chunk & 1u);
    }
    return at == file_size;
}

}  // namespace

WavDiagnosis DiagnoseWav(const std::uint8_t* bytes, std::size_t size, std::uint64_t file_size,
                         const WavBytesAt* more) {
    WavDiagnosis d;
    static const std::uint8_t kZeros[WAVE_HEADER_BYTES] = {};
    if (file_size >= WAVE_HEADER_BYTES && size >= WAVE_HEADER_BYTES &&
        std::memcmp(bytes, kZeros, WAVE_HEADER_BYTES) == 0) {
        // The recorder's placeholder: a recording that was never stopped.
        d.condition = WavCondition::kUnfinishedRecording;
        d.placeholder = true;
        d.head = WavHead::kComplete;
        WAVHeader header;
        std::uint64_t blocks = (file_size - WAVE_HEADER_BYTES) / RECORD_BLOCK_BYTES;
        if (blocks > static_cast<std::uint64_t>(kMaxHeaderBlocks)) blocks = kMaxHeaderBlocks;
        FillWAVHeader(header, static_cast<std::int32_t>(blocks));
        d.wav.format_tag = header.format_tag;
        d.wav.channels = header.channels;
        d.wav.sample_rate = header.samples_per_second;
        d.wav.block_align = header.block_align;
        d.wav.bits_per_sample = header.bits_per_sample;
        d.wav.data_offset = WAVE_HEADER_BYTES;
        d.wav.data_size = header.data_size;
        d.data_bytes = header.data_size;
        d.repairable = true;
        d.write_header = true;
        d.riff_size = header.riff_size;
        d.data_size = header.data_size;
        d.length = WAVE_HEADER_BYTES + std::uint64_t{header.data_size};
        return d;
    }

    std::uint64_t needed = 0;
    d.head = ParseWavHead(bytes, size, d.wav, needed);
    if (d.head != WavHead::kComplete || d.wav.data_offset > file_size) {
        if (d.head == WavHead::kComplete) d.head = WavHead::kNeedMore;
        d.condition = WavCondition::kNotWav;
        return d;
    }
    const WavDescription& wav = d.wav;
    const std::uint64_t held = file_size - wav.data_offset;
    const std::uint64_t frame = wav.block_align > 0 ? wav.block_align : 1;
    const bool pcm16 = IsPcm16(wav, 0xFFFF);
    d.unrepairable = pcm16 ? nullptr : "only 16-bit PCM WAV files are repaired";

    const bool recorder = IsRecorderLayout(bytes, size, wav);
    const std::uint64_t pad = wav.data_size & 1u;
    const std::uint64_t data_end = wav.data_offset + wav.data_size + pad;
    const bool unknown = wav.data_size == 0 || wav.data_size == kWavUnknownSize;
    if (recorder) {
        // The recorder writes nothing after its data: the file's length is all that counts.
        if (data_end == file_size) {
            d.condition = WavCondition::kFinished;
            d.data_bytes = wav.data_size;
            return d;
        }
        d.condition = WavCondition::kUnfinishedRecording;
    } else if (!unknown && data_end <= file_size &&
               ChunksFillTheRest(bytes, size, data_end, file_size, more)) {
        d.data_bytes = wav.data_size;
        if (wav.riff_size == Saturate32(file_size - 8)) {
            d.condition = WavCondition::kFinished;
            return d;
        }
        // Only the RIFF size is wrong.
        d.condition = WavCondition::kSizesDisagree;
        d.repairable = pcm16;
        d.riff_size = Saturate32(file_size - 8);
        d.data_size = wav.data_size;
        d.length = file_size;
        return d;
    } else if (!unknown && data_end < file_size) {
        // Bytes after the data that are no chunks: which size is wrong, the file does not say.
        d.condition = WavCondition::kSizesDisagree;
        d.data_bytes = wav.data_size;
        if (pcm16) d.unrepairable = "what follows the data chunk is not a chunk";
        return d;
    } else {
        d.condition = WavCondition::kSizesDisagree;
    }
    // The data runs to the end of the file: its size becomes what the file holds, whole frames.
    // A recorder's file keeps whole one-second blocks only when that cuts no more than a frame.
    std::uint64_t data = held / frame * frame;
    if (recorder && held % RECORD_BLOCK_BYTES < frame)
        data = held / RECORD_BLOCK_BYTES * RECORD_BLOCK_BYTES;
    if (data > kMax32 - wav.data_offset) data = (kMax32 - wav.data_offset) / frame * frame;
    d.data_bytes = data;
    d.repairable = pcm16;
    d.data_size = static_cast<std::uint32_t>(data);
    d.riff_size = Saturate32(wav.data_offset - 8 + data);
    d.length = wav.data_offset + data;
    return d;
}

}  // namespace tamberlyn
