// Media through FFmpeg's libraries: libavformat reads and writes the containers, libavcodec
// decodes and encodes, libswresample turns the kept frames into the encoder's sample format.
// Every call goes through Ff(); nothing here runs before it has the libraries.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "media/media_file.h"
#include "runtime/failure.h"

#include "media/ffmpeg_library.h"

namespace tamberlyn {

namespace {

// The libraries, loaded the first time they are asked for; null when they are not installed.
const FFmpeg* Ff() {
    static const FFmpeg* const loaded = LoadFFmpeg();
    return loaded;
}

// How much of the file the container is recognised by, and the least certainty accepted: a
// guess from a few bytes that happen to look like an MP3 frame is not a recording.
constexpr int kProbeBytes = 1 << 20;
constexpr int kLeastProbeScore = AVPROBE_SCORE_EXTENSION / 2;
// Frames handed to an encoder that takes any number at once.
constexpr int kVariableFrameSamples = 4096;
constexpr int kOutputBufferBytes = 1 << 16;

bool FormatOf(AVSampleFormat f, SampleFormat& out) {
    switch (Ff()->av_get_packed_sample_fmt(f)) {
        case AV_SAMPLE_FMT_U8:
            out = SampleFormat::kU8;
            return true;
        case AV_SAMPLE_FMT_S16:
            out = SampleFormat::kS16;
            return true;
        case AV_SAMPLE_FMT_S32:
            out = SampleFormat::kS32;
            return true;
        case AV_SAMPLE_FMT_FLT:
            out = SampleFormat::kF32;
            return true;
        case AV_SAMPLE_FMT_DBL:
            out = SampleFormat::kF64;
            return true;
        default:
            return false;
    }
}

void QuietLibraries() {
    static std::once_flag once;
    // FFmpeg talks on standard error unless told otherwise; a library does not. A host that
    // chose a level of its own keeps it.
    std::call_once(once, [] {
        if (Ff()->av_log_get_level() == AV_LOG_INFO) Ff()->av_log_set_level(AV_LOG_QUIET);
    });
}

const char* CodecName(AVCodecID id) {
    const AVCodecDescriptor* d = Ff()->avcodec_descriptor_get(id);
    return d != nullptr ? d->name : "unknown";
}

}  // namespace

struct MediaFile {
    // The input.
    AVFormatContext* in = nullptr;
    AVCodecContext* decoder = nullptr;
    int stream = -1;
    AVPacket* packet = nullptr;
    AVFrame* decoded = nullptr;
    AVSampleFormat packed = AV_SAMPLE_FMT_NONE;  // the decoded format, interleaved
    int channels = 0;
    std::size_t frame_bytes = 0;
    std::vector<std::uint8_t> pending;  // decoded frames not yet read
    std::size_t pending_at = 0;
    bool draining = false, ended = false;

    // The output.
    Output* out = nullptr;
    AVFormatContext* container = nullptr;
    AVIOContext* io = nullptr;
    std::uint64_t io_at = 0;
    AVCodecContext* encoder = nullptr;
    AVStream* audio_out = nullptr;
    SwrContext* convert = nullptr;
    AVFrame* encoded = nullptr;
    AVPacket* output_packet = nullptr;
    int frame_samples = 0;             // the encoder's frame
    std::vector<std::uint8_t> staged;  // kept frames waiting for a whole encoder frame
    std::int64_t next_pts = 0;
    bool header_written = false;

