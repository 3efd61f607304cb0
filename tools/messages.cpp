#include "messages.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace tamberlyn_cli {

namespace {

std::string Format(const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    return text;
}

}  // namespace

void Fail(const char* what, const NativeString& name, tamberlyn::SystemError error) {
    char reason[256];
    tamberlyn::SystemErrorText(error, reason, sizeof reason);
    PrintErr("tamberlyn: %s %s: %s\n", what, Quoted(name).c_str(), reason);
}

void Refuse(const NativeString& name, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = Format(format, args);
    va_end(args);
    PrintErr("tamberlyn: %s: %s\n", Quoted(name).c_str(), text.c_str());
}

void Warn(const NativeString& name, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = Format(format, args);
    va_end(args);
    PrintErr("tamberlyn: warning: %s: %s\n", Quoted(name).c_str(), text.c_str());
}

int UsageError(const char* command, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = Format(format, args);
    va_end(args);
    PrintErr("tamberlyn %s: %s\nTry 'tamberlyn %s --help'.\n", command, text.c_str(), command);
    return 2;
}

}  // namespace tamberlyn_cli
