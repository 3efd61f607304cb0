// tamberlyn silence: the silence engine over any 16-bit PCM WAV file, with its chunks kept.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "commands.h"
#include "messages.h"
#include "options.h"
#include "safe_output.h"
#include "silence/pause_stream.h"
#include "wav/little_endian.h"
#include "wav/recording_format.h"
#include "wav/wav_sizes.h"
#include "wav_input.h"

namespace tamberlyn_cli {

namespace {

using tamberlyn::SystemError;

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

// The library's rule: 799 samples at the recorder's 8000 Hz.
constexpr double kDefaultKeepSeconds =
    static_cast<double>(tamberlyn::kLibrarySilenceRule.keep) / tamberlyn::RECORD_SAMPLE_RATE;
constexpr std::int32_t kAutoThreshold = 0;

// One buffer for every pass of the program: reading, filtering, copying; as large as the
// library's, for the same reason.
std::uint8_t g_buffer[tamberlyn::kLargeSilenceBufferBytes];
// The ring of the one-pass pause cutter: the detector's lookahead (3 s), the pad and the
// reads in flight. Only what a file's rate and channels need of it is ever touched.
std::uint8_t g_ring[16u << 20];

struct Options {
    NativeString in;
    NativeString out;
    NativeString cuts;                                    // empty: none
    std::int32_t threshold = tamberlyn::QUIET_THRESHOLD;  // kAutoThreshold: from the noise
    double keep_seconds = -1.0;                           // negative: the default
    double pad_seconds = -1.0;
};

// "500", "-40dB", "-40.5 dBFS" or "auto". False for anything else or out of range.
bool ParseThreshold(const std::string& text, std::int32_t& threshold) {
    if (text == "auto") {
        threshold = kAutoThreshold;
        return true;
    }
    double value;
    std::size_t end;
    if (!ParseDecimal(text, value, end)) return false;
    while (end < text.size() && text[end] == ' ') ++end;
    double magnitude = value;
    std::string unit = text.substr(end);
    for (char& c : unit) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (unit == "db" || unit == "dbfs") {
        magnitude = std::round(tamberlyn::kPcm16FullScale * std::pow(10.0, value / 20.0));
    } else if (!unit.empty() || value != std::floor(value) || text[0] == '+') {
        return false;
    }
    if (magnitude < 1 || magnitude > tamberlyn::kMaxSilenceThreshold) return false;
    threshold = static_cast<std::int32_t>(magnitude);
    return true;
}

bool ParseSeconds(const std::string& text, double& seconds) {
    std::size_t end;
    return !text.empty() && text[0] != '-' && text[0] != '+' && ParseDecimal(text, seconds, end) &&
           end == text.size();
}

// Returns -1 when the command is to run, else the exit status.
int ParseArguments(int argc, NativeChar** argv, Options& o) {
    CommandLine line;
    const int status = ReadCommandLine(
        "silence", argc, argv,
        {{"--threshold", true}, {"--keep", true}, {"--pad", true}, {"--cuts", true}}, line);
    if (status >= 0) return status;
    if (line.help) {
        PrintOut("%s", kUsage);
        return 0;
    }
    for (const auto& [name, value] : line.options) {
        const std::string text = Utf8(value);
        if (name == "--threshold" && !ParseThreshold(text, o.threshold)) {
            return UsageError("silence",
                              "--threshold %s: give 1..32768, decibels such as -40dB, or auto",
                              Quoted(value).c_str());
        }
        if (name == "--keep" && !ParseSeconds(text, o.keep_seconds)) {
            return UsageError("silence", "--keep %s: give seconds, 0 or more",
                              Quoted(value).c_str());
        }
        if (name == "--pad" && !ParseSeconds(text, o.pad_seconds)) {
            return UsageError("silence", "--pad %s: give seconds, 0 or more",
                              Quoted(value).c_str());
        }
        if (name == "--cuts") o.cuts = value;
    }
    if (line.operands.size() > 2) {
        return UsageError("silence", "unexpected argument %s", Quoted(line.operands[2]).c_str());
    }
    if (line.operands.size() < 2) return UsageError("silence", "needs IN and OUT");
    o.in = line.operands[0];
    o.out = line.operands[1];
    return -1;
}

tamberlyn::SilenceBuffer Buffer() { return {g_buffer, sizeof g_buffer}; }

// What goes: the silence engine's rule where it is enough (a fixed threshold, no pad), the
// one-pass pause cutter otherwise.
struct Plan {
    tamberlyn::SilenceRule silence;
    tamberlyn::PauseRule pauses;
    bool cutter = false;
};

// Where the samples are in the input, and what follows them.
struct Extent {
    std::uint64_t limit = tamberlyn::kToEndOfFile;  // sample bytes to read
    bool to_end = false;
    std::uint64_t skip_after = 0;  // the data chunk's pad byte
};

// The removed stretches as an Audacity label track: "start<TAB>end<TAB>label", seconds of the
// input with six decimals; the label is where in the output the cut lies.
struct CutList {
    Output out;
    std::uint32_t rate = 1;
    std::uint64_t removed = 0;  // frames cut before the current one
    char text[64 * 1024];
    std::size_t used = 0;
    SystemError error;
};

bool FlushCuts(CutList& list) {
    if (!list.error && list.used > 0) {
        list.error = tamberlyn::WriteAll(list.out.file, list.text, list.used);
    }
    list.used = 0;
    if (list.error) Fail("cannot write", list.out.name, list.error);
    return !list.error;
}

void OnCut(void* context, std::uint64_t first, std::uint64_t frames) {
    CutList& list = *static_cast<CutList*>(context);
    if (list.error) return;
    if (sizeof list.text - list.used < 128 && list.used > 0) {
        list.error = tamberlyn::WriteAll(list.out.file, list.text, list.used);
        list.used = 0;
    }
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
        return tamberlyn::FilterStream(in.file, limit, plan.silence, sink, out_offset, Buffer(),
                                       counts);
    }
    const tamberlyn::CutSink cut_sink = {OnCut, cuts};
    return tamberlyn::CutPauses(in.file, limit, plan.pauses, sink, out_offset,
                                cuts != nullptr ? &cut_sink : nullptr, {g_ring, sizeof g_ring},
                                counts, report);
}

bool Failed(const char* what, const NativeString& name, SystemError error) {
    Fail(what, name, error);
    return false;
}

int Failure(const char* what, const NativeString& name, SystemError error) {
    Fail(what, name, error);
    return 1;
}

// Copies `bytes` of the input from `offset` (a stream: from where it is) to the output, setting
// the size fields of `patch` that lie in it on the way.
bool CopyInput(WavInput& in, std::uint64_t offset, std::uint64_t bytes, Output& out,
               const tamberlyn::WavSizePatch* patch) {
    const tamberlyn::WavSource source = SourceOf(in);
    while (bytes > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, sizeof g_buffer));
        std::size_t got = 0;
        if (const SystemError e = source.read_at(source.context, offset, g_buffer, want, got)) {
            return Failed("cannot read", in.name, e);
        }
        if (got < want) {
            Refuse(in.name, "the file ended while it was read");
            return false;
        }
        if (patch != nullptr) tamberlyn::ApplyWavSizes(*patch, offset, g_buffer, got);
        if (const SystemError e = tamberlyn::WriteAll(out.file, g_buffer, got)) {
            return Failed("cannot write", out.name, e);
        }
        offset += got;
        bytes -= got;
    }
    return true;
}

