// The engine library's version, its per-thread failures, and the removal of partial files.
#include "runtime/failure.h"
#include "runtime/output_file.h"
#include "tamberlyn_engine.h"

extern "C" {

TAMBERLYN_ENGINE_API const char* TAMBERLYN_CALL tamberlyn_version(void) {
    return TAMBERLYN_VERSION;
}

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL tamberlyn_error_status(void) {
    return tamberlyn::ThreadFailure().status;
}

TAMBERLYN_ENGINE_API const char* TAMBERLYN_CALL tamberlyn_error_message(void) {
    return tamberlyn::ThreadFailure().message;
}

TAMBERLYN_ENGINE_API int TAMBERLYN_CALL tamberlyn_error_system_code(void) {
    return tamberlyn::ThreadFailure().error.code;
}

TAMBERLYN_ENGINE_API int TAMBERLYN_CALL tamberlyn_error_file(void) {
    return tamberlyn::ThreadFailure().file;
}

TAMBERLYN_ENGINE_API void TAMBERLYN_CALL tamberlyn_system_error_text(int code, char* text,
                                                                     size_t size) {
    if (text == nullptr || size == 0) return;
    tamberlyn::SystemErrorText(tamberlyn::SystemError{code}, text, size);
}

TAMBERLYN_ENGINE_API void TAMBERLYN_CALL tamberlyn_discard_partial_files(void) {
    tamberlyn::DiscardPartialFiles();
}

}  // extern "C"
