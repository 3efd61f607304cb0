// The command line of one command: its options (--name VALUE or --name=VALUE, and flags), its
// operands, -h/--help, and "--" to end the options, the same for every command.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "console.h"

namespace tamberlyn_cli {

struct OptionSpec {
    const char* name;  // "--threshold"
    bool takes_value;
};

struct CommandLine {
    std::vector<std::pair<std::string, NativeString>> options;  // name, value (empty for flags)
    std::vector<NativeString> operands;
    bool help = false;
};

// Reads argv[1..argc) of `command`. Returns 2 after a usage error naming the stray option,
// else -1.
int ReadCommandLine(const char* command, int argc, NativeChar** argv,
                    std::initializer_list<OptionSpec> specs, CommandLine& out);

// A plain decimal number: digits with an optional sign and fraction, nothing else (no hex, no
// exponent, no "inf"). `rest` gets what follows it.
bool ParseDecimal(const std::string& text, double& value, std::size_t& rest);

}  // namespace tamberlyn_cli