    tamberlyn_status status = TAMBERLYN_OK;
};

namespace {

// Records a failure of FFmpeg's with its own text, and keeps it for MediaStatus.
tamberlyn_status Failed(MediaFile& m, tamberlyn_status status, int file, const char* what,
                        int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    Ff()->av_strerror(code, text, sizeof text);
    m.status = Refuse(status, file, "%s: %s", what, text);
    return m.status;
}

tamberlyn_status Refused(MediaFile& m, tamberlyn_status status, int file, const char* why) {
    m.status = Refuse(status, file, "%s", why);
    return m.status;
}

// Appends a decoded frame to the pending bytes, interleaved.
bool Interleave(MediaFile& m, const AVFrame& frame) {
    if (Ff()->av_get_packed_sample_fmt(static_cast<AVSampleFormat>(frame.format)) != m.packed ||
        frame.ch_layout.nb_channels != m.channels) {
        return false;
    }
    const std::size_t bytes = static_cast<std::size_t>(frame.nb_samples) * m.frame_bytes;
    if (m.pending_at == m.pending.size()) {
        m.pending.clear();
        m.pending_at = 0;
    }
    const std::size_t at = m.pending.size();
    m.pending.resize(at + bytes);
    std::uint8_t* to = m.pending.data() + at;
    if (!Ff()->av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame.format))) {
        std::memcpy(to, frame.extended_data[0], bytes);
        return true;
    }
    const std::size_t sample = m.frame_bytes / static_cast<std::size_t>(m.channels);
    for (int c = 0; c < m.channels; ++c) {
        const std::uint8_t* from = frame.extended_data[c];
        std::uint8_t* p = to + static_cast<std::size_t>(c) * sample;
        for (int i = 0; i < frame.nb_samples; ++i, from += sample, p += m.frame_bytes) {
            std::memcpy(p, from, sample);
        }
    }
    return true;
}

// The next decoded frame into `m.decoded`: 1, 0 at the end of the audio, -1 on a failure
// (recorded).
int NextFrame(MediaFile& m) {
    for (;;) {
        int r = Ff()->avcodec_receive_frame(m.decoder, m.decoded);
        if (r == 0) return 1;
        if (r == AVERROR_EOF) return 0;
        if (r != AVERROR(EAGAIN)) {
            Failed(m, TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT, "decoding failed", r);
            return -1;
        }
        r = Ff()->av_read_frame(m.in, m.packet);
        if (r == AVERROR_EOF) {
            Ff()->avcodec_send_packet(m.decoder, nullptr);
            continue;
        }
        if (r < 0) {
            Failed(m, TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT, "reading failed", r);
            return -1;
        }
        if (m.packet->stream_index == m.stream) {
            r = Ff()->avcodec_send_packet(m.decoder, m.packet);
            // A damaged packet is skipped, as players skip it; a failure of the decoder is not.
            if (r < 0 && r != AVERROR_INVALIDDATA && r != AVERROR(EAGAIN)) {
                Ff()->av_packet_unref(m.packet);
                Failed(m, TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT, "decoding failed", r);
                return -1;
            }
        }
        Ff()->av_packet_unref(m.packet);
    }
}

// Decodes until a frame is pending or the input has ended.
bool DecodeMore(MediaFile& m) {
    const int next = NextFrame(m);
    if (next <= 0) {
        m.ended = next == 0;
        return next == 0;
    }
    const bool same = Interleave(m, *m.decoded);
    Ff()->av_frame_unref(m.decoded);
    if (!same) {
        Refused(m, TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_INPUT,
                "the audio changes its sample format or channels partway");
    }
    return same;
}

SystemError ReadDecoded(void* context, void* data, std::size_t size, std::size_t& got) {
    MediaFile& m = *static_cast<MediaFile*>(context);
    auto* to = static_cast<std::uint8_t*>(data);
    got = 0;
    while (got < size) {
        if (m.pending_at < m.pending.size()) {
            const std::size_t n = std::min(size - got, m.pending.size() - m.pending_at);
            std::memcpy(to + got, m.pending.data() + m.pending_at, n);
            m.pending_at += n;
            got += n;
            continue;
        }
        if (m.ended) break;
        if (!DecodeMore(m)) return kMediaFailed;
    }
    return {};
}

int WriteOut(void* opaque, std::uint8_t* data, int size) {
    MediaFile& m = *static_cast<MediaFile*>(opaque);
    const SystemError e = m.out->seekable
                              ? WriteOutputAt(*m.out, m.io_at, data, static_cast<std::size_t>(size))
                              : SinkOf(*m.out).write(m.out, data, static_cast<std::size_t>(size));
    if (e) {
        m.status = Fail(TAMBERLYN_E_WRITE, m.out->role, e);
        return AVERROR(EIO);
    }
    m.io_at += static_cast<std::uint64_t>(size);
    return size;
}

