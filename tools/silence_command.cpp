#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "tamberlyn.h"
#include "wide_arg.h"

namespace tamberlyn_cli {

namespace {

constexpr double kBytesPerSecond = 16000.0;
constexpr long long kHeaderBytes = 44;

double DataSeconds(const char* path) {
    struct stat st;
    if (::stat(path, &st) != 0 || st.st_size <= kHeaderBytes) return 0.0;
    return static_cast<double>(st.st_size - kHeaderBytes) / kBytesPerSecond;
}

// The library reports only that a file could not be opened; find which one, and why.
void ExplainOpenFailure(const char* in, const char* out) {
    struct stat in_st;
    const int in_fd = ::open(in, O_RDONLY | O_CLOEXEC);
    if (in_fd < 0) {
        std::fprintf(stderr, "tamberlyn: cannot open input '%s': %s\n", in, std::strerror(errno));
        return;
    }
    const bool in_known = ::fstat(in_fd, &in_st) == 0;
    ::close(in_fd);
    if (in_known && S_ISDIR(in_st.st_mode)) {
        std::fprintf(stderr, "tamberlyn: cannot open input '%s': it is a directory\n", in);
        return;
    }
    struct stat out_st;
    if (in_known && ::stat(out, &out_st) == 0 && out_st.st_dev == in_st.st_dev &&
        out_st.st_ino == in_st.st_ino) {
        std::fprintf(stderr, "tamberlyn: output '%s' is the input file itself\n", out);
        return;
    }
    const int out_fd = ::open(out, O_WRONLY | O_CLOEXEC);
    const int why = out_fd < 0 ? errno : 0;
    if (out_fd >= 0) ::close(out_fd);
    std::fprintf(stderr, "tamberlyn: cannot create output '%s'%s%s\n", out, why ? ": " : "",
                 why ? std::strerror(why) : "");
}

}  // namespace

int RunSilence(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: tamberlyn silence IN.wav OUT.wav\n", stderr);
        return 2;
    }
    const char* in = argv[1];
    const char* out = argv[2];
    std::u16string wide_in, wide_out;
    for (const char* name : {in, out}) {
        if (!Utf8ToUtf16(name, name == in ? wide_in : wide_out)) {
            std::fprintf(stderr, "tamberlyn: '%s' is not a valid UTF-8 file name\n", name);
            return 1;
        }
    }

    const int32_t result = WAVSilence(wide_in.c_str(), wide_out.c_str());
    if (result == SILENCE_OPEN_FAILED) {
        ExplainOpenFailure(in, out);
        return 1;
    }
    if (result != RESULT_SUCCESS) {
        std::fprintf(stderr, "tamberlyn: reading '%s' or writing '%s' failed (result %d)\n", in,
                     out, static_cast<int>(result));
        return 1;
    }

    const double before = DataSeconds(in);
    const double after = DataSeconds(out);
    const double removed = before > 0.0 ? 100.0 * (before - after) / before : 0.0;
    std::fprintf(stderr, "%s: %.2f s -> %s: %.2f s (%.1f%% removed)\n", in, before, out, after,
                 removed);
    return 0;
}

}  // namespace tamberlyn_cli
