#include "wav_input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "messages.h"

namespace tamberlyn_cli {

namespace {

// A stream's chunks before the samples must fit in memory; a file's may be any size.
constexpr std::uint64_t kMaxStreamHead = 64u << 20;

tamberlyn::SystemError ReadFileAt(void* context, std::uint64_t offset, std::uint8_t* out,
                                  std::size_t size, std::size_t& got) {
    const auto* in = static_cast<const WavInput*>(context);
    return tamberlyn::ReadFullAt(in->file, offset, out, size, got);
}

// A stream is read exactly as far as the reader asks, so that no sample is taken early.
tamberlyn::SystemError ReadStreamAt(void* context, std::uint64_t offset, std::uint8_t* out,
                                    std::size_t size, std::size_t& got) {
    auto* in = static_cast<WavInput*>(context);
    got = 0;
    const std::uint64_t end = std::min<std::uint64_t>(offset + size, kMaxStreamHead);
    while (in->head.size() < end && in->stream_read == in->head.size()) {
        const std::size_t had = in->head.size();
        const std::size_t want = static_cast<std::size_t>(end - had);
        in->head.resize(had + want);
        std::size_t n = 0;
        const tamberlyn::SystemError e =
            tamberlyn::ReadFull(in->file, in->head.data() + had, want, n);
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

}  // namespace

tamberlyn::WavSource SourceOf(WavInput& in) {
    return in.seekable ? tamberlyn::WavSource{ReadFileAt, &in}
                       : tamberlyn::WavSource{ReadStreamAt, &in};
}

bool OpenWavInput(const NativeString& name, WavInput& in) {
    in = WavInput{};
    in.name = name;
    if (ArgIs(name.c_str(), "-")) {
        in.file = StandardInput();
        if (in.file == tamberlyn::kNoFile) {
            Refuse(name, "standard input is closed");
            return false;
        }
    } else {
        if (const tamberlyn::SystemError e = tamberlyn::OpenToRead(name.c_str(), in.file)) {
            Fail("cannot open", name, e);
            return false;
        }
        in.owned = true;
    }
    if (const tamberlyn::SystemError e = tamberlyn::InfoOf(in.file, in.info)) {
        Fail("cannot read", name, e);
        CloseWavInput(in);
        return false;
    }
    in.seekable = in.info.kind == tamberlyn::FileKind::kRegular;

    if (in.seekable) {
        in.file_size = in.info.size;
        in.diagnosis = tamberlyn::DiagnoseWav(SourceOf(in), in.file_size);
        if (in.diagnosis.head == tamberlyn::WavHead::kReadFailed) {
            Fail("cannot read", name, in.diagnosis.error);
            CloseWavInput(in);
            return false;
        }
        return true;
    }

    // A stream: only its head can be known before its samples are read.
    tamberlyn::WavDiagnosis& d = in.diagnosis;
    std::uint8_t first[44];
    std::size_t got = 0;
    d.error = ReadStreamAt(&in, 0, first, sizeof first, got);
    if (!d.error && got == sizeof first &&
        std::all_of(first, first + sizeof first, [](std::uint8_t b) { return b == 0; })) {
        d.state = tamberlyn::WavState::kUnfinishedRecording;
        d.placeholder = true;
        d.head = tamberlyn::WavHead::kComplete;
        return true;
    }
    if (!d.error) d.head = tamberlyn::ReadWavHead(SourceOf(in), d.wav, d.error);
    if (d.error) {
        Fail("cannot read", name, d.error);
        CloseWavInput(in);
        return false;
    }
    if (d.head != tamberlyn::WavHead::kComplete) {
        d.state = tamberlyn::WavState::kNotWav;
        if (in.head.size() >= kMaxStreamHead) {
            Refuse(name, "more than 64 MiB of chunks before the audio data in a stream");
            CloseWavInput(in);
            return false;
        }
        return true;
    }
    const std::uint32_t size = d.wav.data_size;
    d.state = size == 0 || size == tamberlyn::kWavUnknownSize ? tamberlyn::WavState::kUnknownLength
                                                              : tamberlyn::WavState::kFinished;
    d.data_bytes = size;
    return true;
}

void RefuseHead(const WavInput& in) {
    const tamberlyn::WavDiagnosis& d = in.diagnosis;
    const bool empty = in.seekable ? in.file_size == 0 : in.stream_read == 0;
    Refuse(in.name, "%s", empty ? "the file is empty" : tamberlyn::WavHeadMessage(d.head));
}

void CloseWavInput(WavInput& in) {
    if (in.owned && in.file != tamberlyn::kNoFile) tamberlyn::CloseFile(in.file);
    in.file = tamberlyn::kNoFile;
    in.owned = false;
}

std::string DescribeFormat(const tamberlyn::WavDescription& wav) {
    char format[32];
    tamberlyn::DescribeWavFormat(wav, format, sizeof format);
    char text[96];
    std::snprintf(text, sizeof text, "%s, %u Hz, %u channel%s", format,
                  static_cast<unsigned>(wav.sample_rate), static_cast<unsigned>(wav.channels),
                  wav.channels == 1 ? "" : "s");
    return text;
}

double SecondsOf(const tamberlyn::WavDescription& wav, std::uint64_t bytes) {
    if (wav.block_align == 0 || wav.sample_rate == 0) return 0.0;
    return static_cast<double>(bytes / wav.block_align) / wav.sample_rate;
}

}  // namespace tamberlyn_cli
