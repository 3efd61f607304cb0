// Where an operation's output goes: a caller's stream, a device or FIFO written directly, or a
// regular file written beside its target and renamed over it only when complete, so that an
// interrupted or failed run leaves an existing file as it was.
#pragma once

#include "runtime/data_stream.h"
#include "runtime/native_file.h"
#include "tamberlyn_engine.h"

namespace tamberlyn {

struct Output {
    int role = TAMBERLYN_FILE_OUTPUT;  // which file it is, for the failures it reports
    FileHandle file = kNoFile;
    const tamberlyn_stream* stream = nullptr;  // the caller's, written through
    bool direct = false;                       // a stream, a device or a FIFO: written in place
    bool seekable = false;                     // sizes can be set at the end
    Replacement replacement;
    int slot = -1;  // where its temporary name waits for tamberlyn_discard_partial_files
};

// Opens `path` for writing. Refuses a folder, an existing file it may not write (read-only) and
// a symbolic link to nothing. TAMBERLYN_OK, or the failure (recorded).
tamberlyn_status OpenOutputFile(const NativeChar* path, int role, Output& out);
tamberlyn_status OpenOutputStream(const tamberlyn_stream* stream, int role, Output& out);

DataSink SinkOf(Output& out);
// At `offset` from the output's start; only for a seekable output.
SystemError WriteOutputAt(Output& out, std::uint64_t offset, const void* data, std::size_t size);

// Makes the output final: a file that replaces another reaches stable storage first, is renamed
// over its target, and the folder is flushed. On a failure the new file is removed and the
// target is as it was.
tamberlyn_status CommitOutput(Output& out);

// Gives up: closes the output and removes a new file. The target is left as it was.
void AbandonOutput(Output& out);

// Names written beside their targets, for removal at an interrupt (async-signal-safe).
int RememberPartialFile(const NativeString& path);
void ForgetPartialFile(int slot);
void DiscardPartialFiles();

}  // namespace tamberlyn