std::int64_t SeekOut(void* opaque, std::int64_t offset, int whence) {
    MediaFile& m = *static_cast<MediaFile*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += static_cast<std::int64_t>(m.io_at);
            break;
        default:  // the size, or from the end: not known here
            return AVERROR(ENOSYS);
    }
    if (offset < 0) return AVERROR(EINVAL);
    m.io_at = static_cast<std::uint64_t>(offset);
    return offset;
}

// A write of the container's that failed: the output's own failure where that was it, else
// FFmpeg's.
tamberlyn_status WriteFailed(MediaFile& m, int code) {
    if (m.status != TAMBERLYN_OK) return m.status;
    return Failed(m, TAMBERLYN_E_WRITE, TAMBERLYN_FILE_OUTPUT, "writing failed", code);
}

// Sends `frames` staged frames to the encoder and writes what comes out; null flushes it.
tamberlyn_status Encode(MediaFile& m, int frames) {
    AVFrame* frame = nullptr;
    if (frames > 0) {
        frame = m.encoded;
        int r = Ff()->av_frame_make_writable(frame);
        if (r >= 0) {
            frame->nb_samples = frames;
            const std::uint8_t* from[1] = {m.staged.data()};
            r = Ff()->swr_convert(m.convert, frame->extended_data, frames, from, frames);
        }
        if (r < 0) return Failed(m, TAMBERLYN_E_WRITE, TAMBERLYN_FILE_OUTPUT, "converting", r);
        frame->pts = m.next_pts;
        m.next_pts += frames;
    }
    int r = Ff()->avcodec_send_frame(m.encoder, frame);
    if (r < 0) return Failed(m, TAMBERLYN_E_WRITE, TAMBERLYN_FILE_OUTPUT, "encoding failed", r);
    for (;;) {
        r = Ff()->avcodec_receive_packet(m.encoder, m.output_packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return TAMBERLYN_OK;
        if (r < 0) return Failed(m, TAMBERLYN_E_WRITE, TAMBERLYN_FILE_OUTPUT, "encoding failed", r);
        m.output_packet->stream_index = m.audio_out->index;
        Ff()->av_packet_rescale_ts(m.output_packet, m.encoder->time_base, m.audio_out->time_base);
        r = Ff()->av_interleaved_write_frame(m.container, m.output_packet);
        if (r < 0) {
            return WriteFailed(m, r);
        }
    }
}

SystemError WriteKept(void* context, const void* data, std::size_t size) {
    MediaFile& m = *static_cast<MediaFile*>(context);
    const auto* from = static_cast<const std::uint8_t*>(data);
    const std::size_t whole = static_cast<std::size_t>(m.frame_samples) * m.frame_bytes;
    while (size > 0) {
        const std::size_t n = std::min(size, whole - m.staged.size());
        m.staged.insert(m.staged.end(), from, from + n);
        from += n;
        size -= n;
        if (m.staged.size() == whole) {
            if (Encode(m, m.frame_samples) != TAMBERLYN_OK) return kMediaFailed;
            m.staged.clear();
        }
    }
    return {};
}

// The sample format for `codec`: the decoded one where it takes it, else the nearest it has.
AVSampleFormat EncoderFormat(const AVCodec& codec, AVSampleFormat packed) {
    if (codec.sample_fmts == nullptr) return packed;
    const AVSampleFormat planar = Ff()->av_get_planar_sample_fmt(packed);
    for (const AVSampleFormat* f = codec.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (*f == packed || *f == planar) return *f;
    }
    // Integers go to the narrowest integer format that holds them; otherwise the deepest.
    const auto is_float = [](AVSampleFormat f) {
        const AVSampleFormat packed_f = Ff()->av_get_packed_sample_fmt(f);
        return packed_f == AV_SAMPLE_FMT_FLT || packed_f == AV_SAMPLE_FMT_DBL;
    };
    const int need = Ff()->av_get_bytes_per_sample(packed);
    AVSampleFormat best = AV_SAMPLE_FMT_NONE;
    for (const AVSampleFormat* f = codec.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
        const int bytes = Ff()->av_get_bytes_per_sample(*f);
        if (is_float(packed) || is_float(*f) || bytes < need) continue;
        if (best == AV_SAMPLE_FMT_NONE || bytes < Ff()->av_get_bytes_per_sample(best)) best = *f;
    }
    if (best != AV_SAMPLE_FMT_NONE) return best;
    best = codec.sample_fmts[0];
    for (const AVSampleFormat* f = codec.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (Ff()->av_get_bytes_per_sample(*f) > Ff()->av_get_bytes_per_sample(best)) best = *f;
    }
    return best;
}

bool TakesRate(const AVCodec& codec, int rate) {
    if (codec.supported_samplerates == nullptr) return true;
    for (const int* r = codec.supported_samplerates; *r != 0; ++r) {
        if (*r == rate) return true;
    }
    return false;
}

// Into a WAV file go samples as they are: PCM of the decoded depth, or float.
AVCodecID WavCodec(const MediaFile& m) {
    switch (m.packed) {
        case AV_SAMPLE_FMT_U8:
            return AV_CODEC_ID_PCM_U8;
        case AV_SAMPLE_FMT_S16:
            return AV_CODEC_ID_PCM_S16LE;
        case AV_SAMPLE_FMT_S32:
            return m.decoder->bits_per_raw_sample > 0 && m.decoder->bits_per_raw_sample <= 24
                       ? AV_CODEC_ID_PCM_S24LE
                       : AV_CODEC_ID_PCM_S32LE;
        case AV_SAMPLE_FMT_DBL:
            return AV_CODEC_ID_PCM_F64LE;
        default:
            return AV_CODEC_ID_PCM_F32LE;
    }
}

void CopyTags(AVDictionary** to, const AVDictionary* from) {
    Ff()->av_dict_copy(to, from, 0);
    // Which program wrote the file is the muxer's to say now.
    Ff()->av_dict_set(to, "encoder", nullptr, 0);
}

}  // namespace

