#include "silence/silence_filter.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TAMBERLYN_SSE2 1
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#define TAMBERLYN_NEON 1
#endif

namespace tamberlyn {

namespace {

constexpr std::size_t kBlock = 32;  // frames examined at once: one bit each in a 32-bit mask
constexpr std::uint32_t kAllQuiet = 0xFFFFFFFFu;

std::int32_t SampleAt(const std::uint8_t* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

bool IsQuietFrame(const std::uint8_t* p, int channels, std::int32_t threshold) {
    for (int c = 0; c < channels; ++c, p += 2) {
        const std::int32_t s = SampleAt(p);
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

// One block of 32 frames, held in registers where the target has vectors.
#if defined(TAMBERLYN_SSE2)
template <int Channels>
struct Block {
    __m128i v[4 * Channels];
};

struct Limits {
    __m128i above;  // threshold - 1: a sample greater than this is loud
    __m128i below;  // -threshold: a sample not greater than this is loud
    explicit Limits(std::int32_t threshold)
        : above(_mm_set1_epi16(static_cast<short>(threshold - 1))),
          below(_mm_set1_epi16(static_cast<short>(-threshold))) {}
};

template <int Channels>
Block<Channels> LoadBlock(const std::uint8_t* p) {
    Block<Channels> b;
    const auto* q = reinterpret_cast<const __m128i*>(p);
    for (int i = 0; i < 4 * Channels; ++i) b.v[i] = _mm_loadu_si128(q + i);
    return b;
}

// Forward store: safe when `out` does not run ahead of where the block was loaded from.
template <int Channels>
void StoreBlock(std::uint8_t* out, const Block<Channels>& b) {
    auto* q = reinterpret_cast<__m128i*>(out);
    for (int i = 0; i < 4 * Channels; ++i) _mm_storeu_si128(q + i, b.v[i]);
}

__m128i Quiet(__m128i v, const Limits& l) {
    return _mm_andnot_si128(_mm_cmpgt_epi16(v, l.above), _mm_cmpgt_epi16(v, l.below));
}

// Bit i is set when frame i of the block is quiet.
std::uint32_t QuietMask(const Block<1>& b, const Limits& l) {
    const int first = _mm_movemask_epi8(_mm_packs_epi16(Quiet(b.v[0], l), Quiet(b.v[1], l)));
    const int second = _mm_movemask_epi8(_mm_packs_epi16(Quiet(b.v[2], l), Quiet(b.v[3], l)));
    return static_cast<std::uint32_t>(first) | (static_cast<std::uint32_t>(second) << 16);
}

std::uint32_t QuietMask(const Block<2>& b, const Limits& l) {
    // A stereo frame is a 32-bit lane: quiet when both of its halves are.
    const __m128i all = _mm_set1_epi32(-1);
    std::uint32_t mask = 0;
    for (int i = 0; i < 8; ++i) {
        const __m128i frames = _mm_cmpeq_epi32(Quiet(b.v[i], l), all);
        mask |= static_cast<std::uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(frames))) << (4 * i);
    }
    return mask;
}
#elif defined(TAMBERLYN_NEON)
template <int Channels>
struct Block {
    uint8x16_t v[4 * Channels];
};

struct Limits {
    uint16x8_t below;  // a widened magnitude below this is quiet
    explicit Limits(std::int32_t threshold)
        : below(vdupq_n_u16(static_cast<std::uint16_t>(threshold))) {}
};

template <int Channels>
Block<Channels> LoadBlock(const std::uint8_t* p) {
    Block<Channels> b;
    for (int i = 0; i < 4 * Channels; ++i) b.v[i] = vld1q_u8(p + 16 * i);
    return b;
}

template <int Channels>
void StoreBlock(std::uint8_t* out, const Block<Channels>& b) {
    for (int i = 0; i < 4 * Channels; ++i) vst1q_u8(out + 16 * i, b.v[i]);
}

uint16x8_t Quiet(uint8x16_t v, const Limits& l) {
    // vabsq_s16 leaves -32768 as 0x8000, which is 32768 as an unsigned magnitude: loud.
    return vcltq_u16(vreinterpretq_u16_s16(vabsq_s16(vreinterpretq_s16_u8(v))), l.below);
}

std::uint32_t QuietMask(const Block<1>& b, const Limits& l) {
    static const uint16_t kBits[8] = {1, 2, 4, 8, 16, 32, 64, 128};
    const uint16x8_t bits = vld1q_u16(kBits);
    std::uint32_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        const uint64x2_t sum = vpaddlq_u32(vpaddlq_u16(vandq_u16(Quiet(b.v[i], l), bits)));
        mask |= static_cast<std::uint32_t>(vgetq_lane_u64(sum, 0) + vgetq_lane_u64(sum, 1))
                << (8 * i);
    }
    return mask;
}

std::uint32_t QuietMask(const Block<2>& b, const Limits& l) {
    static const uint32_t kBits[4] = {1, 2, 4, 8};
    const uint32x4_t bits = vld1q_u32(kBits);
    const uint32x4_t all = vdupq_n_u32(0xFFFFFFFFu);
    std::uint32_t mask = 0;
    for (int i = 0; i < 8; ++i) {
        const uint32x4_t frames = vceqq_u32(vreinterpretq_u32_u16(Quiet(b.v[i], l)), all);
        const uint64x2_t sum = vpaddlq_u32(vandq_u32(frames, bits));
        mask |= static_cast<std::uint32_t>(vgetq_lane_u64(sum, 0) + vgetq_lane_u64(sum, 1))
                << (4 * i);
    }
    return mask;
}
#else
template <int Channels>
struct Block {
    std::uint8_t bytes[2 * Channels * kBlock];
};

struct Limits {
    std::int32_t threshold;
    explicit Limits(std::int32_t t) : threshold(t) {}
};

template <int Channels>
Block<Channels> LoadBlock(const std::uint8_t* p) {
    Block<Channels> b;
    std::memcpy(b.bytes, p, sizeof b.bytes);
    return b;
}

template <int Channels>
void StoreBlock(std::uint8_t* out, const Block<Channels>& b) {
    std::memcpy(out, b.bytes, sizeof b.bytes);
}

template <int Channels>
std::uint32_t QuietMask(const Block<Channels>& b, const Limits& l) {
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        mask |= std::uint32_t{IsQuietFrame(b.bytes + 2 * Channels * i, Channels, l.threshold)} << i;
    }
    return mask;
}
#endif

// Quiet frames at the end of a block whose mask has at least one loud frame.
std::int32_t TrailingQuiet(std::uint32_t mask) {
#if defined(__GNUC__)
    return __builtin_clz(~mask);
#else
    std::int32_t n = 0;
    for (std::uint32_t bit = 1u << 31; mask & bit; bit >>= 1) ++n;
    return n;
#endif
}

template <int Channels>
std::size_t FilterBlocks(const SilenceRule& rule, const std::uint8_t* in, std::size_t frames,
                         std::uint8_t* out, std::int32_t& run_inout) {
    constexpr std::size_t kBlockBytes = 2 * Channels * kBlock;
    const Limits limits(rule.threshold);
    const std::int32_t keep = rule.keep;
    // A local count stays in a register; `out` could alias the caller's.
    std::int32_t run = run_inout;
    std::size_t written = 0;
    std::size_t i = 0;
    for (; i + kBlock <= frames; i += kBlock, in += kBlockBytes) {
        const Block<Channels> block = LoadBlock<Channels>(in);
        const std::uint32_t mask = QuietMask(block, limits);
        if (run + std::int32_t{kBlock} <= keep || mask == 0) {
            // No frame of this block can be dropped: copy it whole.
            StoreBlock(out + written, block);
            written += kBlockBytes;
            run = mask == kAllQuiet ? run + std::int32_t{kBlock} : TrailingQuiet(mask);
        } else if (mask == kAllQuiet && run >= keep) {
            run = keep + 1;  // deep inside a quiet run: the whole block goes
        } else {
            written += FilterOneByOne<Channels>(in, kBlock, out + written, run, rule);
        }
    }
    written += FilterOneByOne<Channels>(in, frames - i, out + written, run, rule);
    run_inout = run;
    return written;
}

}  // namespace

std::size_t FilterFrames(const SilenceRule& rule, const std::uint8_t* in, std::size_t frames,
                         std::uint8_t* out, std::int32_t& run) {
    switch (rule.channels) {
        case 1:
            return FilterBlocks<1>(rule, in, frames, out, run);
        case 2:
            return FilterBlocks<2>(rule, in, frames, out, run);
        default:
            return FilterOneByOne<0>(in, frames, out, run, rule);
    }
}

}  // namespace tamberlyn
