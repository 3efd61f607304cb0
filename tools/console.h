// The program's side of the console, on POSIX and on Windows alike: text on standard output and
// error, file names as the user gave them, and the user's interrupts.
#pragma once

#include <csignal>
#include <string>

#include "tamberlyn_engine.h"

namespace tamberlyn_cli {

// File names as the platform gives them: bytes on POSIX, UTF-16 on Windows.
using NativeChar = tamberlyn_path_char;
using NativeString = std::basic_string<NativeChar>;

// Call first: notes which standard streams are closed, and keeps their numbers from being
// taken by the files the program opens (a closed standard output would become the output file).
void StartConsole();

// printf-style UTF-8 text. On a Windows console it is shown as UTF-16; redirected, it stays UTF-8.
void PrintOut(const char* format, ...) __attribute__((format(printf, 1, 2)));
void PrintErr(const char* format, ...) __attribute__((format(printf, 1, 2)));
// While set, what this thread would print on standard error is added to `*into` instead, for a
// caller that prints it whole later (one file's lines among those of files shortened at once).
// nullptr prints again.
void CaptureErrors(std::string* into);

// For the status line, which is drawn only there.
bool ErrorIsTerminal();
// Whether that terminal takes the escape that clears a line (a Windows console without VT
// processing does not).
bool ErrorTakesEscapes();

// Standard input and output as the engine's streams; false when they were closed when the
// program started. Standard input that is a regular file is read at offsets from where it
// stood; standard output that is a regular file, not opened for appending, is written at its
// position and set at offsets from there.
bool StandardInputStream(tamberlyn_stream& out);
bool StandardOutputStream(tamberlyn_stream& out);
// Whether standard input (0) or output (1) is the file that `path` names.
bool StandardStreamIs(int which, const NativeString& path);
// Whether two names reach one existing file.
bool SamePath(const NativeString& a, const NativeString& b);

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

// Interrupts: Ctrl-C, and on POSIX SIGTERM, SIGHUP and SIGQUIT. By default one ends the program
// as the signal would (status 128 + N), after the engine has removed the files it was writing
// beside their targets. With CountInterrupts, the first ones are counted in *count instead, for
// the program to stop in good order; a second one ends it at once all the same.
void CountInterrupts(volatile std::sig_atomic_t* count);
// The exit status for the interrupt last counted: 130 for Ctrl-C, 143 for SIGTERM...
int InterruptStatus();
// The work a counted interrupt asked to stop is finished: a console that is being closed may
// let the program end now (Windows waits for it in the console's handler).
void InterruptedWorkDone();
// A line the program says if an interrupt ends it at once (the second one), before it goes: what
// it leaves behind. Empty: nothing to say.
void SetLastWords(const std::string& line);

// The width of the terminal standard error goes to, in columns; 80 when it cannot be told.
int ErrorColumns();

}  // namespace tamberlyn_cli
