#include "commands.h"
#include "program_version.h"

namespace tamberlyn_cli {

namespace {

constexpr char kUsage[] =
    "usage: tamberlyn silence IN.wav OUT.wav [--threshold T] [--keep SECONDS] [--pad SECONDS]\n"
    "                         [--cuts FILE]\n"
    "       tamberlyn silence IN.wav... -o FOLDER [-j N] [options]\n"
    "       tamberlyn record OUT.wav [--seconds N] [--force]\n"
    "       tamberlyn info FILE...\n"
    "       tamberlyn repair FILE [--dry-run]\n"
    "       tamberlyn COMMAND --help | tamberlyn --help | --version\n"
    "\n"
    "  silence   copy a WAV file (PCM or float), cutting every quiet stretch (samples below 500,\n"
    "            or pauses told by the background noise) to its first 0.1 s; prints the\n"
    "            durations before and after\n"
    "  record    record the default audio input (8000 Hz, 16-bit, mono) into OUT.wav\n"
#if defined(_WIN32)
    "            until Ctrl-C, Ctrl-Break or N seconds; prints the seconds recorded\n"
#else
    "            until Ctrl-C, SIGTERM or N seconds; prints the seconds recorded\n"
#endif
    "  info      say of each WAV file its format, duration and whether it is finished\n"
    "  repair    make an unfinished recording or a size-damaged WAV file readable\n";

}  // namespace

int RunProgram(int argc, NativeChar** argv) {
    StartConsole();
    if (argc < 2) {
        PrintErr("%s", kUsage);
        return 2;
    }
    const NativeChar* command = argv[1];
    if (ArgIs(command, "--help") || ArgIs(command, "-h")) {
        PrintOut("%s", kUsage);
        return 0;
    }
    if (ArgIs(command, "--version")) {
        PrintOut("tamberlyn %s\n", kTamberlynVersion);
        return 0;
    }
    if (ArgIs(command, "silence")) return RunSilence(argc - 1, argv + 1);
    if (ArgIs(command, "record")) return RunRecord(argc - 1, argv + 1);
    if (ArgIs(command, "info")) return RunInfo(argc - 1, argv + 1);
    if (ArgIs(command, "repair")) return RunRepair(argc - 1, argv + 1);

    PrintErr("tamberlyn: unknown command %s\n%s", Quoted(command).c_str(), kUsage);
    return 2;
}

}  // namespace tamberlyn_cli
