/*
 * TAMBERLYN: records audio input into WAV files and shortens long silences in them.
 *
 * Plain C interface, usable from C and C++. Paths are null-terminated UTF-16 strings owned by
 * the caller and read only during the call. Every function returns a 32-bit signed result;
 * success is RESULT_SUCCESS (999), failures are small positive codes particular to each function.
 */
#ifndef TAMBERLYN_H
#define TAMBERLYN_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(TAMBERLYN_BUILDING)
#define TAMBERLYN_API __declspec(dllexport)
#else
#define TAMBERLYN_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define TAMBERLYN_API __attribute__((visibility("default")))
#else
#define TAMBERLYN_API
#endif

#ifdef __cplusplus
extern "C" {
typedef char16_t tamberlyn_char16_t; /* same size and ABI as uint_least16_t */
#else
typedef uint_least16_t tamberlyn_char16_t;
#endif

enum {
    RESULT_SUCCESS = 999, /* the call did what it was asked */

    /* WAVSilence */
    SILENCE_OPEN_FAILED = 1, /* input not opened, output not created, or both name one file */
    SILENCE_IO_FAILED = 2    /* a read (other than end of file), write or close failed */
};

/*
 * Copies the WAV file `input` to `output`: the first 44 bytes unchanged, then the 16-bit
 * little-endian samples, cutting every run of quiet samples (magnitude below 500) to its first
 * 799. Prints "Silence removal completed successfully.\n" on standard output on success.
 * Returns RESULT_SUCCESS, SILENCE_OPEN_FAILED or SILENCE_IO_FAILED.
 */
TAMBERLYN_API int32_t WAVSilence(const tamberlyn_char16_t* input, const tamberlyn_char16_t* output);

#ifdef __cplusplus
}
#endif

#endif /* TAMBERLYN_H */
