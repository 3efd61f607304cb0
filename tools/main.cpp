#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {

constexpr char kVersion[] = "1.0.0.1";

constexpr char kUsage[] =
    "usage: tamberlyn silence IN.wav OUT.wav [--threshold T] [--keep SECONDS] [--pad SECONDS]\n"
    "                         [--cuts FILE]\n"
    "       tamberlyn record OUT.wav [--seconds N] [--force]\n"
    "       tamberlyn info FILE...\n"
    "       tamberlyn repair FILE [--dry-run]\n"
    "       tamberlyn COMMAND --help | tamberlyn --help | --version\n"
    "\n"
    "  silence   copy a 16-bit PCM WAV file, cutting every quiet stretch (samples below 500,\n"
    "            or pauses told by the background noise) to its first 0.1 s; prints the\n"
    "            durations before and after\n"
    "  record    record the default audio input (8000 Hz, 16-bit, mono) into OUT.wav\n"
    "            until Ctrl-C, SIGTERM or N seconds; prints the seconds recorded\n"
    "  info      say of each WAV file its format, duration and whether it is finished\n"
    "  repair    make an unfinished recording or a size-damaged WAV file readable\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (std::strcmp(command, "--version") == 0) {
        std::printf("tamberlyn %s\n", kVersion);
        return 0;
    }
    if (std::strcmp(command, "silence") == 0) return tamberlyn_cli::RunSilence(argc - 1, argv + 1);
    if (std::strcmp(command, "record") == 0) return tamberlyn_cli::RunRecord(argc - 1, argv + 1);
    if (std::strcmp(command, "info") == 0) return tamberlyn_cli::RunInfo(argc - 1, argv + 1);
    if (std::strcmp(command, "repair") == 0) return tamberlyn_cli::RunRepair(argc - 1, argv + 1);

    std::fprintf(stderr, "tamberlyn: unknown command '%s'\n%s", command, kUsage);
    return 2;
}
