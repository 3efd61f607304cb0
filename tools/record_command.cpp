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
#include "recorder/sound_recorder.h"
#include "silence/silence_filter.h"
#include "tamberlyn.h"
#include "wav/little_endian.h"
#include "wav/recording_format.h"

namespace tamberlyn_cli {

namespace {

using Clock = std::chrono::steady_clock;
using tamberlyn::RecorderEvent;
using tamberlyn::SystemError;

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
            n > tamberlyn::kMaxHeaderBlocks) {
            return UsageError("record", "--seconds %s: give a whole number of seconds from 1 to %d",
                              Quoted(value).c_str(), static_cast<int>(tamberlyn::kMaxHeaderBlocks));
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

void OnEvent(void* context, const RecorderEvent& e) {
    Heard& h = *static_cast<Heard*>(context);
    switch (e.kind) {
        case RecorderEvent::kBlockWritten:
            h.blocks = e.blocks;
            h.peak = e.peak;
            h.silent = e.peak < tamberlyn::QUIET_THRESHOLD ? h.silent + 1 : 0;
            break;
        case RecorderEvent::kInputLost:
            h.lost_since = e.at_ms;
            h.lost = true;
            break;
        case RecorderEvent::kInputBack:
            if (h.lost) {
                h.lost_ms += e.at_ms - h.lost_since;
                ++h.gaps;
            }
            h.lost = false;
            break;
        case RecorderEvent::kWriteFailed:
            h.write_error = e.error.code;
            break;
        case RecorderEvent::kLimitReached:
            h.limit = true;
            break;
    }
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

// Where the recording goes. A new file is created here, and is the recording itself; an
// existing one (with --force) is replaced only by a recording that holds something: the
// recording goes to a file beside it, renamed over it at the end.
struct Target {
    NativeString file;  // what the recorder writes
    tamberlyn::Replacement replacement;
    bool replaces = false;
};

// Refuses what the recorder cannot finish (no regular file) or must not touch (an existing file
// without --force), and creates the file the recorder writes, which is ours to remove.
bool PrepareTarget(const Options& o, Target& t) {
    const char* why_seek =
        "the header is written when recording ends, so the recording needs a regular file";
    if (ArgIs(o.path.c_str(), "-")) {
        Refuse(o.path, "cannot record to standard output: %s", why_seek);
        return false;
    }
    if (tamberlyn::IsDanglingLink(o.path.c_str())) {
        Refuse(o.path, "is a symbolic link to a file that does not exist; nothing was recorded");
        return false;
    }
    tamberlyn::FileInfo info;
    if (!tamberlyn::InfoAt(o.path.c_str(), info)) {
        if (info.kind != tamberlyn::FileKind::kRegular) {
            Refuse(o.path, "not a regular file: %s", why_seek);
            return false;
        }
        if (!o.force) {
            Refuse(o.path, "exists already; give --force to replace it");
            return false;
        }
        if (const SystemError e =
                tamberlyn::CreateReplacement(o.path.c_str(), t.replacement, true)) {
            Fail("cannot create", o.path, e);
            return false;
        }
        tamberlyn::CloseFile(t.replacement.file);
        t.replacement.file = tamberlyn::kNoFile;
        t.file = t.replacement.temp;
        t.replaces = true;
        return true;
    }
    tamberlyn::FileHandle claimed;
    if (const SystemError e = tamberlyn::CreateNewFile(o.path.c_str(), claimed)) {
        Fail("cannot create", o.path, e);
        return false;
    }
    tamberlyn::CloseFile(claimed);
    t.file = o.path;
    return true;
}

void ExplainStartFailure(int32_t result, const NativeString& path) {
    if (result == RECORDER_FILE_NOT_CREATED) {
        Fail("cannot create", path, tamberlyn::RecorderStartError());
        return;
    }
    if (result == RECORDER_ALREADY_RUNNING) {
        PrintErr("tamberlyn: a recording is already running\n");
        return;
    }
    tamberlyn::CaptureFailure failure;
    if (!tamberlyn::LastCaptureFailure(failure)) {
        PrintErr("tamberlyn: the audio input could not be %s\n",
                 result == RECORDER_DEVICE_NOT_OPENED ? "opened" : "started");
        return;
    }
    std::string hint;
#if !defined(_WIN32)
    if (const char* source = std::getenv("PULSE_SOURCE")) {
        hint = std::string(" (PULSE_SOURCE=") + source + ")";
    }
#endif
    PrintErr("tamberlyn: %s: %s%s\n", failure.step, failure.reason, hint.c_str());
}

void ShowStatus(const NativeString& path, const Heard& h, long elapsed) {
    const std::int32_t peak = h.peak;
    const double dbfs =
        peak > 0 ? 20.0 * std::log10(static_cast<double>(peak) / tamberlyn::kPcm16FullScale)
                 : -120.0;
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
    std::u16string wide;
    if (!ToLibraryPath(o.path, wide)) {
        Refuse(o.path, "the recorder takes file names that are text (UTF-8) only");
        return 1;
    }
    Target target;
    if (!PrepareTarget(o, target)) return 1;
    if (!ToLibraryPath(target.file, wide)) {
        tamberlyn::RemoveFile(target.file.c_str());
        Refuse(o.path,
               "names a file whose folder is not text (UTF-8), which the recorder cannot take");
        return 1;
    }

    static Heard heard;
    tamberlyn::SetRecordingHooks({OnEvent, &heard, static_cast<std::int32_t>(o.seconds)});
    CountInterrupts(&g_stop);
    const int32_t result = SoundRecorderStart(wide.c_str());
    if (result != RESULT_SUCCESS) {
        ExplainStartFailure(result, o.path);
        if (result != RECORDER_FILE_NOT_CREATED && result != RECORDER_ALREADY_RUNNING) {
            SoundRecorderStop();
        }
        tamberlyn::RemoveFile(target.file.c_str());  // it held nothing, and it was ours
        return 1;
    }

    const bool terminal = ErrorIsTerminal();
    const auto started = Clock::now();
    bool was_lost = false, was_silent = false;
    while (!g_stop && !heard.limit && heard.write_error == 0) {
        const bool silent = heard.silent >= kSilentSeconds;
        if (terminal) {
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started);
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
    const int32_t recorded = SoundRecorderStop();
    if (terminal) PrintErr("\r\033[K");
    std::int64_t lost_ms = heard.lost_ms;
    if (heard.lost) lost_ms += NowMs() - heard.lost_since;

    bool failed = false;
    if (heard.write_error != 0) {
        Fail("cannot write", o.path, SystemError{heard.write_error});
        failed = true;
    }
    if (const SystemError e = tamberlyn::RecorderFinishError()) {
        Fail("cannot finish", o.path, e);
        failed = true;
    }
    if (recorded == 0) {
        if (target.replaces) {
            tamberlyn::DiscardReplacement(target.replacement);
        } else {
            tamberlyn::RemoveFile(target.file.c_str());
        }
        Refuse(o.path, "nothing was recorded");
        return 1;
    }
    if (target.replaces) {
        if (const SystemError e = tamberlyn::CommitReplacement(target.replacement, true)) {
            Fail("cannot replace", o.path, e);
            PrintErr("tamberlyn: the recording is in %s\n", Quoted(target.file).c_str());
            return 1;
        }
    }
    if (heard.gaps > 0 || heard.lost) {
        PrintErr("recorded %d s to %s (%.1f s lost while the input was gone)\n",
                 static_cast<int>(recorded), Shown(o.path).c_str(), lost_ms / 1000.0);
    } else {
        PrintErr("recorded %d s to %s\n", static_cast<int>(recorded), Shown(o.path).c_str());
    }
    if (failed || (o.seconds > 0 && recorded < o.seconds)) return 1;
    return 0;
}

}  // namespace tamberlyn_cli
