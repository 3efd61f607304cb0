// What state a WAV file is in, and what would make it readable: pure, from the file's first
// bytes and its length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wav/wav_reader.h"

namespace tamberlyn {

enum class WavCondition {
    kFinished,             // the sizes describe the file
    kUnfinishedRecording,  // a recording of this library that was never stopped
    kSizesDisagree,        // another WAV whose sizes disagree with its length
    kNotWav,               // no WAV head could be read: `head` says why
};

struct WavDiagnosis {
    WavCondition condition = WavCondition::kNotWav;
    WavHead head = WavHead::kNotRiff;
    bool placeholder = false;      // the recorder's all-zero placeholder header
    WavDescription wav;            // the format (the recorder's for a placeholder)
    std::uint64_t data_bytes = 0;  // sample bytes the file really holds (whole frames)
    // The repair, when `repairable`: the file's first `header_bytes` bytes become `header`
    // (a placeholder), or the RIFF size at 4 and the data size at data_offset - 4 are set; then
    // the file is cut to `length`.
    bool repairable = false;
    const char* unrepairable = nullptr;  // why not, when it is not
    bool write_header = false;
    std::uint32_t riff_size = 0;
    std::uint32_t data_size = 0;
    std::uint64_t length = 0;
};

// Reads `size` bytes at `offset` of the file into `out`; false if it cannot.
struct WavBytesAt {
    bool (*read)(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size);
    void* context;
};

// `bytes` are the file's first `size` bytes (at least up to the first sample), `file_size` its
// length; `more` reads chunk headers beyond them (none: only `bytes` are looked at).
WavDiagnosis DiagnoseWav(const std::uint8_t* bytes, std::size_t size, std::uint64_t file_size,
                         const WavBytesAt* more = nullptr);

}  // namespace tamberlyn
