// The arguments as UTF-16, whatever the console's code page: every name reaches the file system
// as the user typed it.
#include "commands.h"

int wmain(int argc, wchar_t** argv) { return tamberlyn_cli::RunProgram(argc, argv); }
