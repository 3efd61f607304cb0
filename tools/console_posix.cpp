#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "console.h"
#include "console_platform.h"
#include "wide_arg.h"

namespace tamberlyn_cli {

namespace {

bool g_stdin_open = true;
bool g_stdout_open = true;

volatile std::sig_atomic_t g_last_signal = 0;

void OnSignal(int sig) {
    g_last_signal = sig;
    switch (TakeInterrupt()) {
        case Interrupt::kCounted:
            return;
        case Interrupt::kEndNow:
            ::_exit(128 + sig);
        case Interrupt::kAsTheSystemWould:
            ::signal(sig, SIG_DFL);
            ::raise(sig);
    }
}

}  // namespace

void PrintTo(bool error, const char* format, va_list args) {
    FILE* stream = error ? stderr : stdout;
    std::vfprintf(stream, format, args);
    std::fflush(stream);
}

void RemoveNow(const NativeChar* path) { ::unlink(path); }

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

bool ErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

FileHandle StandardInput() { return g_stdin_open ? STDIN_FILENO : tamberlyn::kNoFile; }
FileHandle StandardOutput() { return g_stdout_open ? STDOUT_FILENO : tamberlyn::kNoFile; }

std::string Utf8(const NativeString& text) { return text; }

bool ToLibraryPath(const NativeString& name, std::u16string& out) { return Utf8ToUtf16(name, out); }

int InterruptStatus() { return 128 + (g_last_signal != 0 ? g_last_signal : SIGINT); }

}  // namespace tamberlyn_cli
