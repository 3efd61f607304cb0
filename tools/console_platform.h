// Between the console's shared part (console.cpp) and each platform's (console_posix.cpp,
// console_win32.cpp): what the platform does, and what its interrupt handler asks of the rest.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "console.h"

namespace tamberlyn_cli {

// Given by each platform.
void PrintTo(bool error, const char* format, va_list args);
// Writes the last words, if any, to standard error: safe in a signal handler.
void SayLastWords();
// The last words as set, for SayLastWords.
const char* LastWords(std::size_t& size);

// What an interrupt does, decided by the shared part; the engine's partial files are gone unless
// the interrupt was only counted.
enum class Interrupt { kCounted, kEndNow, kAsTheSystemWould };
Interrupt TakeInterrupt();

}  // namespace tamberlyn_cli
