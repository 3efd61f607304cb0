// A file `info` or `repair` judges: opened for reading only, whatever will be done to it after.
#pragma once

#include "console.h"
#include "wav_input.h"

namespace tamberlyn_cli {

// Opens a regular file and diagnoses it. Prints one line naming the file and the reason, and
// returns false, when it cannot be opened or read or is not a regular file.
bool InspectFile(const NativeString& name, WavInput& file);

}  // namespace tamberlyn_cli
