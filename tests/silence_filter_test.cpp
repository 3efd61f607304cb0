#include "silence/silence_filter.h"
#include "silence/silence_blocks.h"

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

namespace tamberlyn_test {
namespace {

bool IsQuietFrameModel(const tamberlyn::SilenceRule& rule, const std::uint8_t* p) {
    bool quiet = true;
    for (int c = 0; c < rule.channels; ++c) {
        const std::int32_t s = static_cast<std::int16_t>(p[2 * c] | p[2 * c + 1] << 8);
        quiet = quiet && (s < 0 ? -s : s) < rule.threshold;
    }
    return quiet;
}

// The rule read frame by frame, as the behaviour the engine must match for any channel count.
std::vector<std::uint8_t> FrameModel(const tamberlyn::SilenceRule& rule,
                                     const std::vector<std::uint8_t>& data) {
    const std::size_t frame = 2 * static_cast<std::size_t>(rule.channels);
    std::vector<std::uint8_t> out;
    std::int64_t run = 0;
    for (std::size_t at = 0; at + frame <= data.size(); at += frame) {
        const bool quiet = IsQuietFrameModel(rule, data.data() + at);
        run = quiet ? run + 1 : 0;
        if (run <= rule.keep) out.insert(out.end(), data.begin() + at, data.begin() + at + frame);
    }
    return out;
}

// The widest loops the processor runs, then the baseline ones every build has.
class SilenceEngine : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { tamberlyn::ForceBaselineSilenceLoopsForTesting(GetParam()); }
    void TearDown() override { tamberlyn::ForceBaselineSilenceLoopsForTesting(false); }
};
INSTANTIATE_TEST_SUITE_P(Loops, SilenceEngine, ::testing::Values(false, true),
                         [](const auto& loops) { return loops.param ? "Baseline" : "Widest"; });

TEST_P(SilenceEngine, MatchesFrameModelForChannelsThresholdsAndKeeps) {
    std::mt19937 rng(77);
    for (int channels : {1, 2, 3}) {
        for (int round = 0; round < 60; ++round) {
            tamberlyn::SilenceRule rule;
            rule.channels = channels;
            const std::int32_t thresholds[] = {
                1, 2, 500, 32767, 32768, 1 + static_cast<std::int32_t>(rng() % 32768)};
            rule.threshold = thresholds[rng() % std::size(thresholds)];
            const std::int32_t keeps[] = {
                0, 1, 31, 32, 33, 799, static_cast<std::int32_t>(rng() % 3000)};
            rule.keep = keeps[rng() % std::size(keeps)];
            // Runs of frames whose samples sit at, just below and just above the threshold.
            std::vector<std::uint8_t> data;
            while (data.size() < 40000) {
                const std::size_t run = rng() % 2 ? rng() % 80 : rule.keep + rng() % 70;
                const int kind = static_cast<int>(rng() % 3);
                for (std::size_t i = 0; i < run; ++i) {
                    for (int c = 0; c < channels; ++c) {
                        std::int32_t v = kind == 0 ? 0 : rule.threshold - (kind == 1 ? 1 : 0);
                        if (rng() % 8 == 0) v = -v;
                        if (v > 32767) v = 32767;
                        if (v < -32768) v = -32768;
                        if (kind == 2 && c != 0 && rng() % 2) v = 0;  // one loud channel is enough
                        AppendSamples(data, 1, static_cast<std::int16_t>(v));
                    }
                }
            }
            data.resize(data.size() / (2 * channels) * (2 * channels));
            const auto expected = FrameModel(rule, data);
            // In pieces of random frame counts, the run carried across them, in place.
            std::vector<std::uint8_t> out = data;
            const std::size_t frames = data.size() / (2 * channels);
            std::size_t at = 0, written = 0;
            std::int32_t run = 0;
            while (at < frames) {
                const std::size_t piece = std::min<std::size_t>(frames - at, rng() % 300);
                written += tamberlyn::FilterFrames(rule, out.data() + 2 * channels * at, piece,
                                                   out.data() + written, run);
                at += piece;
            }
            out.resize(written);
            ASSERT_EQ(out, expected) << channels << " " << rule.threshold << " " << rule.keep;

            // The runs of one quietness from any frame on end where the model says.
            for (int probe = 0; probe < 20; ++probe) {
                const std::size_t from = rng() % frames;
                const std::uint8_t* p = data.data() + 2 * channels * from;
                const bool quiet = rng() % 2 == 0;
                std::size_t same = 0;
                while (from + same < frames &&
                       IsQuietFrameModel(rule, p + 2 * channels * same) == quiet) {
                    ++same;
                }
                ASSERT_EQ(tamberlyn::SameQuietnessRun(rule, p, frames - from, quiet), same);
            }
        }
    }
}

}  // namespace
}  // namespace tamberlyn_test
