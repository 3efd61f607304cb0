#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/native_file.h"
#include "runtime/native_path.h"

namespace tamberlyn {

namespace {

int Fd(FileHandle file) { return static_cast<int>(file); }

SystemError Errno() { return SystemError{errno}; }

// A read or write, tried again when a signal interrupted it; `done` is the bytes it moved.
template <typename Call>
SystemError Moved(std::size_t& done, Call call) {
    for (;;) {
        const ssize_t n = call();
        if (n >= 0) {
            done = static_cast<std::size_t>(n);
            return {};
        }
        if (errno != EINTR) return Errno();
    }
}

SystemError Read(FileHandle file, void* data, std::size_t size, std::size_t& got) {
    return Moved(got, [&] { return ::read(Fd(file), data, size); });
}

SystemError ReadAt(FileHandle file, std::uint64_t offset, void* data, std::size_t size,
                   std::size_t& got) {
    return Moved(got, [&] { return ::pread(Fd(file), data, size, static_cast<off_t>(offset)); });
}

SystemError Write(FileHandle file, const void* data, std::size_t size, std::size_t& put) {
    return Moved(put, [&] { return ::write(Fd(file), data, size); });
}

SystemError WriteAt(FileHandle file, std::uint64_t offset, const void* data, std::size_t size,
                    std::size_t& put) {
    return Moved(put, [&] { return ::pwrite(Fd(file), data, size, static_cast<off_t>(offset)); });
}

SystemError Seek(FileHandle file, std::uint64_t offset) {
    return ::lseek(Fd(file), static_cast<off_t>(offset), SEEK_SET) >= 0 ? SystemError{} : Errno();
}

SystemError Truncate(FileHandle file, std::uint64_t size) {
    struct stat st;
    if (::fstat(Fd(file), &st) != 0) return Errno();
    if (!S_ISREG(st.st_mode)) return {};
    return ::ftruncate(Fd(file), static_cast<off_t>(size)) == 0 ? SystemError{} : Errno();
}

SystemError Sync(FileHandle file) {
    // fdatasync writes the size with the data; the timestamps it skips are not ours to keep.
    return ::fdatasync(Fd(file)) == 0 ? SystemError{} : Errno();
}

SystemError Close(FileHandle file) {
    // POSIX leaves the descriptor's state unspecified after EINTR; on Linux it is closed, so a
    // retry could close a descriptor another thread just opened.
    return ::close(Fd(file)) == 0 ? SystemError{} : Errno();
}

SystemError Replace(const NativeChar* target, const NativeChar* temp, bool, bool&) {
    return ::rename(temp, target) == 0 ? SystemError{} : Errno();
}

constexpr FileOps kPosixOps = {Read, ReadAt, Write, WriteAt, Seek, Truncate, Sync, Close, Replace};

void Describe(const struct stat& st, FileInfo& info) {
    info.kind = S_ISREG(st.st_mode)                            ? FileKind::kRegular
                : S_ISDIR(st.st_mode)                          ? FileKind::kFolder
                : S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) ? FileKind::kPipe
                : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)   ? FileKind::kDevice
                                                               : FileKind::kOther;
    info.size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    info.identified = true;
    info.volume = static_cast<std::uint64_t>(st.st_dev);
    info.index = static_cast<std::uint64_t>(st.st_ino);
    info.writable = (st.st_mode & S_IWUSR) != 0;
    info.mode = static_cast<unsigned>(st.st_mode & 07777);
    info.owner = static_cast<unsigned>(st.st_uid);
    info.group = static_cast<unsigned>(st.st_gid);
}

SystemError OpenWith(const char* path, int flags, FileHandle& out) {
    out = kNoFile;
    const int fd = ::open(path, flags | O_CLOEXEC, 0666);
    if (fd < 0) return Errno();
    out = fd;
    return {};
}

NativeString FolderOf(const NativeString& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == NativeString::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Gives an unnamed temporary file (O_TMPFILE) a hidden name beside its target.
SystemError NameAnonymous(Replacement& r) {
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", Fd(r.file));
    SystemError error;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".tamberlyn-%ld-%u", static_cast<long>(::getpid()),
                      attempt);
        r.temp = HiddenNameBeside(r.target, suffix);
        if (::linkat(AT_FDCWD, proc, AT_FDCWD, r.temp.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
            ::linkat(Fd(r.file), "", AT_FDCWD, r.temp.c_str(), AT_EMPTY_PATH) == 0) {
            r.anonymous = false;
            return {};
        }
        error = Errno();
        if (error.code != EEXIST) break;
    }
    r.temp.clear();
    return error;
}

}  // namespace

const FileOps& PlatformFileOps() { return kPosixOps; }

