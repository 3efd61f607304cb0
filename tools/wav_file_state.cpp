#include "wav_file_state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "messages.h"
#include "runtime/native_file.h"

namespace tamberlyn_cli {

namespace {

// Enough for the chunks before the samples of any ordinary file; later chunk headers are read
// where they lie.
constexpr std::uint64_t kHeadBytes = 1u << 20;

bool ReadAt(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
    const int fd = *static_cast<int*>(context);
    return ::pread(fd, out, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

}  // namespace

bool InspectFile(const char* path, bool for_writing, InspectedFile& file) {
    file = InspectedFile{};
    file.fd = ::open(path, (for_writing ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (file.fd < 0) {
        Fail("cannot open", path, errno);
        return false;
    }
    struct stat st;
    if (::fstat(file.fd, &st) != 0) {
        Fail("cannot read", path, errno);
        CloseInspected(file);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        Refuse(path, "not a regular file");
        CloseInspected(file);
        return false;
    }
    file.size = static_cast<std::uint64_t>(st.st_size);
    file.head.resize(static_cast<std::size_t>(file.size < kHeadBytes ? file.size : kHeadBytes));
    const std::ptrdiff_t got = tamberlyn::ReadFile(file.fd, file.head.data(), file.head.size());
    if (got < 0) {
        Fail("cannot read", path, errno);
        CloseInspected(file);
        return false;
    }
    file.head.resize(static_cast<std::size_t>(got));
    const tamberlyn::WavBytesAt more = {ReadAt, &file.fd};
    file.diagnosis = tamberlyn::DiagnoseWav(file.head.data(), file.head.size(), file.size, &more);
    return true;
}

void CloseInspected(InspectedFile& file) {
    if (file.fd >= 0) ::close(file.fd);
    file.fd = -1;
}

}  // namespace tamberlyn_cli
