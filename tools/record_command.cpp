// tamberlyn record: the recorder's exports, with a watch on the file as it grows.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "commands.h"
#include "messages.h"
#include "safe_output.h"
#include "silence/silence_filter.h"
#include "tamberlyn.h"
#include "wav/wav_header.h"
#include "wide_arg.h"

namespace tamberlyn_cli {

namespace {

constexpr char kRecordUsage[] =
    "usage: tamberlyn record OUT.wav [--seconds N] [--force]\n"
    "\n"
    "Records the default audio input (8000 Hz, 16-bit, mono) into OUT.wav in whole seconds,\n"
    "until Ctrl-C, SIGTERM, SIGHUP or SIGQUIT, or N seconds, and finalises its header. A lost\n"
    "input (a sound server gone, a microphone unplugged) is waited for; the gap is left out.\n"
    "\n"
    "  --seconds N   stop once N seconds (1 to 268435) are in the file\n"
    "  --force       replace OUT.wav if it exists\n";

using Clock = std::chrono::steady_clock;
constexpr auto kPoll = std::chrono::milliseconds(100);
// No new block for this long means the file has stopped growing (a block is due every second).
constexpr auto kStalled = std::chrono::milliseconds(2500);
constexpr int kSilentSeconds = 5;
constexpr int kBarWidth = 20;

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

struct Options {
    const char* path = nullptr;
    long seconds = 0;  // 0: until stopped
    bool force = false;
};

int ParseArguments(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kRecordUsage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--force") == 0) {
            o.force = true;
        } else if (std::strncmp(arg, "--seconds", 9) == 0 && (arg[9] == '\0' || arg[9] == '=')) {
            const char* value = arg[9] == '=' ? arg + 10 : (i + 1 < argc ? argv[++i] : nullptr);
            if (value == nullptr) return UsageError("record", "--seconds needs a value");
            char* end = nullptr;
            errno = 0;
            const long long n = std::strtoll(value, &end, 10);
            if (end == value || *end != '\0' || errno != 0 || n < 1 ||
                n > tamberlyn::kMaxHeaderBlocks || value[0] == '+' || value[0] == ' ') {
                return UsageError("record",
                                  "--seconds '%s': give a whole number of seconds from 1 to %d",
                                  value, static_cast<int>(tamberlyn::kMaxHeaderBlocks));
            }
            o.seconds = static_cast<long>(n);
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return UsageError("record", "unknown option '%s'", arg);
        } else if (o.path == nullptr) {
            o.path = arg;
        } else {
            return UsageError("record", "unexpected argument '%s'", arg);
        }
    }
    if (o.path == nullptr) return UsageError("record", "needs OUT.wav");
    return -1;
}

// Where the recording goes. A new file is created here, and is the recording itself; an
// existing one (with --force) is replaced only by a recording that holds something: the
// recording goes to a file beside it, renamed over it at the end.
struct Target {
    std::string file;      // what the recorder writes
    std::string replaces;  // the existing file it is renamed over at the end, if any
};

// Refuses what the recorder cannot finish (no regular file) or must not touch (an existing file
// without --force), and creates the file the recorder writes, which is ours to remove.
bool PrepareTarget(const Options& o, Target& t) {
    const char* why_seek =
        "the header is written when recording ends, so the recording needs a regular file";
    if (std::strcmp(o.path, "-") == 0) {
        Refuse("-", "cannot record to standard output: %s", why_seek);
        return false;
    }
    t.file = o.path;
    struct stat st;
    if (::stat(o.path, &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            Refuse(o.path, "not a regular file: %s", why_seek);
            return false;
        }
        if (!o.force) {
            Refuse(o.path, "exists already; give --force to replace it");
            return false;
        }
        t.replaces = ReplacedFile(o.path);
        t.file = HiddenNameBeside(t.replaces, ".tamberlyn-" + std::to_string(::getpid()) + ".wav");
    }
    const int fd = ::open(t.file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        Fail("cannot create", o.path, errno);
        return false;
    }
    if (!t.replaces.empty()) {
        // The new file takes the old one's permissions.
        ::fchmod(fd, st.st_mode & 07777);
    }
    ::close(fd);
    return true;
}