SystemError LastSystemError() { return Errno(); }
SystemError NoSpaceError() { return SystemError{ENOSPC}; }
SystemError IsFolderError() { return SystemError{EISDIR}; }

void SystemErrorText(SystemError error, char* text, std::size_t size) {
    if (size == 0) return;
    std::snprintf(text, size, "%s", std::strerror(error.code));
}

SystemError InfoOf(FileHandle file, FileInfo& info) {
    struct stat st;
    if (::fstat(Fd(file), &st) != 0) return Errno();
    Describe(st, info);
    return {};
}

SystemError InfoAt(const NativeChar* path, FileInfo& info) {
    struct stat st;
    if (::stat(path, &st) != 0) return Errno();
    Describe(st, info);
    return {};
}

bool IsDanglingLink(const NativeChar* path) {
    struct stat st;
    return ::lstat(path, &st) == 0 && S_ISLNK(st.st_mode) && ::stat(path, &st) != 0 &&
           errno == ENOENT;
}

SystemError OpenToRead(const NativeChar* path, FileHandle& out) {
    if (const SystemError e = OpenWith(path, O_RDONLY, out)) return e;
    FileInfo info;
    const SystemError e = InfoOf(out, info);
    if (e || info.kind == FileKind::kFolder) {
        ::close(Fd(out));
        out = kNoFile;
        return e ? e : IsFolderError();
    }
    return {};
}

SystemError OpenToUpdate(const NativeChar* path, FileHandle& out) {
    return OpenWith(path, O_RDWR, out);
}

SystemError CreateNewFile(const NativeChar* path, FileHandle& out) {
    return OpenWith(path, O_WRONLY | O_CREAT | O_EXCL, out);
}

SystemError OpenToWrite(const NativeChar* path, FileHandle& out) {
    // Non-blocking, so that a FIFO without a reader is refused (ENXIO) instead of waited for;
    // then blocking again for the writes.
    if (const SystemError e = OpenWith(path, O_WRONLY | O_NONBLOCK, out)) return e;
    const int flags = ::fcntl(Fd(out), F_GETFL);
    if (flags >= 0) ::fcntl(Fd(out), F_SETFL, flags & ~O_NONBLOCK);
    return {};
}

SystemError RemoveFile(const NativeChar* path) {
    return ::unlink(path) == 0 ? SystemError{} : Errno();
}

NativeString ResolvedPath(const NativeChar* path) {
    char resolved[PATH_MAX];
    return ::realpath(path, resolved) ? NativeString(resolved) : NativeString(path);
}

SystemError CreateReplacement(const NativeChar* target, Replacement& out, bool named) {
    out = Replacement{};
    FileInfo old;
    out.replaces = !InfoAt(target, old) && old.kind == FileKind::kRegular;
    out.target = out.replaces ? ResolvedPath(target) : NativeString(target);
    const NativeString folder = FolderOf(out.target);
    SystemError error;
#ifdef O_TMPFILE
    if (!named) {
        error = OpenWith(folder.c_str(), O_TMPFILE | O_WRONLY, out.file);
        if (!error) {
            out.anonymous = true;
        } else if (error.code != EOPNOTSUPP && error.code != EISDIR && error.code != EINVAL &&
                   error.code != ENOENT) {
            return error;  // the folder's own reason (permissions, a full disk)
        }
    }
#else
    (void)named;
#endif
    for (unsigned attempt = 0; out.file == kNoFile && attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".tamberlyn-%ld-%u", static_cast<long>(::getpid()),
                      attempt);
        out.temp = HiddenNameBeside(out.target, suffix);
        error = CreateNewFile(out.temp.c_str(), out.file);
        if (error.code != EEXIST) break;
    }
    if (out.file == kNoFile) {
        out.temp.clear();
        return error;
    }
    if (out.replaces) {
        // The new file takes the old one's owner where that is allowed (only root, or the owner
        // within its own groups, may hand a file on), then its permissions: a change of owner
        // clears the set-user and set-group bits.
        if (::fchown(Fd(out.file), old.owner, old.group) != 0) {
            [[maybe_unused]] const int ignored =
                ::fchown(Fd(out.file), static_cast<uid_t>(-1), old.group);
        }
        ::fchmod(Fd(out.file), old.mode);
    }
    return {};
}

