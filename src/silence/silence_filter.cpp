#include "silence/silence_filter.h"

#include <cstring>

#include "silence/silence_blocks.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TAMBERLYN_SSE2 1
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#define TAMBERLYN_NEON 1
#endif

namespace tamberlyn {

namespace {

using blocks::IsQuietFrame;

// The instruction set every build of the target has: 32 frames at once, one bit each in a
// 32-bit mask.
struct Baseline {
    using Mask = std::uint32_t;
    static constexpr std::size_t kFrames = 32;
#if defined(TAMBERLYN_SSE2)
    struct Limits {
        __m128i above;  // threshold - 1: a sample greater than this is loud
        __m128i below;  // -threshold: a sample not greater than this is loud
        explicit Limits(std::int32_t threshold)
            : above(_mm_set1_epi16(static_cast<short>(threshold - 1))),
              below(_mm_set1_epi16(static_cast<short>(-threshold))) {}
    };

    static TAMBERLYN_ALWAYS_INLINE __m128i At(const std::uint8_t* p, int i) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p) + i);
    }

    // Forward copy: safe when `out` does not run ahead of `in`.
    template <int Channels>
    static TAMBERLYN_ALWAYS_INLINE void Copy(std::uint8_t* out, const std::uint8_t* in) {
        __m128i v[4 * Channels];
        for (int i = 0; i < 4 * Channels; ++i) v[i] = At(in, i);
        for (int i = 0; i < 4 * Channels; ++i)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out) + i, v[i]);
    }

    static TAMBERLYN_ALWAYS_INLINE __m128i Quiet(__m128i v, const Limits& l) {
        return _mm_andnot_si128(_mm_cmpgt_epi16(v, l.above), _mm_cmpgt_epi16(v, l.below));
    }

    template <int Channels>
    static TAMBERLYN_ALWAYS_INLINE Mask QuietMask(const std::uint8_t* p, const Limits& l) {
        if constexpr (Channels == 1) {
            const int first =
                _mm_movemask_epi8(_mm_packs_epi16(Quiet(At(p, 0), l), Quiet(At(p, 1), l)));
            const int second =
                _mm_movemask_epi8(_mm_packs_epi16(Quiet(At(p, 2), l), Quiet(At(p, 3), l)));
            return static_cast<Mask>(first) | (static_cast<Mask>(second) << 16);
        } else {
            // A stereo frame is a 32-bit lane: quiet when both of its halves are.
            const __m128i all = _mm_set1_epi32(-1);
            Mask mask = 0;
            for (int i = 0; i < 8; ++i) {
                const __m128i frames = _mm_cmpeq_epi32(Quiet(At(p, i), l), all);
                mask |= static_cast<Mask>(_mm_movemask_ps(_mm_castsi128_ps(frames))) << (4 * i);
            }
            return mask;
        }
    }
