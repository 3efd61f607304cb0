// The library's silence removal between two open files: the first 44 bytes as read, then the
// samples by the library's rule (a quiet run cut to its first 799 samples).
#pragma once

#include "runtime/native_file.h"

namespace tamberlyn {

// Copies the header as read (zeros where the input ends early), then the filtered samples.
// Stops at the first failed read or write, and says which.
SystemError CopyWithLibraryRule(FileHandle input, FileHandle output);

}  // namespace tamberlyn
