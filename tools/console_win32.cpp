// The console on Windows: UTF-8 text shown as UTF-16 on a console and left as UTF-8 when
// redirected, arguments as UTF-16, Ctrl-C through the console's control handler.
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "console.h"
#include "console_platform.h"

namespace tamberlyn_cli {

namespace {

HANDLE g_in = nullptr;
HANDLE g_out = nullptr;
// Set once the work an interrupt asked to stop is finished (a recording's header written).
HANDLE g_finished = nullptr;
bool g_escapes = false;  // the console on standard error takes VT escapes
// Windows ends a process this long after a closing console's handler was called.
constexpr DWORD kCloseGraceMilliseconds = 4500;
// Where standard input and output stood when the program started: offsets count from there.
std::uint64_t g_in_base = 0;
std::uint64_t g_out_base = 0;

HANDLE Usable(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

bool IsDisk(HANDLE h, std::uint64_t& position) {
    LARGE_INTEGER zero = {}, at;
    if (GetFileType(h) != FILE_TYPE_DISK || !SetFilePointerEx(h, zero, &at, FILE_CURRENT)) {
        return false;
    }
    position = static_cast<std::uint64_t>(at.QuadPart);
    return true;
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED o = {};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

DWORD Chunk(std::size_t size) { return size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size); }

// A pipe whose writer has gone is the end of the stream, not a failure.
int ReadResult(BOOL ok, DWORD got, std::size_t* done) {
    *done = got;
    if (ok) return 0;
    const DWORD e = GetLastError();
    return e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF ? 0 : static_cast<int>(e);
}

int TAMBERLYN_CALL ReadIn(void*, void* data, std::size_t size, std::size_t* done) {
    DWORD got = 0;
    const BOOL ok = ReadFile(g_in, data, Chunk(size), &got, nullptr);
    return ReadResult(ok, got, done);
}

int TAMBERLYN_CALL ReadInAt(void*, std::uint64_t offset, void* data, std::size_t size,
                            std::size_t* done) {
    OVERLAPPED o = At(g_in_base + offset);
    DWORD got = 0;
    const BOOL ok = ReadFile(g_in, data, Chunk(size), &got, &o);
    return ReadResult(ok, got, done);
}

int WriteOut(const void* data, std::size_t size, const std::uint64_t* offset) {
    const auto* bytes = static_cast<const char*>(data);
    std::uint64_t at = offset != nullptr ? g_out_base + *offset : 0;
    while (size > 0) {
        DWORD put = 0;
        OVERLAPPED o = At(at);
        if (!WriteFile(g_out, bytes, Chunk(size), &put, offset != nullptr ? &o : nullptr)) {
            return static_cast<int>(GetLastError());
        }
        if (put == 0) return ERROR_DISK_FULL;
        bytes += put;
        size -= put;
        at += put;
    }
    return 0;
}

int TAMBERLYN_CALL WriteOutOn(void*, const void* data, std::size_t size) {
    return WriteOut(data, size, nullptr);
}

int TAMBERLYN_CALL WriteOutAt(void*, std::uint64_t offset, const void* data, std::size_t size) {
    return WriteOut(data, size, &offset);
}

bool IdentityOf(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) {
    return h != nullptr && GetFileInformationByHandle(h, &info) != 0;
}

BOOL WINAPI OnControl(DWORD event) {
    const bool closing =
        event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && !closing) return FALSE;
    switch (TakeInterrupt()) {
        case Interrupt::kCounted:
            // The console is going: Windows ends the process when this returns, so the work
            // finishes first, within the time Windows gives.
            if (closing) WaitForSingleObject(g_finished, kCloseGraceMilliseconds);
            return TRUE;
        case Interrupt::kEndNow:
            SayLastWords();
            ExitProcess(130);
        case Interrupt::kAsTheSystemWould:
            break;
    }
    return FALSE;  // the default: the process ends
}

}  // namespace

void PrintTo(bool error, const char* format, va_list args) {
    char text[4096];
    const int n = std::vsnprintf(text, sizeof text, format, args);
    if (n <= 0) return;
    const DWORD bytes = static_cast<DWORD>(n < static_cast<int>(sizeof text) ? n : sizeof text - 1);
    const HANDLE h = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode, written;
    if (GetConsoleMode(h, &mode)) {
        wchar_t wide[4096];
        const int w = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(bytes), wide, 4096);
        WriteConsoleW(h, wide, static_cast<DWORD>(w), &written, nullptr);
    } else {
        WriteFile(h, text, bytes, &written, nullptr);
    }
}

void StartConsole() {
    g_in = Usable(GetStdHandle(STD_INPUT_HANDLE));
    g_out = Usable(GetStdHandle(STD_OUTPUT_HANDLE));
    g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD mode;
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    g_escapes = GetConsoleMode(error, &mode) &&
                SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    SetConsoleCtrlHandler(OnControl, TRUE);
}

void InterruptedWorkDone() {
    if (g_finished != nullptr) SetEvent(g_finished);
}

bool ErrorTakesEscapes() { return g_escapes; }

int ErrorColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 80;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

void SayLastWords() {
    std::size_t size = 0;
    const char* words = LastWords(size);
    DWORD written;
    if (size > 0) {
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), words, static_cast<DWORD>(size), &written,
                  nullptr);
    }
}

bool ErrorIsTerminal() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool StandardInputStream(tamberlyn_stream& out) {
    out = tamberlyn_stream{};
    out.struct_size = sizeof out;
    if (g_in == nullptr) return false;
    out.read = ReadIn;
    LARGE_INTEGER size;
    if (IsDisk(g_in, g_in_base) && GetFileSizeEx(g_in, &size) &&
        static_cast<std::uint64_t>(size.QuadPart) >= g_in_base) {
        out.read_at = ReadInAt;
        out.size = static_cast<std::uint64_t>(size.QuadPart) - g_in_base;
    }
    return true;
}

bool StandardOutputStream(tamberlyn_stream& out) {
    out = tamberlyn_stream{};
    out.struct_size = sizeof out;
    if (g_out == nullptr) return false;
    out.write = WriteOutOn;
    if (IsDisk(g_out, g_out_base)) out.write_at = WriteOutAt;
    return true;
}

// The identity of the file `path` names, without opening it for more than its attributes.
bool IdentityAt(const NativeString& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE h =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool known = IdentityOf(h, info);
    CloseHandle(h);
    return known;
}

bool Same(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool StandardStreamIs(int which, const NativeString& path) {
    BY_HANDLE_FILE_INFORMATION mine, theirs;
    return IdentityOf(which == 0 ? g_in : g_out, mine) && IdentityAt(path, theirs) &&
           Same(mine, theirs);
}

bool SamePath(const NativeString& a, const NativeString& b) {
    BY_HANDLE_FILE_INFORMATION one, other;
    return IdentityAt(a, one) && IdentityAt(b, other) && Same(one, other);
}

std::string Utf8(const NativeString& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

int InterruptStatus() { return 130; }

}  // namespace tamberlyn_cli
