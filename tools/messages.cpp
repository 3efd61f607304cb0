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

void Fail(const char* what, const NativeString& name, int error) {
    char reason[256];
    tamberlyn_system_error_text(error, reason, sizeof reason);
    PrintErr("tamberlyn: %s %s: %s\n", what, Quoted(name).c_str(), reason);
}

void ReportFailure(const NativeString (&names)[3], const char* suffix) {
    const int file = tamberlyn_error_file();
    const NativeString& name = file == TAMBERLYN_FILE_OUTPUT   ? names[1]
                               : file == TAMBERLYN_FILE_LABELS ? names[2]
                                                               : names[0];
    const int code = tamberlyn_error_system_code();
    if (code == 0) {
        Refuse(name, "%s%s", tamberlyn_error_message(), suffix);
        return;
    }
    const tamberlyn_status status = tamberlyn_error_status();
    const char* what = status == TAMBERLYN_E_OPEN     ? "cannot open"
                       : status == TAMBERLYN_E_CREATE ? "cannot create"
                       : status == TAMBERLYN_E_READ   ? "cannot read"
                                                      : "cannot write";
    // The engine's message: the system's reason, and what it adds of its own.
    PrintErr("tamberlyn: %s %s: %s\n", what, Quoted(name).c_str(), tamberlyn_error_message());
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
