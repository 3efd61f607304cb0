#include "messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tamberlyn_cli {

namespace {

void Line(const char* prefix, const char* name, const char* format, va_list args) {
    std::fprintf(stderr, "tamberlyn: %s'%s': ", prefix, name);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}

}  // namespace

void Fail(const char* what, const char* name, int error) {
    std::fprintf(stderr, "tamberlyn: %s '%s': %s\n", what, name, std::strerror(error));
}

void Refuse(const char* name, const char* format, ...) {
    va_list args;
    va_start(args, format);
    Line("", name, format, args);
    va_end(args);
}

void Warn(const char* name, const char* format, ...) {
    va_list args;
    va_start(args, format);
    Line("warning: ", name, format, args);
    va_end(args);
}

int UsageError(const char* command, const char* format, ...) {
    std::fprintf(stderr, "tamberlyn %s: ", command);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\nTry 'tamberlyn %s --help'.\n", command);
    return 2;
}

}  // namespace tamberlyn_cli
