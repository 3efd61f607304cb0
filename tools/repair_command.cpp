// tamberlyn repair: makes an unfinished or size-damaged 16-bit PCM WAV file readable in place.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "messages.h"
#include "wav/little_endian.h"
#include "wav/wav_header.h"
#include "wav_file_state.h"
#include "wav_input.h"

namespace tamberlyn_cli {

namespace {

constexpr char kRepairUsage[] =
    "usage: tamberlyn repair FILE [--dry-run]\n"
    "\n"
    "Makes an unfinished recording, or a 16-bit PCM WAV file whose sizes disagree with its\n"
    "length, readable in place: a recording gets the header a stop would have written for the\n"
    "whole seconds on disk; another file gets data and RIFF sizes for the whole frames it holds.\n"
    "A file that needs nothing is left as it is.\n"
    "\n"
    "  --dry-run   say what would change, change nothing\n";

bool Apply(const char* path, const InspectedFile& file) {
    const tamberlyn::WavDiagnosis& d = file.diagnosis;
    bool ok = true;
    if (d.write_header) {
        tamberlyn::WAVHeader header;
        tamberlyn::FillWAVHeader(
            header, static_cast<std::int32_t>(d.data_size / tamberlyn::RECORD_BLOCK_BYTES));
        std::uint8_t bytes[tamberlyn::WAVE_HEADER_BYTES];
        tamberlyn::SerializeWAVHeader(header, bytes);
        ok = ::pwrite(file.fd, bytes, sizeof bytes, 0) == static_cast<ssize_t>(sizeof bytes);
    } else {
        std::uint8_t riff[4], data[4];
        tamberlyn::PutLE32(riff, d.riff_size);
        tamberlyn::PutLE32(data, d.data_size);
        ok = ::pwrite(file.fd, riff, 4, 4) == 4 &&
             ::pwrite(file.fd, data, 4, static_cast<off_t>(d.wav.data_offset - 4)) == 4;
    }
    if (ok && d.length < file.size) ok = ::ftruncate(file.fd, static_cast<off_t>(d.length)) == 0;
    if (ok) ok = ::fsync(file.fd) == 0;
    if (!ok) Fail("cannot write", path, errno);
    return ok;
}

}  // namespace

int RunRepair(int argc, char** argv) {
    const char* path = nullptr;
    bool dry_run = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kRepairUsage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--dry-run") == 0) {
            dry_run = true;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return UsageError("repair", "unknown option '%s'", arg);
        } else if (path == nullptr) {
            path = arg;
        } else {
            return UsageError("repair", "unexpected argument '%s'", arg);
        }
    }
    if (path == nullptr) return UsageError("repair", "needs FILE");

    InspectedFile file;
    if (!InspectFile(path, !dry_run, file)) return 1;
    const tamberlyn::WavDiagnosis& d = file.diagnosis;
    int status = 0;
    if (d.condition == tamberlyn::WavCondition::kNotWav) {
        Refuse(path, "%s; left as it is",
               file.size == 0 ? "the file is empty" : tamberlyn::WavHeadMessage(d.head));
        status = 1;
    } else if (d.condition == tamberlyn::WavCondition::kFinished) {
        std::printf("%s: nothing to repair\n", path);
    } else if (!d.repairable) {
        Refuse(path, "%s; left as it is", d.unrepairable ? d.unrepairable : "cannot be repaired");
        status = 1;
    } else {
        const double seconds = SecondsOf(d.wav, d.data_size);
        const std::uint64_t cut = file.size - d.length;
        std::printf("%s: %s sizes for %.2f s%s%s\n", path, dry_run ? "would set" : "set", seconds,
                    cut > 0 ? (dry_run ? ", would cut " : ", cut ") : "",
                    cut > 0 ? (std::to_string(cut) + " trailing bytes").c_str() : "");
        if (!dry_run && !Apply(path, file)) status = 1;
    }
    CloseInspected(file);
    return status;
}

}  // namespace tamberlyn_cli
