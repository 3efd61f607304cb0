// The calling thread's last failure, as the engine library reports it: a status code, the file it
// concerns, the system's error and the reason as text. Whatever fails records it here and
// returns the status; the library's functions hand it to their caller.
#pragma once

#include <cstddef>

#include "runtime/system_error.h"
#include "tamberlyn_engine.h"

namespace tamberlyn {

struct Failure {
    tamberlyn_status status = TAMBERLYN_OK;
    int file = TAMBERLYN_FILE_NONE;
    SystemError error;
    char message[512] = "";
};

// The calling thread's record.
Failure& ThreadFailure();

// A failure of the system's: the message is the system's text for `error`.
tamberlyn_status Fail(tamberlyn_status status, int file, SystemError error);

// A failure of the system's, its text followed by the library's own words, printf-style.
tamberlyn_status FailWith(tamberlyn_status status, int file, SystemError error, const char* format,
                          ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

// A failure with the library's own reason, printf-style.
tamberlyn_status Refuse(tamberlyn_status status, int file, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

}  // namespace tamberlyn
