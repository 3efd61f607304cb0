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

constexpr std::size_t kLane = 8;                         // samples examined at once
constexpr std::int32_t kDropFrom = QUIET_RUN_LIMIT - 1;  // a quiet sample after this many goes

std::int16_t SampleAt(const std::uint8_t* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

// Bit i is set when sample i of the eight at `p` is quiet.
unsigned QuietMask(const std::uint8_t* p) {
#if defined(TAMBERLYN_SSE2)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i above = _mm_cmpgt_epi16(v, _mm_set1_epi16(-QUIET_THRESHOLD));
    const __m128i below = _mm_cmplt_epi16(v, _mm_set1_epi16(QUIET_THRESHOLD));
    const __m128i quiet = _mm_and_si128(above, below);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(quiet, quiet))) & 0xFFu;
#elif defined(TAMBERLYN_NEON)
    // vabsq_s16 leaves -32768 as 0x8000, which is loud as an unsigned magnitude.
    const int16x8_t v = vreinterpretq_s16_u8(vld1q_u8(p));
    const uint16x8_t quiet =
        vcltq_u16(vreinterpretq_u16_s16(vabsq_s16(v)), vdupq_n_u16(QUIET_THRESHOLD));
    static const uint16_t kBits[8] = {1, 2, 4, 8, 16, 32, 64, 128};
    const uint64x2_t sum = vpaddlq_u32(vpaddlq_u16(vandq_u16(quiet, vld1q_u16(kBits))));
    return static_cast<unsigned>(vgetq_lane_u64(sum, 0) + vgetq_lane_u64(sum, 1));
#else
    unsigned mask = 0;
    for (std::size_t i = 0; i < kLane; ++i)
        mask |= unsigned{IsQuietSample(SampleAt(p + 2 * i))} << i;
    return mask;
#endif
}

// Quiet samples at the end of a lane whose mask has at least one loud sample.
std::int32_t TrailingQuiet(unsigned mask) {
    std::int32_t n = 0;
    for (unsigned bit = 1u << (kLane - 1); mask & bit; bit >>= 1) ++n;
    return n;
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
                          std::int32_t& run) {
    std::size_t written = 0;
    std::size_t i = 0;
    for (; i + kLane <= count; i += kLane, in += 2 * kLane) {
        const unsigned mask = QuietMask(in);
        if (run + std::int32_t{kLane} <= kDropFrom || mask == 0) {
            // No sample of this lane can be dropped: copy it whole.
            std::memmove(out + written, in, 2 * kLane);
            written += 2 * kLane;
            run = mask == 0xFFu ? run + std::int32_t{kLane} : TrailingQuiet(mask);
        } else if (mask == 0xFFu && run >= kDropFrom) {
            run = QUIET_RUN_LIMIT;  // deep inside a quiet run: the whole lane goes
        } else {
            written += FilterOneByOne(in, kLane, out + written, run);
        }
    }
    return written + FilterOneByOne(in, count - i, out + written, run);
}

}  // namespace tamberlyn
