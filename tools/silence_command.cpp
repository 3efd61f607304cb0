// tamberlyn silence: the engine's pause shortening over a WAV file, standard input or output.
#include <cstdio>
#include <string>

#include "commands.h"
#include "messages.h"
#include "options.h"

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

struct Options {
    NativeString in;
    NativeString out;
    NativeString cuts;  // empty: none
    tamberlyn_pause_options pauses;
};

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
    tamberlyn_pause_options_init(&o.pauses);
    for (const auto& [name, value] : line.options) {
        const std::string text = Utf8(value);
        if (name == "--threshold" &&
            tamberlyn_parse_threshold(text.c_str(), &o.pauses.threshold) != TAMBERLYN_OK) {
            return UsageError("silence",
                              "--threshold %s: give 1..32768, decibels such as -40dB, or auto",
                              Quoted(value).c_str());
        }
        if (name == "--keep" && !ParseSeconds(text, o.pauses.keep)) {
            return UsageError("silence", "--keep %s: give seconds, 0 or more",
                              Quoted(value).c_str());
        }
        if (name == "--pad" && !ParseSeconds(text, o.pauses.pad)) {
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

bool IsStandard(const NativeString& name) { return ArgIs(name.c_str(), "-"); }

// A name given as "-" and a named file that standard input or output already is: the same
// file would be lost as it is read. The engine judges two named files itself.
bool SameFileThroughStandardStream(const Options& o) {
    const NativeString* refused = nullptr;
    if (IsStandard(o.in)) {
        if (!IsStandard(o.out) && StandardStreamIs(0, o.out)) refused = &o.out;
        if (!o.cuts.empty() && !IsStandard(o.cuts) && StandardStreamIs(0, o.cuts)) {
            refused = refused != nullptr ? refused : &o.cuts;
        }
    } else if ((IsStandard(o.out) || (!o.cuts.empty() && IsStandard(o.cuts))) &&
               StandardStreamIs(1, o.in)) {
        refused = IsStandard(o.out) ? &o.out : &o.cuts;
    }
    if (refused != nullptr) Refuse(*refused, "is the input file itself; nothing was written");
    return refused != nullptr;
}

void Warnings(const Options& o, const tamberlyn_shorten_summary& s) {
    if (s.warnings & TAMBERLYN_WARN_DATA_SIZE_UNUSABLE) {
        Warn(o.in, "the data size (%lu) does not describe the file; reading the samples to its end",
             static_cast<unsigned long>(s.data_declared));
    }
    if (s.warnings & TAMBERLYN_WARN_DATA_CUT_SHORT) {
        Warn(o.in, "the data chunk is cut short: %llu of %llu bytes",
             static_cast<unsigned long long>(s.data_read),
             static_cast<unsigned long long>(s.data_declared));
    }
    if (s.warnings & TAMBERLYN_WARN_APPENDED_KEPT) {
        Warn(o.in, "%llu bytes after its RIFF form (a tag, say) follow the output's as they are",
             static_cast<unsigned long long>(s.appended_bytes));
    }
    if (s.warnings & TAMBERLYN_WARN_CHUNKS_LEFT_OUT) {
        Warn(o.in,
             "%lld bytes of chunks after the audio data were left out: a stream of unknown "
             "length cannot carry them",
             static_cast<long long>(s.chunks_left_out));
    }
}

int Failed(const Options& o, tamberlyn_status status) {
    if (status == TAMBERLYN_E_PAD_TOO_LONG) {
        return UsageError("silence", "--pad: %s", tamberlyn_error_message());
    }
    const NativeString names[3] = {o.in, o.out, o.cuts};
    ReportFailure(names, status == TAMBERLYN_E_UNFINISHED ? "; 'tamberlyn repair' finishes it"
                         : status == TAMBERLYN_E_UNDECIDABLE
                             ? "; see 'tamberlyn info' and 'tamberlyn repair'"
                             : "");
    return 1;
}

void Summarise(const Options& o, const tamberlyn_shorten_summary& s) {
    const double rate = s.rate > 0 ? s.rate : 1;
    const double before = static_cast<double>(s.frames_in) / rate;
    const double left = static_cast<double>(s.frames_out) / rate;
    const double removed = before > 0.0 ? 100.0 * (before - left) / before : 0.0;
    if (s.automatic) {
        if (s.cuts == 0 && s.separable_share < 0.5) {
            Refuse(o.in,
                   "no pauses to find: the sound never stands far enough above a steady "
                   "background (music, or a continuous noise); nothing was removed");
        } else if (s.cuts == 0) {
            Refuse(o.in, "no pause long enough to shorten; nothing was removed");
        } else {
            PrintErr("pauses told from a background of %.1f to %.1f dBFS (above 200 Hz)\n",
                     s.background_low_dbfs, s.background_high_dbfs);
        }
    }
    PrintErr("%s: %.2f s -> %s: %.2f s (%.1f%% removed)\n", Shown(o.in).c_str(), before,
             Shown(o.out).c_str(), left, removed);
}

}  // namespace

int RunSilence(int argc, NativeChar** argv) {
    Options o;
    const int usage = ParseArguments(argc, argv, o);
    if (usage >= 0) return usage;
    const bool cuts_to_stdout = !o.cuts.empty() && IsStandard(o.cuts);
    if (cuts_to_stdout && IsStandard(o.out)) {
        return UsageError("silence", "--cuts and OUT cannot both be standard output");
    }

    tamberlyn_stream in{}, out{}, labels{};
    if (IsStandard(o.in) && !StandardInputStream(in)) {
        Refuse(o.in, "standard input is closed");
        return 1;
    }
    if ((IsStandard(o.out) && !StandardOutputStream(out)) ||
        (cuts_to_stdout && !StandardOutputStream(labels))) {
        Refuse(IsStandard(o.out) ? o.out : o.cuts, "standard output is closed");
        return 1;
    }
    labels.write_at = nullptr;  // a label track is written straight through
    if (SameFileThroughStandardStream(o)) return 1;

    tamberlyn_shorten_options options;
    tamberlyn_shorten_options_init(&options);
    options.pauses = &o.pauses;
    if (cuts_to_stdout) {
        options.labels_stream = &labels;
    } else if (!o.cuts.empty()) {
        options.labels_path = o.cuts.c_str();
    }
    tamberlyn_shorten_summary summary;
    summary.struct_size = sizeof summary;
    const tamberlyn_status status = tamberlyn_shorten(
        IsStandard(o.in) ? nullptr : o.in.c_str(), IsStandard(o.in) ? &in : nullptr,
        IsStandard(o.out) ? nullptr : o.out.c_str(), IsStandard(o.out) ? &out : nullptr, &options,
        &summary);
    Warnings(o, summary);
    if (status != TAMBERLYN_OK) return Failed(o, status);
    Summarise(o, summary);
    return 0;
}

}  // namespace tamberlyn_cli
