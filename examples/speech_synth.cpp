#include "speech_synth.h"

#include <cstdio>

namespace tamberlyn_examples {

namespace {

constexpr std::int32_t kRate = 8000;
constexpr std::int64_t kPole = 14477;  // r^2 in Q14 for r = 0.94

// 2 r cos(2 pi F / 8000) in Q14 for the first and second formants of five vowels.
struct Vowel {
    std::int32_t first, second;
};
constexpr Vowel kVowels[] = {
    {25876, 20188},  // a: 730 Hz, 1090 Hz
    {30112, -6955},  // i: 270 Hz, 2290 Hz
    {29951, 23887},  // u: 300 Hz, 870 Hz
    {28172, 3861},   // e: 530 Hz, 1840 Hz
    {27767, 24338},  // o: 570 Hz, 840 Hz
};

std::uint32_t Next(SpeechSynth& s) {
    s.random = s.random * 1664525u + 1013904223u;
    return s.random >> 8;
}

std::int32_t Between(SpeechSynth& s, std::int32_t low, std::int32_t high) {
    return low + static_cast<std::int32_t>(Next(s) % static_cast<std::uint32_t>(high - low + 1));
}

void StartSegment(SpeechSynth& s) {
    s.speaking = !s.speaking;
    if (s.speaking) {
        s.left = Between(s, kRate * 4 / 10, kRate * 26 / 10);
        s.syllable_left = 0;
        return;
    }
    // Dictation: short pauses between words, sentence breaks, and long pauses to think.
    const std::uint32_t kind = Next(s) % 20;
    if (kind < 6) {
        s.left = Between(s, kRate / 20, kRate * 6 / 10);
    } else if (kind < 13) {
        s.left = Between(s, kRate * 6 / 10, kRate * 3);
    } else {
        s.left = Between(s, kRate * 3, kRate * 8);
    }
}

void StartSyllable(SpeechSynth& s) {
    s.syllable_len = s.syllable_left = Between(s, kRate / 10, kRate * 3 / 10);
    const Vowel& v = kVowels[Next(s) % 5];
    s.a1_first = v.first;
    s.a1_second = v.second;
    s.pitch_period = Between(s, kRate / 220, kRate / 100);
}

std::int64_t Resonate(SpeechSynth& s, int k, std::int64_t a1, std::int64_t x) {
    const std::int64_t y = x + ((a1 * s.y1[k] - kPole * s.y2[k]) >> 14);
    s.y2[k] = s.y1[k];
    s.y1[k] = y;
    return y;
}

std::int16_t Voiced(SpeechSynth& s) {
    if (s.syllable_left == 0) StartSyllable(s);
    const std::int32_t pos = s.syllable_len - s.syllable_left--;
    // Envelope in Q8: a quick rise, a plateau and a fall that stays audible.
    const std::int32_t attack = kRate / 100;
    std::int32_t env = 256;
    if (pos < attack) env = 64 + 192 * pos / attack;
    const std::int32_t tail = s.syllable_left;
    if (tail < s.syllable_len / 3) env = 96 + 160 * tail / (s.syllable_len / 3 + 1);

    std::int64_t pulse = 0;
    if (++s.pitch_phase >= s.pitch_period) {
        s.pitch_phase = 0;
        pulse = 2400;
    }
    const std::int64_t breath = static_cast<std::int64_t>(Next(s) % 201) - 100;
    const std::int64_t first = Resonate(s, 0, s.a1_first, pulse + breath);
    const std::int64_t both = Resonate(s, 1, s.a1_second, first / 4);
    std::int64_t y = (first + both) * env / 256;
    if (y > 32767) y = 32767;
    if (y < -32768) y = -32768;
    return static_cast<std::int16_t>(y);
}

}  // namespace

void StartSpeech(SpeechSynth& s, std::uint32_t seed) {
    s = SpeechSynth{};
    s.random = seed;
    StartSegment(s);  // opens with speech
}

void MakeSpeech(SpeechSynth& s, std::int16_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (s.left == 0) StartSegment(s);
        --s.left;
        // Low noise under everything: well inside the quiet range on its own.
        const auto noise = static_cast<std::int16_t>(static_cast<std::int32_t>(Next(s) % 81) - 40);
        if (s.speaking) {
            const std::int32_t v = Voiced(s) + noise;
            out[i] = static_cast<std::int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
        } else {
            out[i] = noise;
            s.y1[0] = s.y1[1] = s.y2[0] = s.y2[1] = 0;
        }
    }
}

bool WriteSpeechWav(const char* path, std::uint32_t seconds, std::uint32_t seed) {
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;

    const std::uint32_t data = seconds * kRate * 2;
    const auto le32 = [](unsigned char* p, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
    };
    unsigned char header[44] = {'R', 'I', 'F', 'F', 0,   0,   0,   0, 'W', 'A', 'V',
                                'E', 'f', 'm', 't', ' ', 16,  0,   0, 0,   1,   0,
                                1,   0,   0,   0,   0,   0,   0,   0, 0,   0,   2,
                                0,   16,  0,   'd', 'a', 't', 'a', 0, 0,   0,   0};
    le32(header + 4, data + 36);
    le32(header + 24, kRate);
    le32(header + 28, kRate * 2);
    le32(header + 40, data);
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;

    SpeechSynth synth;
    StartSpeech(synth, seed);
    std::int16_t block[kRate];
    unsigned char bytes[2 * kRate];
    for (std::uint32_t s = 0; s < seconds && ok; ++s) {
        MakeSpeech(synth, block, kRate);
        for (std::int32_t i = 0; i < kRate; ++i) {
            const auto v = static_cast<std::uint16_t>(block[i]);
            bytes[2 * i] = static_cast<unsigned char>(v & 0xFF);
            bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
        }
        ok = std::fwrite(bytes, 1, sizeof bytes, f) == sizeof bytes;
    }
    return std::fclose(f) == 0 && ok;
}

}  // namespace tamberlyn_examples
