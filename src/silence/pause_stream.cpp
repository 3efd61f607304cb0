#include "silence/pause_stream.h"

#include <algorithm>
#include <cstring>

#include "silence/pause_cutter.h"

namespace tamberlyn {

namespace {

constexpr std::size_t kPage = 4096;
constexpr std::size_t kMaxStage = 512 * 1024;
constexpr std::size_t kMaxRead = 512 * 1024;

// How the caller's buffer is shared: the writes waiting, then the ring of frames read. The ring
// takes what the lookahead, the pad and two reads need, so that a short lookahead or a small
// frame leaves the rest of a large buffer untouched.
struct Layout {
    std::size_t stage_bytes;
    std::size_t ring_frames;
    std::size_t read_frames;  // the most read at once
};

Layout LayOut(std::size_t buffer_bytes, std::size_t frame_bytes, std::uint64_t lag_frames) {
    Layout l;
    l.stage_bytes = std::max(kPage, std::min(kMaxStage, buffer_bytes / 8 / kPage * kPage));
    const std::size_t most = (buffer_bytes - l.stage_bytes) / frame_bytes;
    l.read_frames = std::min(kMaxRead / frame_bytes, most / 4);
    l.ring_frames = static_cast<std::size_t>(
        std::min<std::uint64_t>(most, lag_frames + 2 * std::uint64_t{l.read_frames}));
    return l;
}

// Frames the labelling may hold back: a window in progress, the detector's lookahead.
std::uint64_t LabelLag(const PauseRule& rule) {
    return rule.automatic ? (kPauseLookaheadWindows + 2) * PauseWindowFrames(rule.rate) : 0;
}

struct Pass {
    std::size_t frame_bytes;
    const std::uint8_t* ring;
    std::size_t ring_frames;
    std::uint64_t consumed = 0;  // frames kept or dropped so far

    std::uint8_t* stage;
    std::size_t stage_bytes;
    std::size_t staged = 0;
    // Kept frames not yet written, after what is staged: a stretch of the ring, held there so
    // that a long one goes out from where it was read rather than through the stage.
    std::uint64_t held_first = 0;
    std::uint64_t held = 0;
    std::uint64_t out_offset;
    const DataSink* sink;
    bool write_failed = false;

    const CutSink* cuts;
    std::uint64_t cut_first = 0;
    std::uint64_t cut_frames = 0;

    PauseCutter cutter;
    StreamCounts* counts;
    PauseReport* report;
};

// A kept stretch of at least this many bytes is written from the ring; a shorter one is staged.
constexpr std::size_t kDirectBytes = 64 * 1024;

void WriteOut(Pass& p, const std::uint8_t* from, std::size_t bytes) {
    p.counts->error = p.sink->write(p.sink->context, from, bytes);
    if (p.counts->error) {
        p.write_failed = true;
        return;
    }
    p.counts->written += bytes;
    p.out_offset += bytes;
}

// Writes what is staged up to the last page boundary of the output (all of it with `all`).
void Flush(Pass& p, bool all) {
    if (p.write_failed || p.staged == 0) return;
    const std::uint64_t end = p.out_offset + p.staged;
    const std::size_t leave = all ? 0 : std::min(p.staged, static_cast<std::size_t>(end % kPage));
    const std::size_t out = p.staged - leave;
    if (out == 0) return;
    WriteOut(p, p.stage, out);
    if (p.write_failed) return;
    std::memmove(p.stage, p.stage + out, leave);
    p.staged = leave;
}

// Copies `frames` frames of the ring, from frame number `first`, to the stage.
void Stage(Pass& p, std::uint64_t first, std::uint64_t frames) {
    while (frames > 0 && !p.write_failed) {
        const std::size_t at = static_cast<std::size_t>(first % p.ring_frames);
        std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(frames, p.ring_frames - at));
        n = std::min(n, (p.stage_bytes - p.staged) / p.frame_bytes);
        std::memcpy(p.stage + p.staged, p.ring + at * p.frame_bytes, n * p.frame_bytes);
        p.staged += n * p.frame_bytes;
        first += n;
        frames -= n;
        if (p.stage_bytes - p.staged < p.frame_bytes) Flush(p, false);
        // No page boundary among the staged bytes: they go as they are.
        if (p.stage_bytes - p.staged < p.frame_bytes) Flush(p, true);
    }
}

// Writes the held stretch: from the ring when long, else through the stage.
void Release(Pass& p) {
    if (p.held == 0) return;
    const std::size_t bytes = static_cast<std::size_t>(p.held) * p.frame_bytes;
    if (bytes >= kDirectBytes) {
        Flush(p, true);
        const std::size_t at = static_cast<std::size_t>(p.held_first % p.ring_frames);
        if (!p.write_failed) WriteOut(p, p.ring + at * p.frame_bytes, bytes);
    } else {
        Stage(p, p.held_first, p.held);
    }
    p.held = 0;
}

void Keep(Pass& p, std::uint64_t frames) {
    while (frames > 0 && !p.write_failed) {
        const std::size_t at = static_cast<std::size_t>(p.consumed % p.ring_frames);
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(frames, p.ring_frames - at));
        // The held stretch grows until the ring wraps (a cut writes it first).
        if (p.held > 0 && at == 0) Release(p);
        if (p.held == 0) p.held_first = p.consumed;
        p.held += n;
        p.consumed += n;
        frames -= n;
    }
    p.consumed += frames;  // after a failed write nothing more goes out
}

