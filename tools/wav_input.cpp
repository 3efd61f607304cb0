#include "wav_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "messages.h"
#include "runtime/native_file.h"

namespace tamberlyn_cli {

namespace {

// Chunks before the samples (metadata, pictures) beyond this are not taken in.
constexpr std::uint64_t kMaxHead = 64u << 20;

}  // namespace

bool OpenWavInput(const char* path, WavInput& in) {
    in = WavInput{};
    in.shown = path;
    if (std::strcmp(path, "-") == 0) {
        in.fd = STDIN_FILENO;
    } else {
        in.fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (in.fd < 0) {
            Fail("cannot open", path, errno);
            return false;
        }
    }
    struct stat st;
    if (::fstat(in.fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        Fail("cannot read", path, EISDIR);
        CloseWavInput(in);
        return false;
    }
    if (S_ISREG(st.st_mode) && ::lseek(in.fd, 0, SEEK_CUR) == 0) {
        in.seekable = true;
        in.file_size = static_cast<std::uint64_t>(st.st_size);
    }

    // Read exactly as far as the parser asks, so that no sample is taken from a stream early.
    std::uint64_t needed = 12;
    for (;;) {
        const tamberlyn::WavHead result =
            tamberlyn::ParseWavHead(in.head.data(), in.head.size(), in.wav, needed);
        if (result == tamberlyn::WavHead::kComplete) break;
        if (result != tamberlyn::WavHead::kNeedMore) {
            Refuse(path, "%s", tamberlyn::WavHeadMessage(result));
            CloseWavInput(in);
            return false;
        }
        if (needed > kMaxHead) {
            Refuse(path, "more than 64 MiB of chunks before the audio data");
            CloseWavInput(in);
            return false;
        }
        const std::size_t had = in.head.size();
        in.head.resize(static_cast<std::size_t>(needed));
        const std::ptrdiff_t got = tamberlyn::ReadFile(in.fd, in.head.data() + had, needed - had);
        if (got < 0) {
            Fail("cannot read", path, errno);
            CloseWavInput(in);
            return false;
        }
        if (static_cast<std::size_t>(got) < needed - had) {
            // The file ends inside its head: say what the bytes there are, if anything.
            in.head.resize(had + static_cast<std::size_t>(got));
            const tamberlyn::WavHead found =
                tamberlyn::ParseWavHead(in.head.data(), in.head.size(), in.wav, needed);
            Refuse(path, "%s",
                   in.head.empty() ? "the file is empty" : tamberlyn::WavHeadMessage(found));
            CloseWavInput(in);
            return false;
        }
    }
    in.data = tamberlyn::ResolveWavData(in.wav, in.file_size);
    return true;
}

bool RequirePcm16(const WavInput& in, int max_channels) {
    if (tamberlyn::IsPcm16(in.wav, max_channels)) return true;
    const unsigned channels = in.wav.channels;
    const char* why = "only 16-bit PCM is supported";
    if (in.wav.format_tag == tamberlyn::kWavFormatPcm && in.wav.bits_per_sample == 16) {
        why = channels < 1 || channels > static_cast<unsigned>(max_channels)
                  ? "only 1 to 8 channels are supported"
                  : "the format chunk's sample rate or block alignment is wrong";
    }
    Refuse(in.shown.c_str(), "%s: %s", DescribeFormat(in.wav).c_str(), why);
    return false;
}

void CloseWavInput(WavInput& in) {
    if (in.fd > STDIN_FILENO) ::close(in.fd);
    in.fd = -1;
}

std::string DescribeFormat(const tamberlyn::WavDescription& wav) {
    char format[32];
    tamberlyn::DescribeWavFormat(wav, format, sizeof format);
    char text[96];
    std::snprintf(text, sizeof text, "%s, %u Hz, %u channel%s", format,
                  static_cast<unsigned>(wav.sample_rate), static_cast<unsigned>(wav.channels),
                  wav.channels == 1 ? "" : "s");
    return text;
}

double SecondsOf(const tamberlyn::WavDescription& wav, std::uint64_t bytes) {
    if (wav.block_align == 0 || wav.sample_rate == 0) return 0.0;
    return static_cast<double>(bytes / wav.block_align) / wav.sample_rate;
}

}  // namespace tamberlyn_cli
