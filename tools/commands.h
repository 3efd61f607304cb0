// The subcommands of the tamberlyn program; each returns the process exit status.
#pragma once

namespace tamberlyn_cli {

int RunSilence(int argc, char** argv);  // argv[0] is "silence"
int RunRecord(int argc, char** argv);   // argv[0] is "record"

}  // namespace tamberlyn_cli