SystemError CommitReplacement(Replacement& r, bool durable) {
    if (durable && r.file != kNoFile) {
        if (const SystemError e = SyncFile(r.file)) return e;
    }
    if (r.anonymous) {
        if (const SystemError e = NameAnonymous(r)) return e;
    }
    // Closed before it takes the target's place: a deferred write error leaves the target be.
    if (r.file != kNoFile) {
        const SystemError closed = CloseFile(r.file);
        r.file = kNoFile;
        if (closed) return closed;
    }
    if (const SystemError e =
            ReplaceInFolder(r.target.c_str(), r.temp.c_str(), r.replaces, r.target_gone)) {
        return e;
    }
    r.temp.clear();
    if (!durable) return {};
    const SystemError synced = SyncFolderOf(r.target);
    r.in_place = static_cast<bool>(synced);
    return synced;
}

void DiscardReplacement(Replacement& r) {
    if (r.file != kNoFile) CloseFile(r.file);
    r.file = kNoFile;
    if (!r.temp.empty() && !r.target_gone) ::unlink(r.temp.c_str());
    r.temp.clear();
}

SystemError SyncFolderOf(const NativeString& path) {
    FileHandle folder;
    if (const SystemError e = OpenWith(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY, folder)) {
        return e;
    }
    const SystemError e = SyncFile(folder);
    ::close(Fd(folder));
    return e;
}

SystemError LockForRecording(FileHandle file) {
    return ::flock(Fd(file), LOCK_EX | LOCK_NB) == 0 ? SystemError{} : Errno();
}

bool BeingRecorded(FileHandle file) {
    if (::flock(Fd(file), LOCK_SH | LOCK_NB) == 0) {
        ::flock(Fd(file), LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

SystemError RemoveFile(const char16_t* path) {
    NarrowPath name;
    if (!ToNarrowPath(path, name)) return SystemError{ENOENT};
    return RemoveFile(name.bytes);
}

SystemError SyncFolderOf(const char16_t* path) {
    NarrowPath name;
    if (!ToNarrowPath(path, name)) return SystemError{ENOENT};
    return SyncFolderOf(NativeString(name.bytes));
}

SystemError OpenFileForReading(const char16_t* path, FileHandle& out) {
    out = kNoFile;
    NarrowPath name;
    if (!ToNarrowPath(path, name)) return SystemError{ENOENT};
    return OpenToRead(name.bytes, out);
}

CreateResult CreateFileForWriting(const char16_t* path, FileHandle input, bool refuse_pipes,
                                  FileHandle& out, SystemError& error, bool* created) {
    out = kNoFile;
    NarrowPath name;
    if (!ToNarrowPath(path, name)) {
        error = SystemError{ENOENT};
        return CreateResult::kFailed;
    }
    // Opened without O_TRUNC so that a path naming the input can be refused before anything of
    // the input is lost; truncation follows once the two are known to differ. Non-blocking, so
    // that a FIFO without a reader cannot hold the caller in open().
    FileHandle fd;
    const int flags = O_WRONLY | (refuse_pipes ? O_NONBLOCK : 0);
    error = OpenWith(name.bytes, flags | O_CREAT | O_EXCL, fd);
    if (created != nullptr) *created = !error;
    if (error.code == EEXIST) error = OpenWith(name.bytes, flags | O_CREAT, fd);
    if (error) return CreateResult::kFailed;
    FileInfo mine, theirs;
    error = InfoOf(fd, mine);
    if (!error && refuse_pipes && mine.kind == FileKind::kPipe) error = SystemError{ESPIPE};
    if (error) {
        ::close(Fd(fd));
        return CreateResult::kFailed;
    }
    if (input != kNoFile && !InfoOf(input, theirs) && SameFile(mine, theirs)) {
        ::close(Fd(fd));
        return CreateResult::kSameAsInput;
    }
    if (refuse_pipes) {
        const int now = ::fcntl(Fd(fd), F_GETFL);
        if (now >= 0) ::fcntl(Fd(fd), F_SETFL, now & ~O_NONBLOCK);
    }
    // Devices and pipes cannot be truncated and need not be. An empty file is left alone: some
    // file systems (ext4) flush a truncated file's data at close, a cost new files need not pay.
    if (mine.kind == FileKind::kRegular && mine.size > 0 && ::ftruncate(Fd(fd), 0) != 0) {
        error = Errno();
        ::close(Fd(fd));
        return CreateResult::kFailed;
    }
    out = fd;
    return CreateResult::kCreated;
}

std::uint64_t NextDataAt(FileHandle file, std::uint64_t offset) {
#if defined(SEEK_DATA)
    const off_t data = ::lseek(Fd(file), static_cast<off_t>(offset), SEEK_DATA);
    if (data >= 0) return static_cast<std::uint64_t>(data);
    if (errno == ENXIO) {  // a hole to the end
        struct stat st;
        if (::fstat(Fd(file), &st) == 0) return static_cast<std::uint64_t>(st.st_size);
    }
#else
    (void)file;
#endif
    return offset;
}

}  // namespace tamberlyn
