// The program's side of the console, on POSIX and on Windows alike: text on standard output and
// error, file names as the user gave them, and the user's interrupts.
#pragma once

#include <csignal>
#include <string>

#include "runtime/native_file.h"

namespace tamberlyn_cli {

using tamberlyn::FileHandle;
using tamberlyn::NativeChar;
using tamberlyn::NativeString;

// Call first: notes which standard streams are closed, and keeps their numbers from being
// taken by the files the program opens (a closed standard output would become the output file).
void StartConsole();

// printf-style UTF-8 text. On a Windows console it is shown as UTF-16; redirected, it stays UTF-8.
void PrintOut(const char* format, ...) __attribute__((format(printf, 1, 2)));
void PrintErr(const char* format, ...) __attribute__((format(printf, 1, 2)));
// For the status line, which is drawn only there.
bool ErrorIsTerminal();

// Standard input and output as files, kNoFile when they were closed when the program started.
FileHandle StandardInput();
FileHandle StandardOutput();

// An argument as UTF-8 text (for numbers and messages): bytes as they are on POSIX, UTF-16
// decoded on Windows.
std::string Utf8(const NativeString& text);
// `name` for a message: 'name', as coreutils quotes it; control characters and bytes that are
// not UTF-8 are escaped ($'\n'), so that a message stays on one line.
std::string Quoted(const NativeString& name);
// `name` for a line of output: as it is when it is plain text, quoted as above when not.
std::string Shown(const NativeString& name);
// True when `arg` is the ASCII text `text`.
bool ArgIs(const NativeChar* arg, const char* text);
// The name as the library's exports take it (UTF-16); false for a name that is not valid text.
bool ToLibraryPath(const NativeString& name, std::u16string& out);

// Interrupts: Ctrl-C, and on POSIX SIGTERM, SIGHUP and SIGQUIT. By default one ends the program
// as the signal would (status 128 + N), after removing the files named with RemoveOnInterrupt.
// With CountInterrupts, the first ones are counted in *count instead, for the program to stop
// in good order; a second one ends it at once all the same.
void RemoveOnInterrupt(const NativeString& path);
void ForgetOnInterrupt(const NativeString& path);
void CountInterrupts(volatile std::sig_atomic_t* count);
// The exit status for the interrupt last counted: 130 for Ctrl-C, 143 for SIGTERM...
int InterruptStatus();

}  // namespace tamberlyn_cli
