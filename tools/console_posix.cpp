#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "wide_arg.h"

namespace tamberlyn_cli {

namespace {

bool g_stdin_open = true;
bool g_stdout_open = true;

// Files to remove on an interrupt: fixed storage, read by a signal handler.
constexpr int kRemovable = 4;
char g_remove[kRemovable][PATH_MAX];
volatile std::sig_atomic_t g_remove_set[kRemovable];

volatile std::sig_atomic_t* g_count = nullptr;
volatile std::sig_atomic_t g_last_signal = 0;

void RemoveAll() {
    for (int i = 0; i < kRemovable; ++i) {
        if (g_remove_set[i]) ::unlink(g_remove[i]);
    }
}

void OnSignal(int sig) {
    g_last_signal = sig;
    if (g_count != nullptr) {
        // The first asks for an orderly stop; a second one is not kept waiting.
        if (*g_count == 0) {
            *g_count = 1;
            return;
        }
        RemoveAll();
        ::_exit(128 + sig);
    }
    RemoveAll();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void Print(FILE* stream, const char* format, va_list args) {
    std::vfprintf(stream, format, args);
    std::fflush(stream);
}

}  // namespace

void StartConsole() {
    // A closed standard stream keeps its number: the first file opened would otherwise take it,
    // and "-" would name that file.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        if (fd == 0) g_stdin_open = false;
        if (fd == 1) g_stdout_open = false;
        const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(sig, &action, nullptr);
}

void PrintOut(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Print(stdout, format, args);
    va_end(args);
}

void PrintErr(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Print(stderr, format, args);
    va_end(args);
}

bool ErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

FileHandle StandardInput() { return g_stdin_open ? STDIN_FILENO : tamberlyn::kNoFile; }
FileHandle StandardOutput() { return g_stdout_open ? STDOUT_FILENO : tamberlyn::kNoFile; }

std::string Utf8(const NativeString& text) { return text; }

bool ToLibraryPath(const NativeString& name, std::u16string& out) { return Utf8ToUtf16(name, out); }

void RemoveOnInterrupt(const NativeString& path) {
    for (int i = 0; i < kRemovable; ++i) {
        if (g_remove_set[i] || path.size() >= PATH_MAX) continue;
        std::memcpy(g_remove[i], path.c_str(), path.size() + 1);
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

int InterruptStatus() { return 128 + (g_last_signal != 0 ? g_last_signal : SIGINT); }

}  // namespace tamberlyn_cli
