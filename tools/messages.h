// The program's lines on standard error: "tamberlyn: what 'file': reason".
#pragma once

#include "console.h"
#include "runtime/system_error.h"

namespace tamberlyn_cli {

// "tamberlyn: <what> '<name>': <the system's text for error>"
void Fail(const char* what, const NativeString& name, tamberlyn::SystemError error);

// "tamberlyn: '<name>': <text>" and "tamberlyn: warning: '<name>': <text>", printf-style.
void Refuse(const NativeString& name, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void Warn(const NativeString& name, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Bad usage of a command: "tamberlyn <command>: <text>" and a pointer to --help; returns 2.
int UsageError(const char* command, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace tamberlyn_cli