// Copies what follows the data chunk in a stream, to its end. Returns the bytes, or -1.
long long CopyRestOfStream(WavInput& in, Output* out) {
    long long copied = 0;
    for (;;) {
        std::size_t got = 0;
        if (const SystemError e = tamberlyn::ReadFull(in.file, g_buffer, sizeof g_buffer, got)) {
            Fail("cannot read", in.name, e);
            return -1;
        }
        if (got == 0) return copied;
        if (out != nullptr) {
            if (const SystemError e = tamberlyn::WriteAll(out->file, g_buffer, got)) {
                Fail("cannot write", out->name, e);
                return -1;
            }
        }
        copied += static_cast<long long>(got);
    }
}

// One line on what the detector found, when it found nothing to cut.
void ReportNothingFound(const NativeString& name, const tamberlyn::PauseReport& report) {
    const tamberlyn::PauseDetectorStats& d = report.detector;
    if (d.separable_windows * 2 < d.windows) {
        Refuse(name,
               "no pauses to find: the sound never stands far enough above a steady background "
               "(music, or a continuous noise); nothing was removed");
    } else {
        Refuse(name, "no pause long enough to shorten; nothing was removed");
    }
}

int Shorten(WavInput& in, const Options& o, const Extent& extent, Output& out, const Plan& plan,
            CutList* cuts) {
    const tamberlyn::WavDescription& wav = in.diagnosis.wav;
    // What follows the data (the pad byte, other chunks) in a file that can be measured.
    std::uint64_t after = 0;
    if (in.seekable && !extent.to_end) {
        after = in.file_size - wav.data_offset - extent.limit;
    }

    // When the output cannot be set at the end, its sizes are settled before the header.
    bool sizes_known = true;
    std::uint64_t data_out = 0;
    tamberlyn::StreamCounts counts;
    tamberlyn::PauseReport report;
    if (!out.seekable) {
        if (in.seekable) {
            if (const SystemError e = tamberlyn::SeekFile(in.file, wav.data_offset)) {
                return Failure("cannot read", in.name, e);
            }
            if (RunPass(in, extent.limit, plan, tamberlyn::CountingSink(), 0, nullptr, counts,
                        report) != tamberlyn::StreamResult::kDone) {
                return Failure("cannot read", in.name, counts.error);
            }
            data_out = counts.written;
        } else {
            sizes_known = false;
        }
    }
    // Chunks after the data come along only where a reader can find them: with known sizes.
    const std::uint64_t after_out = in.seekable && !extent.to_end ? after - extent.skip_after : 0;
    tamberlyn::WavSizePatch sizes = tamberlyn::WavSizesFor(wav, data_out, after_out, sizes_known);
    if (!CopyInput(in, 0, wav.data_offset, out, &sizes)) return 1;

    if (in.seekable) {
        if (const SystemError e = tamberlyn::SeekFile(in.file, wav.data_offset)) {
            return Failure("cannot read", in.name, e);
        }
    }
    counts = tamberlyn::StreamCounts{};
    report = tamberlyn::PauseReport{};
    tamberlyn::FileHandle out_file = out.file;
    const tamberlyn::StreamResult result =
        RunPass(in, extent.limit, plan, tamberlyn::FileSink(out_file), wav.data_offset, cuts,
                counts, report);
    if (result == tamberlyn::StreamResult::kReadFailed) {
        return Failure("cannot read", in.name, counts.error);
    }
    if (result == tamberlyn::StreamResult::kWriteFailed) {
        return Failure("cannot write", out.name, counts.error);
    }
    if (!extent.to_end && counts.read < extent.limit) {
        Warn(in.name, "the data chunk is cut short: %llu of %llu bytes",
             static_cast<unsigned long long>(counts.read),
             static_cast<unsigned long long>(extent.limit));
    }

    // The chunks after the data, as they are.
    std::uint64_t trailing = 0;
    if (in.seekable && !extent.to_end) {
        if (!CopyInput(in, wav.data_offset + extent.limit + extent.skip_after, after_out, out,
                       nullptr)) {
            return 1;
        }
        trailing = after_out;
    } else if (!extent.to_end) {
        std::uint8_t pad_byte;
        std::size_t got = 0;
        if (extent.skip_after > 0) {
            if (const SystemError e = tamberlyn::ReadFull(in.file, &pad_byte, 1, got)) {
                return Failure("cannot read", in.name, e);
            }
        }
        // With unknown sizes a reader takes everything after the header as samples.
        const long long rest = CopyRestOfStream(in, sizes_known ? &out : nullptr);
        if (rest < 0) return 1;
        if (!sizes_known && rest > 0) {
            Warn(in.name,
                 "%lld bytes of chunks after the audio data were left out: a stream of unknown "
                 "length cannot carry them",
                 rest);
        }
        trailing = sizes_known ? static_cast<std::uint64_t>(rest) : 0;
    }

    if (out.seekable) {
        sizes = tamberlyn::WavSizesFor(wav, counts.written, trailing);
        for (int i = 0; i < sizes.count; ++i) {
            const tamberlyn::WavSizeField& f = sizes.fields[i];
            if (const SystemError e = tamberlyn::WriteAllAt(out.file, f.offset, f.bytes, 4)) {
                return Failure("cannot write", out.name, e);
            }
        }
    }
    if (cuts != nullptr && !FlushCuts(*cuts)) return 1;
    if (!CommitOutput(out)) return 1;
    if (cuts != nullptr && !CommitOutput(cuts->out)) return 1;

    const double before = SecondsOf(wav, counts.read);
    const double left = SecondsOf(wav, counts.written);
    const double removed = before > 0.0 ? 100.0 * (before - left) / before : 0.0;
    if (o.threshold == kAutoThreshold) {
        if (report.cuts == 0) {
            ReportNothingFound(o.in, report);
        } else {
            PrintErr("pauses told from a background of %.1f to %.1f dBFS (above 200 Hz)\n",
                     report.detector.lowest_floor_db, report.detector.highest_floor_db);
        }
    }
    PrintErr("%s: %.2f s -> %s: %.2f s (%.1f%% removed)\n", Shown(in.name).c_str(), before,
             Shown(out.name).c_str(), left, removed);
    return 0;
}

