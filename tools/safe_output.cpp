#include "safe_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "messages.h"

namespace tamberlyn_cli {

namespace {

// The named temporary file a signal handler must remove; empty when there is none.
char g_temp_name[PATH_MAX + 64];
volatile std::sig_atomic_t g_have_temp = 0;

void OnSignal(int sig) {
    if (g_have_temp) ::unlink(g_temp_name);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void RememberTemp(const std::string& name) {
    g_have_temp = 0;
    if (name.size() < sizeof g_temp_name) {
        std::memcpy(g_temp_name, name.c_str(), name.size() + 1);
        g_have_temp = 1;
    }
}

void ForgetTemp() { g_have_temp = 0; }

std::string TempNameFor(const Output& out, unsigned attempt) {
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".tamberlyn-%ld-%u", static_cast<long>(::getpid()),
                  attempt);
    return HiddenNameBeside(out.target, suffix);
}

bool OpenTemporary(Output& out) {
#ifdef O_TMPFILE
    out.fd = ::open(out.directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (out.fd >= 0) {
        out.anonymous = true;
        return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
        return false;  // the folder's own reason (permissions, a full disk)
    }
#endif
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        out.temp = TempNameFor(out, attempt);
        RememberTemp(out.temp);
        out.fd = ::open(out.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (out.fd >= 0) return true;
        ForgetTemp();
        if (errno != EEXIST) break;
    }
    out.temp.clear();
    return false;
}

// Gives the unnamed temporary file a name in the target's folder.
bool LinkAnonymous(Output& out) {
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", out.fd);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        out.temp = TempNameFor(out, attempt);
        RememberTemp(out.temp);
        if (::linkat(AT_FDCWD, proc, AT_FDCWD, out.temp.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
            ::linkat(out.fd, "", AT_FDCWD, out.temp.c_str(), AT_EMPTY_PATH) == 0) {
            return true;
        }
        ForgetTemp();
        if (errno != EEXIST) break;
    }
    out.temp.clear();
    return false;
}

}  // namespace

std::string ReplacedFile(const char* path) {
    char resolved[PATH_MAX];
    return ::realpath(path, resolved) ? resolved : path;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string HiddenNameBeside(const std::string& file, const std::string& suffix) {
    const std::size_t slash = file.find_last_of('/');
    const std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    return DirectoryOf(file) + "/." + base + suffix;
}

void SyncDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void RemoveTemporaryOnSignals() {
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

bool OpenOutput(const char* path, Output& out) {
    out = Output{};
    out.shown = path;
    if (std::strcmp(path, "-") == 0) {
        out.fd = STDOUT_FILENO;
        out.direct = true;
        return true;
    }
    struct stat st;
    const bool exists = ::stat(path, &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        Fail("cannot write", path, EISDIR);
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a FIFO: nothing to replace, written as it is.
        out.fd = ::open(path, O_WRONLY | O_CLOEXEC);
        if (out.fd < 0) {
            Fail("cannot open", path, errno);
            return false;
        }
        out.direct = true;
        return true;
    }
    out.target = exists ? ReplacedFile(path) : path;
    out.directory = DirectoryOf(out.target);
    out.replaces = exists;
    if (!OpenTemporary(out)) {
        Fail("cannot create", out.shown.c_str(), errno);
        return false;
    }
    out.seekable = true;
    if (exists) {
        // The new file takes the old one's permissions (and owner, where that is allowed).
        ::fchmod(out.fd, st.st_mode & 07777);
        if (::fchown(out.fd, st.st_uid, st.st_gid) != 0) {
            // Only the owner's own groups or root may hand a file on; the mode still holds.
        }
    }
    return true;
}

bool CommitOutput(Output& out) {
    if (out.direct) {
        const int fd = out.fd;
        out.fd = -1;
        if (fd != STDOUT_FILENO && ::close(fd) != 0) {
            Fail("cannot write", out.shown.c_str(), errno);
            return false;
        }
        return true;
    }
    // What replaces a file the user had must be on disk before the old one goes.
    if (out.replaces && ::fsync(out.fd) != 0) {
        Fail("cannot write", out.shown.c_str(), errno);
        AbandonOutput(out);
        return false;
    }
    if (out.anonymous && !LinkAnonymous(out)) {
        Fail("cannot create", out.shown.c_str(), errno);
        AbandonOutput(out);
        return false;
    }
    if (::rename(out.temp.c_str(), out.target.c_str()) != 0) {
        Fail("cannot replace", out.shown.c_str(), errno);
        AbandonOutput(out);
        return false;
    }
    ForgetTemp();
    out.temp.clear();
    const int fd = out.fd;
    out.fd = -1;
    if (::close(fd) != 0) {
        Fail("cannot write", out.shown.c_str(), errno);
        return false;
    }
    if (out.replaces) SyncDirectory(out.directory);
    return true;
}

void AbandonOutput(Output& out) {
    if (out.fd >= 0 && out.fd != STDOUT_FILENO) ::close(out.fd);
    out.fd = -1;
    if (!out.temp.empty()) {
        ::unlink(out.temp.c_str());
        ForgetTemp();
        out.temp.clear();
    }
}

}  // namespace tamberlyn_cli
