#include "options.h"

#include <cmath>
#include <cstdlib>

#include "messages.h"

namespace tamberlyn_cli {

int ReadCommandLine(const char* command, int argc, NativeChar** argv,
                    std::initializer_list<OptionSpec> specs, CommandLine& out) {
    out = CommandLine{};
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        const NativeString arg = argv[i];
        if (options_end || arg.size() < 2 || arg[0] != '-') {
            out.operands.push_back(arg);
            continue;
        }
        if (ArgIs(arg.c_str(), "--")) {
            options_end = true;
            continue;
        }
        if (ArgIs(arg.c_str(), "--help") || ArgIs(arg.c_str(), "-h")) {
            out.help = true;
            continue;
        }
        const std::size_t eq = arg.find(NativeChar('='));
        const std::string name = Utf8(arg.substr(0, eq));
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& s : specs) {
            if (name == s.name) spec = &s;
        }
        if (spec == nullptr || (!spec->takes_value && eq != NativeString::npos)) {
            return UsageError(command, "unknown option %s", Quoted(arg).c_str());
        }
        NativeString value;
        if (spec->takes_value) {
            if (eq != NativeString::npos) {
                value = arg.substr(eq + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                return UsageError(command, "%s needs a value", spec->name);
            }
        }
        out.options.push_back({spec->name, value});
    }
    return -1;
}

bool ParseDecimal(const std::string& text, double& value, std::size_t& rest) {
    std::size_t p = 0;
    if (p < text.size() && (text[p] == '-' || text[p] == '+')) ++p;
    const std::size_t digits = p;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9') ++p;
    bool any = p > digits;
    if (p < text.size() && text[p] == '.') {
        const std::size_t fraction = ++p;
        while (p < text.size() && text[p] >= '0' && text[p] <= '9') ++p;
        any = any || p > fraction;
    }
    if (!any) return false;
    value = std::strtod(text.substr(0, p).c_str(), nullptr);
    rest = p;
    return std::isfinite(value);
}

}  // namespace tamberlyn_cli
