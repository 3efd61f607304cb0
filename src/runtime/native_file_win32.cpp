// Files on Windows, opened by their wide (UTF-16) names: every path reaches the file system
// unchanged, none is squeezed through the ANSI code page.
#include <windows.h>

#include <cstdio>

#include "runtime/native_file.h"
#include "runtime/native_path.h"

namespace tamberlyn {

namespace {

constexpr DWORD kMaxChunk = 0x40000000;  // one ReadFile or WriteFile at most
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle FromHandle(HANDLE h) { return reinterpret_cast<FileHandle>(h); }
SystemError LastError() { return SystemError{static_cast<int>(GetLastError())}; }

const wchar_t* Wide(const char16_t* path) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide strings");
    return reinterpret_cast<const wchar_t*>(path);
}

DWORD Chunk(std::size_t size) { return static_cast<DWORD>(size > kMaxChunk ? kMaxChunk : size); }

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED o = {};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

SystemError Read(FileHandle file, void* data, std::size_t size, std::size_t& got) {
    DWORD n = 0;
    got = 0;
    if (!::ReadFile(Handle(file), data, Chunk(size), &n, nullptr)) {
        const DWORD e = GetLastError();
        // A pipe whose writer is gone, or a file's end: the end of the input.
        if (e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF) return {};
        return SystemError{static_cast<int>(e)};
    }
    got = n;
    return {};
}

SystemError ReadAt(FileHandle file, std::uint64_t offset, void* data, std::size_t size,
                   std::size_t& got) {
    OVERLAPPED o = At(offset);
    DWORD n = 0;
    got = 0;
    if (!::ReadFile(Handle(file), data, Chunk(size), &n, &o)) {
        const DWORD e = GetLastError();
        if (e == ERROR_HANDLE_EOF) return {};
        return SystemError{static_cast<int>(e)};
    }
    got = n;
    return {};
}

SystemError Write(FileHandle file, const void* data, std::size_t size, std::size_t& put) {
    DWORD n = 0;
    put = 0;
    if (!::WriteFile(Handle(file), data, Chunk(size), &n, nullptr)) return LastError();
    put = n;
    return {};
}

SystemError WriteAt(FileHandle file, std::uint64_t offset, const void* data, std::size_t size,
                    std::size_t& put) {
    OVERLAPPED o = At(offset);
    DWORD n = 0;
    put = 0;
    if (!::WriteFile(Handle(file), data, Chunk(size), &n, &o)) return LastError();
    put = n;
    return {};
}

SystemError Seek(FileHandle file, std::uint64_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(Handle(file), at, nullptr, FILE_BEGIN) ? SystemError{} : LastError();
}

SystemError Truncate(FileHandle file, std::uint64_t size) {
    if (GetFileType(Handle(file)) != FILE_TYPE_DISK) return {};
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(Handle(file), at, nullptr, FILE_BEGIN) || !SetEndOfFile(Handle(file))) {
        return LastError();
    }
    return {};
}

SystemError Sync(FileHandle file) {
    return FlushFileBuffers(Handle(file)) ? SystemError{} : LastError();
}

SystemError Move(const NativeChar* target, const NativeChar* temp) {
    return MoveFileExW(temp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? SystemError{}
               : LastError();
}

// ReplaceFileW keeps the replaced file's attributes and permissions for the new one.
SystemError Replace(const NativeChar* target, const NativeChar* temp, bool replaces, bool&) {
    if (!replaces) return Move(target, temp);
    return ReplaceFileW(target, temp, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
               ? SystemError{}
               : LastError();
}

SystemError Close(FileHandle file) {
    return CloseHandle(Handle(file)) ? SystemError{} : LastError();
}

constexpr FileOps kWin32Ops = {Read, ReadAt, Write, WriteAt, Seek, Truncate, Sync, Close, Replace};

SystemError Open(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                 FileHandle& out) {
    out = kNoFile;
    const HANDLE h = CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    out = FromHandle(h);
    return {};
}

bool IsFolder(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

const FileOps& PlatformFileOps() { return kWin32Ops; }

SystemError LastSystemError() { return LastError(); }
SystemError NoSpaceError() { return SystemError{ERROR_DISK_FULL}; }
SystemError IsFolderError() { return SystemError{ERROR_DIRECTORY}; }

void SystemErrorText(SystemError error, char* text, std::size_t size) {
    if (size == 0) return;
    wchar_t wide[512];
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(error.code), 0, wide,
                                   sizeof wide / sizeof wide[0], nullptr);
    const int m = n == 0 ? 0
                         : WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(n), text,
                                               static_cast<int>(size) - 1, nullptr, nullptr);
    if (m <= 0) {
        std::snprintf(text, size, "Windows error %d", error.code);
        return;
    }
    // FormatMessage ends its text with a line break.
    std::size_t end = static_cast<std::size_t>(m);
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r' || text[end - 1] == ' ')) {
        --end;
    }
    text[end] = '\0';
}

