// Reading the head of a RIFF/WAVE file: the chunk list up to the start of the sample data.
// Pure: bytes in, description out; the caller reads the file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tamberlyn {

constexpr std::uint16_t kWavFormatPcm = 1;
constexpr std::uint16_t kWavFormatFloat = 3;
constexpr std::uint16_t kWavFormatALaw = 6;
constexpr std::uint16_t kWavFormatMuLaw = 7;
constexpr std::uint16_t kWavFormatExtensible = 0xFFFE;
// A data size a writer puts in when it does not know the length (streams, unfinished files).
constexpr std::uint32_t kWavUnknownSize = 0xFFFFFFFFu;

struct WavDescription {
    std::uint32_t riff_size = 0;
    // From "fmt ". For WAVE_FORMAT_EXTENSIBLE, `format_tag` is the sub-format's tag when the
    // sub-format is one of the standard ones, and kWavFormatExtensible otherwise.
    std::uint16_t format_tag = 0;
    bool extensible = false;
    std::uint16_t channels = 0;
    std::uint32_t sample_rate = 0;
    std::uint16_t block_align = 0;
    std::uint16_t bits_per_sample = 0;
    // The "data" chunk: where its first byte lies in the file, and its size as declared.
    std::uint64_t data_offset = 0;
    std::uint32_t data_size = 0;
};

enum class WavHead {
    kComplete,   // everything up to the sample data was read
    kNeedMore,   // the bytes end before the data chunk's header; `needed` says how far to read
    kNotRiff,    // no "RIFF" at the start
    kBigEndian,  // "RIFX"
    kRf64,       // "RF64": 64-bit sizes
    kNotWave,    // RIFF, but not of form "WAVE"
    kNoFormat,   // the data chunk comes before any "fmt " chunk
    kBadFormat,  // a "fmt " chunk too short to describe the format
};

// Parses the first `size` bytes of a file. On kNeedMore, `needed` is the number of bytes from the
// start of the file that would let parsing go on.
WavHead ParseWavHead(const std::uint8_t* bytes, std::size_t size, WavDescription& out,
                     std::uint64_t& needed);

// A short explanation of a refused head, for messages ("not a RIFF/WAVE file").
const char* WavHeadMessage(WavHead result);

// True for 16-bit linear PCM of 1..max_channels channels whose block alignment matches.
bool IsPcm16(const WavDescription& wav, int max_channels);

// Names the sample format: "16-bit PCM", "32-bit float", "A-law", "format 0x0055".
// Writes at most `size` bytes, terminator included.
void DescribeWavFormat(const WavDescription& wav, char* text, std::size_t size);

// How much sample data there really is. The declared size holds unless it is 0 or unknown
// (0xFFFFFFFF), or reaches past the end of a file of `file_size` bytes: then the data runs to the
// end of the file and `to_end` is set. `file_size` is kUnknownFileSize for a stream.
constexpr std::uint64_t kUnknownFileSize = ~std::uint64_t{0};
struct WavDataExtent {
    bool to_end = false;
    std::uint64_t bytes = 0;  // with to_end: what the file holds after data_offset, if known
};
WavDataExtent ResolveWavData(const WavDescription& wav, std::uint64_t file_size);

}  // namespace tamberlyn
