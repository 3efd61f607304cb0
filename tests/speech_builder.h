// Recordings made of syllables of a voiced tone between pauses, with noise, for tests of the
// pause detector and of what is built on it.
#pragma once

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "signal_builder.h"

namespace tamberlyn_test {

constexpr std::uint32_t kRate = 16000;
constexpr double kPi = 3.14159265358979323846;

struct Recording {
    std::vector<float> samples;                     // mono, full scale 32768
    std::vector<std::pair<double, double>> pauses;  // seconds
};

inline double Seconds(const Recording& r) { return static_cast<double>(r.samples.size()) / kRate; }

// A syllable: a 140 Hz voiced tone with harmonics under a raised-cosine envelope.
inline void AddSyllable(std::vector<float>& s, double seconds, double peak_dbfs) {
    const auto n = static_cast<std::size_t>(seconds * kRate);
    const double peak = 32768.0 * std::pow(10.0, peak_dbfs / 20.0) / 2.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double envelope = 0.5 - 0.5 * std::cos(2 * kPi * static_cast<double>(i) / n);
        double v = 0;
        for (int h = 1; h <= 8; ++h) v += std::sin(2 * kPi * 140.0 * h * t) / h;
        s.push_back(static_cast<float>(peak * envelope * v));
    }
}

inline void AddSilence(std::vector<float>& s, double seconds) {
    s.resize(s.size() + static_cast<std::size_t>(seconds * kRate), 0.0f);
}

// Utterances of a few syllables (short gaps within) between pauses of `pause` seconds.
inline Recording Dictation(int utterances, double pause, double peak_dbfs = -6.0) {
    Recording r;
    for (int u = 0; u < utterances; ++u) {
        r.pauses.push_back({Seconds(r), Seconds(r) + pause});
        AddSilence(r.samples, pause);
        for (int syllable = 0; syllable < 6; ++syllable) {
            AddSyllable(r.samples, 0.18, peak_dbfs - 3.0 * (syllable % 3));
            AddSilence(r.samples, 0.05);
        }
    }
    r.pauses.push_back({Seconds(r), Seconds(r) + pause});
    AddSilence(r.samples, pause);
    return r;
}

inline void AddNoise(std::vector<float>& s, double rms_dbfs, unsigned seed, std::size_t from = 0) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> white(0.0, 32768.0 * std::pow(10.0, rms_dbfs / 20.0));
    for (std::size_t i = from; i < s.size(); ++i) s[i] += static_cast<float>(white(rng));
}

// Interleaves channels (all of one length) into 16-bit frames.
inline std::vector<std::uint8_t> Frames(const std::vector<std::vector<float>>& channels) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < channels[0].size(); ++i) {
        for (const auto& c : channels) {
            const double v = std::round(std::max(-32768.0f, std::min(32767.0f, c[i])));
            AppendSamples(bytes, 1, static_cast<std::int16_t>(v));
        }
    }
    return bytes;
}

}  // namespace tamberlyn_test
