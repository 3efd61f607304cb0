// tamberlyn silence: the silence engine over any 16-bit PCM WAV file, with its chunks kept.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "messages.h"
#include "safe_output.h"
#include "silence/noise_floor.h"
#include "silence/silence_stream.h"
#include "wav/little_endian.h"
#include "wav_input.h"

namespace tamberlyn_cli {

namespace {

constexpr char kUsage[] =
    "usage: tamberlyn silence IN OUT [--threshold T] [--keep SECONDS]\n"
    "\n"
    "Copies the 16-bit PCM WAV file IN to OUT, cutting every quiet stretch down to its first\n"
    "SECONDS. A frame is quiet when every channel's sample has a magnitude below T. The other\n"
    "chunks of IN are kept as they are; OUT replaces an existing file only when complete.\n"
    "\n"
    "  --threshold T   a magnitude 1..32768, decibels below full scale (-40dB), or 'auto' to\n"
    "                  pick it from the file's background noise (default 500)\n"
    "  --keep SECONDS  how much of each quiet stretch stays (default 0.099875: 799 samples at\n"
    "                  8000 Hz)\n"
    "  -               as IN reads standard input, as OUT writes standard output\n";

constexpr double kDefaultKeepSeconds = 0.099875;
constexpr std::int32_t kAutoThreshold = 0;

// One buffer for every pass of the program: reading, filtering, copying. The program has one
// thread and a static buffer costs nothing until touched: 512 KiB takes about a tenth off a
// pass over a cached file compared with the library's 128 KiB.
std::uint8_t g_buffer[4 * tamberlyn::kLargeSilenceBufferBytes];

struct Options {
    const char* in = nullptr;
    const char* out = nullptr;
    std::int32_t threshold = tamberlyn::QUIET_THRESHOLD;  // kAutoThreshold: from the noise
    double keep_seconds = kDefaultKeepSeconds;
};

// "500", "-40dB", "-40.5 dBFS" or "auto". False for anything else or out of range.
bool ParseThreshold(const char* text, std::int32_t& threshold) {
    if (std::strcmp(text, "auto") == 0) {
        threshold = kAutoThreshold;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (end == text || errno != 0 || !std::isfinite(value)) return false;
    while (*end == ' ') ++end;
    double magnitude = value;
    if (strncasecmp(end, "db", 2) == 0) {
        end += 2;
        if (strncasecmp(end, "fs", 2) == 0) end += 2;
        magnitude = std::round(32768.0 * std::pow(10.0, value / 20.0));
    } else if (value != std::floor(value)) {
        return false;
    }
    if (*end != '\0' || magnitude < 1 || magnitude > tamberlyn::kMaxSilenceThreshold) return false;
    threshold = static_cast<std::int32_t>(magnitude);
    return true;
}

bool ParseSeconds(const char* text, double& seconds) {
    char* end = nullptr;
    errno = 0;
    seconds = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(seconds) && seconds >= 0;
}

// Returns -1 when the command is to run, else the exit status.
int ParseArguments(int argc, char** argv, Options& o) {
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!options_end && arg[0] == '-' && arg[1] != '\0') {
            if (std::strcmp(arg, "--") == 0) {
                options_end = true;
                continue;
            }
            if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
                std::fputs(kUsage, stdout);
                return 0;
            }
            const char* eq = std::strchr(arg, '=');
            const std::string name = eq ? std::string(arg, eq) : std::string(arg);
            if (name != "--threshold" && name != "--keep") {
                return UsageError("silence", "unknown option '%s'", arg);
            }
            const char* value = eq ? eq + 1 : (i + 1 < argc ? argv[++i] : nullptr);
            if (value == nullptr) return UsageError("silence", "%s needs a value", name.c_str());
            if (name == "--threshold" && !ParseThreshold(value, o.threshold)) {
                return UsageError("silence",
                                  "--threshold '%s': give 1..32768, decibels such as -40dB, "
                                  "or auto",
                                  value);
            }
            if (name == "--keep" && !ParseSeconds(value, o.keep_seconds)) {
                return UsageError("silence", "--keep '%s': give seconds, 0 or more", value);
            }
        } else if (o.in == nullptr) {
            o.in = arg;
        } else if (o.out == nullptr) {
            o.out = arg;
        } else {
            return UsageError("silence", "unexpected argument '%s'", arg);
        }
    }
    if (o.out == nullptr) return UsageError("silence", "needs IN and OUT");
    return -1;
}

tamberlyn::SilenceBuffer Buffer() { return {g_buffer, sizeof g_buffer}; }

bool Rewind(const WavInput& in) {
    if (::lseek(in.fd, static_cast<off_t>(in.wav.data_offset), SEEK_SET) >= 0) return true;
    Fail("cannot read", in.shown.c_str(), errno);
    return false;
}

