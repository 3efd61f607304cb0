// Reading a WAV file's state for `info` and `repair`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wav/wav_diagnosis.h"

namespace tamberlyn_cli {

struct InspectedFile {
    int fd = -1;
    std::uint64_t size = 0;
    std::vector<std::uint8_t> head;  // the file's first bytes
    tamberlyn::WavDiagnosis diagnosis;
};

// Opens a regular file (read-write for a repair) and diagnoses it. Prints one line naming the
// file and the reason, and returns false, when it cannot be opened or read.
bool InspectFile(const char* path, bool for_writing, InspectedFile& file);

void CloseInspected(InspectedFile& file);

}  // namespace tamberlyn_cli
