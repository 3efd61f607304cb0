#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "commands.h"
#include "tamberlyn.h"
#include "wide_arg.h"

namespace tamberlyn_cli {

namespace {

constexpr long long kHeaderBytes = 44;
constexpr long long kBlockBytes = 16000;

constexpr char kRecordUsage[] =
    "usage: tamberlyn record OUT.wav [--seconds N]\n"
    "\n"
    "Records the default audio input (8000 Hz, 16-bit, mono) into OUT.wav in whole seconds,\n"
    "until Ctrl-C, SIGTERM or N seconds, and finalises its header.\n"
    "\n"
    "  --seconds N   stop after N seconds\n";

volatile std::sig_atomic_t g_interrupted = 0;

void OnSignal(int) { g_interrupted = 1; }

long long BlocksInFile(const char* path) {
    struct stat st;
    if (::stat(path, &st) != 0 || st.st_size < kHeaderBytes) return 0;
    return (st.st_size - kHeaderBytes) / kBlockBytes;
}

void ExplainStartFailure(int32_t result, const char* path) {
    switch (result) {
        case RECORDER_DEVICE_NOT_OPENED:
            std::fprintf(stderr,
                         "tamberlyn: no audio input device was found (ALSA device \"default\" "
                         "cannot capture 8000 Hz 16-bit mono)\n");
            break;
        case RECORDER_BUFFER_NOT_QUEUED:
            std::fputs("tamberlyn: the audio input device refused the capture buffer\n", stderr);
            break;
        case RECORDER_CAPTURE_NOT_STARTED:
            std::fputs("tamberlyn: the audio input device would not start capturing\n", stderr);
            break;
        case RECORDER_FILE_NOT_CREATED: {
            const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
            const int why = fd < 0 ? errno : 0;
            if (fd >= 0) ::close(fd);
            std::fprintf(stderr, "tamberlyn: cannot create '%s'%s%s\n", path, why ? ": " : "",
                         why ? std::strerror(why) : "");
            break;
        }
        case RECORDER_ALREADY_RUNNING:
            std::fputs("tamberlyn: a recording is already running\n", stderr);
            break;
        default:
            std::fprintf(stderr, "tamberlyn: recording failed (result %d)\n",
                         static_cast<int>(result));
    }
}

}  // namespace

int RunRecord(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kRecordUsage, stdout);
            return 0;
        }
    }
    const char* path = nullptr;
    long long seconds = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            char* end = nullptr;
            seconds = std::strtoll(argv[++i], &end, 10);
            if (*end != '\0' || seconds <= 0) seconds = 0;
        } else if (path == nullptr && argv[i][0] != '-') {
            path = argv[i];
        } else {
            path = nullptr;
            break;
        }
    }
    if (path == nullptr || seconds == 0) {
        std::fputs(
            "usage: tamberlyn record OUT.wav [--seconds N]\n"
            "Try 'tamberlyn record --help'.\n",
            stderr);
        return 2;
    }
    std::u16string wide;
    if (!Utf8ToUtf16(path, wide)) {
        std::fprintf(stderr, "tamberlyn: '%s' is not a valid UTF-8 file name\n", path);
        return 1;
    }

    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    const int32_t result = SoundRecorderStart(wide.c_str());
    if (result != RESULT_SUCCESS) {
        ExplainStartFailure(result, path);
        if (result != RECORDER_FILE_NOT_CREATED && result != RECORDER_ALREADY_RUNNING) {
            SoundRecorderStop();
            ::unlink(path);  // an empty recording is of no use to anybody
        }
        return 1;
    }

    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    const auto started = std::chrono::steady_clock::now();
    long long shown = -1;
    while (!g_interrupted) {
        const long long blocks = BlocksInFile(path);
        const auto elapsed = std::chrono::steady_clock::now() - started;
        if (seconds > 0 && (blocks >= seconds || elapsed > std::chrono::seconds(seconds + 2)))
            break;
        if (terminal && blocks != shown) {
            std::fprintf(stderr, "\rrecording to %s: %lld:%02lld ", path, blocks / 60, blocks % 60);
            shown = blocks;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const int32_t recorded = SoundRecorderStop();
    if (terminal) std::fputc('\n', stderr);
    std::fprintf(stderr, "recorded %d s to %s\n", static_cast<int>(recorded), path);
    return 0;
}

}  // namespace tamberlyn_cli
