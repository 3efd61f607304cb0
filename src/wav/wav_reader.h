// Reading what a RIFF/WAVE file is: the chunk list up to the sample data, and what follows it.
// Pure: the caller hands in a way to read bytes at an offset (a file, or bytes in memory) and
// gets a description back. Every command of the program reads files through this one walk.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/system_error.h"

namespace tamberlyn {

constexpr std::uint16_t kWavFormatPcm = 1;
constexpr std::uint16_t kWavFormatFloat = 3;
constexpr std::uint16_t kWavFormatALaw = 6;
constexpr std::uint16_t kWavFormatMuLaw = 7;
constexpr std::uint16_t kWavFormatExtensible = 0xFFFE;
// A size a writer puts in when it does not know the length (streams, unfinished files).
constexpr std::uint32_t kWavUnknownSize = 0xFFFFFFFFu;

// Where the walk reads: up to `size` bytes at `offset` into `out`, `got` fewer at the end.
struct WavSource {
    SystemError (*read_at)(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size,
                           std::size_t& got);
    void* context;
};

struct WavDescription {
    // The form's size: the RIFF header's, or for RF64 (and BW64) the "ds64" chunk's.
    std::uint64_t riff_size = 0;
    // RF64: where the "ds64" chunk's 64-bit RIFF size, data size and frame count lie; 0 for RIFF.
    std::uint64_t ds64_offset = 0;
    // RIFF: a "JUNK" chunk first, of room for RF64's sizes, as writers reserve it for a file
    // that may pass 4 GiB: where its body lies, 0 when there is none.
    std::uint64_t junk_offset = 0;
    // From "fmt ". For WAVE_FORMAT_EXTENSIBLE, `format_tag` is the sub-format's tag when the
    // sub-format is one of the standard ones, and kWavFormatExtensible otherwise.
    std::uint16_t format_tag = 0;
    bool extensible = false;
    std::uint16_t channels = 0;
    std::uint32_t sample_rate = 0;
    std::uint16_t block_align = 0;
    std::uint16_t bits_per_sample = 0;
    // A "fact" chunk before the data: where its frame count lies, 0 when there is none.
    std::uint64_t fact_count_offset = 0;
    // The "data" chunk: where its first byte lies in the file, and its size as declared (for
    // RF64, the "ds64" chunk's where the chunk's own says 0xFFFFFFFF).
    std::uint64_t data_offset = 0;
    std::uint64_t data_size = 0;
};

enum class WavHead {
    kComplete,    // everything up to the sample data was read
    kCutShort,    // the file ends before the data chunk's header
    kNotRiff,     // no "RIFF" at the start
    kBigEndian,   // "RIFX"
    kRf64,        // "RF64" or "BW64" without the "ds64" chunk that holds its sizes
    kNotWave,     // RIFF, but not of form "WAVE"
    kNoFormat,    // the data chunk comes before any "fmt " chunk
    kBadFormat,   // a "fmt " chunk too short to describe the format
    kReadFailed,  // the source could not be read: `error` says why
};

// Walks the chunks from the start of the file to the data chunk, however large the chunks
// before it are.
WavHead ReadWavHead(const WavSource& source, WavDescription& out, SystemError& error);

// What follows a data chunk that ends (with its pad byte) at `from` in a file of `size` bytes.
enum class WavTail {
    kNothing,    // the file ends there (or one byte short: a final pad byte left out)
    kChunks,     // chunks, to the end of the file (the last one's pad byte may be left out)
    kNotChunks,  // bytes that are no chunk list: samples, a tag, garbage
    kReadFailed,
};
WavTail ReadWavTail(const WavSource& source, std::uint64_t from, std::uint64_t size,
                    SystemError& error);

// A short explanation of a refused head, for messages ("not a RIFF/WAVE file").
const char* WavHeadMessage(WavHead result);

// True for 16-bit linear PCM of 1..max_channels channels whose block alignment matches.
bool IsPcm16(const WavDescription& wav, int max_channels);

// The bytes of one sample for the sample formats the engine takes (integer PCM of 8, 16, 24 or 32
// bits, float of 32 or 64, plain or extensible) whose block alignment matches; 0 otherwise.
std::uint16_t SampleBytesOf(const WavDescription& wav);

// Names the sample format: "16-bit PCM", "32-bit float", "A-law", "format 0x0055".
// Writes at most `size` bytes, terminator included.
void DescribeWavFormat(const WavDescription& wav, char* text, std::size_t size);

// A source over bytes in memory.
struct WavBytes {
    const std::uint8_t* data;
    std::size_t size;
};
WavSource MemoryWavSource(const WavBytes& bytes);

}  // namespace tamberlyn
