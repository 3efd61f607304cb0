// Shortens the pauses of sample data read from a file in one pass: the frames are read into a
// ring, labelled sound or pause (by a fixed threshold, or by the pause detector) and cut by the
// keep-and-pad rule, a bounded lookahead behind the reading.
#pragma once

#include <cstddef>
#include <cstdint>

#include "silence/pause_detector.h"
#include "silence/silence_stream.h"

namespace tamberlyn {

// What the pause detector keeps of each pause by default: a little after the sound that ends
// it, and the breath before the sound that ends it, so that no word loses its start.
constexpr double kAutoKeepSeconds = 0.1;
constexpr double kAutoPadSeconds = 0.2;

struct PauseRule {
    SampleFormat format = SampleFormat::kS16;
    int channels = 1;        // 1..kMaxSilenceChannels
    std::uint32_t rate = 0;  // samples per second per channel
    bool automatic = false;  // the pause detector; otherwise the fixed threshold
    std::int32_t threshold = QUIET_THRESHOLD;
    std::uint64_t keep = 0;  // frames kept at the start of every pause
    std::uint64_t pad = 0;   // frames kept at its end, before sound
};

// Receives every stretch that is cut, in input frames counted from the start of the data;
// adjacent stretches arrive joined.
struct CutSink {
    void (*cut)(void* context, std::uint64_t first_frame, std::uint64_t frames);
    void* context;
};

struct PauseReport {
    PauseDetectorStats detector;  // with the pause detector
    std::uint64_t cuts = 0;
    std::uint64_t frames_cut = 0;
};

inline std::size_t FrameBytes(const PauseRule& rule) {
    return SampleBytes(rule.format) * static_cast<std::size_t>(rule.channels);
}

// Labels frames by the fixed threshold: runs of quiet frames are pauses.
void LabelByThreshold(const PauseRule& rule, const std::uint8_t* frames, std::size_t count,
                      const RunSink& sink);

// Quiet the detector has not told a pause yet is held up to 10 s (4 MiB at most) where the
// buffer has room for it: the room tone before the first words of a recording is told a pause
// once they come in sight.
std::uint64_t UntoldFrames(const PauseRule& rule);

// The least buffer CutPauses works in for `rule`.
std::size_t MinPauseStreamBuffer(const PauseRule& rule);

// The longest pad (frames) a buffer of `buffer_bytes` can hold back for `rule`.
std::uint64_t MaxPauseRulePad(std::size_t buffer_bytes, const PauseRule& rule);

// As FilterStream, with `rule` deciding what goes. `cuts` may be null. The buffer holds the
// lookahead (3 s with the detector, less in a smaller buffer), the pad and the writes waiting
// for a page boundary; a pad beyond MaxPauseRulePad is cut to it. A buffer under
// MinPauseStreamBuffer is refused (kBufferTooSmall) before anything is read.
StreamResult CutPauses(const DataSource& in, std::uint64_t limit, const PauseRule& rule,
                       const DataSink& sink, std::uint64_t out_offset, const CutSink* cuts,
                       const SilenceBuffer& buffer, StreamCounts& counts, PauseReport& report);

}  // namespace tamberlyn
