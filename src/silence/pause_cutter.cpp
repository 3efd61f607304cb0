#include "silence/pause_cutter.h"

#include <algorithm>

namespace tamberlyn {

void StartPauseCutter(PauseCutter& c, std::uint64_t keep, std::uint64_t pad) {
    c = PauseCutter{};
    c.keep = keep;
    c.pad = pad;
}

void CutRun(PauseCutter& c, std::uint64_t frames, bool sound, const SpanSink& sink) {
    if (frames == 0) return;
    if (sound) {
        if (c.in_pause && c.held > 0) sink.span(sink.context, c.held, true);
        c.in_pause = false;
        c.held = 0;
        sink.span(sink.context, frames, true);
        return;
    }
    if (!c.in_pause) {
        c.in_pause = true;
        c.into = 0;
        c.held = 0;
    }
    const std::uint64_t kept = c.into < c.keep ? std::min(frames, c.keep - c.into) : 0;
    if (kept > 0) sink.span(sink.context, kept, true);
    c.into += frames;
    c.held += frames - kept;
    if (c.held > c.pad) {
        sink.span(sink.context, c.held - c.pad, false);
        c.held = c.pad;
    }
}

void FinishPauseCutter(PauseCutter& c, const SpanSink& sink) {
    if (c.in_pause && c.held > 0) sink.span(sink.context, c.held, false);
    c.in_pause = false;
    c.held = 0;
}

}  // namespace tamberlyn
