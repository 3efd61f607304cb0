// tamberlyn repair: makes an unfinished or size-damaged WAV file readable in place,
// without losing a sample.
#include "commands.h"
#include "messages.h"
#include "options.h"

namespace tamberlyn_cli {

namespace {

constexpr char kRepairUsage[] =
    "usage: tamberlyn repair FILE [--dry-run]\n"
    "\n"
    "Makes an unfinished recording, or a PCM or float WAV file whose sizes disagree with its\n"
    "length, readable in place: its sizes (or a recording's whole header) are set for every\n"
    "sample it holds; no sample is cut. A file that needs nothing is left as it is, and so is\n"
    "one whose state cannot be told. Past 4 GiB it becomes RF64: in place where its writer left\n"
    "room (a JUNK chunk first), otherwise as a copy beside it renamed over it when whole.\n"
    "\n"
    "  --dry-run   say what would change, change nothing\n";

}  // namespace

int RunRepair(int argc, NativeChar** argv) {
    CommandLine line;
    const int usage = ReadCommandLine("repair", argc, argv, {{"--dry-run", false}}, line);
    if (usage >= 0) return usage;
    if (line.help) {
        PrintOut("%s", kRepairUsage);
        return 0;
    }
    if (line.operands.size() > 1) {
        return UsageError("repair", "unexpected argument %s", Quoted(line.operands[1]).c_str());
    }
    if (line.operands.empty()) return UsageError("repair", "needs FILE");
    const bool dry_run = !line.options.empty();
    const NativeString& name = line.operands[0];
    const std::string shown = Shown(name);

    tamberlyn_wav_info d;
    if (dry_run) {
        if (!Inspect(name, d)) return 1;
        if (d.state == TAMBERLYN_WAV_BEING_RECORDED) {
            Refuse(name, "is being recorded by another process; left as it is");
            return 1;
        }
        if (d.state == TAMBERLYN_WAV_OTHER_AUDIO) {
            Refuse(name, "%s audio, not WAV: only WAV files are repaired; left as it is", d.format);
            return 1;
        }
        if (d.state == TAMBERLYN_WAV_FINISHED) {
            PrintOut("%s: nothing to repair\n", shown.c_str());
        } else if (!d.repairable) {
            Refuse(name, "%s; left as it is",
                   d.reason[0] != '\0' ? d.reason : "it cannot be repaired");
            return 1;
        } else {
            PrintOut("%s: would set %s\n", shown.c_str(), d.repair);
        }
        return 0;
    }

    d.struct_size = sizeof d;
    const tamberlyn_status status = tamberlyn_wav_repair(name.c_str(), &d);
    if (status == TAMBERLYN_E_UNDECIDABLE) {
        Refuse(name, "%s; left as it is", tamberlyn_error_message());
        return 1;
    }
    if (status == TAMBERLYN_E_WRITE) {
        Fail("cannot repair", name, tamberlyn_error_system_code());
        return 1;
    }
    if (status != TAMBERLYN_OK) {
        const NativeString names[3] = {name, name, name};
        ReportFailure(names);
        return 1;
    }
    if (d.state == TAMBERLYN_WAV_FINISHED) {
        PrintOut("%s: nothing to repair\n", shown.c_str());
    } else {
        PrintOut("%s: set %s\n", shown.c_str(), d.repair);
    }
    return 0;
}

}  // namespace tamberlyn_cli
