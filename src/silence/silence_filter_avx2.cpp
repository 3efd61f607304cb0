// The silence engine's loops with AVX2: 64 frames at once. Compiled for AVX2 and used only when
// the processor has it (HaveAvx2Filter); every other build answers that it has not.
#include "silence/silence_blocks.h"

#if defined(TAMBERLYN_AVX2)
#include <immintrin.h>

#include <atomic>

namespace tamberlyn {

namespace {

struct Avx2 {
    using Mask = std::uint64_t;
    static constexpr std::size_t kFrames = 64;

    struct Limits {
        __m256i above;  // threshold - 1: a sample greater than this is loud
        __m256i below;  // -threshold: a sample not greater than this is loud
        explicit Limits(std::int32_t threshold)
            : above(_mm256_set1_epi16(static_cast<short>(threshold - 1))),
              below(_mm256_set1_epi16(static_cast<short>(-threshold))) {}
    };

    static TAMBERLYN_ALWAYS_INLINE __m256i At(const std::uint8_t* p, int i) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p) + i);
    }

    // Forward copy: safe when `out` does not run ahead of `in`.
    template <int Channels>
    static TAMBERLYN_ALWAYS_INLINE void Copy(std::uint8_t* out, const std::uint8_t* in) {
        __m256i v[4 * Channels];
        for (int i = 0; i < 4 * Channels; ++i) v[i] = At(in, i);
        for (int i = 0; i < 4 * Channels; ++i)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out) + i, v[i]);
    }

    static TAMBERLYN_ALWAYS_INLINE __m256i Quiet(__m256i v, const Limits& l) {
        return _mm256_andnot_si256(_mm256_cmpgt_epi16(v, l.above), _mm256_cmpgt_epi16(v, l.below));
    }

    // 32 mono frames as 32 bits: the packing works within 128-bit lanes, the permute puts the
    // four halves back in order.
    static TAMBERLYN_ALWAYS_INLINE std::uint32_t Bits(__m256i a, __m256i b) {
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi16(a, b), 0xD8);
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(packed));
    }

    template <int Channels>
    static TAMBERLYN_ALWAYS_INLINE Mask QuietMask(const std::uint8_t* p, const Limits& l) {
        if constexpr (Channels == 1) {
            const std::uint32_t first = Bits(Quiet(At(p, 0), l), Quiet(At(p, 1), l));
            const std::uint32_t second = Bits(Quiet(At(p, 2), l), Quiet(At(p, 3), l));
            return Mask{first} | (Mask{second} << 32);
        } else {
            // A stereo frame is a 32-bit lane: quiet when both of its halves are.
            const __m256i all = _mm256_set1_epi32(-1);
            Mask mask = 0;
            for (int i = 0; i < 8; ++i) {
                const __m256i frames = _mm256_cmpeq_epi32(Quiet(At(p, i), l), all);
                mask |= Mask{static_cast<std::uint32_t>(
                            _mm256_movemask_ps(_mm256_castsi256_ps(frames)))}
                        << (8 * i);
            }
            return mask;
        }
    }
};

std::atomic<bool> g_force_baseline{false};

}  // namespace

bool HaveAvx2Filter() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have && !g_force_baseline.load(std::memory_order_relaxed);
}

void ForceBaselineSilenceLoopsForTesting(bool force) { g_force_baseline.store(force); }

std::size_t FilterFramesAvx2(const SilenceRule& rule, const std::uint8_t* in, std::size_t frames,
                             std::uint8_t* out, std::int32_t& run) {
    const std::size_t kept = rule.channels == 1
                                 ? blocks::FilterBlocks<Avx2, 1>(rule, in, frames, out, run)
                                 : blocks::FilterBlocks<Avx2, 2>(rule, in, frames, out, run);
    // Back to SSE code without the penalty of dirty upper halves.
    _mm256_zeroupper();
    return kept;
}

std::size_t SameQuietnessRunAvx2(const SilenceRule& rule, const std::uint8_t* in,
                                 std::size_t frames, bool quiet) {
    const std::size_t n = rule.channels == 1
                              ? blocks::RunInBlocks<Avx2, 1>(rule, in, frames, quiet)
                              : blocks::RunInBlocks<Avx2, 2>(rule, in, frames, quiet);
    _mm256_zeroupper();
    return n;
}

}  // namespace tamberlyn

#else

namespace tamberlyn {

bool HaveAvx2Filter() { return false; }

void ForceBaselineSilenceLoopsForTesting(bool) {}

std::size_t FilterFramesAvx2(const SilenceRule&, const std::uint8_t*, std::size_t, std::uint8_t*,
                             std::int32_t&) {
    return 0;
}

std::size_t SameQuietnessRunAvx2(const SilenceRule&, const std::uint8_t*, std::size_t, bool) {
    return 0;
}

}  // namespace tamberlyn

#endif
