// Shortening the pauses of a whole WAV file or stream: its chunks kept in order, its samples cut
// by the silence engine's rule or the pause cutter, its sizes set true, the cuts reported.
#pragma once

#include "runtime/native_file.h"
#include "silence/pause_detector.h"
#include "tamberlyn_engine.h"

namespace tamberlyn {

// The input and the output: each a file by name or a caller's stream.
struct ShortenEnds {
    const NativeChar* input_path = nullptr;
    const tamberlyn_stream* input = nullptr;
    const NativeChar* output_path = nullptr;
    const tamberlyn_stream* output = nullptr;
};

// `options` are checked by the caller. `summary` is filled as far as the run got.
tamberlyn_status Shorten(const ShortenEnds& ends, const tamberlyn_shorten_options& options,
                         tamberlyn_shorten_summary& summary);

// What the detector of an automatic run found, into the summary: the background's range, and
// the shares of the recording where pauses could be told and that were digital silence.
void SummariseDetector(const PauseDetectorStats& stats, tamberlyn_shorten_summary& summary);

// Frames for `seconds` at `rate`, within what the rules can count.
std::int64_t FramesOf(double seconds, std::uint32_t rate);

// The keep and pad the options ask for at `rate`, defaults filled in.
void PauseFrames(const tamberlyn_pause_options& options, std::uint32_t rate, std::uint64_t& keep,
                 std::uint64_t& pad);

}  // namespace tamberlyn
