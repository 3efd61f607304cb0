// Between the console's shared part (console.cpp) and each platform's (console_posix.cpp,
// console_win32.cpp): what the platform does, and what its interrupt handler asks of the rest.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "console.h"

#if !defined(_WIN32)
#include <climits>
#endif

namespace tamberlyn_cli {

// The longest name an interrupt can remove, its terminating zero included.
#if defined(_WIN32)
constexpr std::size_t kMaxRemovableName = 32768;
#else
constexpr std::size_t kMaxRemovableName = PATH_MAX;
#endif

// Given by each platform.
void PrintTo(bool error, const char* format, va_list args);
void RemoveNow(const NativeChar* path);  // safe in a signal handler

// What an interrupt does, decided by the shared part; the files to remove are gone unless the
// interrupt was only counted.
enum class Interrupt { kCounted, kEndNow, kAsTheSystemWould };
Interrupt TakeInterrupt();

}  // namespace tamberlyn_cli
