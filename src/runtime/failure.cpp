#include "runtime/failure.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tamberlyn {

Failure& ThreadFailure() {
    static thread_local Failure failure;
    return failure;
}

tamberlyn_status Fail(tamberlyn_status status, int file, SystemError error) {
    Failure& f = ThreadFailure();
    f.status = status;
    f.file = file;
    f.error = error;
    SystemErrorText(error, f.message, sizeof f.message);
    return status;
}

tamberlyn_status FailWith(tamberlyn_status status, int file, SystemError error, const char* format,
                          ...) {
    Fail(status, file, error);
    Failure& f = ThreadFailure();
    const std::size_t used = std::strlen(f.message);
    va_list args;
    va_start(args, format);
    std::vsnprintf(f.message + used, sizeof f.message - used, format, args);
    va_end(args);
    return status;
}

tamberlyn_status Refuse(tamberlyn_status status, int file, const char* format, ...) {
    Failure& f = ThreadFailure();
    f.status = status;
    f.file = file;
    f.error = {};
    va_list args;
    va_start(args, format);
    std::vsnprintf(f.message, sizeof f.message, format, args);
    va_end(args);
    return status;
}

}  // namespace tamberlyn
