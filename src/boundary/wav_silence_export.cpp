// WAVSilence: opens the two files by the library's UTF-16 paths and runs the library's rule.
#include <cstdio>

#include "silence/wav_silence.h"
#include "tamberlyn.h"

extern "C" TAMBERLYN_API int32_t WAVSilence(const tamberlyn_char16_t* input_path,
                                            const tamberlyn_char16_t* output_path) {
    // The header's code unit is wchar_t in C++ on Windows: the same 16 bits.
    const auto* input = reinterpret_cast<const char16_t*>(input_path);
    const auto* output = reinterpret_cast<const char16_t*>(output_path);
    tamberlyn::FileHandle in;
    if (tamberlyn::OpenFileForReading(input, in)) return SILENCE_OPEN_FAILED;

    tamberlyn::FileHandle out;
    tamberlyn::SystemError error;
    if (tamberlyn::CreateFileForWriting(output, in, false, out, error) !=
        tamberlyn::CreateResult::kCreated) {
        tamberlyn::CloseFile(in);
        return SILENCE_OPEN_FAILED;
    }

    int32_t result = tamberlyn::CopyWithLibraryRule(in, out) ? SILENCE_IO_FAILED : RESULT_SUCCESS;
    tamberlyn::CloseFile(in);
    if (tamberlyn::CloseFile(out)) result = SILENCE_IO_FAILED;
    if (result == RESULT_SUCCESS) {
        std::fputs("Silence removal completed successfully.\n", stdout);
        std::fflush(stdout);
    }
    return result;
}