// Reads the data once to measure its background noise.
bool MeasureNoise(const WavInput& in, std::uint64_t limit, std::int32_t& threshold) {
    static tamberlyn::NoiseFloor floor;
    tamberlyn::StartNoiseFloor(floor, in.wav.sample_rate, in.wav.channels);
    const std::size_t frame = in.wav.block_align;
    const std::size_t chunk = sizeof g_buffer / frame * frame;
    std::uint64_t remaining = limit;
    while (remaining > 0) {
        const auto want = static_cast<std::size_t>(remaining < chunk ? remaining : chunk);
        const std::ptrdiff_t got = tamberlyn::ReadFile(in.fd, g_buffer, want);
        if (got < 0) {
            Fail("cannot read", in.shown.c_str(), errno);
            return false;
        }
        tamberlyn::AddToNoiseFloor(floor, g_buffer, static_cast<std::size_t>(got) / frame);
        remaining -= static_cast<std::uint64_t>(got);
        if (static_cast<std::size_t>(got) < want) break;
    }
    threshold = tamberlyn::NoiseFloorThreshold(floor);
    return Rewind(in);
}

// The input's head with the RIFF and data sizes set for `data` bytes of samples followed by
// `trailing` bytes of chunks; unknown sizes are 0xFFFFFFFF.
void SetSizes(std::vector<std::uint8_t>& head, std::uint64_t data, std::uint64_t trailing,
              bool known) {
    const std::uint64_t riff = head.size() - 8 + data + trailing;
    tamberlyn::PutLE32(head.data() + 4,
                       known ? tamberlyn::Saturate32(riff) : tamberlyn::kWavUnknownSize);
    tamberlyn::PutLE32(head.data() + head.size() - 4,
                       known ? tamberlyn::Saturate32(data) : tamberlyn::kWavUnknownSize);
}

bool WriteAll(Output& out, const void* data, std::size_t size) {
    if (tamberlyn::WriteFile(out.fd, data, size)) return true;
    Fail("cannot write", out.shown.c_str(), errno);
    return false;
}

// Copies what follows the data chunk (other chunks) as it is. Returns the bytes copied, or -1.
long long CopyRest(const WavInput& in, Output* out) {
    long long copied = 0;
    for (;;) {
        const std::ptrdiff_t got = tamberlyn::ReadFile(in.fd, g_buffer, sizeof g_buffer);
        if (got < 0) {
            Fail("cannot read", in.shown.c_str(), errno);
            return -1;
        }
        if (got == 0) return copied;
        if (out != nullptr && !WriteAll(*out, g_buffer, static_cast<std::size_t>(got))) return -1;
        copied += got;
    }
}

