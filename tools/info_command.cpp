// tamberlyn info: a line per file: its format, its duration and its state.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "messages.h"
#include "wav_file_state.h"
#include "wav_input.h"

namespace tamberlyn_cli {

namespace {

constexpr char kInfoUsage[] =
    "usage: tamberlyn info FILE...\n"
    "\n"
    "Prints a line per WAV file: its format, its duration and its state: finished, an\n"
    "unfinished recording (its header never written, or left from an earlier recording), or a\n"
    "WAV whose sizes disagree with its length. 'tamberlyn repair' mends the last two.\n";

}  // namespace

int RunInfo(int argc, char** argv) {
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kInfoUsage, stdout);
            return 0;
        }
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return UsageError("info", "unknown option '%s'", argv[i]);
        }
        ++files;
    }
    if (files == 0) return UsageError("info", "needs at least one FILE");

    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const char* path = argv[i];
        InspectedFile file;
        if (!InspectFile(path, false, file)) {
            status = 1;
            continue;
        }
        CloseInspected(file);
        const tamberlyn::WavDiagnosis& d = file.diagnosis;
        if (d.condition == tamberlyn::WavCondition::kNotWav) {
            Refuse(path, "%s",
                   file.size == 0 ? "the file is empty" : tamberlyn::WavHeadMessage(d.head));
            status = 1;
            continue;
        }
        const std::string format = DescribeFormat(d.wav);
        const double seconds = SecondsOf(d.wav, d.data_bytes);
        switch (d.condition) {
            case tamberlyn::WavCondition::kFinished:
                std::printf("%s: %s, %.2f s, finished\n", path, format.c_str(), seconds);
                break;
            case tamberlyn::WavCondition::kUnfinishedRecording:
                std::printf(
                    "%s: %s, %.2f s on disk, an unfinished recording (%s); "
                    "'tamberlyn repair' finishes it\n",
                    path, format.c_str(), seconds,
                    d.placeholder ? "its header was never written"
                                  : "its header is an earlier recording's");
                break;
            default:
                std::printf(
                    "%s: %s, %.2f s on disk, but its header says %.2f s: the sizes "
                    "disagree with its length%s\n",
                    path, format.c_str(), seconds, SecondsOf(d.wav, d.wav.data_size),
                    d.repairable ? "; 'tamberlyn repair' mends them" : "");
        }
    }
    return status;
}

}  // namespace tamberlyn_cli
