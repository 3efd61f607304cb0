// The subcommands of the tamberlyn program; each returns the process exit status.
#pragma once

#include "console.h"

namespace tamberlyn_cli {

// The whole program: argv as the platform gives it (bytes on POSIX, UTF-16 on Windows).
int RunProgram(int argc, NativeChar** argv);

int RunSilence(int argc, NativeChar** argv);  // argv[0] is "silence"
int RunRecord(int argc, NativeChar** argv);   // argv[0] is "record"
int RunInfo(int argc, NativeChar** argv);     // argv[0] is "info"
int RunRepair(int argc, NativeChar** argv);   // argv[0] is "repair"

}  // namespace tamberlyn_cli
