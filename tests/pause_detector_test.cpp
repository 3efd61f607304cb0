// The pause detector and the keep-and-pad cut on small synthetic recordings: syllables of a
// voiced tone between pauses, in noise, hum or DC, on one channel among several.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "runtime/native_file.h"
#include "signal_builder.h"
#include "silence/pause_cutter.h"
#include "silence/pause_detector.h"
#include "silence/pause_stream.h"
#include "speech_builder.h"
#include "test_files.h"

namespace tamberlyn_test {
namespace {

// Sound (true) or pause, frame by frame, as the detector decides.
std::vector<bool> Labels(const std::vector<std::uint8_t>& frames, int channels) {
    std::vector<bool> labels;
    auto on_run = [](void* context, std::uint64_t n, tamberlyn::Verdict kind) {
        auto& l = *static_cast<std::vector<bool>*>(context);
        l.insert(l.end(), n, kind != tamberlyn::Verdict::kPause);
    };
    static tamberlyn::PauseDetector detector;
    tamberlyn::StartPauseDetector(detector, kRate, channels);
    const tamberlyn::RunSink sink = {on_run, &labels};
    // In uneven pieces, as reads deliver them.
    const std::size_t frame_bytes = 2 * static_cast<std::size_t>(channels);
    const std::size_t total = frames.size() / frame_bytes;
    for (std::size_t at = 0, piece = 1; at < total; at += piece, piece = piece * 7 % 5003 + 1) {
        piece = std::min(piece, total - at);
        tamberlyn::FeedPauseDetector(detector, frames.data() + at * frame_bytes, piece, sink);
    }
    tamberlyn::FinishPauseDetector(detector, sink);
    return labels;
}

// The share of [from, to) seconds labelled pause.
double PauseShare(const std::vector<bool>& labels, double from, double to) {
    const auto a = static_cast<std::size_t>(from * kRate), b = static_cast<std::size_t>(to * kRate);
    std::size_t pause = 0;
    for (std::size_t i = a; i < b; ++i) pause += !labels[i];
    return static_cast<double>(pause) / static_cast<double>(b - a);
}

TEST(PauseDetector, FollowsTheNoiseFloorWhenItStepsUp) {
    Recording r = Dictation(10, 2.0);  // about 40 s
    AddNoise(r.samples, -62.0, 1);
    AddNoise(r.samples, -38.0, 2, r.samples.size() / 2);  // 24 dB more noise from the middle on
    const auto labels = Labels(Frames({r.samples}), 1);
    for (const auto& [from, to] : r.pauses) {
        // The inner second of every pause, once the floor has had a few seconds to follow.
        if (std::abs(from - Seconds(r) / 2) < 6.0) continue;
        EXPECT_EQ(PauseShare(labels, from + 0.5, to - 0.5), 1.0) << "pause at " << from;
    }
}

// The background reported is the noise's level, not the quietest moment of it.
TEST(PauseDetector, ReportsTheBackgroundAtTheNoisesLevel) {
    Recording r = Dictation(6, 2.0);
    AddNoise(r.samples, -50.0, 9);
    static tamberlyn::PauseDetector detector;
    tamberlyn::StartPauseDetector(detector, kRate, 1);
    const tamberlyn::RunSink sink = {[](void*, std::uint64_t, tamberlyn::Verdict) {}, nullptr};
    const auto frames = Frames({r.samples});
    tamberlyn::FeedPauseDetector(detector, frames.data(), frames.size() / 2, sink);
    tamberlyn::FinishPauseDetector(detector, sink);
    EXPECT_NEAR(detector.stats.lowest_floor_db, -50.0, 0.7);
    EXPECT_NEAR(detector.stats.highest_floor_db, -50.0, 0.7);
}

// Digital silence (a recorder's muted start, an editor's inserted gap) is a pause whatever
// surrounds it, and does not pull the floor down: the noisy pauses after it are still pauses.
TEST(PauseDetector, DigitalSilenceIsAlwaysAPauseAndLeavesTheFloorAlone) {
    Recording r = Dictation(6, 2.0);
    AddNoise(r.samples, -50.0, 14);
    const auto [zero_from, zero_to] = r.pauses[1];
    std::fill(r.samples.begin() + static_cast<std::ptrdiff_t>(zero_from * kRate),
              r.samples.begin() + static_cast<std::ptrdiff_t>(zero_to * kRate), 0.0f);
    const auto labels = Labels(Frames({r.samples}), 1);
    EXPECT_EQ(PauseShare(labels, zero_from, zero_to - 0.3), 1.0);
    for (std::size_t p = 2; p < r.pauses.size(); ++p) {
        EXPECT_EQ(PauseShare(labels, r.pauses[p].first + 0.4, r.pauses[p].second - 0.4), 1.0)
            << "pause at " << r.pauses[p].first;
    }
    // A file of nothing but digital silence is all pause.
    const std::vector<float> silence(5 * kRate, 0.0f);
    const auto all = Labels(Frames({silence}), 1);
    EXPECT_EQ(std::count(all.begin(), all.end(), true), 0);
}

// Where the pauses are digital silence, at zero or at an offset, there is no noise to tell a
// word's faint ending from: every sample that is not digital silence is sound.
TEST(PauseDetector, AWordsLastFaintSamplesBeforeDigitalSilenceAreSound) {
    for (const float offset : {0.0f, 300.0f}) {
        Recording r;
        std::vector<std::pair<double, double>> fades;
        std::mt19937 rng(5);
        std::uniform_int_distribution<int> lsb(-1, 1);
        for (int word = 0; word < 5; ++word) {
            r.pauses.push_back({Seconds(r), Seconds(r) + 1.5});
            AddSilence(r.samples, 1.5);
            AddSyllable(r.samples, 0.3, -6.0);
            const double from = Seconds(r);
            for (std::size_t i = 0; i < kRate * 4 / 10; ++i) r.samples.push_back(float(lsb(rng)));
            fades.push_back({from, Seconds(r)});
        }
        for (float& v : r.samples) v += offset;
        const auto labels = Labels(Frames({r.samples}), 1);
        for (const auto& [from, to] : fades) {
            EXPECT_EQ(PauseShare(labels, from, to), 0.0)
                << "offset " << offset << ", fade at " << from;
        }
        for (std::size_t p = 1; p < r.pauses.size(); ++p) {
            EXPECT_EQ(PauseShare(labels, r.pauses[p].first, r.pauses[p].second - 0.3), 1.0)
                << "offset " << offset << ", pause at " << r.pauses[p].first;
        }
    }
}

// A word that ends in sound below the high-pass (a 70 Hz hum of a deep voice, too weak above
// 200 Hz to stand out of the noise) keeps its hold: it is not cut short as plain noise.
TEST(PauseDetector, AWordThatEndsBelowTheHighPassKeepsItsHold) {
    Recording r;
    std::vector<std::pair<double, double>> endings;
    for (int word = 0; word < 4; ++word) {
        AddSilence(r.samples, 2.0);
        AddSyllable(r.samples, 0.3, -6.0);
        const double from = Seconds(r);
        const double amplitude = 32768.0 * std::pow(10.0, -36.0 / 20.0);
        for (std::size_t i = 0; i < kRate * 6 / 100; ++i)
            r.samples.push_back(
                static_cast<float>(amplitude * std::sin(2 * kPi * 70.0 * i / kRate)));
        endings.push_back({from, Seconds(r)});
    }
    AddSilence(r.samples, 2.0);
    AddNoise(r.samples, -45.0, 21);
    const auto labels = Labels(Frames({r.samples}), 1);
    // Once the pauses have shown where the whole band's noise lies.
    for (std::size_t w = 1; w < endings.size(); ++w) {
        EXPECT_EQ(PauseShare(labels, endings[w].first, endings[w].second), 0.0)
            << "ending at " << endings[w].first;
    }
}

TEST(PauseDetector, DecidesTheSameWithADcOffset) {
    Recording r = Dictation(6, 1.5);
    AddNoise(r.samples, -50.0, 3);
    std::vector<float> offset = r.samples;
    for (float& v : offset) v += 3000.0f;
    const auto plain = Labels(Frames({r.samples}), 1);
    EXPECT_EQ(Labels(Frames({offset}), 1), plain);
    EXPECT_GT(PauseShare(plain, 0.0, Seconds(r)), 0.3);
}

TEST(PauseDetector, KeepsTheSoftStartOfAWordAfterAPause) {
    Recording r;
    AddSyllable(r.samples, 0.3, -6.0);
    AddSilence(r.samples, 3.0);
    // A breathy onset: 150 ms rising from 50 dB below the word to the word itself.
    const std::size_t onset = r.samples.size();
    const auto rise = static_cast<std::size_t>(0.15 * kRate);
    std::vector<float> word;
    AddSyllable(word, 0.4, -6.0);
    for (std::size_t i = 0; i < rise; ++i) {
        const double db = -50.0 * (1.0 - static_cast<double>(i) / rise);
        word[i] = static_cast<float>(word[rise + i % 200] * std::pow(10.0, db / 20.0));
    }
    r.samples.insert(r.samples.end(), word.begin(), word.end());
    AddSilence(r.samples, 1.0);
    AddNoise(r.samples, -45.0, 4);

    // The cut as the program makes it with --threshold auto.
    std::vector<bool> kept;
    auto on_span = [](void* context, std::uint64_t n, bool keep) {
        auto& k = *static_cast<std::vector<bool>*>(context);
        k.insert(k.end(), n, keep);
    };
    tamberlyn::PauseCutter cutter;
    tamberlyn::StartPauseCutter(cutter,
                                static_cast<std::uint64_t>(tamberlyn::kAutoKeepSeconds * kRate),
                                static_cast<std::uint64_t>(tamberlyn::kAutoPadSeconds * kRate));
    const tamberlyn::SpanSink spans = {on_span, &kept};
    const auto labels = Labels(Frames({r.samples}), 1);
    for (std::size_t i = 0; i < labels.size();) {
        std::size_t n = 0;
        while (i + n < labels.size() && labels[i + n] == labels[i]) ++n;
        tamberlyn::CutRun(
            cutter, n, labels[i] ? tamberlyn::Verdict::kSound : tamberlyn::Verdict::kPause, spans);
        i += n;
    }
    tamberlyn::FinishPauseCutter(cutter, spans);

    ASSERT_EQ(kept.size(), labels.size());
    EXPECT_EQ(PauseShare(kept, 0.8, 2.8), 1.0);  // the pause went
    for (std::size_t i = onset; i < onset + word.size(); ++i) {
        ASSERT_TRUE(kept[i]) << "the word lost its frame at " << static_cast<double>(i) / kRate;
    }
}

TEST(PauseDetector, OneLiveChannelAmongSilentOrNoisyOnesDecidesAsMono) {
    Recording r = Dictation(6, 1.5);
    AddNoise(r.samples, -48.0, 5);
    const auto mono = Labels(Frames({r.samples}), 1);
    const std::vector<float> silent(r.samples.size(), 0.0f);
    EXPECT_EQ(Labels(Frames({r.samples, silent}), 2), mono);

    std::vector<std::vector<float>> six;
    for (int c = 0; c < 6; ++c) {
        if (c == 2) {
            six.push_back(r.samples);
            continue;
        }
        six.emplace_back(r.samples.size(), 0.0f);
        AddNoise(six.back(), -48.0, 10 + static_cast<unsigned>(c));
    }
    EXPECT_EQ(Labels(Frames(six), 6), mono);
}

// Words that start as words do stand out of noise only 14 dB below their loudest windows: the
// quiet talker on a cheap microphone is shortened, not taken for a steady sound.
TEST(PauseDetector, FindsThePausesOfAQuietTalkerFewDecibelsAboveTheNoise) {
    Recording r = Dictation(8, 2.0, -30.0);
    AddNoise(r.samples, -54.0, 21);
    const auto labels = Labels(Frames({r.samples}), 1);
    for (const auto& [from, to] : r.pauses) {
        EXPECT_GT(PauseShare(labels, from + 0.5, to - 0.5), 0.9) << "pause at " << from;
    }
}

// A quiet talker's soft word, alone between pauses, counts as sound though it stands less than
// 10 dB above the noise: where the loudest words stand under 20 dB, sound starts lower.
TEST(PauseDetector, KeepsAQuietTalkersSoftWordBetweenPauses) {
    Recording r = Dictation(4, 2.0, -30.0);
    const double soft_at = Seconds(r) + 0.8;
    AddSilence(r.samples, 0.8);
    AddSyllable(r.samples, 0.25, -34.0);
    AddSilence(r.samples, 0.8);
    const Recording more = Dictation(4, 2.0, -30.0);
    r.samples.insert(r.samples.end(), more.samples.begin(), more.samples.end());
    AddNoise(r.samples, -54.0, 23);
    const auto labels = Labels(Frames({r.samples}), 1);
    EXPECT_EQ(PauseShare(labels, soft_at + 0.08, soft_at + 0.17), 0.0);
}

// A word heard in a room: its tail falls away steadily, lifted twice by late reflections, and
// ends the word before it sinks into the noise; a note that rings on, falling slowly, is still
// sound.
TEST(PauseDetector, EndsAWordWhereItsRoomTailFallsAwayButNotASlowRing) {
    const auto decaying = [](double db_per_second, double& word_end) {
        Recording r = Dictation(3, 2.0);
        for (int i = 0; i < 3 * static_cast<int>(kRate); ++i) {
            const double t = static_cast<double>(i) / kRate;
            // Late reflections lift the tail by 5 dB twice as it falls.
            const double late = t - 0.3;
            const bool reflection = (late > 0.3 && late < 0.38) || (late > 0.44 && late < 0.52);
            const double db =
                -12.0 - (late < 0 ? 0.0 : late * db_per_second) + (reflection ? 5 : 0);
            double v = 0;
            for (int h = 1; h <= 8; ++h) v += std::sin(2 * kPi * 140.0 * h * t) / h;
            r.samples.push_back(static_cast<float>(16384.0 * std::pow(10.0, db / 20.0) * v));
        }
        word_end = Seconds(r) - 2.7;
        const Recording more = Dictation(3, 2.0);
        r.samples.insert(r.samples.end(), more.samples.begin(), more.samples.end());
        AddNoise(r.samples, -50.0, 31);
        return Labels(Frames({r.samples}), 1);
    };
    double end = 0;
    const auto room = decaying(100.0, end);  // 0.6 s to fall 60 dB
    EXPECT_EQ(PauseShare(room, end + 0.33, end + 2.5), 1.0);
    const auto ring = decaying(25.0, end);
    EXPECT_EQ(PauseShare(ring, end, end + 0.8), 0.0);
}

// A click in a pause (a key, a bump of the microphone) is over in a few milliseconds: the pause
// goes on through it, where a word would have ended it.
TEST(PauseDetector, APauseGoesOnThroughAClick) {
    Recording r = Dictation(6, 2.0);
    for (const auto& [from, to] : r.pauses) {
        const auto at = static_cast<std::size_t>((from + to) / 2 * kRate);
        for (std::size_t k = 0; k < 60 && at + k < r.samples.size(); ++k) {
            r.samples[at + k] += static_cast<float>(8000 * std::exp(-k / 12.0) * (k % 2 ? 1 : -1));
        }
    }
    AddNoise(r.samples, -50.0, 41);
    const auto labels = Labels(Frames({r.samples}), 1);
    for (const auto& [from, to] : r.pauses) {
        EXPECT_EQ(PauseShare(labels, from + 0.5, to - 0.5), 1.0) << "pause at " << from;
    }
}

// A buzz of narrow pulses every 20 ms: its first 10 ms may hold none, and must not set a floor
// under which the whole buzz seems loud.
TEST(PauseDetector, TheFirstWindowsOfAPulsedBuzzDoNotSetItsFloor) {
    Recording r = Dictation(4, 2.0);
    for (std::size_t i = 0; i < r.samples.size(); ++i) {
        const std::size_t phase =
            (i + static_cast<std::size_t>(0.008 * kRate)) % static_cast<std::size_t>(0.02 * kRate);
        if (phase < 8) r.samples[i] += 3000.0f;
    }
    AddNoise(r.samples, -70.0, 43);
    const auto labels = Labels(Frames({r.samples}), 1);
    EXPECT_EQ(PauseShare(labels, 0.5, r.pauses[0].second - 0.5), 1.0);
}

// Noise that swells by 12 dB over three seconds in a pause, above where sound starts, is no
// word: it never rose the way a word does.
TEST(PauseDetector, APauseGoesOnThroughNoiseThatSwellsSlowly) {
    Recording r = Dictation(3, 8.0);
    std::vector<float> noise(r.samples.size(), 0.0f);
    AddNoise(noise, -50.0, 47);
    const auto [from, to] = r.pauses[1];
    for (std::size_t i = 0; i < noise.size(); ++i) {
        const double t = static_cast<double>(i) / kRate - (from + 1.0);
        if (t > 0 && t < 6.0)
            noise[i] *= static_cast<float>(std::pow(2.0, 1 - std::cos(kPi * t / 3)));
        r.samples[i] += noise[i];
    }
    const auto labels = Labels(Frames({r.samples}), 1);
    EXPECT_EQ(PauseShare(labels, from + 3.5, to - 3.5), 1.0);
}

TEST(PauseDetector, FindsNoPauseInAChordWithTremolo) {
    std::vector<float> chord;
    for (std::size_t i = 0; i < 30 * kRate; ++i) {
        const double t = static_cast<double>(i) / kRate;
        double v = 0;
        for (double f : {220.0, 277.2, 329.6}) v += std::sin(2 * kPi * f * t);
        const double db = -6.0 * (1.0 - std::sin(2 * kPi * 0.3 * t));  // 12 dB deep, slow
        chord.push_back(static_cast<float>(2000.0 * v * std::pow(10.0, db / 20.0)));
    }
    AddNoise(chord, -70.0, 6);
    const auto labels = Labels(Frames({chord}), 1);
    EXPECT_EQ(PauseShare(labels, 0.0, 30.0), 0.0);
}

TEST(PauseCutter, KeepsTheStartOfEveryPauseAndItsEndBeforeSound) {
    std::vector<std::pair<std::uint64_t, bool>> spans;
    auto on_span = [](void* context, std::uint64_t n, bool keep) {
        auto& s = *static_cast<std::vector<std::pair<std::uint64_t, bool>>*>(context);
        if (!s.empty() && s.back().second == keep) {
            s.back().first += n;
        } else {
            s.push_back({n, keep});
        }
    };
    const tamberlyn::SpanSink sink = {on_span, &spans};
    tamberlyn::PauseCutter cutter;
    tamberlyn::StartPauseCutter(cutter, 10, 20);
    // A pause in pieces, sound, a pause too short to cut, sound, a pause that ends the input.
    using tamberlyn::Verdict;
    for (std::uint64_t n : {40, 30, 30}) tamberlyn::CutRun(cutter, n, Verdict::kPause, sink);
    tamberlyn::CutRun(cutter, 5, Verdict::kSound, sink);
    tamberlyn::CutRun(cutter, 29, Verdict::kPause, sink);
    tamberlyn::CutRun(cutter, 5, Verdict::kSound, sink);
    tamberlyn::CutRun(cutter, 50, Verdict::kPause, sink);
    tamberlyn::FinishPauseCutter(cutter, sink);
    const std::vector<std::pair<std::uint64_t, bool>> expected = {
        {10, true}, {70, false}, {20 + 5 + 29 + 5 + 10, true}, {40, false}};
    EXPECT_EQ(spans, expected);

    // Quiet not yet told a pause is held, up to 50 frames: told one, all of it is pause; followed
    // by sound, all of it stays; and past the limit its oldest frames stay.
    spans.clear();
    tamberlyn::StartPauseCutter(cutter, 10, 20, 50);
    tamberlyn::CutRun(cutter, 40, Verdict::kQuiet, sink);
    tamberlyn::CutRun(cutter, 30, Verdict::kPause, sink);
    tamberlyn::CutRun(cutter, 5, Verdict::kSound, sink);
    tamberlyn::CutRun(cutter, 40, Verdict::kQuiet, sink);
    tamberlyn::CutRun(cutter, 5, Verdict::kSound, sink);
    tamberlyn::CutRun(cutter, 80, Verdict::kQuiet, sink);
    tamberlyn::CutRun(cutter, 30, Verdict::kPause, sink);
    tamberlyn::FinishPauseCutter(cutter, sink);
    const std::vector<std::pair<std::uint64_t, bool>> held = {
        {10, true}, {40, false}, {20 + 5 + 40 + 5 + 10 + 20, true}, {80, false}};
    EXPECT_EQ(spans, held);
}

// Bytes in memory, read in pieces of a prime size.
struct MemorySource {
    const std::vector<std::uint8_t>* data;
    std::size_t at = 0;
    static tamberlyn::SystemError Read(void* c, void* out, std::size_t size, std::size_t& got) {
        auto& m = *static_cast<MemorySource*>(c);
        got = std::min({size, m.data->size() - m.at, std::size_t{65521}});
        std::copy_n(m.data->data() + m.at, got, static_cast<std::uint8_t*>(out));
        m.at += got;
        return {};
    }
};

tamberlyn::SystemError Append(void* context, const void* p, std::size_t n) {
    auto& o = *static_cast<std::vector<std::uint8_t>*>(context);
    o.insert(o.end(), static_cast<const std::uint8_t*>(p), static_cast<const std::uint8_t*>(p) + n);
    return {};
}

TEST(PauseStream, AFixedThresholdWithoutPadIsTheEngineRuleInAnyBufferItTakes) {
    std::mt19937 rng(8);
    static std::uint8_t buffer[1 << 20];
    for (int channels : {1, 2, 3, 5, 7}) {
        auto data = RandomSignal(rng, 2 * static_cast<std::size_t>(channels) * 150000);
        // With a sound far longer than the stage, which goes out from where it was read.
        const std::size_t middle = data.size() / 2 / (2 * channels) * (2 * channels);
        data.insert(data.begin() + static_cast<std::ptrdiff_t>(middle),
                    2 * static_cast<std::size_t>(channels) * 50000, std::uint8_t{0x40});
        std::vector<std::uint8_t> expected(data.size());
        std::int32_t run = 0;
        const tamberlyn::SilenceRule engine = {channels, 500, 799};
        expected.resize(tamberlyn::FilterFrames(engine, data.data(), data.size() / (2 * channels),
                                                expected.data(), run));
        tamberlyn::PauseRule rule;
        rule.channels = channels;
        rule.rate = kRate;
        rule.threshold = 500;
        rule.keep = 799;
        // Buffers whose stage is a page or less, and frames that never fill a page evenly.
        for (std::size_t size : {tamberlyn::MinPauseStreamBuffer(rule), std::size_t{16384},
                                 std::size_t{40000}, sizeof buffer}) {
            MemorySource in{&data};
            std::vector<std::uint8_t> out;
            tamberlyn::StreamCounts counts;
            tamberlyn::PauseReport report;
            ASSERT_EQ(
                tamberlyn::CutPauses({MemorySource::Read, &in}, tamberlyn::kToEndOfFile, rule,
                                     {Append, &out}, 44, nullptr, {buffer, size}, counts, report),
                tamberlyn::StreamResult::kDone);
            EXPECT_EQ(out, expected) << channels << " channels, " << size << " bytes";
        }
        MemorySource in{&data};
        tamberlyn::StreamCounts counts;
        tamberlyn::PauseReport report;
        EXPECT_EQ(tamberlyn::CutPauses({MemorySource::Read, &in}, tamberlyn::kToEndOfFile, rule,
                                       tamberlyn::CountingSink(), 0, nullptr,
                                       {buffer, tamberlyn::MinPauseStreamBuffer(rule) - 1}, counts,
                                       report),
                  tamberlyn::StreamResult::kBufferTooSmall);
    }
}

}  // namespace
}  // namespace tamberlyn_test
