#include "silence/shorten.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "media/media_file.h"
#include "runtime/failure.h"
#include "runtime/output_file.h"
#include "silence/pause_stream.h"
#include "wav/recording_format.h"
#include "wav/wav_input.h"
#include "wav/wav_sizes.h"

namespace tamberlyn {

namespace {

// The library's rule: 799 samples at the recorder's 8000 Hz.
constexpr double kDefaultKeepSeconds =
    static_cast<double>(kLibrarySilenceRule.keep) / RECORD_SAMPLE_RATE;
// What a read returns when the caller's progress function asked to stop.
constexpr SystemError kCancelled{INT_MIN};

// One run's memory: the buffer every pass reads, filters and copies through (as large as the
// library's, for the same reason), and the ring of the one-pass pause cutter: the detector's
// lookahead (3 s), the pad, the quiet not yet told a pause and the reads in flight. Only what a
// file's rate and channels need of the ring is ever touched. A few are static, lent one per run;
// more runs at once take theirs from the heap.
struct Workspace {
    std::uint8_t buffer[kLargeSilenceBufferBytes];
    std::uint8_t ring[16u << 20];
    char labels[64 * 1024];
};
constexpr int kStaticWorkspaces = 2;
alignas(4096) Workspace g_workspaces[kStaticWorkspaces];
std::atomic<bool> g_lent[kStaticWorkspaces];

struct WorkspaceLease {
    Workspace* space = nullptr;
    std::unique_ptr<Workspace> owned;
    int index = -1;
    WorkspaceLease() {
        for (int i = 0; i < kStaticWorkspaces && space == nullptr; ++i) {
            if (!g_lent[i].exchange(true, std::memory_order_acquire)) {
                index = i;
                space = &g_workspaces[i];
            }
        }
        if (space == nullptr) {
            owned.reset(new (std::nothrow) Workspace);
            space = owned.get();
        }
    }
    ~WorkspaceLease() {
        if (index >= 0) g_lent[index].store(false, std::memory_order_release);
    }
    WorkspaceLease(const WorkspaceLease&) = delete;
    WorkspaceLease& operator=(const WorkspaceLease&) = delete;
};

// What goes: the silence engine's rule where it is enough (a fixed threshold, no pad), the
// one-pass pause cutter otherwise.
struct Plan {
    SilenceRule silence;
    PauseRule pauses;
    bool cutter = false;
};

// Where the samples are in the input, and what follows them.
struct Extent {
    std::uint64_t limit = kToEndOfFile;  // sample bytes to read
    bool to_end = false;
    std::uint64_t skip_after = 0;  // the data chunk's pad byte
};

// The removed stretches, to the caller's function and as an Audacity label track:
// "start<TAB>end<TAB>label", seconds of the input with six decimals; the label is where in the
// output the cut lies.
struct CutList {
    const tamberlyn_shorten_options* options = nullptr;
    bool labels = false;
    Output out;
    std::uint32_t rate = 1;
    std::uint64_t removed = 0;  // frames cut before the current one
    char* text = nullptr;
    std::size_t capacity = 0;
    std::size_t used = 0;
    SystemError error;
};

tamberlyn_status FlushLabels(CutList& list) {
    if (!list.error && list.used > 0) {
        list.error = SinkOf(list.out).write(&list.out, list.text, list.used);
    }
    list.used = 0;
    if (list.error) return Fail(TAMBERLYN_E_WRITE, TAMBERLYN_FILE_LABELS, list.error);
    return TAMBERLYN_OK;
}

void OnCut(void* context, std::uint64_t first, std::uint64_t frames) {
    CutList& list = *static_cast<CutList*>(context);
    if (list.options->on_cut != nullptr) {
        list.options->on_cut(list.options->cut_context, first, first + frames);
    }
    if (!list.labels || list.error) {
        list.removed += frames;
        return;
    }
    if (list.capacity - list.used < 128 && list.used > 0) {
        list.error = SinkOf(list.out).write(&list.out, list.text, list.used);
        list.used = 0;
    }
    const double rate = list.rate;
    const int n =
        std::snprintf(list.text + list.used, list.capacity - list.used, "%.6f\t%.6f\tout %.6f\n",
                      first / rate, (first + frames) / rate, (first - list.removed) / rate);
    if (n > 0) list.used += static_cast<std::size_t>(n);
    list.removed += frames;
}

// The input read on from where it is, asking the caller's progress function between reads.
struct Progress {
    DataSource source;
    const tamberlyn_shorten_options* options;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

SystemError ReadWithProgress(void* context, void* data, std::size_t size, std::size_t& got) {
    Progress& p = *static_cast<Progress*>(context);
    got = 0;
    if (p.options->progress(p.options->progress_context, p.done, p.total) != 0) return kCancelled;
    const SystemError e = p.source.read(p.source.context, data, size, got);
    p.done += got;
    return e;
}

struct Run {
    SampleFormat format = SampleFormat::kS16;
    WavInput in;
    MediaFile* media = nullptr;  // an input of another type, decoded; `in.diagnosis.wav` its PCM
    Output out;
    CutList cuts;
    Workspace* space = nullptr;
    Plan plan;
    Extent extent;
    Progress progress;
    const tamberlyn_shorten_options* options = nullptr;
    tamberlyn_shorten_summary* summary = nullptr;
};

DataSource InputOf(Run& r) {
    r.progress.source = r.media != nullptr ? MediaSource(*r.media) : SequentialSource(r.in);
    if (r.options->progress == nullptr) return r.progress.source;
    return {ReadWithProgress, &r.progress};
}

tamberlyn_status ReadFailure(const Run& r, SystemError e) {
    if (r.media != nullptr && e.code == kMediaFailed.code) return MediaStatus(*r.media);
    if (e.code == kCancelled.code) {
        return Refuse(TAMBERLYN_E_CANCELLED, TAMBERLYN_FILE_NONE, "stopped by the caller");
    }
    return Fail(TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT, e);
}

StreamResult RunPass(Run& r, const DataSink& sink, std::uint64_t out_offset, bool report_cuts,
                     StreamCounts& counts, PauseReport& report) {
    const DataSource in = InputOf(r);
    if (!r.plan.cutter) {
        return FilterStream(in, r.extent.limit, r.plan.silence, sink, out_offset,
                            {r.space->buffer, sizeof r.space->buffer}, counts);
    }
    const CutSink cut_sink = {OnCut, &r.cuts};
    return CutPauses(in, r.extent.limit, r.plan.pauses, sink, out_offset,
                     report_cuts ? &cut_sink : nullptr, {r.space->ring, sizeof r.space->ring},
                     counts, report);
}

// Copies `bytes` of the input from `offset` to the output, setting the size fields of `patch`
// that lie in it on the way.
tamberlyn_status CopyInput(Run& r, std::uint64_t offset, std::uint64_t bytes,
                           const WavSizePatch* patch) {
    const WavSource source = SourceOf(r.in);
    std::uint8_t* const buffer = r.space->buffer;
    const DataSink sink = SinkOf(r.out);
    while (bytes > 0) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(bytes, sizeof r.space->buffer));
        std::size_t got = 0;
        if (const SystemError e = source.read_at(source.context, offset, buffer, want, got)) {
            return Fail(TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT, e);
        }
        if (got < want) {
            return Refuse(TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT,
                          "the file ended while it was read");
        }
        if (patch != nullptr) ApplyWavSizes(*patch, offset, buffer, got);
        if (const SystemError e = sink.write(sink.context, buffer, got)) {
            return Fail(TAMBERLYN_E_WRITE, r.out.role, e);
        }
        offset += got;
        bytes -= got;
    }
    return TAMBERLYN_OK;
}

// Copies what follows the data chunk in a stream, to its end (to the output, when given).
tamberlyn_status CopyRestOfStream(Run& r, bool keep, std::uint64_t& copied) {
    copied = 0;
    const DataSource in = SequentialSource(r.in);
    const DataSink sink = SinkOf(r.out);
    for (;;) {
        std::size_t got = 0;
        if (const SystemError e = ReadFullFrom(in, r.space->buffer, sizeof r.space->buffer, got)) {
            return Fail(TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT, e);
        }
        if (got == 0) return TAMBERLYN_OK;
        if (keep) {
            if (const SystemError e = sink.write(sink.context, r.space->buffer, got)) {
                return Fail(TAMBERLYN_E_WRITE, r.out.role, e);
            }
        }
        copied += got;
    }
}

void Summarise(Run& r, const StreamCounts& counts, const PauseReport& report) {
    tamberlyn_shorten_summary& s = *r.summary;
    const WavDescription& wav = r.in.diagnosis.wav;
    s.frames_in = wav.block_align > 0 ? counts.read / wav.block_align : 0;
    s.frames_out = wav.block_align > 0 ? counts.written / wav.block_align : 0;
    s.data_read = counts.read;
    s.cuts = report.cuts;
    if (r.plan.pauses.automatic) SummariseDetector(report.detector, s);
}

// Puts the output, and the label track with it, in place.
tamberlyn_status CommitAll(Run& r) {
    if (r.cuts.labels) {
        if (const tamberlyn_status s = FlushLabels(r.cuts)) return s;
    }
    if (const tamberlyn_status s = CommitOutput(r.out)) return s;
    if (r.cuts.labels) {
        if (const tamberlyn_status s = CommitOutput(r.cuts.out)) return s;
    }
    return TAMBERLYN_OK;
}

tamberlyn_status Write(Run& r) {
    const WavDescription& wav = r.in.diagnosis.wav;
    const Extent& extent = r.extent;
    // What follows the data (the pad byte, other chunks) in a file that can be measured, and what
    // was appended after its RIFF form (a tag), which stays outside the output's.
    std::uint64_t after = 0, appended = 0;
    if (r.in.seekable && !extent.to_end) {
        const std::uint64_t form_end = r.in.diagnosis.form_end;
        after = form_end - wav.data_offset - extent.limit;
        appended = r.in.file_size - form_end;
    }

    // When the output cannot be set at the end, its sizes are settled before the header.
    bool sizes_known = true;
    std::uint64_t data_out = 0;
    StreamCounts counts;
    PauseReport report;
    if (!r.out.seekable) {
        if (r.in.seekable) {
            r.in.position = wav.data_offset;
            if (RunPass(r, CountingSink(), 0, false, counts, report) != StreamResult::kDone) {
                return ReadFailure(r, counts.error);
            }
            data_out = counts.written;
        } else {
            sizes_known = false;
        }
    }
    // Chunks after the data come along only where a reader can find them: with known sizes.
    const std::uint64_t after_out = r.in.seekable && !extent.to_end ? after - extent.skip_after : 0;
    WavSizePatch sizes = WavSizesFor(wav, data_out, after_out, sizes_known);
    if (const tamberlyn_status s = CopyInput(r, 0, wav.data_offset, &sizes)) return s;

    r.in.position = wav.data_offset;
    counts = StreamCounts{};
    report = PauseReport{};
    const StreamResult result = RunPass(r, SinkOf(r.out), wav.data_offset, true, counts, report);
    Summarise(r, counts, report);
    if (result == StreamResult::kReadFailed) return ReadFailure(r, counts.error);
    if (result == StreamResult::kWriteFailed) {
        return Fail(TAMBERLYN_E_WRITE, r.out.role, counts.error);
    }
    if (result == StreamResult::kBufferTooSmall) {
        return Refuse(TAMBERLYN_E_NO_MEMORY, TAMBERLYN_FILE_NONE, "the work buffer is too small");
    }
    if (!extent.to_end && counts.read < extent.limit) {
        r.summary->warnings |= TAMBERLYN_WARN_DATA_CUT_SHORT;
    }

    // The chunks after the data, as they are.
    std::uint64_t trailing = 0;
    if (r.in.seekable && !extent.to_end) {
        if (const tamberlyn_status s = CopyInput(
                r, wav.data_offset + extent.limit + extent.skip_after, after_out, nullptr)) {
            return s;
        }
        trailing = after_out;
        if (appended > 0) {
            if (const tamberlyn_status s =
                    CopyInput(r, r.in.diagnosis.form_end, appended, nullptr)) {
                return s;
            }
            r.summary->warnings |= TAMBERLYN_WARN_APPENDED_KEPT;
            r.summary->appended_bytes = appended;
        }
    } else if (!extent.to_end) {
        if (extent.skip_after > 0) {
            std::uint8_t pad_byte;
            std::size_t got = 0;
            if (const SystemError e = ReadFullFrom(SequentialSource(r.in), &pad_byte, 1, got)) {
                return Fail(TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT, e);
            }
        }
        // With unknown sizes a reader takes everything after the header as samples.
        std::uint64_t rest = 0;
        if (const tamberlyn_status s = CopyRestOfStream(r, sizes_known, rest)) return s;
        if (!sizes_known && rest > 0) {
            r.summary->warnings |= TAMBERLYN_WARN_CHUNKS_LEFT_OUT;
            r.summary->chunks_left_out = rest;
        }
        trailing = sizes_known ? rest : 0;
    }

    if (r.out.seekable) {
        sizes = WavSizesFor(wav, counts.written, trailing);
        for (int i = 0; i < sizes.count; ++i) {
            const WavSizeField& f = sizes.fields[i];
            if (const SystemError e = WriteOutputAt(r.out, f.offset, f.bytes, f.width)) {
                return Fail(TAMBERLYN_E_WRITE, r.out.role, e);
            }
        }
    }
    return CommitAll(r);
}

// Another type of file: decoded, cut, encoded again. Its samples go through the same passes.
tamberlyn_status WriteMedia(Run& r, const NativeChar* output_path) {
    if (const tamberlyn_status s = StartMediaOutput(*r.media, output_path, r.out)) return s;
    StreamCounts counts;
    PauseReport report;
    const StreamResult result = RunPass(r, MediaSink(*r.media), 0, true, counts, report);
    Summarise(r, counts, report);
    if (result == StreamResult::kReadFailed) return ReadFailure(r, counts.error);
    if (result == StreamResult::kWriteFailed) return MediaStatus(*r.media);
    if (result == StreamResult::kBufferTooSmall) {
        return Refuse(TAMBERLYN_E_NO_MEMORY, TAMBERLYN_FILE_NONE, "the work buffer is too small");
    }
    if (const tamberlyn_status s = FinishMediaOutput(*r.media)) return s;
    return CommitAll(r);
}

// The sample format of `wav`, when the engine takes it.
bool SampleFormatOf(const WavDescription& wav, SampleFormat& format) {
    switch (SampleBytesOf(wav)) {
        case 1:
            format = SampleFormat::kU8;  // 8-bit PCM is unsigned
            return true;
        case 2:
            format = SampleFormat::kS16;
            return true;
        case 3:
            format = SampleFormat::kS24;
            return true;
        case 4:
            format = wav.format_tag == kWavFormatFloat ? SampleFormat::kF32 : SampleFormat::kS32;
            return true;
        case 8:
            format = SampleFormat::kF64;
            return true;
        default:
            return false;
    }
}

// Refuses what the engine cannot take, or a file whose sizes cannot be trusted; otherwise says
// where its samples are.
tamberlyn_status Admit(Run& r) {
    const WavDiagnosis& d = r.in.diagnosis;
    switch (d.state) {
        case WavState::kNotWav:
            return Refuse(TAMBERLYN_E_NOT_WAV, TAMBERLYN_FILE_INPUT, "%s", HeadRefusal(r.in));
        case WavState::kUnfinishedRecording:
            return Refuse(TAMBERLYN_E_UNFINISHED, TAMBERLYN_FILE_INPUT,
                          "an unfinished recording (%s)",
                          d.placeholder ? "its header was never written"
                                        : "its header is an earlier recording's");
        case WavState::kUndecidable:
            return Refuse(TAMBERLYN_E_UNDECIDABLE, TAMBERLYN_FILE_INPUT,
                          "its sizes disagree with its length: %s", d.why);
        default:
            break;
    }
    const unsigned channels = d.wav.channels;
    if (!SampleFormatOf(d.wav, r.format) || channels > static_cast<unsigned>(kMaxSilenceChannels)) {
        const unsigned bits = d.wav.bits_per_sample;
        const bool known = (d.wav.format_tag == kWavFormatPcm &&
                            (bits == 8 || bits == 16 || bits == 24 || bits == 32)) ||
                           (d.wav.format_tag == kWavFormatFloat && (bits == 32 || bits == 64));
        const char* why =
            !known ? "only PCM (8, 16, 24 or 32 bits) and float (32 or 64 bits) are supported"
            : channels < 1 || channels > static_cast<unsigned>(kMaxSilenceChannels)
                ? "only 1 to 8 channels are supported"
                : "the format chunk's sample rate or block alignment is wrong";
        char format[96];
        DescribeFormatLine(d.wav, format, sizeof format);
        return Refuse(TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_INPUT, "%s: %s", format, why);
    }
    // The samples run to the end where the data size cannot say where they end.
    Extent& extent = r.extent;
    extent.to_end = d.state == WavState::kUnknownLength || d.data_wrong;
    if (extent.to_end) {
        r.summary->warnings |= TAMBERLYN_WARN_DATA_SIZE_UNUSABLE;
        extent.limit = kToEndOfFile;
    } else {
        extent.limit = d.wav.data_size;
        extent.skip_after = d.wav.data_size & 1u;
        if (r.in.seekable) {
            extent.skip_after = std::min<std::uint64_t>(
                extent.skip_after, r.in.file_size - d.wav.data_offset - d.wav.data_size);
        }
    }
    return TAMBERLYN_OK;
}

// The same file under another name, or through a link, would be lost as it is read.
bool SameFileAs(const WavInput& in, const NativeChar* path) {
    FileInfo out;
    return path != nullptr && in.info.kind == FileKind::kRegular && in.info.identified &&
           !InfoAt(path, out) && SameFile(in.info, out);
}

void Describe(Run& r) {
    tamberlyn_shorten_summary& s = *r.summary;
    const WavDescription& wav = r.in.diagnosis.wav;
    DescribeWavFormat(wav, s.format, sizeof s.format);
    s.rate = wav.sample_rate;
    s.channels = wav.channels;
    s.frame_bytes = wav.block_align;
    s.data_declared = wav.data_size;
    s.automatic = r.options->pauses->threshold == TAMBERLYN_THRESHOLD_AUTO;
}

// The decoded samples described as a WAV file's, for the passes and the summary.
void DescribeMedia(Run& r, const MediaAudio& audio) {
    WavDescription& wav = r.in.diagnosis.wav;
    const auto bytes = static_cast<std::uint16_t>(SampleBytes(audio.format));
    wav.format_tag = audio.format == SampleFormat::kF32 || audio.format == SampleFormat::kF64
                         ? kWavFormatFloat
                         : kWavFormatPcm;
    wav.bits_per_sample = static_cast<std::uint16_t>(8 * bytes);
    wav.channels = audio.channels;
    wav.sample_rate = audio.rate;
    wav.block_align = static_cast<std::uint16_t>(bytes * audio.channels);
    r.format = audio.format;
    r.extent.limit = kToEndOfFile;
    r.extent.to_end = true;
    Describe(r);
    tamberlyn_shorten_summary& s = *r.summary;
    std::snprintf(s.format, sizeof s.format, "%s", audio.codec);
    s.data_declared = 0;
    r.progress.total = audio.frames_estimate * wav.block_align;
}

tamberlyn_status Decide(Run& r) {
    const WavDescription& wav = r.in.diagnosis.wav;
    const tamberlyn_pause_options& o = *r.options->pauses;
    const bool automatic = o.threshold == TAMBERLYN_THRESHOLD_AUTO;
    const std::uint32_t rate = wav.sample_rate;
    std::uint64_t keep, pad;
    PauseFrames(o, rate, keep, pad);
    Plan& plan = r.plan;
    plan.silence.channels = wav.channels;
    plan.silence.threshold = automatic ? QUIET_THRESHOLD : o.threshold;
    plan.silence.keep = static_cast<std::int32_t>(keep);
    plan.pauses.format = r.format;
    plan.pauses.channels = wav.channels;
    plan.pauses.rate = rate;
    plan.pauses.automatic = automatic;
    plan.pauses.threshold = plan.silence.threshold;
    plan.pauses.keep = keep;
    plan.pauses.pad = pad;
    const bool labels = r.options->labels_path != nullptr || r.options->labels_stream != nullptr;
    // The silence engine's block loops are for 16-bit samples; the cutter takes every format.
    plan.cutter = automatic || pad > 0 || labels || r.options->on_cut != nullptr ||
                  r.format != SampleFormat::kS16;
    const std::uint64_t max_pad = MaxPauseRulePad(sizeof r.space->ring, plan.pauses);
    if (pad > max_pad) {
        return Refuse(TAMBERLYN_E_PAD_TOO_LONG, TAMBERLYN_FILE_NONE,
                      "at most %.2f s at %u Hz with %u channel%s",
                      static_cast<double>(max_pad) / rate, static_cast<unsigned>(rate),
                      static_cast<unsigned>(wav.channels), wav.channels == 1 ? "" : "s");
    }
    return TAMBERLYN_OK;
}

tamberlyn_status OpenEnds(Run& r, const ShortenEnds& ends) {
    const tamberlyn_shorten_options& o = *r.options;
    if (SameFileAs(r.in, ends.output_path)) {
        return Refuse(TAMBERLYN_E_SAME_FILE, TAMBERLYN_FILE_OUTPUT,
                      "is the input file itself; nothing was written");
    }
    if (SameFileAs(r.in, o.labels_path)) {
        return Refuse(TAMBERLYN_E_SAME_FILE, TAMBERLYN_FILE_LABELS,
                      "is the input file itself; nothing was written");
    }
    const tamberlyn_status opened =
        ends.output != nullptr ? OpenOutputStream(ends.output, TAMBERLYN_FILE_OUTPUT, r.out)
                               : OpenOutputFile(ends.output_path, TAMBERLYN_FILE_OUTPUT, r.out);
    if (opened != TAMBERLYN_OK) return opened;
    r.cuts.options = &o;
    r.cuts.rate = r.in.diagnosis.wav.sample_rate;
    r.cuts.text = r.space->labels;
    r.cuts.capacity = sizeof r.space->labels;
    r.cuts.labels = o.labels_path != nullptr || o.labels_stream != nullptr;
    if (!r.cuts.labels) return TAMBERLYN_OK;
    const tamberlyn_status labels =
        o.labels_stream != nullptr
            ? OpenOutputStream(o.labels_stream, TAMBERLYN_FILE_LABELS, r.cuts.out)
            : OpenOutputFile(o.labels_path, TAMBERLYN_FILE_LABELS, r.cuts.out);
    if (labels != TAMBERLYN_OK) AbandonOutput(r.out);
    return labels;
}

}  // namespace

