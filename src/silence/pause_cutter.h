// What is cut of each pause: every pause keeps its first `keep` frames and, when sound follows,
// its last `pad` frames (the breath before a word); the rest of it is dropped. With a pad of 0
// this is the silence engine's rule: a quiet run is cut to its first `keep` frames. Quiet not
// told a pause yet is held, up to a limit, until it is told one or sound follows.
#pragma once

#include <cstdint>

#include "silence/pause_detector.h"

namespace tamberlyn {

// Receives the input's frames in order, each stretch kept or dropped.
struct SpanSink {
    void (*span)(void* context, std::uint64_t frames, bool keep);
    void* context;
};

struct PauseCutter {
    std::uint64_t keep = 0;
    std::uint64_t pad = 0;
    std::uint64_t most_untold = 0;  // the most quiet held before it is kept
    bool in_pause = false;
    std::uint64_t into = 0;    // frames of the current pause (or quiet) seen
    std::uint64_t held = 0;    // its latest frames past `keep`, kept if sound follows soon
    std::uint64_t untold = 0;  // quiet past `keep` not told a pause yet
    bool told = false;         // the current stretch has been told a pause
};

// Quiet not told a pause is held up to `most_untold` frames; beyond that it is kept.
void StartPauseCutter(PauseCutter& cutter, std::uint64_t keep, std::uint64_t pad,
                      std::uint64_t most_untold = 0);

// The next `frames` frames of the input are sound, pause or quiet.
void CutRun(PauseCutter& cutter, std::uint64_t frames, Verdict kind, const SpanSink& sink);

// The input has ended: a pause still open is followed by no sound.
void FinishPauseCutter(PauseCutter& cutter, const SpanSink& sink);

}  // namespace tamberlyn
