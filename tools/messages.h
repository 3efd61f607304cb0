// The program's lines on standard error: "tamberlyn: what 'file': reason".
#pragma once

#include "console.h"

namespace tamberlyn_cli {

// "tamberlyn: <what> '<name>': <the system's text for error>"
void Fail(const char* what, const NativeString& name, int error);

// The engine's last failure on this thread, as one line: "cannot open 'name': reason" for the
// system's own failures (the verb from the status), "'name': reason<suffix>" for the engine's.
// `names` are the input, the output and the label track, by the file the failure concerns.
void ReportFailure(const NativeString (&names)[3], const char* suffix = "");

// "tamberlyn: '<name>': <text>" and "tamberlyn: warning: '<name>': <text>", printf-style.
void Refuse(const NativeString& name, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void Warn(const NativeString& name, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Bad usage of a command: "tamberlyn <command>: <text>" and a pointer to --help; returns 2.
int UsageError(const char* command, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace tamberlyn_cli
