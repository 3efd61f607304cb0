// tamberlyn record: the recorder, heard through its own events rather than by watching its file.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "commands.h"
#include "messages.h"
#include "options.h"

namespace tamberlyn_cli {

namespace {

using Clock = std::chrono::steady_clock;

// The most seconds a recording's header can describe (74 h 33 min 55 s).
constexpr long kMaxSeconds = 268435;
// Below this peak a second of audio is silent, as the silence engine hears it.
constexpr int kQuietPeak = 500;
constexpr double kFullScale = 32768.0;
constexpr std::uint64_t kRate = 8000;

// How the user stops a recording, on this platform.
#if defined(_WIN32)
#define TAMBERLYN_STOPS "Ctrl-C, Ctrl-Break or the console's closing"
#else
#define TAMBERLYN_STOPS "Ctrl-C, SIGTERM, SIGHUP or SIGQUIT"
#endif

constexpr char kRecordUsage[] =
    "usage: tamberlyn record OUT.wav [--seconds N] [--force]\n"
    "\n"
    "Records the default audio input (8000 Hz, 16-bit, mono) into OUT.wav until\n"
    "" TAMBERLYN_STOPS
    " or N whole seconds, and finalises its header;\n"
    "every word up to the stop is kept. A lost input (a sound server gone, a microphone\n"
    "unplugged) is waited for; the gap is left out.\n"
    "A second Ctrl-C while it stops ends it at once: 'tamberlyn repair' finishes the file.\n"
    "\n"
    "  --seconds N   stop with exactly N seconds (1 to 268435) in the file\n"
    "  --force       replace OUT.wav if it exists (its owner and permissions stay)\n";

constexpr auto kPoll = std::chrono::milliseconds(100);
constexpr int kSilentSeconds = 5;
constexpr int kBarWidth = 20;

volatile std::sig_atomic_t g_stop = 0;

struct Options {
    NativeString path;
    long seconds = 0;  // 0: until stopped
    bool force = false;
};

int ParseArguments(int argc, NativeChar** argv, Options& o) {
    CommandLine line;
    const int status =
        ReadCommandLine("record", argc, argv, {{"--seconds", true}, {"--force", false}}, line);
    if (status >= 0) return status;
    if (line.help) {
        PrintOut("%s", kRecordUsage);
        return 0;
    }
    for (const auto& [name, value] : line.options) {
        if (name == "--force") {
            o.force = true;
            continue;
        }
        const std::string text = Utf8(value);
        char* end = nullptr;
        const long long n = std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || n < 1 ||
            n > kMaxSeconds) {
            return UsageError("record", "--seconds %s: give a whole number of seconds from 1 to %d",
                              Quoted(value).c_str(), static_cast<int>(kMaxSeconds));
        }
        o.seconds = static_cast<long>(n);
    }
    if (line.operands.size() > 1) {
        return UsageError("record", "unexpected argument %s", Quoted(line.operands[1]).c_str());
    }
    if (line.operands.empty()) return UsageError("record", "needs OUT.wav");
    o.path = line.operands[0];
    return -1;
}

// What the recorder told, from its capture thread to this one.
struct Heard {
    std::atomic<std::int32_t> blocks{0};
    std::atomic<std::int32_t> peak{-1};
    std::atomic<int> silent{0};  // seconds of audio in a row without a sound
    std::atomic<bool> lost{false};
    std::atomic<int> write_error{0};
    std::atomic<bool> limit{false};
};

void TAMBERLYN_CALL OnEvent(void* context, const tamberlyn_record_event* e) {
    Heard& h = *static_cast<Heard*>(context);
    switch (e->kind) {
        case TAMBERLYN_EVENT_BLOCK_WRITTEN:
            h.blocks = e->blocks;
            h.peak = e->peak;
            h.silent = e->peak < kQuietPeak ? h.silent + 1 : 0;
            break;
        case TAMBERLYN_EVENT_INPUT_LOST:
            h.lost = true;
            break;
        case TAMBERLYN_EVENT_INPUT_BACK:
            h.lost = false;
            break;
        case TAMBERLYN_EVENT_WRITE_FAILED:
            h.write_error = e->system_code;
            break;
        case TAMBERLYN_EVENT_LIMIT_REACHED:
            h.limit = true;
            break;
    }
}

// Why the recording could not start, in one line.
void ExplainStartFailure(tamberlyn_status status, const NativeString& path) {
    if (status == TAMBERLYN_E_DEVICE) {
        std::string hint;
#if !defined(_WIN32)
        if (const char* source = std::getenv("PULSE_SOURCE")) {
            hint = std::string(" (PULSE_SOURCE=") + source + ")";
        }
#endif
        PrintErr("tamberlyn: %s%s\n", tamberlyn_error_message(), hint.c_str());
        return;
    }
    if (status == TAMBERLYN_E_BUSY) {
        PrintErr("tamberlyn: %s\n", tamberlyn_error_message());
        return;
    }
    const NativeString names[3] = {path, path, path};
    ReportFailure(names, status == TAMBERLYN_E_EXISTS ? "; give --force to replace it" : "");
}

// `text` cut to at most `bytes` bytes, at a character's start: no more columns than that.
std::string CutTo(std::string text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

// One line that fits the terminal, so that it is redrawn in place and never wraps: the full
// line where there is room, shorter ones on narrower terminals.
void ShowStatus(const NativeString& path, const Heard& h, long elapsed) {
    const std::int32_t peak = h.peak;
    const double dbfs =
        peak > 0 ? 20.0 * std::log10(static_cast<double>(peak) / kFullScale) : -120.0;
    char bar[kBarWidth + 1];
    // -60 dBFS and below: an empty bar; 0 dBFS: a full one.
    const double fill = (dbfs + 60.0) / 60.0 * kBarWidth;
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < fill ? '#' : '-';
    bar[kBarWidth] = '\0';
    const char* note = "";
    const char* brief = "";
    if (h.lost) {
        note = "  input lost: waiting for it to return";
        brief = "  input lost";
    } else if (h.silent >= kSilentSeconds) {
        note = "  input is silent: is the microphone muted?";
        brief = "  silent: muted?";
    }
    const std::string name = Shown(path);
    const int saved = static_cast<int>(h.blocks);
    char lines[3][512];
    std::snprintf(lines[0], sizeof lines[0],
                  "recording to %s  %ld:%02ld elapsed, %d s saved  %6.1f dBFS [%s]%s", name.c_str(),
                  elapsed / 60, elapsed % 60, saved, dbfs, bar, note);
    std::snprintf(lines[1], sizeof lines[1], "recording %s  %ld:%02ld, %d s  %.1f dBFS%s",
                  name.c_str(), elapsed / 60, elapsed % 60, saved, dbfs, brief);
    std::snprintf(lines[2], sizeof lines[2], "%ld:%02ld, %d s  %.1f dBFS%s", elapsed / 60,
                  elapsed % 60, saved, dbfs, brief);
    const auto room = static_cast<std::size_t>(std::max(ErrorColumns() - 1, 1));
    std::string line = CutTo(lines[2], room);
    for (const char* candidate : lines) {
        if (std::strlen(candidate) <= room) {
            line = candidate;
            break;
        }
    }
    // Where the escape is not understood, spaces clear what a longer line left.
    if (ErrorTakesEscapes()) {
        PrintErr("\r\033[K%s", line.c_str());
    } else {
        PrintErr("\r%-*s", static_cast<int>(room), line.c_str());
    }
}

void ClearStatus() {
    if (ErrorTakesEscapes()) {
        PrintErr("\r\033[K");
    } else {
        PrintErr("\r%*s\r", std::max(ErrorColumns() - 1, 1), "");
    }
}

// What is left when the program ends in the middle of a stop: the file with its placeholder
// header and whole blocks, which repair finishes.
std::string Unfinished(const NativeString& path, const NativeString& file) {
    if (file == path) {
        return "tamberlyn: " + Quoted(path) + " is unfinished: 'tamberlyn repair " + Shown(path) +
               "' finishes it\n";
    }
    return "tamberlyn: the recording for " + Quoted(path) + " is unfinished in " + Quoted(file) +
           ": 'tamberlyn repair' finishes it, then rename it over " + Quoted(path) + "\n";
}

// "4 s", or "4.37 s" for a recording that ends partway through a second.
std::string Duration(std::uint64_t frames) {
    char text[32];
    if (frames % kRate == 0) {
        std::snprintf(text, sizeof text, "%llu s", static_cast<unsigned long long>(frames / kRate));
    } else {
        std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(frames) / kRate);
    }
    return text;
}

// Says how the recording ended; the exit status.
int Report(const Options& o, const tamberlyn_record_result& result, const NativeString& kept,
           bool limit) {
    bool failed = false;
    if (result.write_error != 0) {
        Fail("cannot write", o.path, result.write_error);
        failed = true;
    }
    if (result.finish_error != 0) {
        Fail("cannot finish", o.path, result.finish_error);
        failed = true;
    }
    if (result.frames == 0) {
        Refuse(o.path, "nothing was recorded");
        return 1;
    }
    if (result.replace_error != 0) {
        Fail("cannot replace", o.path, result.replace_error);
        PrintErr("tamberlyn: the recording is in %s\n", Quoted(kept).c_str());
        return 1;
    }
    if (result.vanished) {
        Refuse(o.path, "was deleted or replaced while it was recorded: the recording is not there");
        return 1;
    }
    if (limit && o.seconds == 0) {
        Refuse(o.path, "holds the most a WAV header can describe (%ld s): the recording ended",
               kMaxSeconds);
    }
    const std::string recorded = Duration(result.frames);
    if (result.lost_ms > 0) {
        PrintErr("recorded %s to %s (%.1f s lost while the input was gone)\n", recorded.c_str(),
                 Shown(o.path).c_str(), result.lost_ms / 1000.0);
    } else {
        PrintErr("recorded %s to %s\n", recorded.c_str(), Shown(o.path).c_str());
    }
    if (o.seconds > 0 && result.blocks < o.seconds) {
        Refuse(o.path, "stopped before the %ld s asked for", o.seconds);
        failed = true;
    }
    return failed ? 1 : 0;
}

}  // namespace

