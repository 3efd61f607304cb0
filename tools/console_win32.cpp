// The console on Windows: UTF-8 text shown as UTF-16 on a console and left as UTF-8 when
// redirected, arguments as UTF-16, Ctrl-C through the console's control handler.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "console.h"
#include "console_platform.h"

namespace tamberlyn_cli {

namespace {

HANDLE g_in = nullptr;
HANDLE g_out = nullptr;

HANDLE Usable(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    switch (TakeInterrupt()) {
        case Interrupt::kCounted:
            return TRUE;
        case Interrupt::kEndNow:
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

// Opened to be shared for deletion: it goes when the process lets go of it.
void RemoveNow(const NativeChar* path) { DeleteFileW(path); }

void StartConsole() {
    g_in = Usable(GetStdHandle(STD_INPUT_HANDLE));
    g_out = Usable(GetStdHandle(STD_OUTPUT_HANDLE));
    SetConsoleCtrlHandler(OnControl, TRUE);
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

int InterruptStatus() { return 130; }

}  // namespace tamberlyn_cli