void SummariseDetector(const PauseDetectorStats& d, tamberlyn_shorten_summary& s) {
    // Where every pause was digital silence, no noise was there to measure: its level is none.
    const bool digital = d.separable_windows == 0 && d.still_windows + d.digital_windows > 0;
    s.background_low_dbfs = digital ? -HUGE_VAL : d.lowest_floor_db;
    s.background_high_dbfs = digital ? -HUGE_VAL : d.highest_floor_db;
    const double windows = d.windows > 0 ? static_cast<double>(d.windows) : 1.0;
    s.separable_share =
        d.windows > 0
            ? static_cast<double>(d.separable_windows + d.digital_windows + d.still_windows) /
                  windows
            : 1.0;
    s.digital_silence_share = static_cast<double>(d.still_windows) / windows;
}

std::int64_t FramesOf(double seconds, std::uint32_t rate) {
    const double frames = std::round(seconds * rate);
    return frames > kMaxSilenceKeep ? kMaxSilenceKeep : static_cast<std::int64_t>(frames);
}

void PauseFrames(const tamberlyn_pause_options& o, std::uint32_t rate, std::uint64_t& keep,
                 std::uint64_t& pad) {
    const bool automatic = o.threshold == TAMBERLYN_THRESHOLD_AUTO;
    keep = static_cast<std::uint64_t>(FramesOf(o.keep >= 0 ? o.keep
                                               : automatic ? kAutoKeepSeconds
                                                           : kDefaultKeepSeconds,
                                               rate));
    pad = static_cast<std::uint64_t>(FramesOf(o.pad >= 0  ? o.pad
                                              : automatic ? kAutoPadSeconds
                                                          : 0.0,
                                              rate));
}

