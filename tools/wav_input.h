// Opening a WAV file given on the command line and reading its head.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wav/wav_reader.h"

namespace tamberlyn_cli {

struct WavInput {
    std::string shown;  // the name as the user gave it
    int fd = -1;
    bool seekable = false;
    std::uint64_t file_size = tamberlyn::kUnknownFileSize;
    std::vector<std::uint8_t> head;  // the file's bytes up to the first sample
    tamberlyn::WavDescription wav;
    tamberlyn::WavDataExtent data;
};

// Opens `path` ("-" for standard input) and reads its head. Prints one line naming the file and
// the reason, and returns false, when it cannot be opened or read or is no WAV file at all.
bool OpenWavInput(const char* path, WavInput& in);

// Refuses (with one line) anything but 16-bit PCM of 1 to `max_channels` channels.
bool RequirePcm16(const WavInput& in, int max_channels);

void CloseWavInput(WavInput& in);

// "16-bit PCM, 8000 Hz, 1 channel"
std::string DescribeFormat(const tamberlyn::WavDescription& wav);

// Seconds of `bytes` of samples in that format (whole frames).
double SecondsOf(const tamberlyn::WavDescription& wav, std::uint64_t bytes);

}  // namespace tamberlyn_cli
