// What state a WAV file is in, judged from the file itself, and what would make it readable
// without losing a sample. Pure: the file is read through a WavSource.
//
// An unfinished recording is told from other bytes by what the recorder writes: 44 zero bytes
// (or the header of an earlier recording's stop) and then samples. Zeros that go on past the
// 44 bytes could as well be a recording that began in digital silence as any file that begins
// with zeros: such a file is left alone, as is anything else that cannot be told apart.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wav/wav_reader.h"
#include "wav/wav_sizes.h"

namespace tamberlyn {

enum class WavState {
    kFinished,             // the sizes describe the file
    kUnfinishedRecording,  // a recording of this library that was never stopped
    kUnknownLength,        // the data size is unknown (0xFFFFFFFF): a stream's, or unfinished
    kSizesDisagree,        // the RIFF size, the data size or both disagree with the file
    kUndecidable,          // a WAV head, but what follows cannot be told apart: see `why`
    kNotWav,               // no WAV head could be read: `head` says why
};

// What an RF64 copy of a RIFF file adds after "WAVE": the "ds64" chunk.
constexpr std::uint64_t kRf64HeadGrowth = 36;

struct WavDiagnosis {
    WavState state = WavState::kNotWav;
    WavHead head = WavHead::kNotRiff;
    SystemError error;             // a read that failed
    WavDescription wav;            // the format (the recorder's, for its all-zero placeholder)
    bool placeholder = false;      // the recorder's all-zero placeholder
    std::uint64_t data_bytes = 0;  // the sample bytes the file holds
    // Where the RIFF form ends: the file's end, or before bytes appended after it (an ID3 tag
    // that a tagger added), which are outside the WAV and belong to no chunk.
    std::uint64_t form_end = 0;
    bool riff_wrong = false;  // which sizes disagree, for kSizesDisagree
    bool data_wrong = false;
    const char* why = nullptr;  // for kUndecidable, and for a file that cannot be repaired

    // The repair, when `repairable`: the file's first `header_bytes` bytes become `header`
    // (the recorder's header, for a recording) or take the size fields of `sizes`; then the
    // file is cut to `length`, shorter by at most the bytes of an incomplete last sample.
    bool repairable = false;
    bool to_rf64 = false;  // the sizes pass 4 GiB: the file is made RF64
    // With no room reserved for RF64's sizes: the file is written again beside itself, a
    // "ds64" chunk of kRf64HeadGrowth bytes after its form's head, `sizes` lying where they
    // fall in that copy, and renamed over it.
    bool rewrite = false;
    std::uint8_t header[44] = {};
    std::size_t header_bytes = 0;
    WavSizePatch sizes;
    std::uint64_t length = 0;
};

WavDiagnosis DiagnoseWav(const WavSource& source, std::uint64_t file_size);

}  // namespace tamberlyn
