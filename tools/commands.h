// The subcommands of the tamberlyn program; each returns the process exit status.
#pragma once

namespace tamberlyn_cli {

int RunSilence(int argc, char** argv);  // argv[0] is "silence"
int RunRecord(int argc, char** argv);   // argv[0] is "record"
int RunInfo(int argc, char** argv);     // argv[0] is "info"
int RunRepair(int argc, char** argv);   // argv[0] is "repair"

}  // namespace tamberlyn_cli
