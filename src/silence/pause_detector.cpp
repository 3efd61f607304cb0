#include "silence/pause_detector.h"

#include "silence/sample_format.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tamberlyn {

namespace {

// The level is measured at about this rate, on every few frames: enough for speech, whose
// energy lies below 2 kHz and whose hiss folds into the band, at a fraction of the work.
constexpr double kAnalysisRate = 4000.0;
// Below this the high-pass removes what is not speech: DC, mains hum, rumble, fan drone.
constexpr double kHighPassHz = 200.0;
constexpr double kDcHz = 20.0;  // the whole band's lower edge
constexpr double kPi = 3.14159265358979323846;
constexpr double kSqrt2 = 1.41421356237309504880;
constexpr float kFullScaleEnergy =
    static_cast<float>(kPcm16FullScale) * static_cast<float>(kPcm16FullScale);

// Above the floor (dB): a pause becomes sound above kEnterDb, or above kGraceEnterDb within
// kGraceWindows of the last sound (the weak consonant or the fading syllable that ends a
// sentence after a short stop); sound stays sound while above kLeaveDb, and for a hold after
// that. Noise, measured over 40 ms, strays about 2 dB above the floor's minimum; speech
// reaches far above it.
constexpr float kEnterDb = 10.0f;
constexpr float kLeaveDb = 6.0f;
constexpr float kGraceEnterDb = 4.0f;
constexpr int kGraceWindows = 30;
// A quiet stretch is a pause only where some channel's loudest window of the last seconds (or
// the next ones) stands this far above its floor; music and steady noises never do, and a
// pause that has been judged one stays one until sound returns.
constexpr float kSeparableDb = 20.0f;
// Or this far, where sound starts as words do: a window this far above the one 40 ms before it.
// A talker 12 dB above the noise of a cheap microphone is shortened; a chord that swells, or
// noise that ebbs, rises a few decibels in that time.
constexpr float kSeparableWithOnsetsDb = 12.0f;
constexpr float kOnsetDb = 9.0f;
// The hold after sound: longer when the sound was faint, where the ends of words sink into
// the noise before they end.
constexpr int kHoldWindows = 10;
constexpr float kFaintDb = 30.0f;
constexpr float kHoldWindowsPerFaintDb = 0.75f;
constexpr int kMaxHoldWindows = 30;
// Sound that stood this far above the floor (a quiet room) ends clearly, far above the floor,
// before the level falls to kLeaveDb: a short hold is enough.
constexpr float kClearDb = 45.0f;
constexpr int kClearHoldWindows = 5;

// Levels are kept as mean squares relative to full scale; decibels only where they are shown
// or feed the hold. The thresholds as ratios of mean squares:
constexpr float Ratio(float db) {
    // 10^(db/10) for the few whole and half decibels used here, without a constexpr pow.
    float r = 1.0f;
    for (int i = 0; i < static_cast<int>(db * 10); ++i) r *= 1.0232930f;  // 10^(0.01)
    return r;
}
constexpr float kEnter = Ratio(kEnterDb);
constexpr float kLeave = Ratio(kLeaveDb);
constexpr float kGraceEnter = Ratio(kGraceEnterDb);
constexpr float kSeparable = Ratio(kSeparableDb);
constexpr float kSeparableWithOnsets = Ratio(kSeparableWithOnsetsDb);
constexpr float kOnset = Ratio(kOnsetDb);
constexpr float kSilent = 1e-10f;  // -100 dB

float ToDb(float energy) { return 10.0f * std::log10(energy); }

void TrackFloor(PauseDetector& d, const float* level, const float* raw, const float* rise,
                const float* broad) {
    for (int c = 0; c < d.channels; ++c) {
        if (d.in_block == 0 || level[c] < d.cur_min[c]) d.cur_min[c] = level[c];
        if (d.in_block == 0 || broad[c] < d.cur_broad_min[c]) d.cur_broad_min[c] = broad[c];
        if (d.in_block == 0 || raw[c] > d.cur_max[c]) d.cur_max[c] = raw[c];
        if (d.in_block == 0 || rise[c] > d.cur_rise[c]) d.cur_rise[c] = rise[c];
    }
    if (++d.in_block < kPauseFloorBlockWindows) return;
    for (int c = 0; c < d.channels; ++c) {
        d.block_min[d.next_block][c] = d.cur_min[c];
        d.block_max[d.next_block][c] = d.cur_max[c];
        d.block_rise[d.next_block][c] = d.cur_rise[c];
        d.block_broad_min[d.next_block][c] = d.cur_broad_min[c];
    }
    d.next_block = (d.next_block + 1) % kPauseFloorBlocks;
    d.blocks = std::min(d.blocks + 1, kPauseFloorBlocks);
    d.in_block = 0;
    // The same over the completed blocks, kept until the next completes.
    for (int c = 0; c < d.channels; ++c) {
        d.kept_min[c] = d.block_min[0][c];
        d.kept_max[c] = d.block_max[0][c];
        d.kept_rise[c] = d.block_rise[0][c];
        d.kept_broad_min[c] = d.block_broad_min[0][c];
        for (int b = 1; b < d.blocks; ++b) {
            d.kept_min[c] = std::min(d.kept_min[c], d.block_min[b][c]);
            d.kept_max[c] = std::max(d.kept_max[c], d.block_max[b][c]);
            d.kept_rise[c] = std::max(d.kept_rise[c], d.block_rise[b][c]);
            d.kept_broad_min[c] = std::min(d.kept_broad_min[c], d.block_broad_min[b][c]);
        }
    }
}

// The floor, the peak and the steepest rise of channel c over the blocks kept and the one being
// filled.
void FloorAndPeak(const PauseDetector& d, int c, float& floor, float& peak, float& rise) {
    const bool filling = d.in_block > 0;
    floor = filling ? d.cur_min[c] : 1.0f;
    peak = filling ? d.cur_max[c] : kSilent;
    rise = filling ? d.cur_rise[c] : 1.0f;
    if (d.blocks == 0) return;
    floor = std::min(floor, d.kept_min[c]);
    peak = std::max(peak, d.kept_max[c]);
    rise = std::max(rise, d.kept_rise[c]);
}

// The floor of channel c's whole band.
float BroadFloor(const PauseDetector& d, int c) {
    const float floor = d.in_block > 0 ? d.cur_broad_min[c] : 1.0f;
    return d.blocks > 0 ? std::min(floor, d.kept_broad_min[c]) : floor;
}

// The pauses' level, once enough of them has been heard to trust it.
// Their mean over the first second of pause, then followed over about a second.
constexpr int kBackgroundWindows = 100;
void FollowBackground(PauseDetector& d, float level) {
    const int weight = std::min(d.pause_windows_seen + 1, kBackgroundWindows);
    d.pause_level += (level - d.pause_level) / static_cast<float>(weight);
    if (++d.pause_windows_seen < kBackgroundWindows) return;
    if (d.pause_windows_seen == kBackgroundWindows) {
        d.lowest_background = d.highest_background = d.pause_level;
    }
    d.lowest_background = std::min(d.lowest_background, d.pause_level);
    d.highest_background = std::max(d.highest_background, d.pause_level);
}

// Where the loudest sound stands less than twice kEnterDb above the floor (a quiet talker), a
// window is sound from half of that height on, but never below kLeaveDb.
float EnterFor(float spread) {
    if (spread >= kEnter * kEnter) return kEnter;
    return std::max(kLeave, std::sqrt(spread));
}

// A room's reverberation after a word: the level falls window after window, steadily and fast,
// far below the word and near the noise. Speech wavers within tens of milliseconds, and a note
// that rings on falls slowly. A fall that has lasted kTailWindows, by kTailFall or more and by
// kTailDbPerWindow a window, to within kTailCeilingDb of the floor and kTailBelowPeakDb under
// the loudest window of the sound, is a tail: the sound ends there (the hold still follows).
constexpr int kTailWindows = 6;
constexpr float kTailFall = Ratio(6.0f);
constexpr float kTailBelowPeakDb = 20.0f;
constexpr float kTailCeilingDb = 22.0f;
constexpr float kTailDbPerWindow = 0.6f;

// Once told, the tail lasts until the level rises kTailFall above its lowest point: more sound.
// Over digital silence there is no floor for a tail to fall to, and none is told.
void FollowTail(PauseDetector& d, float above, bool digital) {
    if (above < d.last_above) {
        if (d.falling++ == 0) d.fall_from = d.last_above;
    } else {
        d.falling = 0;
    }
    d.last_above = above;
    if (d.tail && above > d.tail_low * kTailFall) d.tail = false;
    if (!d.tail && d.sound && !digital && d.falling >= kTailWindows &&
        above * kTailFall <= d.fall_from &&
        ToDb(d.fall_from / above) >= kTailDbPerWindow * static_cast<float>(d.falling) &&
        ToDb(above) <= std::min(kTailCeilingDb, d.segment_peak - kTailBelowPeakDb)) {
        d.tail = true;
        d.tail_low = above;
    }
    if (d.tail) d.tail_low = std::min(d.tail_low, above);
}

// A word rises out of a pause within tens of milliseconds; noise that swells creeps up over
// hundreds. Away from sound, a window starts sound only where it stands 3 dB above the quietest
// of the kPauseRiseWindows decided before it.
constexpr float kRise = Ratio(3.0f);

bool Rose(const PauseDetector& d, float above) {
    float lowest = above;
    for (float before : d.above_before) lowest = std::min(lowest, before);
    return above >= lowest * kRise;
}

int HoldFor(float segment_peak_db) {
    if (segment_peak_db >= kClearDb) return kClearHoldWindows;
    const float faint = std::max(0.0f, kFaintDb - segment_peak_db);
    return std::min(kMaxHoldWindows,
                    kHoldWindows + static_cast<int>(faint * kHoldWindowsPerFaintDb));
}

// A click in a pause (a bump of the microphone, a key, a lip smack) is over in a window or two;
// a word that starts there goes on. Sound that stands above the floor in no more than
// kClickWindows of the kClickSpan windows from `slot` on is a click: the pause goes on.
constexpr int kClickSpan = 15;
constexpr int kClickWindows = 2;

bool IsClick(const PauseDetector& d, int slot, const float* floors) {
    const int span = std::min(kClickSpan, d.pending + 1);
    if (span < kClickSpan) return false;  // too near the end to tell
    int sounding = 0;
    for (int k = 0; k < span; ++k) {
        const float* raw = d.raw[(slot + k) % kPauseLookaheadWindows];
        for (int c = 0; c < d.channels; ++c) {
            if (raw[c] > floors[c] * kLeave) {
                ++sounding;
                break;
            }
        }
    }
    return sounding <= kClickWindows;
}

// After sound that stood kEndedPeakDb or more above the floor, a hold that the lookahead shows
// to be over plain noise is cut to kEndedHoldWindows: the word has ended, not faded. Plain
// noise: every window of the hold within 3 dB of the floor (the floor is the noise's quietest
// moment; 2 dB after sound under kFaintDb, whose endings lie nearer the noise), on every channel
// whose sound stands out; and over the whole band, within kBroadEnded of where its pauses stand,
// so that a word that ends below the high-pass keeps its hold.
constexpr int kEndedHoldWindows = 3;
constexpr float kEndedPeakDb = 20.0f;
constexpr float kEnded = Ratio(3.0f);
constexpr float kEndedAfterFaint = Ratio(2.0f);
constexpr float kBroadEnded = Ratio(3.0f);

bool EndedAhead(const PauseDetector& d, int slot, const float* floors, const bool* live,
                float ended) {
    if (d.pending + 1 < kHoldWindows) return false;
    bool any = false;
    for (int c = 0; c < d.channels; ++c) {
        if (!live[c]) continue;
        any = true;
        const float broad_ended = d.pause_windows_seen >= kBackgroundWindows
                                      ? BroadFloor(d, c) * d.broad_rise[c] * kBroadEnded
                                      : 1e30f;
        for (int k = 0; k < kHoldWindows; ++k) {
            const int at = (slot + k) % kPauseLookaheadWindows;
            if (d.level[at][c] > floors[c] * ended || d.broad[at][c] > broad_ended) return false;
        }
    }
    return any;
}

// Where the pauses are digital silence and what is not silence there is barely above it (the
// last faint samples of a word fading out), there is no noise to tell sound from: whatever is
// not digital silence is sound. A recording that is digital silence between noisy stretches
// (a noise gate) has a floor well above this one and is judged by its floor.
constexpr float kDigitalQuiet = 1e-8f;  // -80 dB
constexpr std::uint64_t kDigitalBackgroundWindows = kPauseFloorBlockWindows * kPauseFloorBlocks;

bool DigitalBackground(const PauseDetector& d, const float* floors) {
    // Digital silence within the floor's reach: behind this window or in the lookahead.
    if (d.last_still == 0 || d.measured - d.last_still >= kDigitalBackgroundWindows) return false;
    for (int c = 0; c < d.channels; ++c) {
        if (floors[c] >= kDigitalQuiet) return false;
    }
    return true;
}

// The quiet before this pause was told one is part of it.
void TellUntold(PauseDetector& d) {
    d.stats.pause_windows += d.untold;
    d.stats.separable_windows += d.untold;
    d.untold = 0;
}

// Decides the oldest pending window.
void DecideOldest(PauseDetector& d, const RunSink& sink) {
    const int slot = d.head;
    const float* level = d.level[slot];
    const std::uint32_t frames = d.frames[slot];
    const bool still = d.still[slot];
    d.head = (d.head + 1) % kPauseLookaheadWindows;
    --d.pending;
    if (still) {
        // Digital silence is a pause whatever surrounds it: nothing is there to keep.
        d.sound = false;
        d.hang = 0;
        d.judged = true;
        d.since_sound += 1;
        ++d.stats.windows;
        ++d.stats.still_windows;
        ++d.stats.pause_windows;
        TellUntold(d);
        sink.run(sink.context, frames, Verdict::kPause);
        return;
    }

    bool separable = false;
    float spread = 1.0f;  // how far the loudest channel's peak stands above its floor
    float above = 0.0f;   // how far the loudest channel is above its floor, as a ratio
    float lowest_floor = 1.0f;
    int quietest = 0;  // the channel of the lowest floor
    float floors[kMaxSilenceChannels];
    bool live[kMaxSilenceChannels];  // channels whose sound stands out of their floor
    for (int c = 0; c < d.channels; ++c) {
        float& floor = floors[c];
        float peak, rise;
        FloorAndPeak(d, c, floor, peak, rise);
        above = std::max(above, level[c] / floor);
        spread = std::max(spread, peak / floor);
        live[c] = peak >= floor * (rise >= kOnset ? kSeparableWithOnsets : kSeparable);
        if (!live[c]) continue;
        if (floor < lowest_floor) {
            lowest_floor = floor;
            quietest = c;
        }
        separable = true;
    }

    const bool digital = DigitalBackground(d, floors);
    if (digital) {
        above = std::max(above, kEnter * kEnter);
        separable = false;  // no floor was measured: the background is nothing
        ++d.stats.digital_windows;
    }
    FollowTail(d, above, digital);
    const bool tail = d.tail;
    if (d.sound) {
        if (above > kLeave && !tail) {
            d.segment_peak = std::max(d.segment_peak, ToDb(above));
            d.hang = HoldFor(d.segment_peak);
        } else if (--d.hang <= 0) {
            d.sound = false;
        } else if (d.hang > kEndedHoldWindows && d.segment_peak >= kEndedPeakDb &&
                   EndedAhead(d, slot, floors, live,
                              d.segment_peak >= kFaintDb ? kEnded : kEndedAfterFaint)) {
            d.hang = kEndedHoldWindows;
        }
    } else if (!tail && above > (d.since_sound < kGraceWindows ? kGraceEnter : EnterFor(spread)) &&
               (d.since_sound < kGraceWindows ||
                (digital || (Rose(d, above) && !IsClick(d, slot, floors))))) {
        const float above_db = ToDb(above);
        d.segment_peak =
            d.since_sound < kGraceWindows ? std::max(d.segment_peak, above_db) : above_db;
        d.sound = true;
        d.hang = HoldFor(d.segment_peak);
    }
    d.above_before[d.above_at] = above;
    d.above_at = (d.above_at + 1) % kPauseRiseWindows;
    d.since_sound = d.sound ? 0 : d.since_sound + 1;
    d.judged = !d.sound && (d.judged || separable || digital);
    const bool pause = d.judged;
    ++d.stats.windows;
    if (separable) {
        if (d.stats.separable_windows++ == 0) d.lowest_floor = d.highest_floor = lowest_floor;
        d.lowest_floor = std::min(d.lowest_floor, lowest_floor);
        d.highest_floor = std::max(d.highest_floor, lowest_floor);
    }
    if (pause) ++d.stats.pause_windows;
    if (pause && separable) {
        const float weight =
            static_cast<float>(std::min(d.pause_windows_seen + 1, kBackgroundWindows));
        for (int c = 0; c < d.channels; ++c) {
            d.broad_rise[c] += (d.broad[slot][c] / BroadFloor(d, c) - d.broad_rise[c]) / weight;
        }
        FollowBackground(d, level[quietest]);
    }
    if (pause) {
        TellUntold(d);
    } else if (!d.sound) {
        ++d.untold;
    } else {
        d.untold = 0;
    }
    sink.run(sink.context, frames,
             pause     ? Verdict::kPause
             : d.sound ? Verdict::kSound
                       : Verdict::kQuiet);
}

// The mean of channel c's `span` newest windows in `recent`, the newest at `at`.
float MeanOfRecent(const float (&recent)[kPauseLevelWindows][kMaxSilenceChannels], int at, int span,
                   int c) {
    float energy = 0.0f;
    for (int k = 0; k < span; ++k)
        energy += recent[(at - k + kPauseLevelWindows) % kPauseLevelWindows][c];
    return energy / static_cast<float>(span);
}

void CloseWindow(PauseDetector& d, const RunSink& sink) {
    if (d.pending == d.lookahead) DecideOldest(d, sink);
    const int slot = (d.head + d.pending) % kPauseLookaheadWindows;
    float* level = d.level[slot];
    float* raw = d.raw[slot];
    float* broad = d.broad[slot];
    float rise[kMaxSilenceChannels];
    const float per_sample =
        1.0f / (static_cast<float>(d.analysed > 0 ? d.analysed : 1) * kFullScaleEnergy);
    const int span = std::min(d.recent_count + 1, kPauseLevelWindows);
    for (int c = 0; c < d.channels; ++c) {
        raw[c] = std::max(kSilent, d.energy[c] * per_sample);
        // Against the window 40 ms before (the oldest kept), unless that was digital silence.
        const float before = d.recent[d.recent_at][c];
        rise[c] = d.recent_count == kPauseLevelWindows && before > kSilent ? raw[c] / before : 1.0f;
        d.recent[d.recent_at][c] = raw[c];
        level[c] = MeanOfRecent(d.recent, d.recent_at, span, c);
        d.energy[c] = 0.0f;
        d.broad_recent[d.recent_at][c] = std::max(kSilent, d.broad_energy[c] * per_sample);
        broad[c] = MeanOfRecent(d.broad_recent, d.recent_at, span, c);
        d.broad_energy[c] = 0.0f;
    }
    d.recent_at = (d.recent_at + 1) % kPauseLevelWindows;
    d.recent_count = std::min(d.recent_count + 1, kPauseLevelWindows);
    d.frames[slot] = d.in_window;
    d.still[slot] = !d.window_changes;
    ++d.pending;
    ++d.measured;
    if (!d.window_changes) d.last_still = d.measured;
    // A partial last window measures too little to move the floor, nor do the first windows,
    // whose level is not yet taken over 40 ms (a buzz's first 10 ms may hold none of its
    // pulses); and digital silence would pull it to nothing: every noise after it would seem
    // loud.
    if (d.in_window == d.window_frames && d.window_changes &&
        d.recent_count == kPauseLevelWindows) {
        TrackFloor(d, level, raw, rise, broad);
    }
    d.in_window = 0;
    d.window_changes = false;
    d.analysed = 0;
}

// Filters every step-th of `n` frames, from the one `skip` in, into each channel's energy.
template <SampleFormat F, int Channels>
void Measure(PauseDetector& d, const std::uint8_t* p, std::size_t n) {
    // Locals, so that the channels' filters run side by side in registers: the compiler must
    // otherwise assume `p`'s bytes may alias the detector's state. The filter in direct form:
    // each output waits on one multiply and one add after the last, which bounds this loop.
    const float b0 = d.b0, b1 = d.b1, b2 = d.b2, a1 = d.a1, a2 = d.a2;
    const float pole = d.dc_pole, keep = 1.0f - d.dc_pole;
    float x1[Channels], x2[Channels], y1[Channels], y2[Channels];
    float energy[Channels], dc[Channels], broad[Channels];
    for (int c = 0; c < Channels; ++c) {
        x1[c] = d.x1[c];
        x2[c] = d.x2[c];
        y1[c] = d.y1[c];
        y2[c] = d.y2[c];
        energy[c] = 0.0f;
        dc[c] = d.dc[c];
        broad[c] = 0.0f;
    }
    constexpr std::size_t kFrameBytes = SampleBytes(F) * Channels;
    const std::size_t stride = d.step * kFrameBytes;
    const std::uint8_t* frame = p + d.skip * kFrameBytes;
    for (std::size_t k = d.skip; k < n; k += d.step, frame += stride) {
        // Unrolled, so that each channel's state stays in registers.
#pragma GCC unroll 8
        for (int c = 0; c < Channels; ++c) {
            const float x = SampleValue<F>(frame + SampleBytes(F) * c);
            const float y = (b0 * x + b1 * x1[c] + b2 * x2[c] - a2 * y2[c]) - a1 * y1[c];
            x2[c] = x1[c];
            x1[c] = x;
            y2[c] = y1[c];
            y1[c] = y;
            energy[c] += y * y;
            const float centred = x - dc[c];
            broad[c] += centred * centred;
            dc[c] = keep * dc[c] + pole * x;
        }
    }
    for (int c = 0; c < Channels; ++c) {
        d.x1[c] = x1[c];
        d.x2[c] = x2[c];
        d.y1[c] = y1[c];
        d.y2[c] = y2[c];
        d.energy[c] += energy[c];
        d.dc[c] = dc[c];
        d.broad_energy[c] += broad[c];
    }
}

template <SampleFormat F>
void MeasureIn(PauseDetector& d, const std::uint8_t* p, std::size_t n) {
    if (!d.primed && d.skip < n) {
        // As if the first sample had always been there: a DC offset starts settled, not as a
        // step that would sound like a click.
        for (int c = 0; c < d.channels; ++c) {
            const float x = SampleValue<F>(p + (d.skip * d.channels + c) * SampleBytes(F));
            d.x1[c] = d.x2[c] = x;
            d.dc[c] = x;
        }
        d.primed = true;
    }
    switch (d.channels) {
        case 1:
            return Measure<F, 1>(d, p, n);
        case 2:
            return Measure<F, 2>(d, p, n);
        case 3:
            return Measure<F, 3>(d, p, n);
        case 4:
            return Measure<F, 4>(d, p, n);
        case 5:
            return Measure<F, 5>(d, p, n);
        case 6:
            return Measure<F, 6>(d, p, n);
        case 7:
            return Measure<F, 7>(d, p, n);
        default:
            return Measure<F, 8>(d, p, n);
    }
}

// Some frame of the `n` at `p` differs from the window's first. Stops at the first change: in
// sound that is within the first frames, so only digital silence is read whole. A float's
// negative zero beside a zero counts as a change, which costs nothing.
bool Changes(PauseDetector& d, const std::uint8_t* p, std::size_t n) {
    const std::size_t bytes = d.frame_bytes;
    if (d.in_window == 0 && d.window_frames > 1) std::memcpy(d.still_frame, p, bytes);
    return std::memcmp(p, d.still_frame, bytes) != 0 ||
           (n > 1 && std::memcmp(p + bytes, p, (n - 1) * bytes) != 0);
}

void MeasureFrames(PauseDetector& d, const std::uint8_t* p, std::size_t n) {
    switch (d.format) {
        case SampleFormat::kU8:
            return MeasureIn<SampleFormat::kU8>(d, p, n);
        case SampleFormat::kS16:
            return MeasureIn<SampleFormat::kS16>(d, p, n);
        case SampleFormat::kS24:
            return MeasureIn<SampleFormat::kS24>(d, p, n);
        case SampleFormat::kS32:
            return MeasureIn<SampleFormat::kS32>(d, p, n);
        case SampleFormat::kF32:
            return MeasureIn<SampleFormat::kF32>(d, p, n);
        case SampleFormat::kF64:
            return MeasureIn<SampleFormat::kF64>(d, p, n);
    }
}

}  // namespace