SystemError InfoOf(FileHandle file, FileInfo& info) {
    info = FileInfo{};
    const DWORD type = GetFileType(Handle(file));
    if (type == FILE_TYPE_PIPE) {
        info.kind = FileKind::kPipe;
        return {};
    }
    if (type == FILE_TYPE_CHAR) {
        info.kind = FileKind::kDevice;
        return {};
    }
    BY_HANDLE_FILE_INFORMATION by;
    if (!GetFileInformationByHandle(Handle(file), &by)) {
        // A file that says no more than its type and size (Wine's redirected standard streams).
        LARGE_INTEGER size;
        if (type != FILE_TYPE_DISK || !GetFileSizeEx(Handle(file), &size)) return LastError();
        info.kind = FileKind::kRegular;
        info.size = static_cast<std::uint64_t>(size.QuadPart);
        return {};
    }
    info.identified = true;
    info.kind =
        (by.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kFolder : FileKind::kRegular;
    info.size = (static_cast<std::uint64_t>(by.nFileSizeHigh) << 32) | by.nFileSizeLow;
    info.volume = by.dwVolumeSerialNumber;
    info.index = (static_cast<std::uint64_t>(by.nFileIndexHigh) << 32) | by.nFileIndexLow;
    info.writable = !(by.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    return {};
}

SystemError InfoAt(const NativeChar* path, FileInfo& info) {
    FileHandle file;
    // Backup semantics open folders too; no access is asked for, only attributes.
    if (const SystemError e = Open(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, file)) {
        return e;
    }
    const SystemError e = InfoOf(file, info);
    CloseHandle(Handle(file));
    return e;
}

bool IsDanglingLink(const NativeChar* path) {
    const DWORD attributes = GetFileAttributesW(path);
    FileInfo info;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           InfoAt(path, info);
}

SystemError OpenToRead(const NativeChar* path, FileHandle& out) {
    out = kNoFile;
    if (IsFolder(path)) return IsFolderError();
    return Open(path, GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, out);
}

SystemError OpenToUpdate(const NativeChar* path, FileHandle& out) {
    return Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING,
                FILE_ATTRIBUTE_NORMAL, out);
}

SystemError CreateNewFile(const NativeChar* path, FileHandle& out) {
    return Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_NEW,
                FILE_ATTRIBUTE_NORMAL, out);
}

SystemError OpenToWrite(const NativeChar* path, FileHandle& out) {
    return Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                FILE_ATTRIBUTE_NORMAL, out);
}

SystemError RemoveFile(const NativeChar* path) {
    return DeleteFileW(path) ? SystemError{} : LastError();
}

NativeString ResolvedPath(const NativeChar* path) {
    wchar_t full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameW(path, sizeof full / sizeof full[0], full, nullptr);
    return n > 0 && n < sizeof full / sizeof full[0] ? NativeString(full) : NativeString(path);
}

SystemError CreateReplacement(const NativeChar* target, Replacement& out, bool) {
    out = Replacement{};
    FileInfo old;
    out.replaces = !InfoAt(target, old) && old.kind == FileKind::kRegular;
    // ReplaceFileW wants whole paths.
    out.target = ResolvedPath(target);
    SystemError error;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        wchar_t suffix[64];
        std::swprintf(suffix, sizeof suffix / sizeof suffix[0], L".tamberlyn-%lu-%u",
                      static_cast<unsigned long>(GetCurrentProcessId()), attempt);
        out.temp = HiddenNameBeside(out.target, suffix);
        // Shared for deletion: an interrupt may remove it while it is open.
        error =
            Open(out.temp.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                 FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, out.file);
        if (error.code != ERROR_FILE_EXISTS && error.code != ERROR_ALREADY_EXISTS) break;
    }
    if (error) out.temp.clear();
    return error;
}

