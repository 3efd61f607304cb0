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

constexpr std::size_t kBlock = 32;  // samples examined at once: one bit each in a 32-bit mask
constexpr std::uint32_t kAllQuiet = 0xFFFFFFFFu;
constexpr std::int32_t kDropFrom = QUIET_RUN_LIMIT - 1;  // a quiet sample after this many goes

std::int16_t SampleAt(const std::uint8_t* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

// One block of 32 samples held in registers where the target has vectors.
#if defined(TAMBERLYN_SSE2)
struct Block {
    __m128i v[4];
};

Block LoadBlock(const std::uint8_t* p) {
    const auto* q = reinterpret_cast<const __m128i*>(p);
    return {{_mm_loadu_si128(q), _mm_loadu_si128(q + 1), _mm_loadu_si128(q + 2),
             _mm_loadu_si128(q + 3)}};
}

// Forward store: safe when `out` does not run ahead of where the block was loaded from.
void StoreBlock(std::uint8_t* out, const Block& b) {
    auto* q = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(q, b.v[0]);
    _mm_storeu_si128(q + 1, b.v[1]);
    _mm_storeu_si128(q + 2, b.v[2]);
    _mm_storeu_si128(q + 3, b.v[3]);
}

__m128i Quiet(__m128i v) {
    return _mm_and_si128(_mm_cmpgt_epi16(v, _mm_set1_epi16(-QUIET_THRESHOLD)),
                         _mm_cmplt_epi16(v, _mm_set1_epi16(QUIET_THRESHOLD)));
}

// Bit i is set when sample i of the block is quiet.
std::uint32_t QuietMask(const Block& b) {
    const int first = _mm_movemask_epi8(_mm_packs_epi16(Quiet(b.v[0]), Quiet(b.v[1])));
    const int second = _mm_movemask_epi8(_mm_packs_epi16(Quiet(b.v[2]), Quiet(b.v[3])));
    return static_cast<std::uint32_t>(first) | (static_cast<std::uint32_t>(second) << 16);
}
#elif defined(TAMBERLYN_NEON)
struct Block {
    uint8x16_t v[4];
};

Block LoadBlock(const std::uint8_t* p) {
    return {{vld1q_u8(p), vld1q_u8(p + 16), vld1q_u8(p + 32), vld1q_u8(p + 48)}};
}

void StoreBlock(std::uint8_t* out, const Block& b) {
    for (int i = 0; i < 4; ++i) vst1q_u8(out + 16 * i, b.v[i]);
}

std::uint32_t QuietMask(const Block& b) {
    // vabsq_s16 leaves -32768 as 0x8000, which is loud as an unsigned magnitude.
    static const uint16_t kBits[8] = {1, 2, 4, 8, 16, 32, 64, 128};
    const uint16x8_t bits = vld1q_u16(kBits);
    const uint16x8_t limit = vdupq_n_u16(QUIET_THRESHOLD);
    std::uint32_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        const uint16x8_t magnitude = vreinterpretq_u16_s16(vabsq_s16(vreinterpretq_s16_u8(b.v[i])));
        const uint16x8_t quiet = vcltq_u16(magnitude, limit);
        const uint64x2_t sum = vpaddlq_u32(vpaddlq_u16(vandq_u16(quiet, bits)));
        mask |= static_cast<std::uint32_t>(vgetq_lane_u64(sum, 0) + vgetq_lane_u64(sum, 1))
                << (8 * i);
    }
    return mask;
}
#else
struct Block {
    std::uint8_t bytes[2 * kBlock];
};

Block LoadBlock(const std::uint8_t* p) {
    Block b;
    std::memcpy(b.bytes, p, sizeof b.bytes);
    return b;
}

void StoreBlock(std::uint8_t* out, const Block& b) { std::memcpy(out, b.bytes, sizeof b.bytes); }

std::uint32_t QuietMask(const Block& b) {
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        mask |= std::uint32_t{IsQuietSample(SampleAt(b.bytes + 2 * i))} << i;
    }
    return mask;
}
#endif

// Quiet samples at the end of a block whose mask has at least one loud sample.
std::int32_t TrailingQuiet(std::uint32_t mask) {
#if defined(__GNUC__)
    return __builtin_clz(~mask);
#else
    std::int32_t n = 0;
    for (std::uint32_t bit = 1u << 31; mask & bit; bit >>= 1) ++n;
    return n;
#endif
}

std::size_t FilterOneByOne(const std::uint8_t* in, std::size_t count, std::uint8_t* out,
                           std::int32_t& run) {
    std::size_t written = 0;
    for (std::size_t i = 0; i < count; ++i, in += 2) {
        if (IsQuietSample(SampleAt(in))) {
            if (run >= kDropFrom) {
                run = QUIET_RUN_LIMIT;
                continue;
            }
            ++run;
        } else {
            run = 0;
        }
        out[written] = in[0];
        out[written + 1] = in[1];
        written += 2;
    }
    return written;
}

}  // namespace

std::size_t FilterSamples(const std::uint8_t* in, std::size_t count, std::uint8_t* out,
                          std::int32_t& run_inout) {
    // A local count stays in a register; `out` could alias the caller's.
    std::int32_t run = run_inout;
    std::size_t written = 0;
    std::size_t i = 0;
    for (; i + kBlock <= count; i += kBlock, in += 2 * kBlock) {
        const Block block = LoadBlock(in);
        const std::uint32_t mask = QuietMask(block);
        if (run + std::int32_t{kBlock} <= kDropFrom || mask == 0) {
            // No sample of this block can be dropped: copy it whole.
            StoreBlock(out + written, block);
            written += 2 * kBlock;
            run = mask == kAllQuiet ? run + std::int32_t{kBlock} : TrailingQuiet(mask);
        } else if (mask == kAllQuiet && run >= kDropFrom) {
            run = QUIET_RUN_LIMIT;  // deep inside a quiet run: the whole block goes
        } else {
            written += FilterOneByOne(in, kBlock, out + written, run);
        }
    }
    written += FilterOneByOne(in, count - i, out + written, run);
    run_inout = run;
    return written;
}

}  // namespace tamberlyn