std::uint32_t PauseWindowFrames(std::uint32_t rate) {
    return std::max<std::uint32_t>(1, (rate + kPauseWindowsPerSecond / 2) / kPauseWindowsPerSecond);
}

void StartPauseDetector(PauseDetector& d, std::uint32_t rate, int channels, int lookahead,
                        SampleFormat format) {
    d = PauseDetector{};
    d.format = format;
    if (format == SampleFormat::kU8) std::memset(d.still_frame, 0x80, sizeof d.still_frame);
    d.channels = std::clamp(channels, 1, kMaxSilenceChannels);
    d.frame_bytes =
        static_cast<std::uint32_t>(SampleBytes(format)) * static_cast<std::uint32_t>(d.channels);
    d.lookahead = std::clamp(lookahead, 1, kPauseLookaheadWindows);
    const std::uint32_t r = rate > 0 ? rate : 1;
    d.window_frames = PauseWindowFrames(r);
    d.step = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::lround(r / kAnalysisRate)));
    // A second-order Butterworth high-pass at the analysis rate.
    const double analysis = static_cast<double>(r) / d.step;
    const double cutoff = std::min(kHighPassHz, 0.2 * analysis);
    const double k = std::tan(kPi * cutoff / analysis);
    const double norm = 1.0 / (1.0 + kSqrt2 * k + k * k);
    d.b0 = static_cast<float>(norm);
    d.b1 = static_cast<float>(-2.0 * norm);
    d.b2 = static_cast<float>(norm);
    d.a1 = static_cast<float>(2.0 * (k * k - 1.0) * norm);
    d.a2 = static_cast<float>((1.0 - kSqrt2 * k + k * k) * norm);
    d.dc_pole = static_cast<float>(1.0 - std::exp(-2.0 * kPi * kDcHz / analysis));
}

