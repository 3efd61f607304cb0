#include <cstdio>
#include <cstring>

#include "runtime/native_file.h"
#include "silence/silence_stream.h"
#include "tamberlyn.h"
#include "wav/wav_header.h"

namespace {

using tamberlyn::FileHandle;
using tamberlyn::WAVE_HEADER_BYTES;

// Copies the header as read (zeros where the input ends early), then the filtered samples.
// Returns RESULT_SUCCESS or SILENCE_IO_FAILED; stops at the first failure. Kept out of line so
// that the buffer and the path conversions of the opens never share the caller's stack.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
int32_t
CopyFiltered(FileHandle input, FileHandle output) {
    std::uint8_t header[WAVE_HEADER_BYTES] = {};
    std::size_t got = 0;
    if (tamberlyn::ReadFull(input, header, sizeof header, got)) return SILENCE_IO_FAILED;
    if (tamberlyn::WriteAll(output, header, sizeof header)) return SILENCE_IO_FAILED;

    // A lent static buffer when one is free, else a small one on this thread's stack.
    std::uint8_t small[tamberlyn::kSmallSilenceBufferBytes];
    const tamberlyn::SilenceBuffer lent = tamberlyn::LendSilenceBuffer();
    const tamberlyn::SilenceBuffer buffer =
        lent.bytes ? lent : tamberlyn::SilenceBuffer{small, sizeof small};
    tamberlyn::StreamCounts counts;
    const tamberlyn::StreamResult result =
        tamberlyn::FilterStream(input, tamberlyn::kToEndOfFile, tamberlyn::kLibrarySilenceRule,
                                tamberlyn::FileSink(output), WAVE_HEADER_BYTES, buffer, counts);
    if (lent.bytes) tamberlyn::ReturnSilenceBuffer(lent);
    return result == tamberlyn::StreamResult::kDone ? RESULT_SUCCESS : SILENCE_IO_FAILED;
}

}  // namespace

extern "C" TAMBERLYN_API int32_t WAVSilence(const tamberlyn_char16_t* input,
                                            const tamberlyn_char16_t* output) {
    FileHandle in;
    if (tamberlyn::OpenFileForReading(input, in)) return SILENCE_OPEN_FAILED;

    FileHandle out;
    tamberlyn::SystemError error;
    if (tamberlyn::CreateFileForWriting(output, in, false, out, error) !=
        tamberlyn::CreateResult::kCreated) {
        tamberlyn::CloseFile(in);
        return SILENCE_OPEN_FAILED;
    }

    int32_t result = CopyFiltered(in, out);
    tamberlyn::CloseFile(in);
    if (tamberlyn::CloseFile(out)) result = SILENCE_IO_FAILED;
    if (result == RESULT_SUCCESS) {
        std::fputs("Silence removal completed successfully.\n", stdout);
        std::fflush(stdout);
    }
    return result;
}
