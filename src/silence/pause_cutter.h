// What is cut of each pause: every pause keeps its first `keep` frames and, when sound follows,
// its last `pad` frames (the breath before a word); the rest of it is dropped. With a pad of 0
// this is the silence engine's rule: a quiet run is cut to its first `keep` frames.
#pragma once

#include <cstdint>

namespace tamberlyn {

// Receives the input's frames in order, each stretch kept or dropped.
struct SpanSink {
    void (*span)(void* context, std::uint64_t frames, bool keep);
    void* context;
};

struct PauseCutter {
    std::uint64_t keep = 0;
    std::uint64_t pad = 0;
    bool in_pause = false;
    std::uint64_t into = 0;  // frames of the current pause seen
    std::uint64_t held = 0;  // its latest frames past `keep`, kept if sound follows soon
};

void StartPauseCutter(PauseCutter& cutter, std::uint64_t keep, std::uint64_t pad);

// The next `frames` frames of the input are sound or pause.
void CutRun(PauseCutter& cutter, std::uint64_t frames, bool sound, const SpanSink& sink);

// The input has ended: a pause still open is followed by no sound.
void FinishPauseCutter(PauseCutter& cutter, const SpanSink& sink);

}  // namespace tamberlyn
