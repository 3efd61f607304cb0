// The engine library's pause shortening: whole files and streams, and the pause detector over
// frames in memory.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "boundary/engine_records.h"
#include "silence/pause_cutter.h"
#include "silence/pause_stream.h"
#include "silence/shorten.h"

namespace tamberlyn {

namespace {

tamberlyn_pause_options DefaultPauses() {
    tamberlyn_pause_options o = Fresh<tamberlyn_pause_options>();
    o.threshold = QUIET_THRESHOLD;
    o.keep = -1.0;
    o.pad = -1.0;
    return o;
}

tamberlyn_shorten_options DefaultShorten() { return Fresh<tamberlyn_shorten_options>(); }

// The caller's pause options over the defaults, checked.
bool ReadPauses(const tamberlyn_pause_options* in, tamberlyn_pause_options& o) {
    o = DefaultPauses();
    if (in != nullptr && !ReadRecord(in, o)) return false;
    return (o.threshold == TAMBERLYN_THRESHOLD_AUTO ||
            (o.threshold >= 1 && o.threshold <= kMaxSilenceThreshold)) &&
           !std::isnan(o.keep) && !std::isnan(o.pad);
}

bool FormatOf(int sample_format, SampleFormat& format) {
    switch (sample_format) {
        case TAMBERLYN_SAMPLES_S16:
            format = SampleFormat::kS16;
            return true;
        case TAMBERLYN_SAMPLES_U8:
            format = SampleFormat::kU8;
            return true;
        case TAMBERLYN_SAMPLES_S24:
            format = SampleFormat::kS24;
            return true;
        case TAMBERLYN_SAMPLES_S32:
            format = SampleFormat::kS32;
            return true;
        case TAMBERLYN_SAMPLES_F32:
            format = SampleFormat::kF32;
            return true;
        case TAMBERLYN_SAMPLES_F64:
            format = SampleFormat::kF64;
            return true;
        default:
            return false;
    }
}

// A plain decimal number: digits with an optional sign and fraction, nothing else.
bool ScanDecimal(const char* text, double& value, const char*& rest) {
    const char* p = text;
    if (*p == '-' || *p == '+') ++p;
    const char* digits = p;
    while (*p >= '0' && *p <= '9') ++p;
    bool any = p > digits;
    if (*p == '.') {
        const char* fraction = ++p;
        while (*p >= '0' && *p <= '9') ++p;
        any = any || p > fraction;
    }
    if (!any) return false;
    value = std::strtod(text, nullptr);
    rest = p;
    return std::isfinite(value);
}

bool SameLetters(const char* a, const char* lower) {
    for (; *a != '\0' && *lower != '\0'; ++a, ++lower) {
        const char c = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
        if (c != *lower) return false;
    }
    return *a == *lower;
}

}  // namespace

}  // namespace tamberlyn

using namespace tamberlyn;

