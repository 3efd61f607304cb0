// The silence engine's loops, written once over a vector instruction set: each set (SSE2, AVX2,
// NEON, plain C++) says how a block of frames is loaded, stored and tested for quiet frames.
// Included only by the files that instantiate them, each compiled for its own set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "silence/silence_filter.h"
#include "wav/little_endian.h"

#if defined(__GNUC__)
// The block helpers are small and sit in the innermost loop: inlined, they keep a block in
// registers from load to store.
#define TAMBERLYN_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define TAMBERLYN_ALWAYS_INLINE inline
#endif

namespace tamberlyn {
namespace blocks {
// Each file that includes this is compiled for its own instruction set: its copies of these
// templates must stay its own, never merged with another's by the linker.
namespace {

inline bool IsQuietFrame(const std::uint8_t* p, int channels, std::int32_t threshold) {
    for (int c = 0; c < channels; ++c, p += 2) {
        const std::int32_t s = GetPcm16(p);
        if ((s < 0 ? -s : s) >= threshold) return false;
    }
    return true;
}

// Frame by frame; `Channels` is the channel count, or 0 when only `channels` knows it.
template <int Channels>
std::size_t FilterOneByOne(const std::uint8_t* in, std::size_t frames, std::uint8_t* out,
                           std::int32_t& run, const SilenceRule& rule) {
    const int channels = Channels > 0 ? Channels : rule.channels;
    const std::size_t frame_bytes = 2 * static_cast<std::size_t>(channels);
    std::size_t written = 0;
    for (std::size_t i = 0; i < frames; ++i, in += frame_bytes) {
        if (IsQuietFrame(in, channels, rule.threshold)) {
            if (run >= rule.keep) {
                run = rule.keep + 1;
                continue;
            }
            ++run;
        } else {
            run = 0;
        }
        // Forward byte copy: `out` may be `in` itself, never ahead of it.
        for (std::size_t b = 0; b < frame_bytes; ++b) out[written + b] = in[b];
        written += frame_bytes;
    }
    return written;
}

// Set bits at the top of a mask that has a clear bit: quiet frames at the end of a block.
template <typename Mask>
std::int32_t LeadingOnes(Mask mask) {
#if defined(__GNUC__)
    return sizeof(Mask) == 8 ? __builtin_clzll(~static_cast<unsigned long long>(mask))
                             : __builtin_clz(~static_cast<unsigned>(mask));
#else
    std::int32_t n = 0;
    for (Mask bit = Mask{1} << (8 * sizeof(Mask) - 1); mask & bit; bit >>= 1) ++n;
    return n;
#endif
}

// Set bits at the bottom of a mask that has a clear bit: frames in order from the block's start.
template <typename Mask>
std::int32_t TrailingOnes(Mask mask) {
#if defined(__GNUC__)
    return sizeof(Mask) == 8 ? __builtin_ctzll(~static_cast<unsigned long long>(mask))
                             : __builtin_ctz(~static_cast<unsigned>(mask));
#else
    std::int32_t n = 0;
    for (Mask bit = 1; mask & bit; bit <<= 1) ++n;
    return n;
#endif
}

// Whole blocks of Isa::kFrames frames, then the rest frame by frame. Bit i of a block's mask is
// set when its frame i is quiet. A block is read straight from memory both to test it and to
// copy it: no block passes through a struct, which compilers keep in memory, not registers.
template <typename Isa, int Channels>
std::size_t FilterBlocks(const SilenceRule& rule, const std::uint8_t* in, std::size_t frames,
                         std::uint8_t* out, std::int32_t& run_inout) {
    using Mask = typename Isa::Mask;
    constexpr std::size_t kFrames = Isa::kFrames;
    constexpr std::size_t kBlockBytes = 2 * Channels * kFrames;
    constexpr Mask kAllQuiet = ~Mask{0};
    const typename Isa::Limits limits(rule.threshold);
    const std::int32_t keep = rule.keep;
    // A local count stays in a register; `out` could alias the caller's.
    std::int32_t run = run_inout;
    std::size_t written = 0;
    std::size_t i = 0;
    for (; i + kFrames <= frames; i += kFrames, in += kBlockBytes) {
        const Mask mask = Isa::template QuietMask<Channels>(in, limits);
        if (run + static_cast<std::int32_t>(kFrames) <= keep || mask == 0) {
            // No frame of this block can be dropped: copy it whole.
            Isa::template Copy<Channels>(out + written, in);
            written += kBlockBytes;
            run = mask == kAllQuiet ? run + static_cast<std::int32_t>(kFrames) : LeadingOnes(mask);
        } else if (mask == kAllQuiet && run >= keep) {
            run = keep + 1;  // deep inside a quiet run: the whole block goes
        } else {
            written += FilterOneByOne<Channels>(in, kFrames, out + written, run, rule);
        }
    }
    written += FilterOneByOne<Channels>(in, frames - i, out + written, run, rule);
    run_inout = run;
    return written;
}

// Frames from the start that are all quiet (`quiet`) or all loud, up to `frames`.
template <typename Isa, int Channels>
std::size_t RunInBlocks(const SilenceRule& rule, const std::uint8_t* in, std::size_t frames,
                        bool quiet) {
    using Mask = typename Isa::Mask;
    constexpr std::size_t kFrames = Isa::kFrames;
    const typename Isa::Limits limits(rule.threshold);
    std::size_t i = 0;
    for (; i + kFrames <= frames; i += kFrames, in += 2 * Channels * kFrames) {
        const Mask mask = Isa::template QuietMask<Channels>(in, limits);
        const Mask same = quiet ? mask : static_cast<Mask>(~mask);
        if (same != static_cast<Mask>(~Mask{0}))
            return i + static_cast<std::size_t>(TrailingOnes(same));
    }
    for (; i < frames; ++i, in += 2 * Channels) {
        if (IsQuietFrame(in, Channels, rule.threshold) != quiet) break;
    }
    return i;
}

}  // namespace
}  // namespace blocks

// The AVX2 loops, where the build has them (x86-64 with GCC or Clang) and the processor runs
// them; mono and stereo only.
bool HaveAvx2Filter();
// Test seam: the baseline loops even where AVX2 would serve.
void ForceBaselineSilenceLoopsForTesting(bool force);
std::size_t FilterFramesAvx2(const SilenceRule& rule, const std::uint8_t* in, std::size_t frames,
                             std::uint8_t* out, std::int32_t& run);
std::size_t SameQuietnessRunAvx2(const SilenceRule& rule, const std::uint8_t* in,
                                 std::size_t frames, bool quiet);

}  // namespace tamberlyn
