// Runs the silence engine over sample data read from a file, through one fixed buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/data_stream.h"
#include "silence/silence_filter.h"

namespace tamberlyn {

// The buffer a pass works in. Larger buffers mean fewer, larger reads and writes: 1 MiB brings a
// pass over a cached file within a few percent of plainly reading its input and writing its
// output (128 KiB: a fifth over). Static and lent, it costs memory only while a pass uses it.
constexpr std::size_t kLargeSilenceBufferBytes = 1024 * 1024;
// Small enough for a 64 KiB thread stack with room to spare.
constexpr std::size_t kSmallSilenceBufferBytes = 16 * 1024;

struct SilenceBuffer {
    std::uint8_t* bytes;
    std::size_t size;  // at least 4 KiB + 2 frames
};

// Lends one of a few static large buffers, for calls on any thread; {nullptr, 0} when all are
// lent (the caller then works in a small buffer of its own). Return it with ReturnSilenceBuffer.
SilenceBuffer LendSilenceBuffer();
void ReturnSilenceBuffer(const SilenceBuffer& buffer);

constexpr std::uint64_t kToEndOfFile = ~std::uint64_t{0};

enum class StreamResult { kDone, kReadFailed, kWriteFailed, kBufferTooSmall };

struct StreamCounts {
    std::uint64_t read = 0;     // bytes taken from the input, a trailing partial frame included
    std::uint64_t written = 0;  // bytes handed to the sink: whole frames only
    SystemError error;          // why a read or a write failed
};

// Reads `limit` bytes (fewer if the input ends first; all of it with kToEndOfFile) from `in`,
// filters the whole frames by `rule` and hands the kept bytes to `sink`. A partial frame at the
// end is read and dropped. `out_offset` is where the first kept byte lands in the output: every
// piece but the last ends on a 4 KiB boundary of the output, the writes the page cache serves
// cheapest. Stops at the first failure; `counts` says how far it got.
StreamResult FilterStream(const DataSource& in, std::uint64_t limit, const SilenceRule& rule,
                          const DataSink& sink, std::uint64_t out_offset,
                          const SilenceBuffer& buffer, StreamCounts& counts);

}  // namespace tamberlyn
