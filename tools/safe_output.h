// Where the program's output goes: standard output, a device or FIFO written directly, or a
// regular file written beside its target and renamed over it only when complete, so that an
// interrupted or failed run leaves an existing file as it was.
#pragma once

#include "console.h"
#include "runtime/native_file.h"

namespace tamberlyn_cli {

struct Output {
    NativeString name;  // as the user gave it, for messages
    FileHandle file = tamberlyn::kNoFile;
    bool direct = false;    // standard output, a device or a FIFO: written in place
    bool seekable = false;  // sizes can be set at the end
    tamberlyn::Replacement replacement;
};

// Opens `name` ("-" for standard output) for writing. Refuses a folder, an existing file it may
// not write (read-only) and a symbolic link to nothing. On failure prints one line naming the
// file and the reason and returns false.
bool OpenOutput(const NativeString& name, Output& out);

// Makes the output final: a file that replaces another reaches stable storage first, is
// renamed over its target, and the folder is flushed. Prints the reason and returns false on
// failure, after removing the new file; the target is then as it was.
bool CommitOutput(Output& out);

// Gives up: closes the output and removes a new file. The target is left as it was.
void AbandonOutput(Output& out);

}  // namespace tamberlyn_cli
