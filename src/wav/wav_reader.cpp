#include "wav/wav_reader.h"

#include <cstdio>
#include <cstring>

#include "wav/little_endian.h"

namespace tamberlyn {

namespace {

constexpr std::size_t kFmtBytes = 16;         // tag, channels, rate, byte rate, align, bits
constexpr std::size_t kExtensibleBytes = 40;  // ... and cbSize, valid bits, mask, sub-format
// The tail of every standard sub-format GUID; its first two bytes are the plain format tag.
constexpr std::uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool IdIs(const std::uint8_t* p, const char (&id)[5]) { return std::memcmp(p, id, 4) == 0; }

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

}  // namespace

WavHead ParseWavHead(const std::uint8_t* bytes, std::size_t size, WavDescription& out,
                     std::uint64_t& needed) {
    out = WavDescription{};
    needed = 12;
    if (size < 4)
        return size == 0 || std::memcmp(bytes, "RIFF", size) == 0 ? WavHead::kNeedMore
                                                                  : WavHead::kNotRiff;
    if (IdIs(bytes, "RIFX")) return WavHead::kBigEndian;
    if (IdIs(bytes, "RF64")) return WavHead::kRf64;
    if (!IdIs(bytes, "RIFF")) return WavHead::kNotRiff;
    if (size < 12) return WavHead::kNeedMore;
    if (!IdIs(bytes + 8, "WAVE")) return WavHead::kNotWave;
    out.riff_size = GetLE32(bytes + 4);

    bool have_format = false;
    std::uint64_t at = 12;
    for (;;) {
        if (at + 8 > size) {
            needed = at + 8;
            return WavHead::kNeedMore;
        }
        const std::uint8_t* chunk = bytes + at;
        const std::uint32_t chunk_size = GetLE32(chunk + 4);
        if (IdIs(chunk, "data")) {
            if (!have_format) return WavHead::kNoFormat;
            out.data_offset = at + 8;
            out.data_size = chunk_size;
            return WavHead::kComplete;
        }
        if (IdIs(chunk, "fmt ")) {
            if (chunk_size < kFmtBytes) return WavHead::kBadFormat;
            const std::uint32_t used =
                chunk_size < kExtensibleBytes ? chunk_size : kExtensibleBytes;
            if (at + 8 + used > size) {
                needed = at + 8 + used;
                return WavHead::kNeedMore;
            }
            ReadFormat(chunk + 8, chunk_size, out);
            have_format = true;
        }
        // RIFF pads every chunk to an even length.
        at += 8 + std::uint64_t{chunk_size} + (chunk_size & 1u);
    }
}

const char* WavHeadMessage(WavHead result) {
    switch (result) {
        case WavHead::kComplete:
            return "a WAV file";
        case WavHead::kNeedMore:
            return "the WAV header is cut short";
        case WavHead::kNotRiff:
            return "not a RIFF/WAVE file";
        case WavHead::kBigEndian:
            return "a big-endian RIFX file: only little-endian RIFF/WAVE is supported";
        case WavHead::kRf64:
            return "an RF64 file: only RIFF/WAVE with 32-bit sizes is supported";
        case WavHead::kNotWave:
            return "a RIFF file, but not of form WAVE";
        case WavHead::kNoFormat:
            return "no \"fmt \" chunk before the \"data\" chunk";
        case WavHead::kBadFormat:
            return "the \"fmt \" chunk is too short";
    }
    return "unreadable";
}

bool IsPcm16(const WavDescription& wav, int max_channels) {
    return wav.format_tag == kWavFormatPcm && wav.bits_per_sample == 16 && wav.channels >= 1 &&
           wav.channels <= max_channels && wav.block_align == 2 * wav.channels &&
           wav.sample_rate > 0;
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

WavDataExtent ResolveWavData(const WavDescription& wav, std::uint64_t file_size) {
    WavDataExtent extent;
    const bool known_file = file_size != kUnknownFileSize;
    const std::uint64_t held =
        known_file && file_size > wav.data_offset ? file_size - wav.data_offset : 0;
    if (wav.data_size == 0 || wav.data_size == kWavUnknownSize ||
        (known_file && wav.data_size > held)) {
        extent.to_end = true;
        extent.bytes = held;
    } else {
        extent.bytes = wav.data_size;
    }
    return extent;
}

}  // namespace tamberlyn
