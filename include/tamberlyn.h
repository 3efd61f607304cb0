/*
 * TAMBERLYN: records audio input into WAV files and shortens long silences in them.
 *
 * Plain C interface, usable from C and C++. Paths are null-terminated UTF-16 strings owned by
 * the caller and read only during the call. Every function returns a 32-bit signed result;
 * success is RESULT_SUCCESS (999), failures are small positive codes particular to each function.
 */
#ifndef TAMBERLYN_H
#define TAMBERLYN_H

#if defined(_MSC_VER) && _MSC_VER < 1600
typedef signed __int32 int32_t;
typedef unsigned short uint_least16_t;
#else
#include <stdint.h>
#endif

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

/* A UTF-16 code unit. In C++ on Windows it is wchar_t, so that L"a.wav", std::wstring and
   LPCWSTR pass as they are; in C++11 and later elsewhere char16_t (u"a.wav"); in C and older
   C++ a 16-bit unsigned integer. All have the same size and representation. */
#if defined(__cplusplus) && defined(_WIN32)
typedef wchar_t tamberlyn_char16_t;
#elif defined(__cplusplus) && (__cplusplus >= 201103L || (defined(_MSC_VER) && _MSC_VER >= 1900))
typedef char16_t tamberlyn_char16_t;
#else
typedef uint_least16_t tamberlyn_char16_t;
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    RESULT_SUCCESS = 999, /* the call did what it was asked */

    /* WAVSilence */
    SILENCE_OPEN_FAILED = 1, /* input not opened, output not created, or both name one file */
    SILENCE_IO_FAILED = 2,   /* a read (other than end of file), write or close failed */

    /* SoundRecorderStart */
    RECORDER_DEVICE_NOT_OPENED = 1,   /* no capture device could be opened for the format */
    RECORDER_BUFFER_NOT_QUEUED = 2,   /* the device refused the capture buffer */
    RECORDER_CAPTURE_NOT_STARTED = 3, /* the device would not start capturing */
    RECORDER_FILE_NOT_CREATED = 4,    /* the output file could not be created, is a FIFO, or its
                                         placeholder could not be written; nothing started */
    RECORDER_ALREADY_RUNNING = 5      /* a recording is running; it was left untouched */
};

/*
 * Copies the WAV file `input` to `output`: the first 44 bytes unchanged, then the 16-bit
 * little-endian samples, cutting every run of quiet samples (magnitude below 500) to its first
 * 799. Prints "Silence removal completed successfully.\n" on standard output on success.
 * Returns RESULT_SUCCESS, SILENCE_OPEN_FAILED or SILENCE_IO_FAILED.
 */
TAMBERLYN_API int32_t WAVSilence(const tamberlyn_char16_t* input, const tamberlyn_char16_t* output);

/*
 * Starts recording the default audio input (8000 Hz, 16-bit, mono) into a WAV file at `path`,
 * created, or truncated if it is an existing regular file: a 44-byte placeholder header, then
 * whole one-second blocks of 16000 bytes. Returns RESULT_SUCCESS or a RECORDER_* code. After
 * codes 1-3 the file stays open with its placeholder (the previous recording's final header, or
 * zeros) and SoundRecorderStop, or the next start, finalises it. RECORDER_FILE_NOT_CREATED also
 * stands for a FIFO or socket (refused without waiting for a reader) and for a placeholder that
 * could not be written (a file the start created is removed again).
 */
TAMBERLYN_API int32_t SoundRecorderStart(const tamberlyn_char16_t* path);

/*
 * Stops the recording, writes the final header over the placeholder and closes the file.
 * Returns the number of 16000-byte blocks in the file; 0 when no recording was started.
 */
TAMBERLYN_API int32_t SoundRecorderStop(void);

#ifdef __cplusplus
}
#endif

#endif /* TAMBERLYN_H */
