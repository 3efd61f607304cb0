// Tells pauses from sound in a recording with background noise, window by window.
//
// Each 10 ms window gets a level per channel, measured on a high-passed copy of the samples (no
// DC, no hum fundamental, no rumble), taken at about 8000 samples per second whatever the rate.
// Each channel follows its own noise floor: the lowest window level of the last few seconds,
// the windows ahead included, so that a floor that drifts over minutes is followed and the
// start of a recording is judged by what comes after it. A window is sound when any channel is
// well above its floor (enter high, leave low, and hold for a while after sound, longer when the
// sound was faint; a room's tail, falling steadily into the noise, ends it sooner); the quiet
// between sounds is a pause where some channel's sound stands far enough above its floor. Music
// and continuous noises never do: nothing there is a pause.
//
// Pure and streaming: whole frames in, decided windows out, a fixed lookahead behind the input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "silence/sample_format.h"
#include "silence/silence_filter.h"

namespace tamberlyn {

constexpr int kPauseWindowsPerSecond = 100;
constexpr int kPauseLookaheadWindows = 300;  // a decision sees 3 s ahead
constexpr int kPauseFloorBlockWindows = 50;
constexpr int kPauseFloorBlocks = 16;  // with the lookahead: about 5 s of floor behind
constexpr int kPauseLevelWindows = 4;  // a window's level is measured over the last this many
constexpr int kPauseRiseWindows = 20;  // sound starts only by rising over this many

// What a decided stretch is: sound; a pause; or quiet not told a pause yet, which is one after
// all if the same quiet is told one before sound returns (the quiet that opens a recording, judged
// only once its first words come within the lookahead), and sound otherwise.
enum class Verdict { kPause, kSound, kQuiet };

// Receives decided stretches of whole frames in input order.
struct RunSink {
    void (*run)(void* context, std::uint64_t frames, Verdict kind);
    void* context;
};

struct PauseDetectorStats {
    std::uint64_t windows = 0;
    std::uint64_t pause_windows = 0;
    std::uint64_t separable_windows = 0;  // windows where some channel had a floor to judge by
    std::uint64_t still_windows = 0;      // digital silence, a pause whatever surrounds it
    std::uint64_t digital_windows = 0;    // others told by digital silence around them
    // The background's level over the pauses (its range as it drifts), in the detector's band
    // (200 Hz and up); the floor's range where the pauses were too short to measure it.
    float lowest_floor_db = 0.0f;
    float highest_floor_db = 0.0f;
};

struct PauseDetector {
    // Settings.
    SampleFormat format = SampleFormat::kS16;
    int channels = 1;
    std::uint32_t frame_bytes = 2;
    std::uint32_t window_frames = 80;
    std::uint32_t step = 1;  // every step-th frame is analysed
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    float dc_pole = 0;  // the DC average's step

    // The window being measured.
    std::uint32_t in_window = 0;  // frames of it seen
    bool window_changes = false;  // some frame of it differs from its first
    // The window's first frame, for telling digital silence (zero, or a constant offset): every
    // frame of the window the same. A window of one frame is compared with the format's zero.
    std::uint8_t still_frame[kMaxSilenceChannels * 8] = {};
    std::uint32_t skip = 0;  // frames until the next analysed one
    std::uint32_t analysed = 0;
    bool primed = false;                 // the filter has seen its first sample
    float x1[kMaxSilenceChannels] = {};  // the high-pass's last two inputs and outputs
    float x2[kMaxSilenceChannels] = {};
    float y1[kMaxSilenceChannels] = {};
    float y2[kMaxSilenceChannels] = {};
    float energy[kMaxSilenceChannels] = {};
    // The same over the whole band but DC (a one-pole average taken off): where a word ends in
    // sound below the high-pass (a deep voice, a boomy microphone), its hold is not cut short.
    float dc[kMaxSilenceChannels] = {};
    float broad_energy[kMaxSilenceChannels] = {};
    // Mean square of the last windows, per channel, for the level of the newest.
    float recent[kPauseLevelWindows][kMaxSilenceChannels] = {};
    float broad_recent[kPauseLevelWindows][kMaxSilenceChannels] = {};
    int recent_at = 0;
    int recent_count = 0;

