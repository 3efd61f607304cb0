// The subcommands of the tamberlyn program; each returns the process exit status.
#pragma once

#include <string>

#include "console.h"

namespace tamberlyn_cli {

// The whole program: argv as the platform gives it (bytes on POSIX, UTF-16 on Windows).
int RunProgram(int argc, NativeChar** argv);

int RunSilence(int argc, NativeChar** argv);  // argv[0] is "silence"
int RunRecord(int argc, NativeChar** argv);   // argv[0] is "record"
int RunInfo(int argc, NativeChar** argv);     // argv[0] is "info"
int RunRepair(int argc, NativeChar** argv);   // argv[0] is "repair"

// What `info` and `repair` share: a regular file judged by the engine, with one line naming the
// file and the reason, and false, when it cannot be opened or read, or is no WAV file.
bool Inspect(const NativeString& name, tamberlyn_wav_info& info);
// "16-bit PCM, 8000 Hz, 1 channel"
std::string DescribeFormat(const tamberlyn_wav_info& info);

}  // namespace tamberlyn_cli
