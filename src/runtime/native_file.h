// The library's own file layer: unbuffered whole-buffer reads and writes on native handles.
// Callers buffer in fixed arrays of their own, so no stream buffer is ever allocated.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tamberlyn {

using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// Opens an existing file for binary reading ("rb"). A directory is not a file: kNoFile.
FileHandle OpenFileForReading(const char16_t* path);

enum class CreateResult { kCreated, kFailed, kSameAsInput };

// Creates or truncates a file for binary writing ("wb"). When `input` is an open handle and `path`
// names the same file (any spelling, link or symlink), the file is left untouched and
// kSameAsInput returned.
CreateResult CreateFileForWriting(const char16_t* path, FileHandle input, FileHandle& out);

// Reads until `size` bytes are in or the file ends. Returns the bytes read, or -1 on a read error.
std::ptrdiff_t ReadFile(FileHandle file, void* data, std::size_t size);

// Writes all `size` bytes; false on any failure, including a short write.
bool WriteFile(FileHandle file, const void* data, std::size_t size);

// Moves the file position to the start of the file.
bool RewindFile(FileHandle file);

// Cuts a regular file to `size` bytes; other files (devices, pipes) are left as they are.
bool TruncateFile(FileHandle file, std::uint64_t size);

// Waits until the file's data and size are on stable storage; false on failure.
bool SyncFile(FileHandle file);

// Closes the handle; false when the close reported a failure (e.g. a deferred write error).
bool CloseFile(FileHandle file);

}  // namespace tamberlyn
