// The console on Windows: UTF-8 text shown as UTF-16 on a console and left as UTF-8 when
// redirected, arguments as UTF-16, Ctrl-C through the console's control handler.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "console.h"

namespace tamberlyn_cli {

namespace {

HANDLE g_in = nullptr;
HANDLE g_out = nullptr;

// Files to remove on an interrupt: fixed storage, read by the control handler's thread.
constexpr int kRemovable = 4;
constexpr int kMaxName = 32768;
wchar_t g_remove[kRemovable][kMaxName];
volatile LONG g_remove_set[kRemovable];

volatile std::sig_atomic_t* g_count = nullptr;

HANDLE Usable(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

void RemoveAll() {
    for (int i = 0; i < kRemovable; ++i) {
        // Opened to be shared for deletion: it goes when the process lets go of it.
        if (g_remove_set[i]) DeleteFileW(g_remove[i]);
    }
}

BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    if (g_count != nullptr) {
        // The first asks for an orderly stop; a second one is not kept waiting.
        if (*g_count == 0) {
            *g_count = 1;
            return TRUE;
        }
        RemoveAll();
        ExitProcess(130);
    }
    RemoveAll();
    return FALSE;  // the default: the process ends
}

void Print(DWORD which, const char* format, va_list args) {
    char text[4096];
    const int n = std::vsnprintf(text, sizeof text, format, args);
    if (n <= 0) return;
    const DWORD bytes = static_cast<DWORD>(n < static_cast<int>(sizeof text) ? n : sizeof text - 1);
    const HANDLE h = GetStdHandle(which);
    DWORD mode, written;
    if (GetConsoleMode(h, &mode)) {
        wchar_t wide[4096];
        const int w = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(bytes), wide, 4096);
        WriteConsoleW(h, wide, static_cast<DWORD>(w), &written, nullptr);
    } else {
        WriteFile(h, text, bytes, &written, nullptr);
    }
}

}  // namespace

void StartConsole() {
    g_in = Usable(GetStdHandle(STD_INPUT_HANDLE));
    g_out = Usable(GetStdHandle(STD_OUTPUT_HANDLE));
    SetConsoleCtrlHandler(OnControl, TRUE);
}

void PrintOut(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Print(STD_OUTPUT_HANDLE, format, args);
    va_end(args);
}

void PrintErr(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Print(STD_ERROR_HANDLE, format, args);
    va_end(args);
}

bool ErrorIsTerminal() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

FileHandle StandardInput() {
    return g_in != nullptr ? reinterpret_cast<FileHandle>(g_in) : tamberlyn::kNoFile;
}

FileHandle StandardOutput() {
    return g_out != nullptr ? reinterpret_cast<FileHandle>(g_out) : tamberlyn::kNoFile;
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

bool ToLibraryPath(const NativeString& name, std::u16string& out) {
    out.assign(name.begin(), name.end());
    return true;
}

void RemoveOnInterrupt(const NativeString& path) {
    for (int i = 0; i < kRemovable; ++i) {
        if (g_remove_set[i] || path.size() >= kMaxName) continue;
        std::memcpy(g_remove[i], path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        g_remove_set[i] = 1;
        return;
    }
}

void ForgetOnInterrupt(const NativeString& path) {
    for (int i = 0; i < kRemovable; ++i) {
        if (g_remove_set[i] && path == g_remove[i]) g_remove_set[i] = 0;
    }
}

void CountInterrupts(volatile std::sig_atomic_t* count) { g_count = count; }

int InterruptStatus() { return 130; }

}  // namespace tamberlyn_cli