// Frames for `seconds` at `rate`, within what the rule can count.
std::int64_t FramesOf(double seconds, std::uint32_t rate) {
    const double frames = std::round(seconds * rate);
    return frames > tamberlyn::kMaxSilenceKeep ? tamberlyn::kMaxSilenceKeep
                                               : static_cast<std::int64_t>(frames);
}

// Refuses what the engine cannot take, or a file whose sizes cannot be trusted; otherwise says
// where its samples are.
bool Admit(const WavInput& in, Extent& extent) {
    const tamberlyn::WavDiagnosis& d = in.diagnosis;
    switch (d.state) {
        case tamberlyn::WavState::kNotWav:
            RefuseHead(in);
            return false;
        case tamberlyn::WavState::kUnfinishedRecording:
            Refuse(in.name, "an unfinished recording (%s); 'tamberlyn repair' finishes it",
                   d.placeholder ? "its header was never written"
                                 : "its header is an earlier recording's");
            return false;
        case tamberlyn::WavState::kUndecidable:
            Refuse(in.name,
                   "its sizes disagree with its length: %s; see 'tamberlyn info' and "
                   "'tamberlyn repair'",
                   d.why);
            return false;
        default:
            break;
    }
    if (!tamberlyn::IsPcm16(d.wav, tamberlyn::kMaxSilenceChannels)) {
        const unsigned channels = d.wav.channels;
        const char* why = "only 16-bit PCM is supported";
        if (d.wav.format_tag == tamberlyn::kWavFormatPcm && d.wav.bits_per_sample == 16) {
            why = channels < 1 || channels > static_cast<unsigned>(tamberlyn::kMaxSilenceChannels)
                      ? "only 1 to 8 channels are supported"
                      : "the format chunk's sample rate or block alignment is wrong";
        }
        Refuse(in.name, "%s: %s", DescribeFormat(d.wav).c_str(), why);
        return false;
    }
    // The samples run to the end where the data size cannot say where they end.
    extent.to_end = d.state == tamberlyn::WavState::kUnknownLength || d.data_wrong;
    if (extent.to_end) {
        Warn(in.name,
             "the data size (%lu) does not describe the file; reading the samples to its end",
             static_cast<unsigned long>(d.wav.data_size));
        extent.limit = tamberlyn::kToEndOfFile;
    } else {
        extent.limit = d.wav.data_size;
        extent.skip_after = d.wav.data_size & 1u;
        if (in.seekable) {
            extent.skip_after = std::min<std::uint64_t>(
                extent.skip_after, in.file_size - d.wav.data_offset - d.wav.data_size);
        }
    }
    return true;
}