    // Windows measured but not yet decided, oldest first (a ring): mean squares relative to full
    // scale, over the last kPauseLevelWindows windows and over the window alone (for the peak).
    float level[kPauseLookaheadWindows][kMaxSilenceChannels] = {};
    float raw[kPauseLookaheadWindows][kMaxSilenceChannels] = {};
    float broad[kPauseLookaheadWindows][kMaxSilenceChannels] = {};
    std::uint32_t frames[kPauseLookaheadWindows] = {};
    bool still[kPauseLookaheadWindows] = {};  // digital silence: no sample changed
    int head = 0;
    int pending = 0;
    std::uint64_t measured = 0;    // windows measured so far
    std::uint64_t last_still = 0;  // the newest of them that was digital silence, plus one
    int lookahead = kPauseLookaheadWindows;

    // Floor and peak per channel: minimum and maximum over blocks of windows.
    float block_min[kPauseFloorBlocks][kMaxSilenceChannels] = {};
    float block_max[kPauseFloorBlocks][kMaxSilenceChannels] = {};
    // The steepest rise of a window over the one 40 ms before it, as a ratio: words start in
    // tens of milliseconds, swells of music and noise over hundreds.
    float block_rise[kPauseFloorBlocks][kMaxSilenceChannels] = {};
    float block_broad_min[kPauseFloorBlocks][kMaxSilenceChannels] = {};
    float cur_broad_min[kMaxSilenceChannels] = {};
    // The same over the completed blocks kept, once there is one.
    float kept_min[kMaxSilenceChannels] = {};
    float kept_max[kMaxSilenceChannels] = {};
    float kept_rise[kMaxSilenceChannels] = {};
    float kept_broad_min[kMaxSilenceChannels] = {};
    float cur_min[kMaxSilenceChannels] = {};
    float cur_max[kMaxSilenceChannels] = {};
    float cur_rise[kMaxSilenceChannels] = {};
    int in_block = 0;
    int blocks = 0;      // completed blocks kept, up to kPauseFloorBlocks
    int next_block = 0;  // where the next completed block goes

    // The decision.
    bool sound = false;
    int hang = 0;
    int since_sound = 1 << 20;  // windows since sound ended
    bool judged = false;        // the quiet since then is a pause
    // How far the loudest channel stood above its floor (a ratio) in the windows last decided.
    float above_before[kPauseRiseWindows] = {};
    int above_at = 0;
    std::uint64_t untold = 0;   // windows of that quiet before it was told one
    float segment_peak = 0.0f;  // the loudest window of the current sound, above its floor (dB)
    // A fall that has not stopped since it began: the windows it has lasted and where it began
    // (levels above the floor, as ratios), for telling a room's decaying tail from speech.
    float last_above = 0.0f;
    float fall_from = 0.0f;
    int falling = 0;
    bool tail = false;          // the level is a tail's, until it rises again
    float tail_low = 0.0f;      // the tail's lowest level so far
    float lowest_floor = 1.0f;  // over separable windows, as mean squares
    float highest_floor = 1.0f;
    // The background as the pauses show it: their level, followed over about a second of
    // pause (the floor is the quietest moment, a decibel or two below it), and its range.
    float pause_level = 0.0f;
    int pause_windows_seen = 0;
    // How far the whole band of the pauses stands above its floor, on average, per channel (a
    // ratio): under a decibel in white noise, several where low rumble wanders.
    float broad_rise[kMaxSilenceChannels] = {};
    float lowest_background = 1.0f;
    float highest_background = 1.0f;

    PauseDetectorStats stats;
};

// The frames of one window at `rate`: 10 ms, rounded.
std::uint32_t PauseWindowFrames(std::uint32_t rate);

// Sets `d` up for frames of `channels` (1..kMaxSilenceChannels) samples of `format` at `rate`
// samples per second. `lookahead` windows (1..kPauseLookaheadWindows) are measured before one
// is decided.
void StartPauseDetector(PauseDetector& d, std::uint32_t rate, int channels,
                        int lookahead = kPauseLookaheadWindows,
                        SampleFormat format = SampleFormat::kS16);

// Measures `count` whole frames; every window decided meanwhile goes to `sink`.
void FeedPauseDetector(PauseDetector& d, const std::uint8_t* frames, std::size_t count,
                       const RunSink& sink);

// The input has ended: decides everything still pending, a partial last window included.
void FinishPauseDetector(PauseDetector& d, const RunSink& sink);

}  // namespace tamberlyn