void ExplainStartFailure(int32_t result) {
    switch (result) {
        case RECORDER_DEVICE_NOT_OPENED:
            std::fputs(
                "tamberlyn: no audio input device was found (ALSA device \"default\" "
                "cannot capture 8000 Hz 16-bit mono)\n",
                stderr);
            break;
        case RECORDER_BUFFER_NOT_QUEUED:
            std::fputs("tamberlyn: the audio input device refused the capture buffer\n", stderr);
            break;
        case RECORDER_CAPTURE_NOT_STARTED:
            std::fputs("tamberlyn: the audio input device would not start capturing\n", stderr);
            break;
        case RECORDER_ALREADY_RUNNING:
            std::fputs("tamberlyn: a recording is already running\n", stderr);
            break;
        default:
            std::fprintf(stderr, "tamberlyn: recording failed (result %d)\n",
                         static_cast<int>(result));
    }
}

// What the file holds and how it is growing, read from the file itself.
struct Watch {
    int fd = -1;
    long long blocks = 0;
    bool partial = false;  // bytes past the last whole block: a write was cut short
    double peak_dbfs = -120.0;
    int peak = 0;
};

void Look(Watch& w) {
    struct stat st;
    if (::fstat(w.fd, &st) != 0) return;
    const long long data = st.st_size - static_cast<long long>(tamberlyn::WAVE_HEADER_BYTES);
    if (data < 0) return;
    const long long blocks = data / tamberlyn::RECORD_BLOCK_BYTES;
    w.partial = data % tamberlyn::RECORD_BLOCK_BYTES != 0;
    if (blocks == w.blocks) return;
    w.blocks = blocks;
    // The last second's peak, from the block just written.
    std::uint8_t block[tamberlyn::RECORD_BLOCK_BYTES];
    const off_t at = static_cast<off_t>(tamberlyn::WAVE_HEADER_BYTES) +
                     static_cast<off_t>(blocks - 1) * tamberlyn::RECORD_BLOCK_BYTES;
    if (::pread(w.fd, block, sizeof block, at) != static_cast<ssize_t>(sizeof block)) return;
    int peak = 0;
    for (std::size_t i = 0; i < sizeof block; i += 2) {
        int s = static_cast<std::int16_t>(static_cast<std::uint16_t>(block[i] | block[i + 1] << 8));
        if (s < 0) s = -s;
        if (s > peak) peak = s;
    }
    w.peak = peak;
    w.peak_dbfs = peak > 0 ? 20.0 * std::log10(peak / 32768.0) : -120.0;
}

bool DiskFull(const char* path, const Watch& w) {
    if (w.partial) return true;
    struct statvfs fs;
    return ::statvfs(path, &fs) == 0 &&
           static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize <
               static_cast<unsigned long long>(tamberlyn::RECORD_BLOCK_BYTES);
}

enum class State { kRecording, kLost, kDiskFull };

void ShowStatus(const char* path, const Watch& w, State state, int silent, long elapsed,
                bool terminal) {
    if (!terminal) return;
    char bar[kBarWidth + 1];
    // -60 dBFS and below: an empty bar; 0 dBFS: a full one.
    const double fill = (w.peak_dbfs + 60.0) / 60.0 * kBarWidth;
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < fill ? '#' : '-';
    bar[kBarWidth] = '\0';
    const char* note = "";
    if (state == State::kLost) {
        note = "  input lost: waiting for it to return";
    } else if (silent >= kSilentSeconds) {
        note = "  input is silent: is the microphone muted?";
    }
    std::fprintf(stderr,
                 "\r\033[Krecording to %s  %ld:%02ld elapsed, %lld s saved  %6.1f dBFS [%s]%s",
                 path, elapsed / 60, elapsed % 60, w.blocks, w.peak_dbfs, bar, note);
}

}  // namespace