bool SameFileAsOutput(const WavInput& in, const NativeString& out_name) {
    tamberlyn::FileInfo out;
    const bool known = ArgIs(out_name.c_str(), "-") ? StandardOutput() != tamberlyn::kNoFile &&
                                                          !tamberlyn::InfoOf(StandardOutput(), out)
                                                    : !tamberlyn::InfoAt(out_name.c_str(), out);
    return in.info.kind == tamberlyn::FileKind::kRegular && known &&
           tamberlyn::SameFile(in.info, out);
}

}  // namespace

int RunSilence(int argc, NativeChar** argv) {
    Options o;
    const int usage = ParseArguments(argc, argv, o);
    if (usage >= 0) return usage;
    const bool cuts_to_stdout = !o.cuts.empty() && ArgIs(o.cuts.c_str(), "-");
    if (cuts_to_stdout && ArgIs(o.out.c_str(), "-")) {
        return UsageError("silence", "--cuts and OUT cannot both be standard output");
    }

    WavInput in;
    if (!OpenWavInput(o.in, in)) return 1;
    Extent extent;
    if (!Admit(in, extent)) {
        CloseWavInput(in);
        return 1;
    }

    const tamberlyn::WavDescription& wav = in.diagnosis.wav;
    const bool automatic = o.threshold == kAutoThreshold;
    const std::uint32_t rate = wav.sample_rate;
    Plan plan;
    plan.silence.channels = wav.channels;
    plan.silence.threshold = automatic ? tamberlyn::QUIET_THRESHOLD : o.threshold;
    plan.silence.keep = static_cast<std::int32_t>(FramesOf(o.keep_seconds >= 0 ? o.keep_seconds
                                                           : automatic ? tamberlyn::kAutoKeepSeconds
                                                                       : kDefaultKeepSeconds,
                                                           rate));
    plan.pauses.channels = wav.channels;
    plan.pauses.rate = rate;
    plan.pauses.automatic = automatic;
    plan.pauses.threshold = plan.silence.threshold;
    plan.pauses.keep = static_cast<std::uint64_t>(plan.silence.keep);
    plan.pauses.pad = static_cast<std::uint64_t>(FramesOf(o.pad_seconds >= 0 ? o.pad_seconds
                                                          : automatic ? tamberlyn::kAutoPadSeconds
                                                                      : 0.0,
                                                          rate));
    plan.cutter = automatic || plan.pauses.pad > 0 || !o.cuts.empty();
    const std::uint64_t max_pad = tamberlyn::MaxPauseRulePad(sizeof g_ring, plan.pauses);
    if (plan.pauses.pad > max_pad) {
        CloseWavInput(in);
        return UsageError("silence", "--pad: at most %.2f s at %u Hz with %u channels",
                          static_cast<double>(max_pad) / rate, static_cast<unsigned>(rate),
                          static_cast<unsigned>(wav.channels));
    }

    // The same file under another name, or through a link, would be lost as it is read.
    if (SameFileAsOutput(in, o.out) || (!o.cuts.empty() && SameFileAsOutput(in, o.cuts))) {
        Refuse(SameFileAsOutput(in, o.out) ? o.out : o.cuts,
               "is the input file itself; nothing was written");
        CloseWavInput(in);
        return 1;
    }

    Output out;
    if (!OpenOutput(o.out, out)) {
        CloseWavInput(in);
        return 1;
    }
    static CutList cuts;
    cuts.rate = rate;
    if (!o.cuts.empty() && !OpenOutput(o.cuts, cuts.out)) {
        AbandonOutput(out);
        CloseWavInput(in);
        return 1;
    }
    const int status = Shorten(in, o, extent, out, plan, o.cuts.empty() ? nullptr : &cuts);
    if (status != 0) {
        AbandonOutput(out);
        if (!o.cuts.empty()) AbandonOutput(cuts.out);
    }
    CloseWavInput(in);
    return status;
}

}  // namespace tamberlyn_cli