void EndCut(Pass& p) {
    if (p.cut_frames == 0) return;
    ++p.report->cuts;
    p.report->frames_cut += p.cut_frames;
    if (p.cuts != nullptr) p.cuts->cut(p.cuts->context, p.cut_first, p.cut_frames);
    p.cut_frames = 0;
}

void OnSpan(void* context, std::uint64_t frames, bool keep) {
    Pass& p = *static_cast<Pass*>(context);
    if (keep) {
        EndCut(p);
        Keep(p, frames);
        return;
    }
    Release(p);
    if (p.cut_frames == 0) p.cut_first = p.consumed;
    p.cut_frames += frames;
    p.consumed += frames;
}

void OnRun(void* context, std::uint64_t frames, Verdict kind) {
    Pass& p = *static_cast<Pass*>(context);
    CutRun(p.cutter, frames, kind, SpanSink{OnSpan, &p});
}

}  // namespace

namespace {

// How many frames from `frames` on are all quiet (with `quiet`) or all loud: a frame is quiet when
// every sample in it is.
template <SampleFormat F>
std::size_t SameQuietness(const PauseRule& rule, const std::uint8_t* frames, std::size_t count,
                          bool quiet) {
    const std::size_t samples = static_cast<std::size_t>(rule.channels);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* frame = frames + i * samples * SampleBytes(F);
        bool all_quiet = true;
        for (std::size_t c = 0; c < samples && all_quiet; ++c) {
            all_quiet = SampleQuiet<F>(frame + c * SampleBytes(F), rule.threshold);
        }
        if (all_quiet != quiet) return i;
    }
    return count;
}

std::size_t SameQuietnessIn(const PauseRule& rule, const std::uint8_t* frames, std::size_t count,
                            bool quiet) {
    switch (rule.format) {
        case SampleFormat::kS16:
            // The silence engine's vector loops.
            return SameQuietnessRun({rule.channels, rule.threshold, 0}, frames, count, quiet);
        case SampleFormat::kU8:
            return SameQuietness<SampleFormat::kU8>(rule, frames, count, quiet);
        case SampleFormat::kS24:
            return SameQuietness<SampleFormat::kS24>(rule, frames, count, quiet);
        case SampleFormat::kS32:
            return SameQuietness<SampleFormat::kS32>(rule, frames, count, quiet);
        case SampleFormat::kF32:
            return SameQuietness<SampleFormat::kF32>(rule, frames, count, quiet);
        case SampleFormat::kF64:
            return SameQuietness<SampleFormat::kF64>(rule, frames, count, quiet);
    }
    return count;
}

}  // namespace

void LabelByThreshold(const PauseRule& rule, const std::uint8_t* frames, std::size_t count,
                      const RunSink& sink) {
    const std::size_t frame_bytes = FrameBytes(rule);
    bool quiet = true;
    for (std::size_t i = 0; i < count; quiet = !quiet) {
        const std::size_t n = SameQuietnessIn(rule, frames + i * frame_bytes, count - i, quiet);
        if (n > 0) sink.run(sink.context, n, quiet ? Verdict::kPause : Verdict::kSound);
        i += n;
    }
}

std::uint64_t UntoldFrames(const PauseRule& rule) {
    constexpr std::uint64_t kSeconds = 10, kBytes = 4u << 20;
    return rule.automatic ? std::min<std::uint64_t>(kSeconds * rule.rate, kBytes / FrameBytes(rule))
                          : 0;
}

std::size_t MinPauseStreamBuffer(const PauseRule& rule) {
    const std::size_t frame_bytes = FrameBytes(rule);
    // The stage, two reads of a few frames, and with the detector a decision one window ahead
    // of a window in progress.
    const std::uint64_t frames = 16 + (rule.automatic ? 4 * PauseWindowFrames(rule.rate) : 0);
    return kPage + static_cast<std::size_t>(frames) * frame_bytes;
}

