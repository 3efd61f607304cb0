// Files on Windows are opened by their wide (UTF-16) names: every path reaches the file system
// unchanged, none is squeezed through the ANSI code page.
#include <windows.h>

#include "runtime/native_file.h"
#include "runtime/native_path.h"

namespace tamberlyn {

namespace {

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle FromHandle(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(h);
}

const wchar_t* WidePath(const char16_t* path) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide strings");
    return reinterpret_cast<const wchar_t*>(path);
}

}  // namespace

FileHandle OpenFileForReading(const char16_t* path) {
    if (!IsUsableWidePath(path)) return kNoFile;
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened.
    return FromHandle(CreateFileW(WidePath(path), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

CreateResult CreateFileForWriting(const char16_t* path, FileHandle input, FileHandle& out) {
    out = kNoFile;
    if (!IsUsableWidePath(path)) return CreateResult::kFailed;
    // Opened without truncation so that a path naming the input can be refused before anything
    // of the input is lost.
    HANDLE h = CreateFileW(WidePath(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return CreateResult::kFailed;

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
        CloseHandle(h);
        return CreateResult::kFailed;
    }
    out = FromHandle(h);
    return CreateResult::kCreated;
}

std::ptrdiff_t ReadFile(FileHandle file, void* data, std::size_t size) {
    auto* bytes = static_cast<char*>(data);
    std::size_t got = 0;
    while (got < size) {
        const DWORD want = static_cast<DWORD>(size - got > 0x40000000 ? 0x40000000 : size - got);
        DWORD n = 0;
        if (!::ReadFile(Handle(file), bytes + got, want, &n, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_HANDLE_EOF) break;
            return -1;
        }
        if (n == 0) break;
        got += n;
    }
    return static_cast<std::ptrdiff_t>(got);
}

bool WriteFile(FileHandle file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD want = static_cast<DWORD>(size > 0x40000000 ? 0x40000000 : size);
        DWORD n = 0;
        if (!::WriteFile(Handle(file), bytes, want, &n, nullptr) || n == 0) return false;
        bytes += n;
        size -= n;
    }
    return true;
}

bool RewindFile(FileHandle file) {
    LARGE_INTEGER zero = {};
    return SetFilePointerEx(Handle(file), zero, nullptr, FILE_BEGIN) != 0;
}

bool TruncateFile(FileHandle file, std::uint64_t size) {
    if (GetFileType(Handle(file)) != FILE_TYPE_DISK) return true;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(Handle(file), at, nullptr, FILE_BEGIN) && SetEndOfFile(Handle(file));
}

bool SyncFile(FileHandle file) { return FlushFileBuffers(Handle(file)) != 0; }

bool CloseFile(FileHandle file) { return CloseHandle(Handle(file)) != 0; }

}  // namespace tamberlyn