extern "C" {

TAMBERLYN_ENGINE_API void TAMBERLYN_CALL
tamberlyn_pause_options_init(tamberlyn_pause_options* options) {
    if (options != nullptr) *options = DefaultPauses();
}

TAMBERLYN_ENGINE_API void TAMBERLYN_CALL
tamberlyn_shorten_options_init(tamberlyn_shorten_options* options) {
    if (options != nullptr) *options = DefaultShorten();
}

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_parse_threshold(const char* text, tamberlyn_int32* out) {
    if (text == nullptr || out == nullptr) return BadArgument("no threshold given");
    if (SameLetters(text, "auto")) {
        *out = TAMBERLYN_THRESHOLD_AUTO;
        return TAMBERLYN_OK;
    }
    double value;
    const char* rest;
    bool ok = ScanDecimal(text, value, rest);
    double magnitude = value;
    if (ok) {
        while (*rest == ' ') ++rest;
        if (SameLetters(rest, "db") || SameLetters(rest, "dbfs")) {
            magnitude = std::round(kPcm16FullScale * std::pow(10.0, value / 20.0));
        } else if (*rest != '\0' || value != std::floor(value) || text[0] == '+') {
            ok = false;
        }
    }
    if (!ok || magnitude < 1 || magnitude > kMaxSilenceThreshold) {
        return Refuse(TAMBERLYN_E_ARGUMENT, TAMBERLYN_FILE_NONE,
                      "give 1..32768, decibels such as -40dB, or auto");
    }
    *out = static_cast<tamberlyn_int32>(magnitude);
    return TAMBERLYN_OK;
}

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_shorten(const tamberlyn_path_char* input_path, const tamberlyn_stream* input,
                  const tamberlyn_path_char* output_path, const tamberlyn_stream* output,
                  const tamberlyn_shorten_options* options, tamberlyn_shorten_summary* summary) {
    return Guarded([&]() -> tamberlyn_status {
        tamberlyn_shorten_options o = DefaultShorten();
        if (options != nullptr && !ReadRecord(options, o)) return BadArgument("bad options size");
        tamberlyn_pause_options pauses;
        if (!ReadPauses(o.pauses, pauses)) return BadArgument("a pause option is out of range");
        o.pauses = &pauses;
        if ((input_path == nullptr) == (input == nullptr) ||
            (output_path == nullptr) == (output == nullptr)) {
            return BadArgument("give a file or a stream for each of the input and the output");
        }
        if ((input != nullptr && input->read == nullptr) ||
            (output != nullptr && output->write == nullptr) ||
            (o.labels_stream != nullptr && o.labels_stream->write == nullptr) ||
            (o.labels_path != nullptr && o.labels_stream != nullptr)) {
            return BadArgument("a stream lacks the function it needs");
        }
        ShortenEnds ends;
        ends.input_path = input_path;
        ends.input = input;
        ends.output_path = output_path;
        ends.output = output;
        tamberlyn_shorten_summary s = Fresh<tamberlyn_shorten_summary>();
        const tamberlyn_status status = Shorten(ends, o, s);
        WriteRecord(s, summary);
        return status;
    });
}

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL tamberlyn_shorten_file(
    const tamberlyn_path_char* input, const tamberlyn_path_char* output,
    const tamberlyn_shorten_options* options, tamberlyn_shorten_summary* summary) {
    if (input == nullptr || output == nullptr) return BadArgument("no file name given");
    return tamberlyn_shorten(input, nullptr, output, nullptr, options, summary);
}

}  // extern "C"

// The detector over frames in memory: the pause cutter's decisions without the data.
struct tamberlyn_detector {
    PauseRule rule;
    PauseDetector detector;
    PauseCutter cutter;
    tamberlyn_cut_function on_cut = nullptr;
    void* context = nullptr;
    std::uint64_t consumed = 0;  // frames decided
    std::uint64_t cut_first = 0;
    std::uint64_t cut_frames = 0;
    std::uint64_t cuts = 0;
    std::uint64_t frames_cut = 0;
    bool finished = false;
};

namespace {

void EndCut(tamberlyn_detector& d) {
    if (d.cut_frames == 0) return;
    ++d.cuts;
    d.frames_cut += d.cut_frames;
    if (d.on_cut != nullptr) d.on_cut(d.context, d.cut_first, d.cut_first + d.cut_frames);
    d.cut_frames = 0;
}

void OnSpan(void* context, std::uint64_t frames, bool keep) {
    tamberlyn_detector& d = *static_cast<tamberlyn_detector*>(context);
    if (keep) {
        EndCut(d);
    } else {
        if (d.cut_frames == 0) d.cut_first = d.consumed;
        d.cut_frames += frames;
    }
    d.consumed += frames;
}

void OnRun(void* context, std::uint64_t frames, Verdict kind) {
    tamberlyn_detector& d = *static_cast<tamberlyn_detector*>(context);
    CutRun(d.cutter, frames, kind, SpanSink{OnSpan, &d});
}

}  // namespace

