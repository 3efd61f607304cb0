#include "silence/silence_filter.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "reference_silence.h"
#include "signal_builder.h"

namespace tamberlyn_test {
namespace {

using tamberlyn::FilterSamples;
using tamberlyn::IsQuietSample;

static_assert(IsQuietSample(0) && IsQuietSample(499) && IsQuietSample(-499));
static_assert(!IsQuietSample(500) && !IsQuietSample(-500) && !IsQuietSample(-32768) &&
              !IsQuietSample(32767));

// Runs the fast filter over `data` cut into the given piece sizes (in samples), carrying the run.
std::vector<std::uint8_t> FilterInPieces(const std::vector<std::uint8_t>& data,
                                         const std::vector<std::size_t>& pieces) {
    std::vector<std::uint8_t> out(data.size());
    std::int32_t run = 0;
    std::size_t at = 0, written = 0;
    for (std::size_t piece : pieces) {
        written += FilterSamples(data.data() + 2 * at, piece, out.data() + written, run);
        at += piece;
    }
    out.resize(written);
    return out;
}

TEST(SilenceFilter, EveryValueClassifiedLikeTheWidenedMagnitude) {
    for (std::int32_t v = -32768; v <= 32767; ++v) {
        const std::int32_t magnitude = v < 0 ? -v : v;
        ASSERT_EQ(IsQuietSample(static_cast<std::int16_t>(v)), magnitude < 500) << v;
    }
}

TEST(SilenceFilter, FastPathMatchesOneByOneForValuesNearTheCut) {
    // A quiet prefix of 760..800 samples brings the run to the cut at every position of a block;
    // then one probe value, then more quiet samples.
    for (std::int32_t v = -32768; v <= 32767; v += 97) {
        for (std::size_t prefix = 760; prefix <= 800; ++prefix) {
            std::vector<std::uint8_t> data;
            AppendSamples(data, prefix, 3);
            AppendSamples(data, 1, static_cast<std::int16_t>(v));
            AppendSamples(data, 70, 3);
            std::int32_t run = 0;
            const auto expected = ReferenceFilter(data.data(), data.size(), run);
            ASSERT_EQ(FilterInPieces(data, {data.size() / 2}), expected) << v << " " << prefix;
        }
    }
}

TEST(SilenceFilter, MatchesReferenceAcrossRandomPieceBoundaries) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 400; ++round) {
        const auto data = RandomSignal(rng, 2 * (rng() % 20000));
        std::vector<std::size_t> pieces;
        std::size_t left = data.size() / 2;
        while (left > 0) {
            const std::size_t piece =
                std::min<std::size_t>(left, rng() % 4 ? rng() % 17 : rng() % 3000);
            pieces.push_back(piece);
            left -= piece;
        }
        std::int32_t run = 0;
        const auto expected = ReferenceFilter(data.data(), data.size(), run);
        ASSERT_EQ(FilterInPieces(data, pieces), expected) << "round " << round;
    }
}

TEST(SilenceFilter, FiltersInPlace) {
    std::mt19937 rng(99);
    auto data = RandomSignal(rng, 200000);
    std::int32_t ref_run = 0;
    const auto expected = ReferenceFilter(data.data(), data.size(), ref_run);
    std::int32_t run = 0;
    const std::size_t kept = FilterSamples(data.data(), data.size() / 2, data.data(), run);
    data.resize(kept);
    EXPECT_EQ(data, expected);
}

TEST(SilenceFilter, RunCarriesAcrossCallsAndSaturates) {
    std::vector<std::uint8_t> quiet;
    AppendSamples(quiet, 100000, -2);
    std::vector<std::uint8_t> out(quiet.size());
    std::int32_t run = 0;
    std::size_t kept = 0;
    for (int call = 0; call < 50; ++call)
        kept += FilterSamples(quiet.data(), 100000, out.data(), run);
    EXPECT_EQ(kept, 2u * 799);
    EXPECT_EQ(run, tamberlyn::QUIET_RUN_LIMIT);

    const std::uint8_t loud[2] = {0xF4, 0x01};  // 500
    EXPECT_EQ(FilterSamples(loud, 1, out.data(), run), 2u);
    EXPECT_EQ(run, 0);
}

}  // namespace
}  // namespace tamberlyn_test
