// tamberlyn info: a line per file: its format, its duration on disk and its state.
#include <string>

#include "commands.h"
#include "messages.h"
#include "options.h"

namespace tamberlyn_cli {

namespace {

constexpr char kInfoUsage[] =
    "usage: tamberlyn info FILE...\n"
    "\n"
    "Prints a line per audio file: its format and the duration of the samples it holds. For a\n"
    "WAV file also its state: finished; an unfinished recording (its header never written, or\n"
    "left from an earlier recording); of unknown length (a stream's sizes); or a WAV whose\n"
    "sizes disagree with its length, and which. 'tamberlyn repair' mends what it can tell.\n"
    "Other audio (FLAC, MP3, Ogg, Opus, M4A...) is named by its codec and container.\n";

const char* WhichSizes(const tamberlyn_wav_info& d) {
    if (d.riff_size_wrong && d.data_size_wrong) return "the RIFF and data sizes disagree";
    return d.data_size_wrong ? "the data size disagrees" : "the RIFF size disagrees";
}

// What `repair` would do, or why it will not.
std::string Remedy(const tamberlyn_wav_info& d, const char* does) {
    if (d.repairable) return std::string("; 'tamberlyn repair' ") + does;
    return d.reason[0] != '\0' ? std::string("; ") + d.reason : std::string();
}

}  // namespace

std::string DescribeFormat(const tamberlyn_wav_info& d) {
    char text[96];
    std::snprintf(text, sizeof text, "%s, %u Hz, %u channel%s", d.format,
                  static_cast<unsigned>(d.rate), static_cast<unsigned>(d.channels),
                  d.channels == 1 ? "" : "s");
    return text;
}

bool Inspect(const NativeString& name, tamberlyn_wav_info& d) {
    d.struct_size = sizeof d;
    if (tamberlyn_wav_inspect(name.c_str(), &d) != TAMBERLYN_OK) {
        const NativeString names[3] = {name, name, name};
        ReportFailure(names);
        return false;
    }
    if (d.state == TAMBERLYN_WAV_NOT_WAV) {
        Refuse(name, "%s", d.reason);
        return false;
    }
    return true;
}

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
        tamberlyn_wav_info d;
        if (!Inspect(name, d)) {
            status = 1;
            continue;
        }
        const std::string shown = Shown(name);
        const std::string format = DescribeFormat(d);
        switch (d.state) {
            case TAMBERLYN_WAV_FINISHED:
                if (d.appended > 0) {
                    PrintOut("%s: %s, %.2f s, finished; %llu bytes follow its RIFF form\n",
                             shown.c_str(), format.c_str(), d.seconds,
                             static_cast<unsigned long long>(d.appended));
                } else {
                    PrintOut("%s: %s, %.2f s, finished\n", shown.c_str(), format.c_str(),
                             d.seconds);
                }
                break;
            case TAMBERLYN_WAV_UNFINISHED_RECORDING:
                PrintOut("%s: %s, %.2f s on disk, an unfinished recording (%s)%s\n", shown.c_str(),
                         format.c_str(), d.seconds,
                         d.recording_placeholder ? "its header was never written"
                                                 : "its header is an earlier recording's",
                         Remedy(d, "finishes it").c_str());
                break;
            case TAMBERLYN_WAV_UNKNOWN_LENGTH:
                PrintOut("%s: %s, %.2f s on disk, unknown length in its header%s\n", shown.c_str(),
                         format.c_str(), d.seconds, Remedy(d, "sets it").c_str());
                break;
            case TAMBERLYN_WAV_SIZES_DISAGREE:
                if (d.data_size_wrong) {
                    PrintOut(
                        "%s: %s, %.2f s on disk, but its header says %.2f s: %s with its "
                        "length%s\n",
                        shown.c_str(), format.c_str(), d.seconds, d.declared_seconds, WhichSizes(d),
                        Remedy(d, "mends it").c_str());
                } else {
                    PrintOut("%s: %s, %.2f s, but %s with its length%s\n", shown.c_str(),
                             format.c_str(), d.seconds, WhichSizes(d),
                             Remedy(d, "mends it").c_str());
                }
                break;
            case TAMBERLYN_WAV_OTHER_AUDIO:
                PrintOut("%s: %s, %.2f s, %s\n", shown.c_str(), format.c_str(), d.seconds,
                         d.reason);
                break;
            case TAMBERLYN_WAV_BEING_RECORDED:
                PrintOut("%s: %s, %.2f s on disk, being recorded by another process\n",
                         shown.c_str(), format.c_str(), d.seconds);
                break;
            default:
                if (d.recording_placeholder) {
                    PrintOut("%s: no WAV header: %s\n", shown.c_str(), d.reason);
                } else {
                    PrintOut("%s: %s, %.2f s by its header, but %s\n", shown.c_str(),
                             format.c_str(), d.declared_seconds, d.reason);
                }
        }
    }
    return status;
}

}  // namespace tamberlyn_cli
