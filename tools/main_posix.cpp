#include "commands.h"

int main(int argc, char** argv) { return tamberlyn_cli::RunProgram(argc, argv); }
