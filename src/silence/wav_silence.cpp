#include "silence/wav_silence.h"

#include "silence/silence_stream.h"
#include "wav/recording_format.h"

namespace tamberlyn {

// Kept out of line so that the buffer and the path conversions of the caller's opens never
// share a frame on the caller's stack.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
SystemError
CopyWithLibraryRule(FileHandle input, FileHandle output) {
    std::uint8_t header[WAVE_HEADER_BYTES] = {};
    std::size_t got = 0;
    if (const SystemError e = ReadFull(input, header, sizeof header, got)) return e;
    if (const SystemError e = WriteAll(output, header, sizeof header)) return e;

    // A lent static buffer when one is free, else a small one on this thread's stack.
    std::uint8_t small[kSmallSilenceBufferBytes];
    const SilenceBuffer lent = LendSilenceBuffer();
    const SilenceBuffer buffer = lent.bytes ? lent : SilenceBuffer{small, sizeof small};
    StreamCounts counts;
    FilterStream(FileSource(input), kToEndOfFile, kLibrarySilenceRule, FileSink(output),
                 WAVE_HEADER_BYTES, buffer, counts);
    if (lent.bytes) ReturnSilenceBuffer(lent);
    return counts.error;
}

}  // namespace tamberlyn
