// Opening a WAV file named on the command line and judging what it is, through the library's one
// WAV reader: the same walk for `silence`, `info` and `repair`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console.h"
#include "wav/wav_diagnosis.h"
#include "wav/wav_reader.h"

namespace tamberlyn_cli {

struct WavInput {
    NativeString name;  // as the user gave it
    FileHandle file = tamberlyn::kNoFile;
    bool owned = false;     // opened here (not standard input)
    bool seekable = false;  // a regular file, read at offsets
    std::uint64_t file_size = 0;
    tamberlyn::FileInfo info;
    // A file's state; for a stream only its head is known (state kUnknownLength or kFinished).
    tamberlyn::WavDiagnosis diagnosis;
    // A stream's bytes up to the first sample, read on the way there.
    std::vector<std::uint8_t> head;
    std::uint64_t stream_read = 0;  // bytes taken from the stream
};

// Opens `name` ("-" for standard input) for reading and judges it. Prints one line naming the
// file and the reason, and returns false, when it cannot be opened or read, or is a folder.
bool OpenWavInput(const NativeString& name, WavInput& in);

// The bytes of a stream's head, or of a file at any offset: through this every reader goes.
tamberlyn::WavSource SourceOf(WavInput& in);

void CloseWavInput(WavInput& in);

// "16-bit PCM, 8000 Hz, 1 channel"
std::string DescribeFormat(const tamberlyn::WavDescription& wav);

// Seconds of `bytes` of samples in that format (whole frames).
double SecondsOf(const tamberlyn::WavDescription& wav, std::uint64_t bytes);

// One line, when a head could not be read: what it is instead.
void RefuseHead(const WavInput& in);

}  // namespace tamberlyn_cli
