#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "console.h"
#include "console_platform.h"

namespace tamberlyn_cli {

namespace {

bool g_stdin_open = true;
bool g_stdout_open = true;

volatile std::sig_atomic_t g_last_signal = 0;

// Where standard input and output stood when the program started: offsets are counted from
// there.
off_t g_in_base = 0;
off_t g_out_base = 0;

template <typename Call>
int Retried(std::size_t& done, Call call) {
    for (;;) {
        const ssize_t n = call();
        if (n >= 0) {
            done = static_cast<std::size_t>(n);
            return 0;
        }
        if (errno != EINTR) return errno;
    }
}

int ReadIn(void*, void* data, std::size_t size, std::size_t* done) {
    return Retried(*done, [&] { return ::read(STDIN_FILENO, data, size); });
}

int ReadInAt(void*, std::uint64_t offset, void* data, std::size_t size, std::size_t* done) {
    return Retried(*done, [&] {
        return ::pread(STDIN_FILENO, data, size, g_in_base + static_cast<off_t>(offset));
    });
}

// Writes all of it at `offset` from the base, or at the position when `offset` is negative.
int WriteOut(const void* data, std::size_t size, long long offset) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        std::size_t put = 0;
        const int e = Retried(put, [&] {
            return offset < 0 ? ::write(STDOUT_FILENO, bytes, size)
                              : ::pwrite(STDOUT_FILENO, bytes, size, g_out_base + offset);
        });
        if (e != 0) return e;
        if (put == 0) return ENOSPC;
        bytes += put;
        size -= put;
        if (offset >= 0) offset += static_cast<long long>(put);
    }
    return 0;
}

int WriteOutOn(void*, const void* data, std::size_t size) { return WriteOut(data, size, -1); }

int WriteOutAt(void*, std::uint64_t offset, const void* data, std::size_t size) {
    return WriteOut(data, size, static_cast<long long>(offset));
}

void OnSignal(int sig) {
    g_last_signal = sig;
    switch (TakeInterrupt()) {
        case Interrupt::kCounted:
            return;
        case Interrupt::kEndNow:
            SayLastWords();
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

bool ErrorTakesEscapes() { return ErrorIsTerminal(); }

void InterruptedWorkDone() {}

int ErrorColumns() {
    winsize size = {};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

void SayLastWords() {
    std::size_t size = 0;
    const char* words = LastWords(size);
    if (size > 0) [[maybe_unused]]
        const ssize_t n = ::write(STDERR_FILENO, words, size);
}

bool StandardInputStream(tamberlyn_stream& out) {
    out = tamberlyn_stream{};
    out.struct_size = sizeof out;
    if (!g_stdin_open) return false;
    out.read = ReadIn;
    struct stat st;
    const off_t at = ::lseek(STDIN_FILENO, 0, SEEK_CUR);
    if (::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode) && at >= 0 && at <= st.st_size) {
        g_in_base = at;
        out.read_at = ReadInAt;
        out.size = static_cast<std::uint64_t>(st.st_size - at);
    }
    return true;
}

bool StandardOutputStream(tamberlyn_stream& out) {
    out = tamberlyn_stream{};
    out.struct_size = sizeof out;
    if (!g_stdout_open) return false;
    out.write = WriteOutOn;
    // Appending, every write lands at the end whatever its offset: written as to a pipe.
    struct stat st;
    const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
    const off_t at = ::lseek(STDOUT_FILENO, 0, SEEK_CUR);
    if (::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode) && flags >= 0 &&
        !(flags & O_APPEND) && at >= 0) {
        g_out_base = at;
        out.write_at = WriteOutAt;
    }
    return true;
}

bool StandardStreamIs(int which, const NativeString& path) {
    struct stat mine, theirs;
    const int fd = which == 0 ? STDIN_FILENO : STDOUT_FILENO;
    return (which == 0 ? g_stdin_open : g_stdout_open) && ::fstat(fd, &mine) == 0 &&
           S_ISREG(mine.st_mode) && ::stat(path.c_str(), &theirs) == 0 &&
           mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
}

bool SamePath(const NativeString& a, const NativeString& b) {
    struct stat one, other;
    return ::stat(a.c_str(), &one) == 0 && ::stat(b.c_str(), &other) == 0 &&
           one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

std::string Utf8(const NativeString& text) { return text; }

int InterruptStatus() { return 128 + (g_last_signal != 0 ? g_last_signal : SIGINT); }

}  // namespace tamberlyn_cli