bool MediaAvailable() { return Ff() != nullptr; }

namespace {

// The container of `path`, recognised by its content only: a name says nothing of what a file
// holds. Null when nothing is recognised with certainty.
const AVInputFormat* Recognise(const NativeChar* path) {
    if (!MediaAvailable()) return nullptr;
    QuietLibraries();
    std::vector<std::uint8_t> probe(kProbeBytes + AVPROBE_PADDING_SIZE, 0);
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return nullptr;
    const std::size_t got = std::fread(probe.data(), 1, kProbeBytes, f);
    std::fclose(f);
    AVProbeData data = {};
    data.filename = "";
    data.buf = probe.data();
    data.buf_size = static_cast<int>(got);
    int score = 0;
    const AVInputFormat* format = Ff()->av_probe_input_format3(&data, 1, &score);
    return score >= kLeastProbeScore ? format : nullptr;
}

}  // namespace

bool InspectMedia(const NativeChar* path, MediaAudio& audio, char* container, std::size_t size) {
    const AVInputFormat* format = Recognise(path);
    AVFormatContext* in = nullptr;
    if (format == nullptr || Ff()->avformat_open_input(&in, path, format, nullptr) < 0)
        return false;
    bool found = false;
    if (Ff()->avformat_find_stream_info(in, nullptr) >= 0) {
        for (unsigned i = 0; i < in->nb_streams && !found; ++i) {
            const AVStream& s = *in->streams[i];
            const AVCodecParameters& par = *s.codecpar;
            if (par.codec_type != AVMEDIA_TYPE_AUDIO) continue;
            found = true;
            audio.rate = static_cast<std::uint32_t>(par.sample_rate > 0 ? par.sample_rate : 0);
            audio.channels = static_cast<std::uint16_t>(par.ch_layout.nb_channels);
            const std::int64_t duration =
                s.duration > 0
                    ? Ff()->av_rescale_q(s.duration, s.time_base, AVRational{1, AV_TIME_BASE})
                    : in->duration;
            audio.frames_estimate = duration > 0 ? static_cast<std::uint64_t>(Ff()->av_rescale(
                                                       duration, audio.rate, AV_TIME_BASE))
                                                 : 0;
            std::snprintf(audio.codec, sizeof audio.codec, "%s", CodecName(par.codec_id));
            std::snprintf(
                container, size, "%s",
                in->iformat->long_name != nullptr ? in->iformat->long_name : in->iformat->name);
        }
    }
    Ff()->avformat_close_input(&in);
    return found;
}

