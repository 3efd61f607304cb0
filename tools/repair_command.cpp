// tamberlyn repair: makes an unfinished or size-damaged 16-bit PCM WAV file readable in place,
// without losing a sample.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "inspected_file.h"
#include "messages.h"
#include "options.h"

namespace tamberlyn_cli {

namespace {

using tamberlyn::SystemError;

constexpr char kRepairUsage[] =
    "usage: tamberlyn repair FILE [--dry-run]\n"
    "\n"
    "Makes an unfinished recording, or a 16-bit PCM WAV file whose sizes disagree with its\n"
    "length, readable in place: its sizes (or a recording's whole header) are set for every\n"
    "sample it holds; no sample is cut. A file that needs nothing is left as it is, and so is\n"
    "one whose state cannot be told.\n"
    "\n"
    "  --dry-run   say what would change, change nothing\n";

// Heads up to this size are rewritten in one write; beyond, field by field.
constexpr std::uint64_t kOneWrite = 1u << 20;

std::string WhatChanges(const tamberlyn::WavDiagnosis& d, std::uint64_t file_size) {
    char text[160];
    const double seconds = SecondsOf(d.wav, d.length - d.wav.data_offset);
    if (d.header_bytes > 0) {
        std::snprintf(text, sizeof text, "the header of a recording of %.2f s", seconds);
    } else if (d.sizes.count == 1) {
        std::snprintf(text, sizeof text, "the RIFF size");
    } else {
        std::snprintf(text, sizeof text, "the sizes for %.2f s", seconds);
    }
    std::string what = text;
    if (d.length < file_size) what += ", and a lone trailing byte that is no sample cut";
    return what;
}

// Writes the new header (or the sizes) in one write where it can, then cuts, then syncs: a
// failure leaves the file as readable as it was.
SystemError Apply(tamberlyn::FileHandle file, const tamberlyn::WavDiagnosis& d,
                  std::uint64_t file_size) {
    if (d.header_bytes > 0) {
        if (const SystemError e = tamberlyn::WriteAllAt(file, 0, d.header, d.header_bytes)) {
            return e;
        }
    } else {
        std::uint64_t end = 0;
        for (int i = 0; i < d.sizes.count; ++i) end = std::max(end, d.sizes.fields[i].offset + 4);
        if (end <= kOneWrite) {
            std::vector<std::uint8_t> head(static_cast<std::size_t>(end));
            std::size_t got = 0;
            if (const SystemError e =
                    tamberlyn::ReadFullAt(file, 0, head.data(), head.size(), got)) {
                return e;
            }
            tamberlyn::ApplyWavSizes(d.sizes, 0, head.data(), got);
            if (const SystemError e = tamberlyn::WriteAllAt(file, 0, head.data(), got)) return e;
        } else {
            for (int i = 0; i < d.sizes.count; ++i) {
                const tamberlyn::WavSizeField& f = d.sizes.fields[i];
                if (const SystemError e = tamberlyn::WriteAllAt(file, f.offset, f.bytes, 4)) {
                    return e;
                }
            }
        }
    }
    if (d.length < file_size) {
        if (const SystemError e = tamberlyn::TruncateFile(file, d.length)) return e;
    }
    return tamberlyn::SyncFile(file);
}

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

    // Judged before anything is opened for writing: nothing to repair needs no permission.
    WavInput file;
    if (!InspectFile(name, file)) return 1;
    CloseWavInput(file);
    const tamberlyn::WavDiagnosis& d = file.diagnosis;
    const std::string shown = Shown(name);
    if (d.state == tamberlyn::WavState::kNotWav) {
        RefuseHead(file);
        return 1;
    }
    if (d.state == tamberlyn::WavState::kFinished) {
        PrintOut("%s: nothing to repair\n", shown.c_str());
        return 0;
    }
    if (!d.repairable) {
        Refuse(name, "%s; left as it is", d.why != nullptr ? d.why : "it cannot be repaired");
        return 1;
    }
    const std::string what = WhatChanges(d, file.file_size);
    if (dry_run) {
        PrintOut("%s: would set %s\n", shown.c_str(), what.c_str());
        return 0;
    }

    tamberlyn::FileHandle handle;
    if (const SystemError e = tamberlyn::OpenToUpdate(name.c_str(), handle)) {
        Fail("cannot open", name, e);
        return 1;
    }
    tamberlyn::FileInfo now;
    SystemError e = tamberlyn::InfoOf(handle, now);
    if (!e && (now.size != file.file_size || !tamberlyn::SameFile(now, file.info))) {
        tamberlyn::CloseFile(handle);
        Refuse(name, "changed while it was read; left as it is");
        return 1;
    }
    if (!e) e = Apply(handle, d, file.file_size);
    const SystemError closed = tamberlyn::CloseFile(handle);
    if (!e) e = closed;
    if (e) {
        Fail("cannot repair", name, e);
        return 1;
    }
    PrintOut("%s: set %s\n", shown.c_str(), what.c_str());
    return 0;
}

}  // namespace tamberlyn_cli
