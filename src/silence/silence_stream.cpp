#include "silence/silence_stream.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace tamberlyn {

namespace {

constexpr std::size_t kPage = 4096;
constexpr int kLendable = 4;

struct alignas(kPage) LargeBuffer {
    std::uint8_t bytes[kLargeSilenceBufferBytes];
};
LargeBuffer g_large[kLendable];
std::atomic<bool> g_lent[kLendable];

}  // namespace

SilenceBuffer LendSilenceBuffer() {
    for (int i = 0; i < kLendable; ++i) {
        if (!g_lent[i].exchange(true, std::memory_order_acquire)) {
            return {g_large[i].bytes, sizeof g_large[i].bytes};
        }
    }
    return {nullptr, 0};
}

void ReturnSilenceBuffer(const SilenceBuffer& buffer) {
    for (int i = 0; i < kLendable; ++i) {
        if (buffer.bytes == g_large[i].bytes) g_lent[i].store(false, std::memory_order_release);
    }
}

StreamResult FilterStream(const DataSource& in, std::uint64_t limit, const SilenceRule& rule,
                          const DataSink& sink, std::uint64_t out_offset,
                          const SilenceBuffer& buffer, StreamCounts& counts) {
    std::uint8_t* const buf = buffer.bytes;
    // Filtered bytes leave once this many are waiting; what is short of a page boundary stays.
    const std::size_t flush_at = buffer.size / 2;
    const std::size_t frame_bytes = 2 * static_cast<std::size_t>(rule.channels);
    // buf: [0, pending) kept bytes not yet written, [pending, pending + carried) the start of a
    // frame whose end has not been read yet. The filter works in place after `pending`.
    std::size_t pending = 0;
    std::size_t carried = 0;
    std::int32_t run = 0;
    std::uint64_t remaining = limit;
    for (;;) {
        const std::size_t space = buffer.size - pending - carried;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(space, remaining));
        std::size_t n = 0;
        counts.error = ReadFullFrom(in, buf + pending + carried, want, n);
        if (counts.error) return StreamResult::kReadFailed;
        counts.read += n;
        remaining -= n;

        std::uint8_t* const start = buf + pending;
        const std::size_t bytes = carried + n;
        const std::size_t frames = bytes / frame_bytes;
        const std::size_t kept = FilterFrames(rule, start, frames, start, run);
        carried = bytes - frames * frame_bytes;
        if (carried > 0) std::memmove(start + kept, start + frames * frame_bytes, carried);
        pending += kept;

        if (n < want || remaining == 0) break;  // the end of the file, or of the data
        if (pending < flush_at) continue;
        const std::uint64_t end = out_offset + pending;
        const auto leave = static_cast<std::size_t>(end - end / kPage * kPage);
        const std::size_t out = pending - std::min(leave, pending);
        if (out == 0) continue;
        counts.error = sink.write(sink.context, buf, out);
        if (counts.error) return StreamResult::kWriteFailed;
        counts.written += out;
        out_offset += out;
        std::memmove(buf, buf + out, pending - out + carried);
        pending -= out;
    }
    if (pending > 0) {
        counts.error = sink.write(sink.context, buf, pending);
        if (counts.error) return StreamResult::kWriteFailed;
    }
    counts.written += pending;
    return StreamResult::kDone;
}

}  // namespace tamberlyn
