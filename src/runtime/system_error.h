// A failure as the operating system reported it: errno on POSIX, GetLastError() on Windows,
// carried from the call that failed to whoever tells the user, never guessed afterwards.
#pragma once

#include <cstddef>

namespace tamberlyn {

struct SystemError {
    int code = 0;  // 0: no failure
    constexpr explicit operator bool() const { return code != 0; }
};

// The calling thread's last error, as the platform keeps it.
SystemError LastSystemError();

// What a write that wrote nothing, and reported nothing, means: the device is full.
SystemError NoSpaceError();
// What opening a folder as a file means.
SystemError IsFolderError();

// The system's text for `error`, in UTF-8 (strerror; FormatMessageW), into `text` of `size`
// bytes, always terminated.
void SystemErrorText(SystemError error, char* text, std::size_t size);

}  // namespace tamberlyn