tamberlyn_status OpenMedia(const NativeChar* path, MediaFile*& media, MediaAudio& audio) {
    media = nullptr;
    const AVInputFormat* format = Recognise(path);
    if (format == nullptr) return TAMBERLYN_E_NOT_WAV;

    auto* m = new (std::nothrow) MediaFile;
    if (m == nullptr) return Refuse(TAMBERLYN_E_NO_MEMORY, TAMBERLYN_FILE_NONE, "no memory");
    int r = Ff()->avformat_open_input(&m->in, path, format, nullptr);
    if (r < 0) {
        // Recognised, but not readable: a file cut short, say.
        const char* type = format->long_name != nullptr ? format->long_name : format->name;
        char why[AV_ERROR_MAX_STRING_SIZE] = "";
        Ff()->av_strerror(r, why, sizeof why);
        CloseMedia(m);
        return Refuse(TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT, "%s file that FFmpeg cannot read: %s",
                      type, why);
    }
    r = Ff()->avformat_find_stream_info(m->in, nullptr);
    int audio_streams = 0, video_streams = 0;
    for (unsigned i = 0; r >= 0 && i < m->in->nb_streams; ++i) {
        const AVStream* s = m->in->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            if (audio_streams++ == 0) m->stream = static_cast<int>(i);
        } else if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                   !(s->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            ++video_streams;
        }
    }
    if (r < 0 || audio_streams == 0) {
        CloseMedia(m);
        return TAMBERLYN_E_NOT_WAV;
    }
    tamberlyn_status status = TAMBERLYN_OK;
    const char* name =
        m->in->iformat->long_name != nullptr ? m->in->iformat->long_name : m->in->iformat->name;
    if (video_streams > 0) {
        status =
            Refuse(TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_INPUT,
                   "%s with video: only audio files are shortened; take its audio out first", name);
    } else if (audio_streams > 1) {
        status = Refuse(TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_INPUT,
                        "%s with %d audio streams: only a file with one is shortened", name,
                        audio_streams);
    }
    const AVCodecParameters* par = m->in->streams[m->stream]->codecpar;
    const AVCodec* codec = Ff()->avcodec_find_decoder(par->codec_id);
    if (status == TAMBERLYN_OK && codec == nullptr) {
        status = Refuse(TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_INPUT,
                        "%s audio: FFmpeg here cannot decode it", CodecName(par->codec_id));
    }
    if (status == TAMBERLYN_OK) {
        m->decoder = Ff()->avcodec_alloc_context3(codec);
        m->packet = Ff()->av_packet_alloc();
        m->decoded = Ff()->av_frame_alloc();
        if (m->decoder == nullptr || m->packet == nullptr || m->decoded == nullptr) {
            status = Refuse(TAMBERLYN_E_NO_MEMORY, TAMBERLYN_FILE_NONE, "no memory");
        }
    }
    if (status == TAMBERLYN_OK) {
        r = Ff()->avcodec_parameters_to_context(m->decoder, par);
        m->decoder->thread_count = 1;
        if (r >= 0) r = Ff()->avcodec_open2(m->decoder, codec, nullptr);
        if (r < 0) status = Failed(*m, TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT, "decoder", r);
    }
    // The first frame says what the decoder gives: some say it only then.
    if (status == TAMBERLYN_OK) {
        const int first = NextFrame(*m);
        if (first == 0) {
            status = Refuse(TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT,
                            "%s audio: not one frame decodes", CodecName(par->codec_id));
        } else if (first < 0) {
            status = m->status;
        }
    }
    SampleFormat sample = SampleFormat::kS16;
    if (status == TAMBERLYN_OK) {
        const AVFrame& first = *m->decoded;
        m->packed = Ff()->av_get_packed_sample_fmt(static_cast<AVSampleFormat>(first.format));
        m->channels = first.ch_layout.nb_channels;
        m->frame_bytes = static_cast<std::size_t>(Ff()->av_get_bytes_per_sample(m->packed)) *
                         static_cast<std::size_t>(m->channels);
        if (!FormatOf(m->packed, sample) || m->channels < 1 || m->channels > 8 ||
            first.sample_rate <= 0) {
            status = Refuse(TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_INPUT,
                            "%s audio, %d channels, decoded as %s: only 1 to 8 channels of "
                            "integer or float samples are supported",
                            CodecName(par->codec_id), m->channels,
                            Ff()->av_get_sample_fmt_name(m->packed));
        } else {
            Interleave(*m, first);
            Ff()->av_frame_unref(m->decoded);
        }
    }
    if (status != TAMBERLYN_OK) {
        CloseMedia(m);
        return status;
    }
    audio.format = sample;
    audio.channels = static_cast<std::uint16_t>(m->channels);
    audio.rate = static_cast<std::uint32_t>(m->decoder->sample_rate);
    audio.frames_estimate = m->in->duration > 0 ? static_cast<std::uint64_t>(Ff()->av_rescale(
                                                      m->in->duration, audio.rate, AV_TIME_BASE))
                                                : 0;
    std::snprintf(audio.codec, sizeof audio.codec, "%s", CodecName(par->codec_id));
    media = m;
    return TAMBERLYN_OK;
}

