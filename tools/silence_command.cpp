// tamberlyn silence: the engine's pause shortening over a WAV file, standard input or output,
// or over many files into a folder, several at once.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "messages.h"
#include "options.h"

namespace tamberlyn_cli {

namespace {

constexpr char kUsage[] =
    "usage: tamberlyn silence IN OUT [--threshold T] [--keep SECONDS] [--pad SECONDS]\n"
    "                         [--cuts FILE]\n"
    "       tamberlyn silence IN... -o FOLDER [-j N] [--cuts FOLDER] [options]\n"
    "\n"
    "Copies the WAV file IN to OUT, shortening every pause: each keeps its first --keep\n"
    "seconds and, before the sound that ends it, its last --pad seconds. With a number as T a\n"
    "frame is quiet when every channel's sample is below T (in 16-bit steps of full scale);\n"
    "with 'auto' pauses are told from sound by the recording's own background noise. The\n"
    "other chunks of IN are kept as they are; OUT replaces an existing file only when complete.\n"
    "IN may be PCM of 8, 16, 24 or 32 bits or float of 32 or 64 bits, 1 to 8 channels, or any\n"
    "audio FFmpeg decodes (FLAC, MP3, Ogg, Opus, M4A...), encoded again as it was; OUT named\n"
    "with another audio extension (.flac, .wav, .mp3...) converts.\n"
    "\n"
    "  --threshold T   a magnitude 1..32768, decibels below full scale (-40dB), or 'auto'\n"
    "                  (default 500)\n"
    "  --keep SECONDS  of each pause, how much stays at its start (default 0.099875, 799\n"
    "                  samples at 8000 Hz; with auto 0.1)\n"
    "  --pad SECONDS   of each pause, how much stays before the next sound (default 0; with\n"
    "                  auto 0.2)\n"
    "  --cuts FILE     list what was cut as an Audacity label track: a line per cut,\n"
    "                  start<TAB>end<TAB>label in seconds of IN\n"
    "  -o FOLDER       shorten every IN into FOLDER under its own name; --cuts then names a\n"
    "                  folder for the label tracks (NAME.txt)\n"
    "  -j N            shorten N files at once (default: the processor's cores)\n"
    "  -               as IN reads standard input, as OUT writes standard output\n";

struct Options {
    std::vector<NativeString> inputs;
    NativeString in;
    NativeString out;
    NativeString cuts;    // empty: none
    NativeString folder;  // with -o: where the outputs go
    long jobs = 0;        // with -o: how many at once; 0: the cores
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
    const int status = ReadCommandLine("silence", argc, argv,
                                       {{"--threshold", true},
                                        {"--keep", true},
                                        {"--pad", true},
                                        {"--cuts", true},
                                        {"-o", true},
                                        {"-j", true}},
                                       line);
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
        if (name == "-o") o.folder = value;
        if (name == "-j") {
            double jobs;
            std::size_t end;
            if (!ParseDecimal(text, jobs, end) || end != text.size() || jobs < 1 || jobs > 256 ||
                jobs != static_cast<double>(static_cast<long>(jobs))) {
                return UsageError("silence", "-j %s: give a whole number of files, 1 to 256",
                                  Quoted(value).c_str());
            }
            o.jobs = static_cast<long>(jobs);
        }
    }
    if (!o.folder.empty()) {
        if (line.operands.empty()) return UsageError("silence", "needs at least one IN");
        o.inputs = line.operands;
        return -1;
    }
    if (o.jobs > 0) return UsageError("silence", "-j goes with -o FOLDER");
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
        } else if (std::isinf(s.background_low_dbfs)) {
            PrintErr("pauses told from digital silence\n");
        } else {
            PrintErr("pauses told from a background of %.1f to %.1f dBFS (above 200 Hz)%s\n",
                     s.background_low_dbfs, s.background_high_dbfs,
                     s.digital_silence_share > 0 ? " and digital silence" : "");
        }
        // Where part of it had no background to tell pauses by, that part was kept whole.
        const double told = 100.0 * s.separable_share;
        if (s.cuts > 0 && told < 95.0) {
            PrintErr(
                "pauses told in %.0f%% of the recording; the other %.0f%% never stood far "
                "enough above a steady background (music, or a continuous noise) and was "
                "kept whole\n",
                told, 100.0 - told);
        }
    }
    PrintErr("%s: %.2f s -> %s: %.2f s (%.1f%% removed)\n", Shown(o.in).c_str(), before,
             Shown(o.out).c_str(), left, removed);
}

// Seconds in and out of one shortening, for a folder's total.
struct Shortened {
    double before = 0.0;
    double after = 0.0;
};