int Shorten(WavInput& in, const Options& o, Output& out, tamberlyn::SilenceRule rule) {
    const std::uint64_t limit = in.data.to_end ? tamberlyn::kToEndOfFile : in.data.bytes;
    const std::uint64_t pad = in.data.to_end ? 0 : in.data.bytes & 1;
    // What follows the data in a file that can be measured; streams are read to the end.
    std::uint64_t trailing = 0;
    if (in.seekable && !in.data.to_end) {
        const std::uint64_t end = in.wav.data_offset + in.data.bytes + pad;
        trailing = in.file_size > end ? in.file_size - end : 0;
    }

    // When the output cannot be patched afterwards, its sizes are settled before the header.
    const bool sizes_first = !out.seekable;
    bool sizes_known = true;
    std::uint64_t data_out = 0;
    tamberlyn::StreamCounts counts;
    if (sizes_first) {
        if (in.seekable) {
            if (tamberlyn::FilterStream(in.fd, limit, rule, tamberlyn::CountingSink(), 0, Buffer(),
                                        counts) != tamberlyn::StreamResult::kDone) {
                Fail("cannot read", in.shown.c_str(), errno);
                return 1;
            }
            data_out = counts.written;
            if (!Rewind(in)) return 1;
        } else {
            sizes_known = false;
        }
    }
    SetSizes(in.head, data_out, trailing, sizes_known);
    if (!WriteAll(out, in.head.data(), in.head.size())) return 1;

    counts = tamberlyn::StreamCounts{};
    tamberlyn::FileHandle out_file = out.fd;
    const tamberlyn::StreamResult result = tamberlyn::FilterStream(
        in.fd, limit, rule, tamberlyn::FileSink(out_file), in.head.size(), Buffer(), counts);
    if (result == tamberlyn::StreamResult::kReadFailed) {
        Fail("cannot read", in.shown.c_str(), errno);
        return 1;
    }
    if (result == tamberlyn::StreamResult::kWriteFailed) {
        Fail("cannot write", out.shown.c_str(), errno);
        return 1;
    }
    if (!in.data.to_end && counts.read < in.data.bytes) {
        Warn(in.shown.c_str(), "the data chunk is cut short: %llu of %llu bytes",
             static_cast<unsigned long long>(counts.read),
             static_cast<unsigned long long>(in.data.bytes));
    }

    if (!in.data.to_end) {
        // Skip the pad byte of an odd-sized data chunk, then keep the chunks that follow.
        std::uint8_t pad_byte;
        if (pad && tamberlyn::ReadFile(in.fd, &pad_byte, 1) < 0) {
            Fail("cannot read", in.shown.c_str(), errno);
            return 1;
        }
        // With unknown sizes a reader takes everything after the header as samples.
        const long long rest = CopyRest(in, sizes_known ? &out : nullptr);
        if (rest < 0) return 1;
        if (!sizes_known && rest > 0) {
            Warn(in.shown.c_str(),
                 "%lld bytes of chunks after the audio data were left out: "
                 "a stream of unknown length cannot carry them",
                 rest);
        }
        trailing = sizes_known ? static_cast<std::uint64_t>(rest) : 0;
    }

    if (!sizes_first) {
        SetSizes(in.head, counts.written, trailing, true);
        if (::pwrite(out.fd, in.head.data(), 8, 0) != 8 ||
            ::pwrite(out.fd, in.head.data() + in.head.size() - 4, 4,
                     static_cast<off_t>(in.head.size() - 4)) != 4) {
            Fail("cannot write", out.shown.c_str(), errno);
            return 1;
        }
    }
    if (!CommitOutput(out)) return 1;

    const double before = SecondsOf(in.wav, counts.read);
    const double after = SecondsOf(in.wav, counts.written);
    const double removed = before > 0.0 ? 100.0 * (before - after) / before : 0.0;
    if (o.threshold == kAutoThreshold) {
        std::fprintf(stderr, "threshold %d (%.1f dBFS), from the background noise\n",
                     static_cast<int>(rule.threshold), 20.0 * std::log10(rule.threshold / 32768.0));
    }
    std::fprintf(stderr, "%s: %.2f s -> %s: %.2f s (%.1f%% removed)\n", in.shown.c_str(), before,
                 out.shown.c_str(), after, removed);
    return 0;
}

}  // namespace

int RunSilence(int argc, char** argv) {
    Options o;
    const int usage = ParseArguments(argc, argv, o);
    if (usage >= 0) return usage;

    WavInput in;
    if (!OpenWavInput(o.in, in)) return 1;
    if (!RequirePcm16(in, tamberlyn::kMaxSilenceChannels)) {
        CloseWavInput(in);
        return 1;
    }
    if (in.data.to_end) {
        Warn(o.in, "the data size (%lu) does not describe the file; reading the samples to its end",
             static_cast<unsigned long>(in.wav.data_size));
    }

    tamberlyn::SilenceRule rule;
    rule.channels = in.wav.channels;
    rule.threshold = o.threshold;
    const double frames = std::round(o.keep_seconds * in.wav.sample_rate);
    rule.keep = frames > tamberlyn::kMaxSilenceKeep ? tamberlyn::kMaxSilenceKeep
                                                    : static_cast<std::int32_t>(frames);
    if (o.threshold == kAutoThreshold) {
        if (!in.seekable) {
            Refuse(o.in, "--threshold auto reads the file twice, which a stream cannot do");
            CloseWavInput(in);
            return 1;
        }
        const std::uint64_t limit = in.data.to_end ? tamberlyn::kToEndOfFile : in.data.bytes;
        if (!MeasureNoise(in, limit, rule.threshold)) {
            CloseWavInput(in);
            return 1;
        }
    }

    // The same file under another name, or through a link, would be lost as it is read.
    struct stat in_st, out_st;
    const bool to_stdout = std::strcmp(o.out, "-") == 0;
    if (::fstat(in.fd, &in_st) == 0 && S_ISREG(in_st.st_mode) &&
        (to_stdout ? ::fstat(STDOUT_FILENO, &out_st) : ::stat(o.out, &out_st)) == 0 &&
        in_st.st_dev == out_st.st_dev && in_st.st_ino == out_st.st_ino) {
        Refuse(o.out, "is the input file itself; nothing was written");
        CloseWavInput(in);
        return 1;
    }

    RemoveTemporaryOnSignals();
    Output out;
    if (!OpenOutput(o.out, out)) {
        CloseWavInput(in);
        return 1;
    }
    const int status = Shorten(in, o, out, rule);
    if (status != 0) AbandonOutput(out);
    CloseWavInput(in);
    return status;
}

}  // namespace tamberlyn_cli
