// The labelled corpus of the pause benchmark: speech from espeak-ng with pauses of known
// places and lengths, and the rooms it is heard in (noises, hum, DC, drifting levels, silent or
// noisy extra channels), and music that has no pauses at all.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace pause_bench {

struct Span {
    std::uint64_t first;
    std::uint64_t end;  // one past the last frame
};

// One labelled file.
struct Take {
    std::string name;
    std::uint32_t rate = 0;
    int channels = 1;
    std::vector<float> mix;     // interleaved, in sample units (full scale 32768)
    std::vector<float> speech;  // the clean speech alone, mono, frame by frame
    std::vector<Span> pauses;   // in frames; empty for material without pauses
    bool pauseless = false;
};

// Utterances spoken by espeak-ng, trimmed of the silence it puts around them, at `rate`.
// Cached as WAV files in `dir`; sox resamples.
struct Voice {
    std::string name;  // an espeak-ng voice, e.g. "en-us+f3"
    int speed;         // words per minute
};
std::vector<std::vector<float>> Utterances(const std::string& dir, const Voice& voice,
                                           const std::vector<std::string>& texts,
                                           std::uint32_t rate);

// Recorded human speech: the prompts of a voice of Asterisk's sound packages
// (/usr/share/asterisk/sounds/VOICE, WAV at 8 kHz or G.722 at 16 kHz), `count` of those lasting
// 1.5 to 8 s in name order, trimmed of their leading and trailing room tone, at `rate`.
struct RecordedVoice {
    std::string name;    // e.g. "it_IT_m_Carlo"
    std::string format;  // "wav" or "g722"
};
std::vector<std::vector<float>> RecordedUtterances(const std::string& dir,
                                                   const RecordedVoice& voice, std::size_t count,
                                                   std::uint32_t rate);

// Utterances with pauses between them (and before the first and after the last), lengths
// drawn from [min_pause, max_pause] seconds, scaled so the loudest sample is `peak_dbfs`.
Take SpeechTake(const std::string& name, const std::vector<std::vector<float>>& utterances,
                std::uint32_t rate, double peak_dbfs, double min_pause, double max_pause,
                std::mt19937& random);

// Noises, `rms_dbfs` below full scale (a full-scale sine is -3 dBFS).
enum class Noise { kWhite, kPink, kBrown, kFan, kHum50, kHum60, kBuzz };

// Noises from sox's own generators, for material the detector was not tuned on.
extern bool g_sox_noise;
std::vector<float> MakeNoise(Noise kind, std::size_t frames, std::uint32_t rate, double rms_dbfs,
                             std::mt19937& random);

// The speech heard in a room: a decaying tail after every sound (the clean speech stays dry).
void Reverberate(Take& take, double seconds);

// The mix through a telephone's band, 300 to 3400 Hz (second-order Butterworth each side).
void TelephoneBand(Take& take);

// The speech through two low-passes at `hz` (a voice whose energy lies below it: a deep voice
// on a boomy microphone), brought back to a peak of -3 dBFS; the mix is that speech alone.
void Muffle(Take& take, double hz);

// Scales a noise so its level moves in a straight line in decibels from `from_db` to `to_db`
// (relative to its level now) over its length.
void Drift(std::vector<float>& noise, double from_db, double to_db);

// Puts `take`'s mono mix into channel `live` of `channels`; the others get `other` (or
// silence when `other` is empty) each.
void Spread(Take& take, int channels, int live, const std::vector<std::vector<float>>& other);

// Adds `noise` (mono) to every channel of the mix, or to one.
void AddNoise(Take& take, const std::vector<float>& noise, int channel = -1);

// Music without a pause: a held chord with slow tremolo, plucked notes ringing in a room.
Take ChordWithTremolo(std::uint32_t rate, double seconds, double depth_db, double tremolo_hz,
                      std::mt19937& random);
Take PluckedNotes(std::uint32_t rate, double seconds, double notes_per_second,
                  double reverb_seconds, std::mt19937& random);

// Writes the mix as a 16-bit PCM WAV file (rounded, clipped). False on failure.
bool WriteWav(const std::string& path, const Take& take);

}  // namespace pause_bench