// Shortens one file (or standard input or output); says what it did or why it failed. The exit
// status: 0, 1, or 2 for an option the file cannot take.
int ShortenOne(const Options& o, Shortened& done) {
    const bool cuts_to_stdout = !o.cuts.empty() && IsStandard(o.cuts);
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
    const double rate = summary.rate > 0 ? summary.rate : 1;
    done.before = static_cast<double>(summary.frames_in) / rate;
    done.after = static_cast<double>(summary.frames_out) / rate;
    return 0;
}

#if defined(_WIN32)
constexpr NativeChar kSeparator = L'\\';
#else
constexpr NativeChar kSeparator = '/';
#endif

NativeString BaseName(const NativeString& path) {
#if defined(_WIN32)
    const std::size_t at = path.find_last_of(L"\\/");
#else
    const std::size_t at = path.find_last_of('/');
#endif
    return at == NativeString::npos ? path : path.substr(at + 1);
}

NativeString Join(const NativeString& folder, const NativeString& name) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == kSeparator)) {
        return folder + name;
    }
    return folder + kSeparator + name;
}

// The label track for an output: its name with ".txt" for its extension.
NativeString LabelsFor(const NativeString& name) {
    const std::size_t dot = name.find_last_of(NativeChar('.'));
    NativeString stem = dot == NativeString::npos || dot == 0 ? name : name.substr(0, dot);
    stem += NativeChar('.');
    stem += NativeChar('t');
    stem += NativeChar('x');
    stem += NativeChar('t');
    return stem;
}

// Many files into a folder, `jobs` at once. Each file's lines come together, as it ends; a
// failure does not stop the others. Refused before anything starts: an output that would
// replace an input, and two inputs of one name.
int ShortenIntoFolder(const Options& batch) {
    std::vector<Options> work;
    for (const NativeString& in : batch.inputs) {
        if (IsStandard(in)) return UsageError("silence", "- cannot be shortened into a folder");
        Options o = batch;
        o.in = in;
        o.out = Join(batch.folder, BaseName(in));
        o.cuts = batch.cuts.empty() ? NativeString() : Join(batch.cuts, LabelsFor(BaseName(in)));
        for (const Options& earlier : work) {
            if (earlier.out == o.out) {
                Refuse(in, "has the name of %s: both would be written to %s",
                       Quoted(earlier.in).c_str(), Quoted(o.out).c_str());
                return 1;
            }
        }
        work.push_back(o);
    }
    for (const Options& o : work) {
        for (const NativeString& in : batch.inputs) {
            if (SamePath(in, o.out) || (!o.cuts.empty() && SamePath(in, o.cuts))) {
                Refuse(in, "would be replaced by an output; nothing was written");
                return 1;
            }
        }
    }

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t jobs = std::min<std::size_t>(
        work.size(), batch.jobs > 0 ? static_cast<std::size_t>(batch.jobs) : cores);
    std::atomic<std::size_t> next{0};
    std::mutex printing;
    int failed = 0;
    Shortened total;
    auto worker = [&] {
        for (std::size_t i; (i = next++) < work.size();) {
            std::string said;
            CaptureErrors(&said);
            Shortened done;
            const int status = ShortenOne(work[i], done);
            CaptureErrors(nullptr);
            const std::lock_guard<std::mutex> held(printing);
            PrintErr("%s", said.c_str());
            if (status != 0) {
                ++failed;
            } else {
                total.before += done.before;
                total.after += done.after;
            }
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t k = 1; k < jobs; ++k) threads.emplace_back(worker);
    worker();
    for (std::thread& t : threads) t.join();

    const double removed =
        total.before > 0 ? 100.0 * (total.before - total.after) / total.before : 0;
    const std::size_t ok = work.size() - static_cast<std::size_t>(failed);
    PrintErr("%lu file%s: %.2f s -> %.2f s (%.1f%% removed)", static_cast<unsigned long>(ok),
             ok == 1 ? "" : "s", total.before, total.after, removed);
    if (failed > 0) PrintErr("; %d failed", failed);
    PrintErr("\n");
    return failed > 0 ? 1 : 0;
}

}  // namespace

int RunSilence(int argc, NativeChar** argv) {
    Options o;
    const int usage = ParseArguments(argc, argv, o);
    if (usage >= 0) return usage;
    if (!o.folder.empty()) return ShortenIntoFolder(o);
    if (!o.cuts.empty() && IsStandard(o.cuts) && IsStandard(o.out)) {
        return UsageError("silence", "--cuts and OUT cannot both be standard output");
    }
    Shortened done;
    return ShortenOne(o, done);
}

}  // namespace tamberlyn_cli
