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
#include "silence/pause_stream.h"
#include "silence/silence_stream.h"
#include "wav/little_endian.h"
#include "wav_input.h"

namespace tamberlyn_cli {

namespace {

constexpr char kUsage[] =
    "usage: tamberlyn silence IN OUT [--threshold T] [--keep SECONDS] [--pad SECONDS]\n"
    "                         [--cuts FILE]\n"
    "\n"
    "Copies the 16-bit PCM WAV file IN to OUT, shortening every pause: each keeps its first\n"
    "--keep seconds and, before the sound that ends it, its last --pad seconds. With a number\n"
    "as T a frame is quiet when every channel's sample has a magnitude below T; with 'auto'\n"
    "pauses are told from sound by the recording's own background noise. The other chunks of\n"
    "IN are kept as they are; OUT replaces an existing file only when complete.\n"
    "\n"
    "  --threshold T   a magnitude 1..32768, decibels below full scale (-40dB), or 'auto'\n"
    "                  (default 500)\n"
    "  --keep SECONDS  of each pause, how much stays at its start (default 0.099875, 799\n"
    "                  samples at 8000 Hz; with auto 0.1)\n"
    "  --pad SECONDS   of each pause, how much stays before the next sound (default 0; with\n"
    "                  auto 0.2)\n"
    "  --cuts FILE     list what was cut as an Audacity label track: a line per cut,\n"
    "                  start<TAB>end<TAB>label in seconds of IN\n"
    "  -               as IN reads standard input, as OUT writes standard output\n";

constexpr double kDefaultKeepSeconds = 0.099875;
constexpr std::int32_t kAutoThreshold = 0;

// One buffer for every pass of the program: reading, filtering, copying; as large as the
// library's, for the same reason.
std::uint8_t g_buffer[tamberlyn::kLargeSilenceBufferBytes];
// The ring of the one-pass pause cutter: the detector's lookahead (3 s), the pad and the
// reads in flight. Only what a file's rate and channels need of it is ever touched.
std::uint8_t g_ring[16u << 20];

struct Options {
    const char* in = nullptr;
    const char* out = nullptr;
    const char* cuts = nullptr;
    std::int32_t threshold = tamberlyn::QUIET_THRESHOLD;  // kAutoThreshold: from the noise
    double keep_seconds = -1.0;                           // negative: the default
    double pad_seconds = -1.0;
};

// A plain decimal number: digits with an optional sign and fraction, nothing else (no hex, no
// exponent, no "inf"). `rest` gets what follows it.
bool ParseDecimal(const char* text, double& value, const char** rest) {
    const char* p = text;
    if (*p == '-' || *p == '+') ++p;
    const char* digits = p;
    while (*p >= '0' && *p <= '9') ++p;
    bool any = p > digits;
    if (*p == '.') {
        ++p;
        const char* fraction = p;
        while (*p >= '0' && *p <= '9') ++p;
        any = any || p > fraction;
    }
    if (!any) return false;
    value = std::strtod(std::string(text, p).c_str(), nullptr);
    *rest = p;
    return std::isfinite(value);
}

// "500", "-40dB", "-40.5 dBFS" or "auto". False for anything else or out of range.
bool ParseThreshold(const char* text, std::int32_t& threshold) {
    if (std::strcmp(text, "auto") == 0) {
        threshold = kAutoThreshold;
        return true;
    }
    double value;
    const char* end;
    if (!ParseDecimal(text, value, &end)) return false;
    while (*end == ' ') ++end;
    double magnitude = value;
    if (strncasecmp(end, "db", 2) == 0) {
        end += 2;
        if (strncasecmp(end, "fs", 2) == 0) end += 2;
        magnitude = std::round(32768.0 * std::pow(10.0, value / 20.0));
    } else if (value != std::floor(value) || text[0] == '+') {
        return false;
    }
    if (*end != '\0' || magnitude < 1 || magnitude > tamberlyn::kMaxSilenceThreshold) return false;
    threshold = static_cast<std::int32_t>(magnitude);
    return true;
}

bool ParseSeconds(const char* text, double& seconds) {
    const char* end;
    return text[0] != '-' && text[0] != '+' && ParseDecimal(text, seconds, &end) && *end == '\0';
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
            if (name != "--threshold" && name != "--keep" && name != "--pad" && name != "--cuts") {
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
            if (name == "--pad" && !ParseSeconds(value, o.pad_seconds)) {
                return UsageError("silence", "--pad '%s': give seconds, 0 or more", value);
            }
            if (name == "--cuts") o.cuts = value;
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

// What goes: the silence engine's rule where it is enough (a fixed threshold, no pad), the
// one-pass pause cutter otherwise.
struct Plan {
    tamberlyn::SilenceRule silence;
    tamberlyn::PauseRule pauses;
    bool cutter = false;
};

// The removed stretches as an Audacity label track: "start<TAB>end<TAB>label", seconds of the
// input with six decimals; the label is where in the output the cut lies.
struct CutList {
    Output out;
    std::uint32_t rate = 1;
    std::uint64_t removed = 0;  // frames cut before the current one
    char text[64 * 1024];
    std::size_t used = 0;
    bool failed = false;
};

bool FlushCuts(CutList& list) {
    if (list.failed) return false;
    if (list.used > 0 && !tamberlyn::WriteFile(list.out.fd, list.text, list.used)) {
        Fail("cannot write", list.out.shown.c_str(), errno);
        list.failed = true;
    }
    list.used = 0;
    return !list.failed;
}

void OnCut(void* context, std::uint64_t first, std::uint64_t frames) {
    CutList& list = *static_cast<CutList*>(context);
    if (sizeof list.text - list.used < 128 && !FlushCuts(list)) return;
    const double rate = list.rate;
    const int n =
        std::snprintf(list.text + list.used, sizeof list.text - list.used, "%.6f\t%.6f\tout %.6f\n",
                      first / rate, (first + frames) / rate, (first - list.removed) / rate);
    if (n > 0) list.used += static_cast<std::size_t>(n);
    list.removed += frames;
}

tamberlyn::StreamResult RunPass(const WavInput& in, std::uint64_t limit, const Plan& plan,
                                const tamberlyn::DataSink& sink, std::uint64_t out_offset,
                                CutList* cuts, tamberlyn::StreamCounts& counts,
                                tamberlyn::PauseReport& report) {
    if (!plan.cutter) {
        return tamberlyn::FilterStream(in.fd, limit, plan.silence, sink, out_offset, Buffer(),
                                       counts);
    }
    const tamberlyn::CutSink cut_sink = {OnCut, cuts};
    return tamberlyn::CutPauses(in.fd, limit, plan.pauses, sink, out_offset,
                                cuts != nullptr ? &cut_sink : nullptr, {g_ring, sizeof g_ring},
                                counts, report);
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

// One line on what the detector found, when it found nothing to cut.
void ReportNothingFound(const char* name, const tamberlyn::PauseReport& report) {
    const tamberlyn::PauseDetectorStats& d = report.detector;
    if (d.separable_windows * 2 < d.windows) {
        Refuse(name,
               "no pauses to find: the sound never stands far enough above a steady background "
               "(music, or a continuous noise); nothing was removed");
    } else {
        Refuse(name, "no pause long enough to shorten; nothing was removed");
    }
}

int Shorten(WavInput& in, const Options& o, Output& out, const Plan& plan, CutList* cuts) {
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
    tamberlyn::PauseReport report;
    if (sizes_first) {
        if (in.seekable) {
            if (RunPass(in, limit, plan, tamberlyn::CountingSink(), 0, nullptr, counts, report) !=
                tamberlyn::StreamResult::kDone) {
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
    report = tamberlyn::PauseReport{};
    tamberlyn::FileHandle out_file = out.fd;
    const tamberlyn::StreamResult result = RunPass(in, limit, plan, tamberlyn::FileSink(out_file),
                                                   in.head.size(), cuts, counts, report);
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
    if (cuts != nullptr && !FlushCuts(*cuts)) return 1;
    if (!CommitOutput(out)) return 1;
    if (cuts != nullptr && !CommitOutput(cuts->out)) return 1;

    const double before = SecondsOf(in.wav, counts.read);
    const double after = SecondsOf(in.wav, counts.written);
    const double removed = before > 0.0 ? 100.0 * (before - after) / before : 0.0;
    if (o.threshold == kAutoThreshold) {
        if (report.cuts == 0) {
            ReportNothingFound(o.in, report);
        } else {
            std::fprintf(stderr, "pauses told from a background of %.1f to %.1f dBFS (above 200 Hz)\n",
                         report.detector.lowest_floor_db, report.detector.highest_floor_db);
        }
    }
    std::fprintf(stderr, "%s: %.2f s -> %s: %.2f s (%.1f%% removed)\n", in.shown.c_str(), before,
                 out.shown.c_str(), after, removed);
    return 0;
}

// Frames for `seconds` at `rate`, within what the rule can count.
std::int64_t FramesOf(double seconds, std::uint32_t rate) {
    const double frames = std::round(seconds * rate);
    return frames > tamberlyn::kMaxSilenceKeep ? tamberlyn::kMaxSilenceKeep
                                               : static_cast<std::int64_t>(frames);
}

}  // namespace

int RunSilence(int argc, char** argv) {
    Options o;
    const int usage = ParseArguments(argc, argv, o);
    if (usage >= 0) return usage;
    if (o.cuts != nullptr && std::strcmp(o.cuts, "-") == 0 && std::strcmp(o.out, "-") == 0) {
        return UsageError("silence", "--cuts and OUT cannot both be standard output");
    }

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

    const bool automatic = o.threshold == kAutoThreshold;
    const std::uint32_t rate = in.wav.sample_rate;
    Plan plan;
    plan.silence.channels = in.wav.channels;
    plan.silence.threshold = automatic ? tamberlyn::QUIET_THRESHOLD : o.threshold;
    plan.silence.keep = static_cast<std::int32_t>(FramesOf(o.keep_seconds >= 0 ? o.keep_seconds
                                                           : automatic ? tamberlyn::kAutoKeepSeconds
                                                                       : kDefaultKeepSeconds,
                                                           rate));
    plan.pauses.channels = in.wav.channels;
    plan.pauses.rate = rate;
    plan.pauses.automatic = automatic;
    plan.pauses.threshold = plan.silence.threshold;
    plan.pauses.keep = static_cast<std::uint64_t>(plan.silence.keep);
    plan.pauses.pad = static_cast<std::uint64_t>(FramesOf(o.pad_seconds >= 0 ? o.pad_seconds
                                                          : automatic ? tamberlyn::kAutoPadSeconds
                                                                      : 0.0,
                                                          rate));
    plan.cutter = automatic || plan.pauses.pad > 0 || o.cuts != nullptr;
    const std::uint64_t max_pad = tamberlyn::MaxPauseRulePad(sizeof g_ring, plan.pauses);
    if (plan.pauses.pad > max_pad) {
        CloseWavInput(in);
        return UsageError("silence", "--pad %s: at most %.2f s at %u Hz with %u channels",
                          std::to_string(o.pad_seconds).c_str(),
                          static_cast<double>(max_pad) / rate, static_cast<unsigned>(rate),
                          static_cast<unsigned>(in.wav.channels));
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
    static CutList cuts;
    cuts.rate = rate;
    if (o.cuts != nullptr && !OpenOutput(o.cuts, cuts.out)) {
        AbandonOutput(out);
        CloseWavInput(in);
        return 1;
    }
    const int status = Shorten(in, o, out, plan, o.cuts != nullptr ? &cuts : nullptr);
    if (status != 0) {
        AbandonOutput(out);
        if (o.cuts != nullptr) AbandonOutput(cuts.out);
    }
    CloseWavInput(in);
    return status;
}

}  // namespace tamberlyn_cli
