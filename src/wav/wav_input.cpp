#include "wav/wav_input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "runtime/failure.h"

namespace tamberlyn {

namespace {

// A stream's chunks before the samples must fit in memory; a file's may be any size.
constexpr std::uint64_t kMaxStreamHead = 64u << 20;

SystemError ReadFileAt(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size,
                       std::size_t& got) {
    const auto* in = static_cast<const WavInput*>(context);
    return ReadFullAt(in->file, offset, out, size, got);
}

SystemError ReadCallerAt(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size,
                         std::size_t& got) {
    const auto* in = static_cast<const WavInput*>(context);
    got = 0;
    while (got < size) {
        std::size_t n = 0;
        if (const int e =
                in->stream->read_at(in->stream->context, offset + got, out + got, size - got, &n)) {
            return SystemError{e};
        }
        if (n == 0) break;
        got += n;
    }
    return {};
}

// Reads what the stream (a caller's, or a file that cannot be read at offsets) gives next.
SystemError ReadCaller(const WavInput& in, void* data, std::size_t size, std::size_t& got) {
    if (in.stream == nullptr) return ReadFull(in.file, data, size, got);
    auto* bytes = static_cast<std::uint8_t*>(data);
    got = 0;
    while (got < size) {
        std::size_t n = 0;
        if (const int e = in.stream->read(in.stream->context, bytes + got, size - got, &n)) {
            return SystemError{e};
        }
        if (n == 0) break;
        got += n;
    }
    return {};
}

// A stream is read exactly as far as the reader asks, so that no sample is taken early.
SystemError ReadStreamAt(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size,
                         std::size_t& got) {
    auto* in = static_cast<WavInput*>(context);
    got = 0;
    const std::uint64_t end = std::min<std::uint64_t>(offset + size, kMaxStreamHead);
    while (in->head.size() < end && in->stream_read == in->head.size()) {
        const std::size_t had = in->head.size();
        const std::size_t want = static_cast<std::size_t>(end - had);
        in->head.resize(had + want);
        std::size_t n = 0;
        const SystemError e = ReadCaller(*in, in->head.data() + had, want, n);
        in->head.resize(had + n);
        in->stream_read += n;
        if (e) return e;
        if (n < want) break;  // the stream ended
    }
    if (offset < in->head.size()) {
        got = static_cast<std::size_t>(std::min<std::uint64_t>(size, in->head.size() - offset));
        std::memcpy(out, in->head.data() + offset, got);
    }
    return {};
}

SystemError ReadOn(void* context, void* data, std::size_t size, std::size_t& got) {
    auto* in = static_cast<WavInput*>(context);
    if (!in->seekable) return ReadCaller(*in, data, size, got);
    const WavSource source = SourceOf(*in);
    const SystemError e =
        source.read_at(source.context, in->position, static_cast<std::uint8_t*>(data), size, got);
    in->position += got;
    return e;
}

tamberlyn_status Diagnose(WavInput& in) {
    in.diagnosis = DiagnoseWav(SourceOf(in), in.file_size);
    if (in.diagnosis.head == WavHead::kReadFailed) {
        return Fail(TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT, in.diagnosis.error);
    }
    return TAMBERLYN_OK;
}

// Only the head of a stream can be known before its samples are read.
tamberlyn_status DiagnoseStreamHead(WavInput& in) {
    WavDiagnosis& d = in.diagnosis;
    std::uint8_t first[44];
    std::size_t got = 0;
    d.error = ReadStreamAt(&in, 0, first, sizeof first, got);
    if (!d.error && got == sizeof first &&
        std::all_of(first, first + sizeof first, [](std::uint8_t b) { return b == 0; })) {
        d.state = WavState::kUnfinishedRecording;
        d.placeholder = true;
        d.head = WavHead::kComplete;
        return TAMBERLYN_OK;
    }
    if (!d.error) d.head = ReadWavHead(SourceOf(in), d.wav, d.error);
    if (d.error) return Fail(TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT, d.error);
    if (d.head != WavHead::kComplete) {
        d.state = WavState::kNotWav;
        if (in.head.size() >= kMaxStreamHead) {
            return Refuse(TAMBERLYN_E_UNSUPPORTED, TAMBERLYN_FILE_INPUT,
                          "more than 64 MiB of chunks before the audio data in a stream");
        }
        return TAMBERLYN_OK;
    }
    const std::uint64_t size = d.wav.data_size;
    d.state = size == 0 || size == kWavUnknownSize ? WavState::kUnknownLength : WavState::kFinished;
    d.data_bytes = size;
    return TAMBERLYN_OK;
}

}  // namespace

WavSource SourceOf(WavInput& in) {
    if (!in.seekable) return {ReadStreamAt, &in};
    return in.stream == nullptr ? WavSource{ReadFileAt, &in} : WavSource{ReadCallerAt, &in};
}

DataSource SequentialSource(WavInput& in) { return {ReadOn, &in}; }

tamberlyn_status OpenWavFile(const NativeChar* path, WavInput& in) {
    in = WavInput{};
    if (const SystemError e = OpenToRead(path, in.file)) {
        return Fail(TAMBERLYN_E_OPEN, TAMBERLYN_FILE_INPUT, e);
    }
    if (const SystemError e = InfoOf(in.file, in.info)) {
        CloseWavInput(in);
        return Fail(TAMBERLYN_E_READ, TAMBERLYN_FILE_INPUT, e);
    }
    in.seekable = in.info.kind == FileKind::kRegular;
    tamberlyn_status status = TAMBERLYN_OK;
    if (in.seekable) {
        in.file_size = in.info.size;
        status = Diagnose(in);
    } else {
        // A FIFO or a device named as the input: read as the stream it is.
        status = DiagnoseStreamHead(in);
    }
    if (status != TAMBERLYN_OK) CloseWavInput(in);
    return status;
}

tamberlyn_status OpenWavStream(const tamberlyn_stream* stream, WavInput& in) {
    in = WavInput{};
    in.stream = stream;
    in.seekable = stream->read_at != nullptr;
    if (in.seekable) {
        in.file_size = stream->size;
        in.info.kind = FileKind::kRegular;
        in.info.size = stream->size;
        return Diagnose(in);
    }
    in.info.kind = FileKind::kPipe;
    return DiagnoseStreamHead(in);
}

void CloseWavInput(WavInput& in) {
    if (in.file != kNoFile) CloseFile(in.file);
    in.file = kNoFile;
}

const char* HeadRefusal(const WavInput& in) {
    const bool empty = in.seekable ? in.file_size == 0 : in.stream_read == 0;
    return empty ? "the file is empty" : WavHeadMessage(in.diagnosis.head);
}

void DescribeFormatLine(const WavDescription& wav, char* text, std::size_t size) {
    char format[32];
    DescribeWavFormat(wav, format, sizeof format);
    std::snprintf(text, size, "%s, %u Hz, %u channel%s", format,
                  static_cast<unsigned>(wav.sample_rate), static_cast<unsigned>(wav.channels),
                  wav.channels == 1 ? "" : "s");
}

double SecondsOf(const WavDescription& wav, std::uint64_t bytes) {
    if (wav.block_align == 0 || wav.sample_rate == 0) return 0.0;
    return static_cast<double>(bytes / wav.block_align) / wav.sample_rate;
}

}  // namespace tamberlyn