int RunRecord(int argc, NativeChar** argv) {
    Options o;
    const int usage = ParseArguments(argc, argv, o);
    if (usage >= 0) return usage;
    if (ArgIs(o.path.c_str(), "-")) {
        Refuse(o.path,
               "cannot record to standard output: the header is written when recording ends, so "
               "the recording needs a regular file");
        return 1;
    }

    // Fresh for every run: a second recording in one process starts from nothing.
    Heard heard;
    g_stop = 0;
    tamberlyn_record_options options;
    tamberlyn_record_options_init(&options);
    options.block_limit = static_cast<std::int32_t>(o.seconds);
    options.existing = o.force ? TAMBERLYN_RECORD_REPLACE : TAMBERLYN_RECORD_NEW_FILE;
    options.on_event = OnEvent;
    options.event_context = &heard;
    options.keep_partial_second = 1;
    tamberlyn_recorder* recorder = nullptr;
    if (tamberlyn_recorder_create(&recorder) != TAMBERLYN_OK) {
        PrintErr("tamberlyn: %s\n", tamberlyn_error_message());
        return 1;
    }
    CountInterrupts(&g_stop);
    const tamberlyn_status started = tamberlyn_recorder_start(recorder, o.path.c_str(), &options);
    if (started != TAMBERLYN_OK) {
        ExplainStartFailure(started, o.path);
        tamberlyn_recorder_free(recorder);
        return 1;
    }

    const bool terminal = ErrorIsTerminal();
    // What a second interrupt leaves: the recording unfinished, under its name.
    const NativeString file = tamberlyn_recorder_file(recorder);
    SetLastWords(Unfinished(o.path, file));
    const auto started_at = Clock::now();
    bool was_lost = false, was_silent = false;
    while (!g_stop && !heard.limit && heard.write_error == 0) {
        const bool silent = heard.silent >= kSilentSeconds;
        if (terminal) {
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started_at);
            ShowStatus(o.path, heard, static_cast<long>(elapsed.count()));
        } else {
            // Without a terminal to draw on, a line when the state changes.
            if (heard.lost != was_lost) {
                PrintErr(heard.lost ? "tamberlyn: the input is lost; waiting for it to return\n"
                                    : "tamberlyn: the input is back\n");
            }
            if (silent && !was_silent) {
                PrintErr("tamberlyn: the input is silent: is the microphone muted?\n");
            }
        }
        was_lost = heard.lost;
        was_silent = silent;
        std::this_thread::sleep_for(kPoll);
    }
    if (terminal) ClearStatus();
    tamberlyn_record_result result{};
    result.struct_size = sizeof result;
    tamberlyn_recorder_stop(recorder, &result);
    const NativeString kept = tamberlyn_recorder_file(recorder);
    tamberlyn_recorder_free(recorder);
    SetLastWords("");
    InterruptedWorkDone();
    return Report(o, result, kept, heard.limit);
}

}  // namespace tamberlyn_cli
