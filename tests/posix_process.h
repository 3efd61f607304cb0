// Child processes and process resources for tests (POSIX only).
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tamberlyn_test {

// Runs `body` in a forked child and returns its exit code, or -1 if it did not exit. With a
// `file_size_limit`, no file may grow past that many bytes: writes beyond it fail (EFBIG), as on
// a full disk, instead of raising SIGXFSZ.
inline int RunInChild(const std::function<int()>& body, std::uint64_t file_size_limit = 0) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (file_size_limit > 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const auto bytes = static_cast<rlim_t>(file_size_limit);
            const rlimit limit = {bytes, bytes};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Starts `program` with `args`: standard input from `in_fd` (or /dev/null), standard output and
// error to the files `out` and `err`, and files limited to `file_limit` bytes as above.
inline pid_t StartProgram(const char* program, const std::vector<std::string>& args,
                          const std::string& out, const std::string& err, int in_fd = -1,
                          std::uint64_t file_limit = 0) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(in_fd >= 0 ? in_fd : null, 0);
    ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    if (file_limit > 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {static_cast<rlim_t>(file_limit), static_cast<rlim_t>(file_limit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> argv = {const_cast<char*>(program)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program, argv.data());
    ::_exit(127);
}

// The exit status of a child, or 128 + the signal that ended it.
inline int ExitStatus(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline int CountEntries(const char* dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir)) {
        while (::readdir(d) != nullptr) ++n;
        ::closedir(d);
    }
    return n;
}

inline int OpenDescriptors() { return CountEntries("/proc/self/fd"); }

// The threads of this process. A joined thread can stay listed for a moment while the kernel
// (or an emulator) finishes its exit, so a count expected to drop back is waited for, briefly.
inline int Threads(int expected = -1) {
    int n = CountEntries("/proc/self/task");
    for (int i = 0; i < 200 && expected >= 0 && n > expected; ++i) {
        ::usleep(5000);
        n = CountEntries("/proc/self/task");
    }
    return n;
}

}  // namespace tamberlyn_test
