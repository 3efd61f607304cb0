// tamberlyn info: a line per file: its format, its duration on disk and its state.
#include <string>

#include "commands.h"
#include "inspected_file.h"
#include "messages.h"
#include "options.h"

namespace tamberlyn_cli {

namespace {

constexpr char kInfoUsage[] =
    "usage: tamberlyn info FILE...\n"
    "\n"
    "Prints a line per WAV file: its format, the duration of the samples it holds and its\n"
    "state: finished; an unfinished recording (its header never written, or left from an\n"
    "earlier recording); of unknown length (a stream's sizes); or a WAV whose sizes disagree\n"
    "with its length, and which. 'tamberlyn repair' mends what it can tell.\n";

const char* WhichSizes(const tamberlyn::WavDiagnosis& d) {
    if (d.riff_wrong && d.data_wrong) return "the RIFF and data sizes disagree";
    return d.data_wrong ? "the data size disagrees" : "the RIFF size disagrees";
}

// What `repair` would do, or why it will not.
std::string Remedy(const tamberlyn::WavDiagnosis& d, const char* does) {
    if (d.repairable) return std::string("; 'tamberlyn repair' ") + does;
    return d.why != nullptr ? std::string("; ") + d.why : std::string();
}

}  // namespace

int RunInfo(int argc, NativeChar** argv) {
    CommandLine line;
    const int usage = ReadCommandLine("info", argc, argv, {}, line);
    if (usage >= 0) return usage;
    if (line.help) {
        PrintOut("%s", kInfoUsage);
        return 0;
    }
    if (line.operands.empty()) return UsageError("info", "needs at least one FILE");

    int status = 0;
    for (const NativeString& name : line.operands) {
        WavInput file;
        if (!InspectFile(name, file)) {
            status = 1;
            continue;
        }
        CloseWavInput(file);
        const tamberlyn::WavDiagnosis& d = file.diagnosis;
        if (d.state == tamberlyn::WavState::kNotWav) {
            RefuseHead(file);
            status = 1;
            continue;
        }
        const std::string shown = Shown(name);
        const std::string format = DescribeFormat(d.wav);
        const double on_disk = SecondsOf(d.wav, d.data_bytes);
        const double claimed = SecondsOf(d.wav, d.wav.data_size);
        switch (d.state) {
            case tamberlyn::WavState::kFinished:
                PrintOut("%s: %s, %.2f s, finished\n", shown.c_str(), format.c_str(), on_disk);
                break;
            case tamberlyn::WavState::kUnfinishedRecording:
                PrintOut("%s: %s, %.2f s on disk, an unfinished recording (%s)%s\n", shown.c_str(),
                         format.c_str(), on_disk,
                         d.placeholder ? "its header was never written"
                                       : "its header is an earlier recording's",
                         Remedy(d, "finishes it").c_str());
                break;
            case tamberlyn::WavState::kUnknownLength:
                PrintOut("%s: %s, %.2f s on disk, unknown length in its header%s\n", shown.c_str(),
                         format.c_str(), on_disk, Remedy(d, "sets it").c_str());
                break;
            case tamberlyn::WavState::kSizesDisagree:
                if (d.data_wrong) {
                    PrintOut(
                        "%s: %s, %.2f s on disk, but its header says %.2f s: %s with its "
                        "length%s\n",
                        shown.c_str(), format.c_str(), on_disk, claimed, WhichSizes(d),
                        Remedy(d, "mends it").c_str());
                } else {
                    PrintOut("%s: %s, %.2f s, but %s with its length%s\n", shown.c_str(),
                             format.c_str(), on_disk, WhichSizes(d), Remedy(d, "mends it").c_str());
                }
                break;
            default:
                if (d.placeholder) {
                    PrintOut("%s: no WAV header: %s\n", shown.c_str(), d.why);
                } else {
                    PrintOut("%s: %s, %.2f s by its header, but %s\n", shown.c_str(),
                             format.c_str(), claimed, d.why);
                }
        }
    }
    return status;
}

}  // namespace tamberlyn_cli
