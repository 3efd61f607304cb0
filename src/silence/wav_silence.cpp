#include <cstdio>
#include <cstring>

#include "runtime/native_file.h"
#include "silence/silence_filter.h"
#include "tamberlyn.h"

namespace {

constexpr std::size_t WAVE_HEADER_BYTES = 44;
constexpr std::size_t kChunkBytes = 64 * 1024;

using tamberlyn::FileHandle;

// Copies the header as read (zeros where the input ends early), then the filtered samples.
// Returns RESULT_SUCCESS or SILENCE_IO_FAILED; stops at the first failure.
int32_t CopyFiltered(FileHandle input, FileHandle output) {
    // One spare byte in front holds a lone byte carried over from the previous read.
    unsigned char buffer[kChunkBytes + 1];

    unsigned char header[WAVE_HEADER_BYTES] = {};
    if (tamberlyn::ReadFile(input, header, sizeof header) < 0) return SILENCE_IO_FAILED;
    if (!tamberlyn::WriteFile(output, header, sizeof header)) return SILENCE_IO_FAILED;

    std::int32_t run = 0;
    std::size_t carried = 0;
    for (;;) {
        const std::ptrdiff_t got = tamberlyn::ReadFile(input, buffer + 1, kChunkBytes);
        if (got < 0) return SILENCE_IO_FAILED;
        if (got == 0) return RESULT_SUCCESS;  // a carried lone byte at the end is dropped

        unsigned char* start = buffer + 1 - carried;
        const std::size_t bytes = carried + static_cast<std::size_t>(got);
        const std::size_t samples = bytes / 2;
        const std::size_t kept = tamberlyn::FilterSamples(start, samples, start, run);
        if (kept > 0 && !tamberlyn::WriteFile(output, start, kept)) return SILENCE_IO_FAILED;

        carried = bytes % 2;
        if (carried) buffer[0] = start[bytes - 1];
    }
}

}  // namespace

extern "C" TAMBERLYN_API int32_t WAVSilence(const tamberlyn_char16_t* input,
                                            const tamberlyn_char16_t* output) {
    const FileHandle in = tamberlyn::OpenFileForReading(input);
    if (in == tamberlyn::kNoFile) return SILENCE_OPEN_FAILED;

    FileHandle out;
    if (tamberlyn::CreateFileForWriting(output, in, out) != tamberlyn::CreateResult::kCreated) {
        tamberlyn::CloseFile(in);
        return SILENCE_OPEN_FAILED;
    }

    int32_t result = CopyFiltered(in, out);
    tamberlyn::CloseFile(in);
    if (!tamberlyn::CloseFile(out)) result = SILENCE_IO_FAILED;
    if (result == RESULT_SUCCESS) {
        std::fputs("Silence removal completed successfully.\n", stdout);
        std::fflush(stdout);
    }
    return result;
}