extern "C" {

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_detector_create_for(tamberlyn_uint32 rate, tamberlyn_uint32 channels, int sample_format,
                              const tamberlyn_pause_options* options, tamberlyn_cut_function on_cut,
                              void* context, tamberlyn_detector** detector) {
    return Guarded([&]() -> tamberlyn_status {
        if (detector == nullptr) return BadArgument("nowhere to put the detector");
        *detector = nullptr;
        tamberlyn_pause_options o;
        if (!ReadPauses(options, o)) return BadArgument("a pause option is out of range");
        if (rate == 0 || channels < 1 || channels > kMaxSilenceChannels) {
            return BadArgument("give a rate above 0 and 1 to 8 channels");
        }
        SampleFormat format;
        if (!FormatOf(sample_format, format)) return BadArgument("no such sample format");
        std::unique_ptr<tamberlyn_detector> d(new (std::nothrow) tamberlyn_detector);
        if (!d) return Refuse(TAMBERLYN_E_NO_MEMORY, TAMBERLYN_FILE_NONE, "out of memory");
        std::uint64_t keep, pad;
        PauseFrames(o, rate, keep, pad);
        d->rule.format = format;
        d->rule.channels = static_cast<int>(channels);
        d->rule.rate = rate;
        d->rule.automatic = o.threshold == TAMBERLYN_THRESHOLD_AUTO;
        d->rule.threshold = d->rule.automatic ? QUIET_THRESHOLD : o.threshold;
        d->rule.keep = keep;
        d->rule.pad = pad;
        d->on_cut = on_cut;
        d->context = context;
        StartPauseCutter(d->cutter, keep, pad, UntoldFrames(d->rule));
        if (d->rule.automatic) {
            StartPauseDetector(d->detector, rate, static_cast<int>(channels),
                               kPauseLookaheadWindows, format);
        }
        *detector = d.release();
        return TAMBERLYN_OK;
    });
}

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL tamberlyn_detector_create(
    tamberlyn_uint32 rate, tamberlyn_uint32 channels, const tamberlyn_pause_options* options,
    tamberlyn_cut_function on_cut, void* context, tamberlyn_detector** detector) {
    return tamberlyn_detector_create_for(rate, channels, TAMBERLYN_SAMPLES_S16, options, on_cut,
                                         context, detector);
}

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_detector_feed_frames(tamberlyn_detector* d, const void* frames, size_t count) {
    if (d == nullptr || (frames == nullptr && count > 0)) return BadArgument("no detector");
    if (d->finished) return BadArgument("the detector has finished");
    const auto* bytes = static_cast<const std::uint8_t*>(frames);
    const RunSink runs = {OnRun, d};
    if (d->rule.automatic) {
        FeedPauseDetector(d->detector, bytes, count, runs);
    } else {
        LabelByThreshold(d->rule, bytes, count, runs);
    }
    return TAMBERLYN_OK;
}

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_detector_feed(tamberlyn_detector* d, const tamberlyn_int16* samples, size_t frames) {
    if (d != nullptr && d->rule.format != SampleFormat::kS16) {
        return BadArgument("the detector takes frames of another sample format");
    }
    return tamberlyn_detector_feed_frames(d, samples, frames);
}

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_detector_finish(tamberlyn_detector* d, tamberlyn_shorten_summary* summary) {
    if (d == nullptr) return BadArgument("no detector");
    if (d->finished) return BadArgument("the detector has finished");
    d->finished = true;
    if (d->rule.automatic) FinishPauseDetector(d->detector, RunSink{OnRun, d});
    FinishPauseCutter(d->cutter, SpanSink{OnSpan, d});
    EndCut(*d);
    tamberlyn_shorten_summary s = Fresh<tamberlyn_shorten_summary>();
    static const char* const kNames[] = {"8-bit PCM",  "16-bit PCM",   "24-bit PCM",
                                         "32-bit PCM", "32-bit float", "64-bit float"};
    std::snprintf(s.format, sizeof s.format, "%s", kNames[static_cast<int>(d->rule.format)]);
    s.rate = d->rule.rate;
    s.channels = static_cast<tamberlyn_uint32>(d->rule.channels);
    s.frame_bytes = static_cast<tamberlyn_uint32>(FrameBytes(d->rule));
    s.frames_in = d->consumed;
    s.frames_out = d->consumed - d->frames_cut;
    s.cuts = d->cuts;
    s.automatic = d->rule.automatic;
    s.data_read = d->consumed * s.frame_bytes;
    s.data_declared = s.data_read;
    if (d->rule.automatic) SummariseDetector(d->detector.stats, s);
    WriteRecord(s, summary);
    return TAMBERLYN_OK;
}

TAMBERLYN_ENGINE_API void TAMBERLYN_CALL tamberlyn_detector_free(tamberlyn_detector* d) {
    delete d;
}

}  // extern "C"