tamberlyn_status Shorten(const ShortenEnds& ends, const tamberlyn_shorten_options& options,
                         tamberlyn_shorten_summary& summary) {
    const WorkspaceLease lease;
    if (lease.space == nullptr) {
        return Refuse(TAMBERLYN_E_NO_MEMORY, TAMBERLYN_FILE_NONE, "no memory for the work");
    }
    Run r;
    r.space = lease.space;
    r.options = &options;
    r.summary = &summary;
    r.progress.options = &options;

    tamberlyn_status status = ends.input != nullptr ? OpenWavStream(ends.input, r.in)
                                                    : OpenWavFile(ends.input_path, r.in);
    if (status != TAMBERLYN_OK) return status;
    // A file of another type, or one to be written as another type, goes through the codecs.
    const WavHead head = r.in.diagnosis.head;
    const bool other_input = r.in.diagnosis.state == WavState::kNotWav &&
                             (head == WavHead::kNotRiff || head == WavHead::kRf64);
    const bool other_output = ends.output_path != nullptr && IsMediaOutputName(ends.output_path);
    if (ends.input == nullptr && r.in.seekable && r.in.file_size > 0 &&
        (other_input || other_output)) {
        MediaAudio audio;
        status = OpenMedia(ends.input_path, r.media, audio);
        if (status == TAMBERLYN_OK) {
            DescribeMedia(r, audio);
        } else if (status != TAMBERLYN_E_NOT_WAV || !other_input) {
            // A WAV file the codecs cannot read: say why it is no WAV to convert, if it is not.
            if (status == TAMBERLYN_E_NOT_WAV) {
                Describe(r);
                status = Admit(r);
                if (status == TAMBERLYN_OK && MediaAvailable()) {
                    status = Refuse(TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_INPUT,
                                    "FFmpeg here cannot read this WAV file to convert it");
                } else if (status == TAMBERLYN_OK) {
                    status = Refuse(TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_OUTPUT,
                                    "other audio types need FFmpeg's libraries, not found here: "
                                    "name the output .wav");
                }
            }
            CloseWavInput(r.in);
            return status;
        }
    }
    if (r.media == nullptr) {
        Describe(r);
        r.progress.total = r.in.seekable ? r.in.file_size : 0;
        status = Admit(r);
    } else if (ends.output_path == nullptr) {
        status = Refuse(TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_OUTPUT,
                        "%s audio is written to a named file only, whose extension says its type",
                        r.summary->format);
    }
    if (status == TAMBERLYN_OK) status = Decide(r);
    if (status == TAMBERLYN_OK) status = OpenEnds(r, ends);
    if (status == TAMBERLYN_OK) {
        status = r.media != nullptr ? WriteMedia(r, ends.output_path) : Write(r);
        if (status != TAMBERLYN_OK) {
            AbandonOutput(r.out);
            if (r.cuts.labels) AbandonOutput(r.cuts.out);
        }
    }
    CloseMedia(r.media);
    CloseWavInput(r.in);
    return status;
}

}  // namespace tamberlyn