void FeedPauseDetector(PauseDetector& d, const std::uint8_t* p, std::size_t count,
                       const RunSink& sink) {
    const std::size_t frame_bytes = d.frame_bytes;
    while (count > 0) {
        // Up to the end of the window being measured.
        const std::size_t n = std::min<std::size_t>(count, d.window_frames - d.in_window);
        MeasureFrames(d, p, n);
        if (!d.window_changes) d.window_changes = Changes(d, p, n);
        std::size_t i = d.skip;
        if (i < n) {
            const std::size_t count_here = (n - 1 - i) / d.step + 1;
            d.analysed += static_cast<std::uint32_t>(count_here);
            i += count_here * d.step;
        }
        d.skip = static_cast<std::uint32_t>(i - n);
        d.in_window += static_cast<std::uint32_t>(n);
        p += n * frame_bytes;
        count -= n;
        if (d.in_window == d.window_frames) CloseWindow(d, sink);
    }
}

void FinishPauseDetector(PauseDetector& d, const RunSink& sink) {
    if (d.in_window > 0) CloseWindow(d, sink);
    while (d.pending > 0) DecideOldest(d, sink);
    if (d.stats.separable_windows > 0) {
        const bool measured = d.pause_windows_seen >= kBackgroundWindows;
        d.stats.lowest_floor_db = ToDb(measured ? d.lowest_background : d.lowest_floor);
        d.stats.highest_floor_db = ToDb(measured ? d.highest_background : d.highest_floor);
    }
}

}  // namespace tamberlyn
