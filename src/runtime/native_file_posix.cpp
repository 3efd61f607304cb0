#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "runtime/native_file.h"
#include "runtime/native_path.h"

namespace tamberlyn {

namespace {

int Fd(FileHandle file) { return static_cast<int>(file); }

}  // namespace

FileHandle OpenFileForReading(const char16_t* path) {
    NarrowPath name;
    if (!ToNarrowPath(path, name)) return kNoFile;
    const int fd = ::open(name.bytes, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return kNoFile;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return kNoFile;
    }
    return fd;
}

CreateResult CreateFileForWriting(const char16_t* path, FileHandle input, FileHandle& out) {
    out = kNoFile;
    NarrowPath name;
    if (!ToNarrowPath(path, name)) return CreateResult::kFailed;
    // Opened without O_TRUNC so that a path naming the input can be refused before anything of
    // the input is lost; truncation follows once the two are known to differ.
    const int fd = ::open(name.bytes, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return CreateResult::kFailed;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return CreateResult::kFailed;
    }
    struct stat in;
    if (input != kNoFile && ::fstat(Fd(input), &in) == 0 && in.st_dev == st.st_dev &&
        in.st_ino == st.st_ino) {
        ::close(fd);
        return CreateResult::kSameAsInput;
    }
    // Devices and pipes cannot be truncated and need not be. An empty file is left alone: some
    // file systems (ext4) flush a truncated file's data at close, a cost new files need not pay.
    if (S_ISREG(st.st_mode) && st.st_size > 0 && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return CreateResult::kFailed;
    }
    out = fd;
    return CreateResult::kCreated;
}

std::ptrdiff_t ReadFile(FileHandle file, void* data, std::size_t size) {
    auto* bytes = static_cast<char*>(data);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(Fd(file), bytes + got, size - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            return -1;
        }
    }
    return static_cast<std::ptrdiff_t>(got);
}

bool WriteFile(FileHandle file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(Fd(file), bytes, size);
        if (n > 0) {
            bytes += n;
            size -= static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool RewindFile(FileHandle file) { return ::lseek(Fd(file), 0, SEEK_SET) == 0; }

bool TruncateFile(FileHandle file, std::uint64_t size) {
    struct stat st;
    if (::fstat(Fd(file), &st) != 0) return false;
    return !S_ISREG(st.st_mode) || ::ftruncate(Fd(file), static_cast<off_t>(size)) == 0;
}

bool SyncFile(FileHandle file) {
    // fdatasync writes the size with the data; the timestamps it skips are not ours to keep.
    return ::fdatasync(Fd(file)) == 0;
}

bool CloseFile(FileHandle file) {
    // POSIX leaves the descriptor's state unspecified after EINTR; on Linux it is closed, so a
    // retry could close a descriptor another thread just opened.
    return ::close(Fd(file)) == 0;
}

}  // namespace tamberlyn
