#include "silence/pause_cutter.h"

#include <algorithm>

namespace tamberlyn {

void StartPauseCutter(PauseCutter& c, std::uint64_t keep, std::uint64_t pad,
                      std::uint64_t most_untold) {
    c = PauseCutter{};
    c.keep = keep;
    c.pad = pad;
    c.most_untold = most_untold;
}

void CutRun(PauseCutter& c, std::uint64_t frames, Verdict kind, const SpanSink& sink) {
    if (frames == 0) return;
    if (kind == Verdict::kSound) {
        if (c.in_pause && c.held + c.untold > 0) sink.span(sink.context, c.held + c.untold, true);
        c.in_pause = false;
        c.held = c.untold = 0;
        sink.span(sink.context, frames, true);
        return;
    }
    if (!c.in_pause) {
        c.in_pause = true;
        c.into = c.held = c.untold = 0;
        c.told = false;
    }
    const std::uint64_t kept = c.into < c.keep ? std::min(frames, c.keep - c.into) : 0;
    if (kept > 0) sink.span(sink.context, kept, true);
    c.into += frames;
    // Quiet in a stretch already told a pause is pause.
    if (kind == Verdict::kQuiet && !c.told) {
        c.untold += frames - kept;
        if (c.untold > c.most_untold) {
            sink.span(sink.context, c.untold - c.most_untold, true);
            c.untold = c.most_untold;
        }
        return;
    }
    // Told a pause: the quiet held before it is part of it.
    c.told = true;
    c.held += c.untold + frames - kept;
    c.untold = 0;
    if (c.held > c.pad) {
        sink.span(sink.context, c.held - c.pad, false);
        c.held = c.pad;
    }
}

void FinishPauseCutter(PauseCutter& c, const SpanSink& sink) {
    if (c.in_pause && c.untold > 0) sink.span(sink.context, c.untold, true);
    if (c.in_pause && c.held > 0) sink.span(sink.context, c.held, false);
    c.in_pause = false;
    c.held = c.untold = 0;
}

}  // namespace tamberlyn