#elif defined(TAMBERLYN_NEON)
    struct Limits {
        uint16x8_t below;  // a widened magnitude below this is quiet
        explicit Limits(std::int32_t threshold)
            : below(vdupq_n_u16(static_cast<std::uint16_t>(threshold))) {}
    };

    static TAMBERLYN_ALWAYS_INLINE uint8x16_t At(const std::uint8_t* p, int i) {
        return vld1q_u8(p + 16 * i);
    }

    template <int Channels>
    static TAMBERLYN_ALWAYS_INLINE void Copy(std::uint8_t* out, const std::uint8_t* in) {
        uint8x16_t v[4 * Channels];
        for (int i = 0; i < 4 * Channels; ++i) v[i] = At(in, i);
        for (int i = 0; i < 4 * Channels; ++i) vst1q_u8(out + 16 * i, v[i]);
    }

    static TAMBERLYN_ALWAYS_INLINE uint16x8_t Quiet(uint8x16_t v, const Limits& l) {
        // vabsq_s16 leaves -32768 as 0x8000, which is 32768 as an unsigned magnitude: loud.
        return vcltq_u16(vreinterpretq_u16_s16(vabsq_s16(vreinterpretq_s16_u8(v))), l.below);
    }

    template <int Channels>
    static TAMBERLYN_ALWAYS_INLINE Mask QuietMask(const std::uint8_t* p, const Limits& l) {
        if constexpr (Channels == 1) {
            static const uint16_t kBits[8] = {1, 2, 4, 8, 16, 32, 64, 128};
            const uint16x8_t bits = vld1q_u16(kBits);
            Mask mask = 0;
            for (int i = 0; i < 4; ++i) {
                const uint64x2_t sum =
                    vpaddlq_u32(vpaddlq_u16(vandq_u16(Quiet(At(p, i), l), bits)));
                mask |= static_cast<Mask>(vgetq_lane_u64(sum, 0) + vgetq_lane_u64(sum, 1))
                        << (8 * i);
            }
            return mask;
        } else {
            static const uint32_t kBits[4] = {1, 2, 4, 8};
            const uint32x4_t bits = vld1q_u32(kBits);
            const uint32x4_t all = vdupq_n_u32(0xFFFFFFFFu);
            Mask mask = 0;
            for (int i = 0; i < 8; ++i) {
                const uint32x4_t frames = vceqq_u32(vreinterpretq_u32_u16(Quiet(At(p, i), l)), all);
                const uint64x2_t sum = vpaddlq_u32(vandq_u32(frames, bits));
                mask |= static_cast<Mask>(vgetq_lane_u64(sum, 0) + vgetq_lane_u64(sum, 1))
                        << (4 * i);
            }
            return mask;
        }
    }
#else
    struct Limits {
        std::int32_t threshold;
        explicit Limits(std::int32_t t) : threshold(t) {}
    };

    template <int Channels>
    static void Copy(std::uint8_t* out, const std::uint8_t* in) {
        std::memmove(out, in, 2 * Channels * kFrames);
    }

    template <int Channels>
    static Mask QuietMask(const std::uint8_t* p, const Limits& l) {
        Mask mask = 0;
        for (std::size_t i = 0; i < kFrames; ++i)
            mask |= Mask{IsQuietFrame(p + 2 * Channels * i, Channels, l.threshold)} << i;
        return mask;
    }
#endif
};

}  // namespace

std::size_t SameQuietnessRun(const SilenceRule& rule, const std::uint8_t* in, std::size_t frames,
                             bool quiet) {
    if ((rule.channels == 1 || rule.channels == 2) && HaveAvx2Filter()) {
        return SameQuietnessRunAvx2(rule, in, frames, quiet);
    }
    switch (rule.channels) {
        case 1:
            return blocks::RunInBlocks<Baseline, 1>(rule, in, frames, quiet);
        case 2:
            return blocks::RunInBlocks<Baseline, 2>(rule, in, frames, quiet);
        default: {
            const std::size_t frame_bytes = 2 * static_cast<std::size_t>(rule.channels);
            std::size_t i = 0;
            while (i < frames &&
                   IsQuietFrame(in + i * frame_bytes, rule.channels, rule.threshold) == quiet) {
                ++i;
            }
            return i;
        }
    }
}

std::size_t FilterFrames(const SilenceRule& rule, const std::uint8_t* in, std::size_t frames,
                         std::uint8_t* out, std::int32_t& run) {
    if ((rule.channels == 1 || rule.channels == 2) && HaveAvx2Filter()) {
        return FilterFramesAvx2(rule, in, frames, out, run);
    }
    switch (rule.channels) {
        case 1:
            return blocks::FilterBlocks<Baseline, 1>(rule, in, frames, out, run);
        case 2:
            return blocks::FilterBlocks<Baseline, 2>(rule, in, frames, out, run);
        default:
            return blocks::FilterOneByOne<0>(in, frames, out, run, rule);
    }
}

}  // namespace tamberlyn
