// A deterministic dictation-like signal: voiced bursts with moving formants between quiet
// stretches of low noise. Integer arithmetic only, so every platform makes the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tamberlyn_examples {

struct SpeechSynth {
    std::uint32_t random;
    std::int32_t left;           // samples left in the current segment
    bool speaking;               // in a voiced burst, else in a pause
    std::int32_t syllable_left;  // samples left in the current syllable
    std::int32_t syllable_len;
    std::int32_t pitch_period;  // samples between glottal pulses
    std::int32_t pitch_phase;
    std::int32_t a1_first, a1_second;  // resonator coefficients, Q14
    std::int64_t y1[2], y2[2];         // resonator memories
};

void StartSpeech(SpeechSynth& synth, std::uint32_t seed);

// Produces the next `count` samples at 8000 samples per second.
void MakeSpeech(SpeechSynth& synth, std::int16_t* out, std::size_t count);

// Writes a whole 8000 Hz 16-bit mono WAV file of `seconds` seconds. False on any I/O failure.
bool WriteSpeechWav(const char* path, std::uint32_t seconds, std::uint32_t seed);

}  // namespace tamberlyn_examples