int RunRecord(int argc, char** argv) {
    Options o;
    const int usage = ParseArguments(argc, argv, o);
    if (usage >= 0) return usage;
    Target target;
    std::u16string wide;
    if (!Utf8ToUtf16(o.path, wide)) {
        Refuse(o.path, "the recorder takes UTF-8 file names only");
        return 1;
    }
    if (!PrepareTarget(o, target)) return 1;
    if (!Utf8ToUtf16(target.file, wide)) {
        ::unlink(target.file.c_str());
        Refuse(o.path, "names a file whose folder is not UTF-8, which the recorder cannot take");
        return 1;
    }

    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(sig, &action, nullptr);

    const int32_t result = SoundRecorderStart(wide.c_str());
    if (result != RESULT_SUCCESS) {
        ExplainStartFailure(result);
        if (result == RECORDER_FILE_NOT_CREATED) Fail("cannot create", o.path, errno);
        if (result != RECORDER_FILE_NOT_CREATED && result != RECORDER_ALREADY_RUNNING) {
            SoundRecorderStop();
        }
        ::unlink(target.file.c_str());  // it held nothing, and it was ours
        return 1;
    }

    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    Watch w;
    w.fd = ::open(target.file.c_str(), O_RDONLY | O_CLOEXEC);
    State state = State::kRecording;
    int silent = 0;
    const auto started = Clock::now();
    auto grew = started;
    while (!g_stop && w.fd >= 0) {
        const long long before = w.blocks;
        Look(w);
        const auto now = Clock::now();
        if (w.blocks != before) {
            grew = now;
            silent = w.peak < tamberlyn::QUIET_THRESHOLD ? silent + 1 : 0;
            if (state == State::kLost && !terminal)
                std::fputs("tamberlyn: the input is back\n", stderr);
            state = State::kRecording;
        } else if (now - grew > kStalled) {
            if (DiskFull(target.file.c_str(), w)) {
                state = State::kDiskFull;
                break;
            }
            if (state != State::kLost && !terminal) {
                std::fputs("tamberlyn: the input is lost; waiting for it to return\n", stderr);
            }
            state = State::kLost;
        }
        if (o.seconds > 0 && w.blocks >= o.seconds) break;
        const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - started);
        ShowStatus(o.path, w, state, silent, static_cast<long>(elapsed.count()), terminal);
        std::this_thread::sleep_for(kPoll);
    }
    const int32_t recorded = SoundRecorderStop();
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    if (w.fd >= 0) ::close(w.fd);
    if (terminal) std::fputs("\r\033[K", stderr);

    if (state == State::kDiskFull) Fail("cannot write", o.path, ENOSPC);
    if (recorded == 0) {
        ::unlink(target.file.c_str());
        Refuse(o.path, "nothing was recorded");
        return 1;
    }
    if (!target.replaces.empty() && ::rename(target.file.c_str(), target.replaces.c_str()) != 0) {
        Fail("cannot replace", o.path, errno);
        std::fprintf(stderr, "tamberlyn: the recording is in '%s'\n", target.file.c_str());
        return 1;
    }
    if (!target.replaces.empty()) SyncDirectory(DirectoryOf(target.replaces));
    // A recording is always up to a second behind the clock; more than that went missing.
    const long lost = std::lround(elapsed - recorded - 1.0);
    if (lost > 0) {
        std::fprintf(stderr, "recorded %d s to %s (%ld s lost while the input was gone)\n",
                     static_cast<int>(recorded), o.path, lost);
    } else {
        std::fprintf(stderr, "recorded %d s to %s\n", static_cast<int>(recorded), o.path);
    }
    if (state == State::kDiskFull || (o.seconds > 0 && recorded < o.seconds)) return 1;
    return 0;
}

}  // namespace tamberlyn_cli
