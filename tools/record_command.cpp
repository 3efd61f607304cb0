// tamberlyn record: the recorder, heard through its own events rather than by watching its file.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

constexpr char kRecordUsage[] =
    "usage: tamberlyn record OUT.wav [--seconds N] [--force]\n"
    "\n"
    "Records the default audio input (8000 Hz, 16-bit, mono) into OUT.wav in whole seconds,\n"
    "until Ctrl-C, SIGTERM, SIGHUP or SIGQUIT, or N seconds, and finalises its header. A lost\n"
    "input (a sound server gone, a microphone unplugged) is waited for; the gap is left out.\n"
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
    std::atomic<std::int64_t> lost_since{0};
    std::atomic<std::int64_t> lost_ms{0};  // over the gaps that ended
    std::atomic<int> gaps{0};
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
            h.lost_since = e->at_ms;
            h.lost = true;
            break;
        case TAMBERLYN_EVENT_INPUT_BACK:
            if (h.lost) {
                h.lost_ms += e->at_ms - h.lost_since;
                ++h.gaps;
            }
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

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
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
    if (h.lost) {
        note = "  input lost: waiting for it to return";
    } else if (h.silent >= kSilentSeconds) {
        note = "  input is silent: is the microphone muted?";
    }
    PrintErr("\r\033[Krecording to %s  %ld:%02ld elapsed, %d s saved  %6.1f dBFS [%s]%s",
             Shown(path).c_str(), elapsed / 60, elapsed % 60, static_cast<int>(h.blocks), dbfs, bar,
             note);
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
    tamberlyn_record_result result;
    result.struct_size = sizeof result;
    tamberlyn_recorder_stop(recorder, &result);
    const NativeString kept = tamberlyn_recorder_file(recorder);
    tamberlyn_recorder_free(recorder);
    if (terminal) PrintErr("\r\033[K");
    std::int64_t lost_ms = heard.lost_ms;
    if (heard.lost) lost_ms += NowMs() - heard.lost_since;

    bool failed = false;
    if (result.write_error != 0) {
        Fail("cannot write", o.path, result.write_error);
        failed = true;
    }
    if (result.finish_error != 0) {
        Fail("cannot finish", o.path, result.finish_error);
        failed = true;
    }
    if (result.blocks == 0) {
        Refuse(o.path, "nothing was recorded");
        return 1;
    }
    if (result.replace_error != 0) {
        Fail("cannot replace", o.path, result.replace_error);
        PrintErr("tamberlyn: the recording is in %s\n", Quoted(kept).c_str());
        return 1;
    }
    const int recorded = static_cast<int>(result.blocks);
    if (heard.gaps > 0 || heard.lost) {
        PrintErr("recorded %d s to %s (%.1f s lost while the input was gone)\n", recorded,
                 Shown(o.path).c_str(), lost_ms / 1000.0);
    } else {
        PrintErr("recorded %d s to %s\n", recorded, Shown(o.path).c_str());
    }
    if (failed || (o.seconds > 0 && recorded < o.seconds)) return 1;
    return 0;
}

}  // namespace tamberlyn_cli
