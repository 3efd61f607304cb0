// The library's and the program's one file layer: unbuffered reads and writes on native handles,
// every failure with the system's own error. Callers buffer in fixed arrays of their own, so no
// stream buffer is ever allocated.
//
// The operations on an open file go through a table (FileOps) that tests replace to make a
// write come up short, a sync or a close fail, on every platform alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/system_error.h"

namespace tamberlyn {

using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// File names as the platform's calls take them: bytes on POSIX, UTF-16 on Windows.
#if defined(_WIN32)
using NativeChar = wchar_t;
#else
using NativeChar = char;
#endif
using NativeString = std::basic_string<NativeChar>;

struct FileOps {
    // At the file's position; `got` is 0 at its end. May read less than asked.
    SystemError (*read)(FileHandle file, void* data, std::size_t size, std::size_t& got);
    SystemError (*read_at)(FileHandle file, std::uint64_t offset, void* data, std::size_t size,
                           std::size_t& got);
    // May write less than asked.
    SystemError (*write)(FileHandle file, const void* data, std::size_t size, std::size_t& put);
    SystemError (*write_at)(FileHandle file, std::uint64_t offset, const void* data,
                            std::size_t size, std::size_t& put);
    SystemError (*seek)(FileHandle file, std::uint64_t offset);
    // Cuts a regular file to `size` bytes; leaves other files (devices, pipes) as they are.
    SystemError (*truncate)(FileHandle file, std::uint64_t size);
    // The file's data and size on stable storage.
    SystemError (*sync)(FileHandle file);
    // Releases the handle whatever the result; a failure is a deferred write error.
    SystemError (*close)(FileHandle file);
    // Puts the complete file `temp` in the place of `target` (which exists when `replaces`),
    // durably. `target_gone` is set when a failure has already removed `target`.
    SystemError (*replace)(const NativeChar* target, const NativeChar* temp, bool replaces,
                           bool& target_gone);
};

const FileOps& PlatformFileOps();

// Test seam: every operation on open files goes to `ops` from now on; nullptr restores the
// platform's.
void ReplaceFileOpsForTesting(const FileOps* ops);

// Reads until `size` bytes are in or the file ends; `got` says how many.
SystemError ReadFull(FileHandle file, void* data, std::size_t size, std::size_t& got);
SystemError ReadFullAt(FileHandle file, std::uint64_t offset, void* data, std::size_t size,
                       std::size_t& got);
// Writes all `size` bytes; a write that makes no progress is a full device.
SystemError WriteAll(FileHandle file, const void* data, std::size_t size);
SystemError WriteAllAt(FileHandle file, std::uint64_t offset, const void* data, std::size_t size);
SystemError SeekFile(FileHandle file, std::uint64_t offset);
// Where the next data at or after `offset` lies: past a hole of a sparse file, or the file's end
// when only a hole follows. `offset` itself where the system does not say.
std::uint64_t NextDataAt(FileHandle file, std::uint64_t offset);
SystemError TruncateFile(FileHandle file, std::uint64_t size);
SystemError SyncFile(FileHandle file);
SystemError CloseFile(FileHandle file);
// The table's `replace`, for CommitReplacement.
SystemError ReplaceInFolder(const NativeChar* target, const NativeChar* temp, bool replaces,
                            bool& target_gone);

enum class FileKind { kRegular, kFolder, kPipe, kDevice, kOther };

struct FileInfo {
    FileKind kind = FileKind::kOther;
    std::uint64_t size = 0;
    bool identified = false;   // `volume` and `index` are known
    std::uint64_t volume = 0;  // with `index`, names the file whatever path reaches it
    std::uint64_t index = 0;
    bool writable = true;  // the permissions let the owner write it
    // POSIX only: what a file that replaces this one takes over.
    unsigned mode = 0;
    unsigned owner = 0;
    unsigned group = 0;
};

SystemError InfoOf(FileHandle file, FileInfo& info);
// Through symbolic links, to what they name.
SystemError InfoAt(const NativeChar* path, FileInfo& info);
inline bool SameFile(const FileInfo& a, const FileInfo& b) {
    return a.identified && b.identified && a.volume == b.volume && a.index == b.index;
}
// A symbolic link whose target does not exist.
bool IsDanglingLink(const NativeChar* path);

// Opens an existing file for reading. A folder is refused (IsFolderError).
SystemError OpenToRead(const NativeChar* path, FileHandle& out);
// Opens an existing regular file for reading and writing, in place.
SystemError OpenToUpdate(const NativeChar* path, FileHandle& out);
// Creates a file that must not exist yet.
SystemError CreateNewFile(const NativeChar* path, FileHandle& out);
// Opens a file for writing without creating it (a device, a FIFO), never blocking in the open.
SystemError OpenToWrite(const NativeChar* path, FileHandle& out);
SystemError RemoveFile(const NativeChar* path);

// A new file written beside `target`, in its folder, that takes `target`'s place only when it is
// complete (the way git's lock files and sed -i work). An existing `target` keeps its place,
// whole, until then, and what replaces it takes over its permissions (and owner, where allowed).
// Through a symbolic link the file it names is replaced and the link stays.
struct Replacement {
    FileHandle file = kNoFile;
    NativeString target;     // the file replaced: a link's target, resolved
    NativeString temp;       // the new file's name while it has one
    bool anonymous = false;  // no name yet (Linux O_TMPFILE): nothing to remove after a crash
    bool replaces = false;   // `target` exists
    // After a failed commit: the new file took the target's place, but its folder could not be
    // synced (a power cut may undo it); or the target is gone and `temp` holds the only copy,
    // which nothing removes.
    bool in_place = false;
    bool target_gone = false;
};

// With `named`, the new file has a name from the start, for whoever opens it by name.
SystemError CreateReplacement(const NativeChar* target, Replacement& out, bool named = false);
// Closes the new file (if still open) and names it `target`: with `durable`, its data reaches
// stable storage first and the folder's entry after. On a failure `target` is as it was;
// DiscardReplacement.
SystemError CommitReplacement(Replacement& r, bool durable);
// Closes (if still open) and removes the new file; `target` stays as it was. A new file that is
// the only copy left (`target_gone`) stays.
void DiscardReplacement(Replacement& r);
// A name for the new file beside `target` that no other run uses: ".NAME<suffix>".
NativeString HiddenNameBeside(const NativeString& target, const NativeString& suffix);
// The folder of `path`, for a sync after a rename in it; a no-op where folders have none.
SystemError SyncFolderOf(const NativeString& path);
// Through symbolic links to the file they name, as the path for a replacement.
NativeString ResolvedPath(const NativeChar* path);

// The exports' opens, by the library's UTF-16 paths (see native_path.h for what a path may be).

// Opens an existing file for binary reading ("rb"). A folder is not a file.
SystemError OpenFileForReading(const char16_t* path, FileHandle& out);

enum class CreateResult { kCreated, kFailed, kSameAsInput };

// Creates or truncates a file for binary writing ("wb"). When `input` is an open handle and `path`
// names the same file (any spelling, link or symlink), the file is left untouched and
// kSameAsInput returned. With `refuse_pipes` a FIFO or a socket is refused, and the open never
// waits for a reader. `created`, if given, says whether the file did not exist before.
CreateResult CreateFileForWriting(const char16_t* path, FileHandle input, bool refuse_pipes,
                                  FileHandle& out, SystemError& error, bool* created = nullptr);

// A recording in progress holds a lock on its file, which other processes can see: flock on
// POSIX, a byte range far past any data on Windows. Both go with the handle.
SystemError LockForRecording(FileHandle file);
// Whether another open file description holds the recording lock on `file`.
bool BeingRecorded(FileHandle file);

// Removes the file at a library path.
SystemError RemoveFile(const char16_t* path);
// Syncs the folder of the file at a library path: a file just created survives a power cut.
SystemError SyncFolderOf(const char16_t* path);

}  // namespace tamberlyn