tamberlyn_status StartMediaOutput(MediaFile& m, const NativeChar* output_path, Output& out) {
    m.out = &out;
    const AVOutputFormat* format = Ff()->av_guess_format(nullptr, output_path, nullptr);
    if (format == nullptr) {
        return Refused(m, TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_OUTPUT,
                       "no audio file type has this name's extension: name it .wav or .flac, "
                       "or as the input");
    }
    const AVCodecParameters& in_par = *m.in->streams[m.stream]->codecpar;
    AVCodecID id = AV_CODEC_ID_NONE;
    const bool wav = std::strcmp(format->name, "wav") == 0;
    if (wav) {
        id = WavCodec(m);
    } else if (Ff()->avformat_query_codec(format, in_par.codec_id, FF_COMPLIANCE_NORMAL) == 1) {
        id = in_par.codec_id;
        if (Ff()->avcodec_find_encoder(id) == nullptr) {
            m.status = Refuse(TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_OUTPUT,
                              "FFmpeg here cannot encode %s audio: name the output .wav or "
                              ".flac instead",
                              CodecName(id));
            return m.status;
        }
    } else {
        id = format->audio_codec;  // another type asked for: its usual codec
    }
    const AVCodec* codec = Ff()->avcodec_find_encoder(id);
    if (id == AV_CODEC_ID_NONE || codec == nullptr) {
        m.status = Refuse(TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_OUTPUT,
                          "FFmpeg here cannot write audio as %s: name the output .wav or .flac",
                          format->name);
        return m.status;
    }
    const int rate = m.decoder->sample_rate;
    if (!TakesRate(*codec, rate)) {
        m.status = Refuse(TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_OUTPUT,
                          "%s cannot hold %d Hz audio: name the output .wav or .flac",
                          CodecName(id), rate);
        return m.status;
    }

    int r = Ff()->avformat_alloc_output_context2(&m.container, format, nullptr, nullptr);
    if (r < 0) return Failed(m, TAMBERLYN_E_WRITE, TAMBERLYN_FILE_OUTPUT, "container", r);
    m.encoder = Ff()->avcodec_alloc_context3(codec);
    m.encoded = Ff()->av_frame_alloc();
    m.output_packet = Ff()->av_packet_alloc();
    if (m.encoder == nullptr || m.encoded == nullptr || m.output_packet == nullptr) {
        return Refused(m, TAMBERLYN_E_NO_MEMORY, TAMBERLYN_FILE_NONE, "no memory");
    }
    AVCodecContext& e = *m.encoder;
    e.sample_rate = rate;
    e.sample_fmt = EncoderFormat(*codec, m.packed);
    if (m.decoder->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC &&
        m.decoder->ch_layout.nb_channels == m.channels) {
        Ff()->av_channel_layout_copy(&e.ch_layout, &m.decoder->ch_layout);
    } else {
        Ff()->av_channel_layout_default(&e.ch_layout, m.channels);
    }
    e.time_base = AVRational{1, rate};
    e.thread_count = 1;
    e.bits_per_raw_sample = m.decoder->bits_per_raw_sample;
    const AVCodecDescriptor* d = Ff()->avcodec_descriptor_get(id);
    const bool lossless = d != nullptr && (d->props & AV_CODEC_PROP_LOSSLESS) != 0;
    if (!lossless && id == in_par.codec_id && in_par.bit_rate > 0) e.bit_rate = in_par.bit_rate;
    if (format->flags & AVFMT_GLOBALHEADER) e.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    r = Ff()->avcodec_open2(m.encoder, codec, nullptr);
    if (r < 0) return Failed(m, TAMBERLYN_E_WRITE, TAMBERLYN_FILE_OUTPUT, "encoder", r);

    m.audio_out = Ff()->avformat_new_stream(m.container, nullptr);
    if (m.audio_out == nullptr) {
        return Refused(m, TAMBERLYN_E_NO_MEMORY, TAMBERLYN_FILE_NONE, "no memory");
    }
    r = Ff()->avcodec_parameters_from_context(m.audio_out->codecpar, m.encoder);
    if (r < 0) return Failed(m, TAMBERLYN_E_WRITE, TAMBERLYN_FILE_OUTPUT, "container", r);
    m.audio_out->time_base = e.time_base;
    CopyTags(&m.container->metadata, m.in->metadata);
    CopyTags(&m.audio_out->metadata, m.in->streams[m.stream]->metadata);

    // Cover art, where the container can hold the picture.
    const bool mp4_family = std::strcmp(format->name, "ipod") == 0 ||
                            std::strcmp(format->name, "mp4") == 0 ||
                            std::strcmp(format->name, "mov") == 0;
    std::vector<std::pair<const AVStream*, AVStream*>> pictures;
    for (unsigned i = 0; i < m.in->nb_streams; ++i) {
        const AVStream* s = m.in->streams[i];
        // The MP4 family keeps cover art in its own tag whatever its codec list says.
        if (!(s->disposition & AV_DISPOSITION_ATTACHED_PIC) ||
            (Ff()->avformat_query_codec(format, s->codecpar->codec_id, FF_COMPLIANCE_NORMAL) == 0 &&
             !mp4_family)) {
            continue;
        }
        AVStream* picture = Ff()->avformat_new_stream(m.container, nullptr);
        if (picture == nullptr ||
            Ff()->avcodec_parameters_copy(picture->codecpar, s->codecpar) < 0) {
            return Refused(m, TAMBERLYN_E_NO_MEMORY, TAMBERLYN_FILE_NONE, "no memory");
        }
        picture->codecpar->codec_tag = 0;
        picture->disposition = AV_DISPOSITION_ATTACHED_PIC;
        picture->time_base = s->time_base;
        CopyTags(&picture->metadata, s->metadata);
        pictures.emplace_back(s, picture);
    }

    auto* buffer = static_cast<unsigned char*>(Ff()->av_malloc(kOutputBufferBytes));
    m.io = buffer != nullptr ? Ff()->avio_alloc_context(buffer, kOutputBufferBytes, 1, &m, nullptr,
                                                        WriteOut, out.seekable ? SeekOut : nullptr)
                             : nullptr;
    if (m.io == nullptr) {
        Ff()->av_free(buffer);
        return Refused(m, TAMBERLYN_E_NO_MEMORY, TAMBERLYN_FILE_NONE, "no memory");
    }
    m.container->pb = m.io;
    m.container->flags |= AVFMT_FLAG_CUSTOM_IO;
    // Past 4 GiB a WAV file needs 64-bit sizes.
    if (wav && out.seekable) Ff()->av_opt_set(m.container->priv_data, "rf64", "auto", 0);
    r = Ff()->avformat_write_header(m.container, nullptr);
    if (r < 0) {
        return WriteFailed(m, r);
    }
    m.header_written = true;
    for (const auto& [from, to] : pictures) {
        AVPacket* picture = Ff()->av_packet_clone(&from->attached_pic);
        if (picture == nullptr) continue;
        picture->stream_index = to->index;
        picture->flags |= AV_PKT_FLAG_KEY;
        r = Ff()->av_interleaved_write_frame(m.container, picture);
        Ff()->av_packet_free(&picture);
        if (r < 0) {
            return WriteFailed(m, r);
        }
    }

    // The kept frames, converted to the encoder's format and handed over a whole frame at once.
    r = Ff()->swr_alloc_set_opts2(&m.convert, &e.ch_layout, e.sample_fmt, rate, &e.ch_layout,
                                  m.packed, rate, 0, nullptr);
    if (r >= 0) r = Ff()->swr_init(m.convert);
    if (r < 0) return Failed(m, TAMBERLYN_E_WRITE, TAMBERLYN_FILE_OUTPUT, "converting", r);
    m.frame_samples = e.frame_size > 0 ? e.frame_size : kVariableFrameSamples;
    m.encoded->format = e.sample_fmt;
    m.encoded->sample_rate = rate;
    m.encoded->nb_samples = m.frame_samples;
    Ff()->av_channel_layout_copy(&m.encoded->ch_layout, &e.ch_layout);
    r = Ff()->av_frame_get_buffer(m.encoded, 0);
    if (r < 0) return Failed(m, TAMBERLYN_E_NO_MEMORY, TAMBERLYN_FILE_NONE, "frame", r);
    m.staged.reserve(static_cast<std::size_t>(m.frame_samples) * m.frame_bytes);
    return TAMBERLYN_OK;
}