std::uint64_t MaxPauseRulePad(std::size_t buffer_bytes, const PauseRule& rule) {
    const std::size_t frame_bytes = FrameBytes(rule);
    const Layout l = LayOut(buffer_bytes, frame_bytes, ~std::uint64_t{0} / 2);
    const std::uint64_t lag = LabelLag(rule) + l.read_frames;
    return l.ring_frames > lag ? l.ring_frames - lag : 0;
}

StreamResult CutPauses(const DataSource& in, std::uint64_t limit, const PauseRule& rule,
                       const DataSink& sink, std::uint64_t out_offset, const CutSink* cuts,
                       const SilenceBuffer& buffer, StreamCounts& counts, PauseReport& report) {
    if (buffer.size < MinPauseStreamBuffer(rule)) return StreamResult::kBufferTooSmall;
    const std::size_t frame_bytes = FrameBytes(rule);
    const std::uint64_t window = PauseWindowFrames(rule.rate);
    const std::uint64_t pad = std::min(rule.pad, MaxPauseRulePad(buffer.size, rule));
    const std::uint64_t untold = UntoldFrames(rule);
    const Layout layout = LayOut(buffer.size, frame_bytes, LabelLag(rule) + pad + untold);

    Pass p;
    p.frame_bytes = frame_bytes;
    p.stage = buffer.bytes;
    p.stage_bytes = layout.stage_bytes;
    p.ring = buffer.bytes + layout.stage_bytes;
    p.ring_frames = layout.ring_frames;
    p.out_offset = out_offset;
    p.sink = &sink;
    p.cuts = cuts;
    p.counts = &counts;
    p.report = &report;
    const RunSink runs = {OnRun, &p};

    // The detector decides a window once it has measured `lookahead` more: with the pad held
    // back and a read in flight, all of that must fit in the ring; what is left holds quiet
    // not told a pause yet.
    PauseDetector detector;
    std::uint64_t most_untold = 0;
    if (rule.automatic) {
        const std::uint64_t spare = (layout.ring_frames - layout.read_frames - pad) / window;
        const int lookahead =
            spare > 2 ? static_cast<int>(std::min<std::uint64_t>(kPauseLookaheadWindows, spare - 2))
                      : 1;
        StartPauseDetector(detector, rule.rate, rule.channels, lookahead, rule.format);
        const std::uint64_t lag = (static_cast<std::uint64_t>(lookahead) + 2) * window;
        const std::uint64_t used = layout.read_frames + pad + lag;
        most_untold = layout.ring_frames > used ? std::min(untold, layout.ring_frames - used) : 0;
    }
    StartPauseCutter(p.cutter, rule.keep, pad, most_untold);

    std::uint8_t* const ring = buffer.bytes + layout.stage_bytes;
    std::uint64_t fed = 0;  // frames read and labelled
    std::uint64_t remaining = limit;
    StreamResult result = StreamResult::kDone;
    for (;;) {
        // The next read must not reach the frames still held for writing.
        if (p.held > 0 && fed + layout.read_frames > p.held_first + layout.ring_frames) Release(p);
        if (p.write_failed) break;
        const std::size_t at = static_cast<std::size_t>(fed % layout.ring_frames);
        const std::uint64_t free = layout.ring_frames - (fed - p.consumed);
        std::size_t want_frames = static_cast<std::size_t>(std::min<std::uint64_t>(
            {layout.read_frames, layout.ring_frames - at, free, remaining / frame_bytes}));
        std::uint8_t tail[8 * kMaxSilenceChannels];
        std::uint8_t* into = ring + at * frame_bytes;
        std::size_t want = want_frames * frame_bytes;
        if (want == 0) {
            if (remaining == 0) break;
            // Less than a frame is left of the data: read to count it, then drop it.
            into = tail;
            want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, sizeof tail));
        }
        std::size_t n = 0;
        counts.error = ReadFullFrom(in, into, want, n);
        if (counts.error) {
            result = StreamResult::kReadFailed;
            break;
        }
        counts.read += n;
        remaining -= n;
        if (into != tail) {
            const std::size_t frames = n / frame_bytes;
            if (rule.automatic) {
                FeedPauseDetector(detector, into, frames, runs);
            } else {
                LabelByThreshold(rule, into, frames, runs);
            }
            fed += frames;
        }
        if (p.write_failed) break;
        if (n < want || remaining == 0 || into == tail) break;
    }
    if (result == StreamResult::kDone && !p.write_failed) {
        if (rule.automatic) {
            FinishPauseDetector(detector, runs);
            report.detector = detector.stats;
        }
        FinishPauseCutter(p.cutter, SpanSink{OnSpan, &p});
        EndCut(p);
        Release(p);
        Flush(p, true);
    }
    if (p.write_failed) result = StreamResult::kWriteFailed;
    return result;
}

}  // namespace tamberlyn