SystemError CommitReplacement(Replacement& r, bool durable) {
    if (r.file != kNoFile) {
        if (durable) {
            if (const SystemError e = SyncFile(r.file)) return e;
        }
        const SystemError closed = CloseFile(r.file);
        r.file = kNoFile;
        if (closed) return closed;
    }
    SystemError e = ReplaceInFolder(r.target.c_str(), r.temp.c_str(), r.replaces, r.target_gone);
    if (e.code == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
        e.code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // ReplaceFileW could not rename the new file (a scanner holding it open) and has already
        // removed the old one: the new file is moved into place instead. If that fails too, it
        // is the only copy left, and stays.
        e = Move(r.target.c_str(), r.temp.c_str());
        r.target_gone = e && GetFileAttributesW(r.target.c_str()) == INVALID_FILE_ATTRIBUTES;
    }
    if (e) return e;
    // The new file was hidden while it was being written; what it replaced kept its own.
    if (!r.replaces) SetFileAttributesW(r.target.c_str(), FILE_ATTRIBUTE_NORMAL);
    r.temp.clear();
    return {};
}

void DiscardReplacement(Replacement& r) {
    if (r.file != kNoFile) CloseFile(r.file);
    r.file = kNoFile;
    if (!r.temp.empty() && !r.target_gone) DeleteFileW(r.temp.c_str());
    r.temp.clear();
}

SystemError SyncFolderOf(const NativeString&) {
    // MOVEFILE_WRITE_THROUGH has flushed the rename; folders have no flush of their own here.
    return {};
}

SystemError SyncFolderOf(const char16_t*) { return {}; }

namespace {

// The recording lock: one byte at the top of the range, where no data ever is.
OVERLAPPED LockRange() {
    OVERLAPPED o = {};
    o.Offset = 0xFFFFFFFEu;
    o.OffsetHigh = 0x7FFFFFFFu;
    return o;
}

}  // namespace

SystemError LockForRecording(FileHandle file) {
    OVERLAPPED o = LockRange();
    return LockFileEx(Handle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                      &o)
               ? SystemError{}
               : LastError();
}

bool BeingRecorded(FileHandle file) {
    OVERLAPPED o = LockRange();
    if (LockFileEx(Handle(file), LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &o)) {
        o = LockRange();
        UnlockFileEx(Handle(file), 0, 1, 0, &o);
        return false;
    }
    return GetLastError() == ERROR_LOCK_VIOLATION;
}

SystemError RemoveFile(const char16_t* path) {
    if (!IsUsableWidePath(path)) return SystemError{ERROR_INVALID_NAME};
    return RemoveFile(Wide(path));
}

SystemError OpenFileForReading(const char16_t* path, FileHandle& out) {
    out = kNoFile;
    if (!IsUsableWidePath(path)) return SystemError{ERROR_INVALID_NAME};
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened.
    return Open(Wide(path), GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, out);
}

CreateResult CreateFileForWriting(const char16_t* path, FileHandle input, bool refuse_pipes,
                                  FileHandle& out, SystemError& error, bool* created) {
    out = kNoFile;
    if (!IsUsableWidePath(path)) {
        error = SystemError{ERROR_INVALID_NAME};
        return CreateResult::kFailed;
    }
    // Opened without truncation so that a path naming the input can be refused before anything
    // of the input is lost. A named pipe without a reader fails at once (ERROR_PIPE_BUSY).
    HANDLE h = CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = LastError();
        return CreateResult::kFailed;
    }
    if (created != nullptr) *created = GetLastError() != ERROR_ALREADY_EXISTS;
    if (refuse_pipes && GetFileType(h) == FILE_TYPE_PIPE) {
        CloseHandle(h);
        error = SystemError{ERROR_BAD_PIPE};
        return CreateResult::kFailed;
    }
    BY_HANDLE_FILE_INFORMATION mine, theirs;
    if (input != kNoFile && GetFileInformationByHandle(h, &mine) &&
        GetFileInformationByHandle(Handle(input), &theirs) &&
        mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
        mine.nFileIndexHigh == theirs.nFileIndexHigh &&
        mine.nFileIndexLow == theirs.nFileIndexLow) {
        CloseHandle(h);
        return CreateResult::kSameAsInput;
    }
    if (GetFileType(h) == FILE_TYPE_DISK && !SetEndOfFile(h)) {
        error = LastError();
        CloseHandle(h);
        return CreateResult::kFailed;
    }
    out = FromHandle(h);
    return CreateResult::kCreated;
}

std::uint64_t NextDataAt(FileHandle, std::uint64_t offset) { return offset; }

}  // namespace tamberlyn