DataSource MediaSource(MediaFile& media) { return {ReadDecoded, &media}; }
DataSink MediaSink(MediaFile& media) { return {WriteKept, &media}; }

tamberlyn_status FinishMediaOutput(MediaFile& m) {
    if (!m.staged.empty()) {
        if (const tamberlyn_status s =
                Encode(m, static_cast<int>(m.staged.size() / m.frame_bytes))) {
            return s;
        }
        m.staged.clear();
    }
    if (const tamberlyn_status s = Encode(m, 0)) return s;
    int r = Ff()->av_write_trailer(m.container);
    m.header_written = false;
    if (r >= 0) {
        Ff()->avio_flush(m.io);
        r = m.io->error;
    }
    if (r < 0) {
        return WriteFailed(m, r);
    }
    return m.status;
}

tamberlyn_status MediaStatus(const MediaFile& media) {
    return media.status != TAMBERLYN_OK ? media.status : TAMBERLYN_E_READ;
}

void CloseMedia(MediaFile* m) {
    if (m == nullptr) return;
    Ff()->swr_free(&m->convert);
    Ff()->av_frame_free(&m->encoded);
    Ff()->av_packet_free(&m->output_packet);
    Ff()->avcodec_free_context(&m->encoder);
    if (m->container != nullptr) {
        Ff()->avformat_free_context(m->container);
        m->container = nullptr;
    }
    if (m->io != nullptr) {
        Ff()->av_freep(&m->io->buffer);
        Ff()->avio_context_free(&m->io);
    }
    Ff()->av_frame_free(&m->decoded);
    Ff()->av_packet_free(&m->packet);
    Ff()->avcodec_free_context(&m->decoder);
    Ff()->avformat_close_input(&m->in);
    delete m;
}

}  // namespace tamberlyn
