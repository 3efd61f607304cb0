#include "wav/wav_reader.h"

#include <cstdio>
#include <cstring>

#include "wav/little_endian.h"

namespace tamberlyn {

namespace {

constexpr std::size_t kFmtBytes = 16;         // tag, channels, rate, byte rate, align, bits
constexpr std::size_t kExtensibleBytes = 40;  // ... and cbSize, valid bits, mask, sub-format
constexpr std::size_t kDs64Bytes = 24;        // RF64's form size, data size and frame count
// The tail of every standard sub-format GUID; its first two bytes are the plain format tag.
constexpr std::uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// A walk that meets more chunks than this before the data is not reading a WAV file.
constexpr int kMaxChunks = 1 << 20;

bool IdIs(const std::uint8_t* p, const char (&id)[5]) { return std::memcmp(p, id, 4) == 0; }

// A chunk identifier is four printable ASCII characters; samples and tags rarely are.
bool IsChunkId(const std::uint8_t* p) {
    for (int i = 0; i < 4; ++i) {
        if (p[i] < 0x20 || p[i] > 0x7E) return false;
    }
    return true;
}

void ReadFormat(const std::uint8_t* p, std::uint32_t size, WavDescription& out) {
    out.format_tag = GetLE16(p);
    out.channels = GetLE16(p + 2);
    out.sample_rate = GetLE32(p + 4);
    out.block_align = GetLE16(p + 12);
    out.bits_per_sample = GetLE16(p + 14);
    out.extensible = out.format_tag == kWavFormatExtensible;
    if (out.extensible && size >= kExtensibleBytes && GetLE16(p + 16) >= 22 &&
        std::memcmp(p + 26, kGuidTail, sizeof kGuidTail) == 0) {
        out.format_tag = GetLE16(p + 24);
    }
}

// Reads exactly `size` bytes at `offset`: false (and `error` for a failure) when they are not
// all there.
bool ReadExactly(const WavSource& source, std::uint64_t offset, std::uint8_t* out, std::size_t size,
                 SystemError& error) {
    std::size_t got = 0;
    error = source.read_at(source.context, offset, out, size, got);
    return !error && got == size;
}

SystemError ReadMemory(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size,
                       std::size_t& got) {
    const auto* bytes = static_cast<const WavBytes*>(context);
    got = 0;
    if (offset >= bytes->size) return {};
    got = static_cast<std::size_t>(bytes->size - offset) < size
              ? static_cast<std::size_t>(bytes->size - offset)
              : size;
    std::memcpy(out, bytes->data + offset, got);
    return {};
}

}  // namespace

WavSource MemoryWavSource(const WavBytes& bytes) {
    return {ReadMemory, const_cast<WavBytes*>(&bytes)};
}

WavHead ReadWavHead(const WavSource& source, WavDescription& out, SystemError& error) {
    out = WavDescription{};
    error = {};
    std::uint8_t riff[12] = {};
    std::size_t got = 0;
    error = source.read_at(source.context, 0, riff, sizeof riff, got);
    if (error) return WavHead::kReadFailed;
    if (got < 4) {
        return got == 0 || std::memcmp(riff, "RIFF", got) == 0 ? WavHead::kCutShort
                                                               : WavHead::kNotRiff;
    }
    if (IdIs(riff, "RIFX")) return WavHead::kBigEndian;
    const bool rf64 = IdIs(riff, "RF64") || IdIs(riff, "BW64");
    if (!rf64 && !IdIs(riff, "RIFF")) return WavHead::kNotRiff;
    if (got < sizeof riff) return WavHead::kCutShort;
    if (!IdIs(riff + 8, "WAVE")) return WavHead::kNotWave;
    out.riff_size = GetLE32(riff + 4);
    std::uint64_t data64 = 0;
    if (rf64) {
        // Its 64-bit sizes come first, in the "ds64" chunk: form, data, frames.
        std::uint8_t ds64[8 + kDs64Bytes];
        if (!ReadExactly(source, 12, ds64, sizeof ds64, error)) {
            return error ? WavHead::kReadFailed : WavHead::kCutShort;
        }
        if (!IdIs(ds64, "ds64") || GetLE32(ds64 + 4) < kDs64Bytes) return WavHead::kRf64;
        out.ds64_offset = 20;
        if (out.riff_size == kWavUnknownSize) out.riff_size = GetLE64(ds64 + 8);
        data64 = GetLE64(ds64 + 16);
    }

    bool have_format = false;
    std::uint64_t at = 12;
    for (int chunks = 0; chunks < kMaxChunks; ++chunks) {
        std::uint8_t header[8];
        if (!ReadExactly(source, at, header, sizeof header, error)) {
            return error ? WavHead::kReadFailed : WavHead::kCutShort;
        }
        const std::uint32_t size = GetLE32(header + 4);
        if (IdIs(header, "data")) {
            if (!have_format) return WavHead::kNoFormat;
            out.data_offset = at + 8;
            out.data_size = rf64 && size == kWavUnknownSize ? data64 : size;
            return WavHead::kComplete;
        }
        if (chunks == 0 && !rf64 && IdIs(header, "JUNK") && size >= kDs64Bytes + 4) {
            out.junk_offset = at + 8;
        }
        if (IdIs(header, "fmt ")) {
            if (size < kFmtBytes) return WavHead::kBadFormat;
            std::uint8_t format[kExtensibleBytes];
            const std::size_t used = size < kExtensibleBytes ? size : kExtensibleBytes;
            if (!ReadExactly(source, at + 8, format, used, error)) {
                return error ? WavHead::kReadFailed : WavHead::kCutShort;
            }
            ReadFormat(format, size, out);
            have_format = true;
        } else if (IdIs(header, "fact") && size >= 4) {
            out.fact_count_offset = at + 8;
        }
        // RIFF pads every chunk to an even length. (A chunk other than the data larger than
        // 4 GiB, whose size RF64's table would hold, is not met in WAV files.)
        at += 8 + std::uint64_t{size} + (size & 1u);
    }
    return WavHead::kNotWave;
}

WavTail ReadWavTail(const WavSource& source, std::uint64_t from, std::uint64_t size,
                    SystemError& error) {
    error = {};
    if (from >= size) return from <= size + 1 ? WavTail::kNothing : WavTail::kNotChunks;
    std::uint64_t at = from;
    for (int chunks = 0; chunks < kMaxChunks; ++chunks) {
        std::uint8_t header[8];
        if (size - at < sizeof header) return WavTail::kNotChunks;
        if (!ReadExactly(source, at, header, sizeof header, error)) {
            return error ? WavTail::kReadFailed : WavTail::kNotChunks;
        }
        if (!IsChunkId(header)) return WavTail::kNotChunks;
        const std::uint32_t chunk = GetLE32(header + 4);
        at += 8 + std::uint64_t{chunk};
        // The last chunk's pad byte is often left out by writers; readers do not need it.
        if (at == size) return WavTail::kChunks;
        at += chunk & 1u;
        if (at == size) return WavTail::kChunks;
        if (at > size) return WavTail::kNotChunks;
    }
    return WavTail::kNotChunks;
}

const char* WavHeadMessage(WavHead result) {
    switch (result) {
        case WavHead::kComplete:
            return "a WAV file";
        case WavHead::kCutShort:
            return "the WAV header is cut short";
        case WavHead::kNotRiff:
            return "not a RIFF/WAVE file";
        case WavHead::kBigEndian:
            return "a big-endian RIFX file: only little-endian RIFF/WAVE is supported";
        case WavHead::kRf64:
            return "an RF64 file without the \"ds64\" chunk that holds its sizes";
        case WavHead::kNotWave:
            return "a RIFF file, but not of form WAVE";
        case WavHead::kNoFormat:
            return "no \"fmt \" chunk before the \"data\" chunk";
        case WavHead::kBadFormat:
            return "the \"fmt \" chunk is too short";
        case WavHead::kReadFailed:
            return "unreadable";
    }
    return "unreadable";
}

bool IsPcm16(const WavDescription& wav, int max_channels) {
    return wav.format_tag == kWavFormatPcm && wav.bits_per_sample == 16 && wav.channels >= 1 &&
           wav.channels <= max_channels && wav.block_align == 2 * wav.channels &&
           wav.sample_rate > 0;
}

std::uint16_t SampleBytesOf(const WavDescription& wav) {
    const unsigned bits = wav.bits_per_sample;
    const bool pcm =
        wav.format_tag == kWavFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    const bool floating = wav.format_tag == kWavFormatFloat && (bits == 32 || bits == 64);
    if (!(pcm || floating) || wav.channels < 1 || wav.sample_rate == 0 ||
        wav.block_align != wav.channels * bits / 8) {
        return 0;
    }
    return static_cast<std::uint16_t>(bits / 8);
}

void DescribeWavFormat(const WavDescription& wav, char* text, std::size_t size) {
    switch (wav.format_tag) {
        case kWavFormatPcm:
            std::snprintf(text, size, "%u-bit PCM", static_cast<unsigned>(wav.bits_per_sample));
            return;
        case kWavFormatFloat:
            std::snprintf(text, size, "%u-bit float", static_cast<unsigned>(wav.bits_per_sample));
            return;
        case kWavFormatALaw:
            std::snprintf(text, size, "A-law");
            return;
        case kWavFormatMuLaw:
            std::snprintf(text, size, "u-law");
            return;
        default:
            std::snprintf(text, size, "format 0x%04X", static_cast<unsigned>(wav.format_tag));
    }
}

}  // namespace tamberlyn
