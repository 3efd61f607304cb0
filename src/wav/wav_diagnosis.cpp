#include "wav/wav_diagnosis.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "wav/little_endian.h"
#include "wav/wav_header.h"

namespace tamberlyn {

namespace {

constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;
// Bytes past the placeholder that must not all be zero for it to be told from other zeros.
constexpr std::size_t kTellingBytes = 32;
// An ID3v1 tag: "TAG" and 125 bytes, the last of a file.
constexpr std::size_t kId3v1Bytes = 128;
// How far from the end appended chunks are looked for.
constexpr std::uint64_t kTagSearchBytes = 1u << 20;
constexpr std::size_t kDataIdEnd = WAVE_HEADER_BYTES - 4;  // the recorder's header up to "data"

bool AllZero(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != 0) return false;
    }
    return true;
}

// The recorder's header for a data size, as a stop writes it for whole blocks, with `chunks`
// bytes of chunks after the data in its RIFF form.
void RecorderHeader(std::uint32_t data_bytes, std::uint8_t (&bytes)[WAVE_HEADER_BYTES],
                    std::uint32_t chunks = 0) {
    WAVHeader header;
    FillWAVHeader(header, 0);
    header.data_size = data_bytes;
    header.riff_size = data_bytes + static_cast<std::uint32_t>(WAVE_HEADER_BYTES - 8) + chunks;
    SerializeWAVHeader(header, bytes);
}

// What a tagger may append to a file that has no place for it: ID3v1 at the very end, and before
// it chunks (LIST, id3) whose sizes reach exactly to where they end. `chunks_start` and
// `chunks_end` bound the chunks; the ID3v1 tag, if any, runs from `chunks_end` to `end`. False
// when nothing is appended, or the end cannot be read.
bool FindAppendedTags(const WavSource& source, std::uint64_t from, std::uint64_t end,
                      std::uint64_t& chunks_start, std::uint64_t& chunks_end) {
    const std::uint64_t window = std::min(end - from, kTagSearchBytes);
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(window));
    std::size_t got = 0;
    if (source.read_at(source.context, end - window, tail.data(), tail.size(), got) ||
        got != tail.size()) {
        return false;
    }
    const std::uint64_t base = end - window;
    std::uint64_t at = end;
    if (at - base >= kId3v1Bytes && std::memcmp(&tail[at - base - kId3v1Bytes], "TAG", 3) == 0) {
        at -= kId3v1Bytes;
    }
    chunks_end = at;
    for (bool found = true; found;) {
        found = false;
        // The chunk whose size reaches exactly to `at`: with its pad byte, which only the last
        // chunk may leave out, as readers of the chunks after the samples allow no more.
        const bool last = at == chunks_end;
        for (std::uint64_t p = base; p + 8 <= at && !found; ++p) {
            const std::uint8_t* h = &tail[p - base];
            if (std::memcmp(h, "LIST", 4) != 0 && std::memcmp(h, "id3 ", 4) != 0 &&
                std::memcmp(h, "ID3 ", 4) != 0) {
                continue;
            }
            const std::uint64_t chunk_end = p + 8 + GetLE32(h + 4);
            if ((last && chunk_end == at) || chunk_end + (chunk_end & 1u) == at) {
                at = p;
                found = true;
            }
        }
    }
    // Kept only as the reader of the finished file will walk them.
    SystemError error;
    if (at < chunks_end && ReadWavTail(source, at, chunks_end, error) != WavTail::kChunks) {
        at = chunks_end;
    }
    chunks_start = at;
    return at < end;
}

// A repair that would write what the file already holds: sizes that describe it, the bytes after
// its form being tags.
bool RepairChangesNothing(const WavDiagnosis& d, const WavSource& source, std::uint64_t file_size) {
    if (!d.repairable || d.rewrite || d.header_bytes > 0 || d.length != file_size) return false;
    for (int i = 0; i < d.sizes.count; ++i) {
        const WavSizeField& f = d.sizes.fields[i];
        std::uint8_t now[8];
        std::size_t got = 0;
        if (source.read_at(source.context, f.offset, now, f.width, got) || got != f.width ||
            std::memcmp(now, f.bytes, f.width) != 0) {
            return false;
        }
    }
    return true;
}

// The recorder's placeholder: 44 zero bytes, or the start of the header that finishes a
// recording written over them and cut short (a repair that failed half-way), its sizes whatever
// they came to be.
bool IsPlaceholder(const std::uint8_t* bytes) {
    std::uint8_t layout[WAVE_HEADER_BYTES];
    RecorderHeader(0, layout);
    std::size_t written = WAVE_HEADER_BYTES;
    while (written > 0 && bytes[written - 1] == 0) --written;
    for (std::size_t i = 0; i < written; ++i) {
        const bool size_field = (i >= 4 && i < 8) || i >= kDataIdEnd;
        if (!size_field && bytes[i] != layout[i]) return false;
    }
    // With its "data" written in full the header is read as one.
    return written < kDataIdEnd;
}

// The header a stop writes for `wav`'s data size in whole blocks.
bool IsRecorderLayout(const std::uint8_t* bytes, std::size_t size, const WavDescription& wav) {
    if (size < WAVE_HEADER_BYTES || wav.data_offset != WAVE_HEADER_BYTES ||
        wav.data_size % RECORD_BLOCK_BYTES != 0) {
        return false;
    }
    std::uint8_t expected[WAVE_HEADER_BYTES];
    RecorderHeader(static_cast<std::uint32_t>(wav.data_size), expected);
    return std::memcmp(bytes, expected, WAVE_HEADER_BYTES) == 0;
}

void DescribeRecorderFormat(WavDescription& wav) {
    WAVHeader header;
    FillWAVHeader(header, 0);
    wav.format_tag = header.format_tag;
    wav.channels = header.channels;
    wav.sample_rate = header.samples_per_second;
    wav.block_align = header.block_align;
    wav.bits_per_sample = header.bits_per_sample;
    wav.data_offset = WAVE_HEADER_BYTES;
}

// The samples run to the end of the file, or to tags appended after them: the sizes that say
// so, in whole samples, with appended chunks kept as chunks and an ID3v1 tag after the RIFF form;
// the bytes of an incomplete sample at the end are the only thing the repair may cut.
void RepairToTheEnd(WavDiagnosis& d, const WavSource& source, std::uint64_t file_size) {
    std::uint64_t samples_end = file_size, chunks_end = file_size;
    if (!FindAppendedTags(source, d.wav.data_offset, file_size, samples_end, chunks_end)) {
        samples_end = chunks_end = file_size;
    }
    std::uint64_t held = samples_end - d.wav.data_offset;
    const std::uint16_t sample = SampleBytesOf(d.wav);
    d.data_bytes = held;
    if (sample == 0) {
        d.why = "only PCM (8, 16, 24 or 32 bits) and float (32 or 64 bits) WAV files are repaired";
        return;
    }
    // Before appended chunks, odd-sized samples (of 8 or 24 bits) need their pad byte.
    std::uint64_t pad = 0;
    if (samples_end != file_size && held % 2 == 0 && held % sample == 1 && sample % 2 == 1) {
        pad = 1;
        held -= 1;
        d.data_bytes = held;
    }
    const std::uint64_t data = held - held % sample;
    const std::uint64_t chunks = chunks_end - samples_end + pad;
    if (held != data && samples_end != file_size) {
        d.why = "part of a sample lies between its samples and the tags appended to them";
        return;
    }
    if (pad == 0 && held % 2 == 1 && samples_end != file_size) {
        d.why = "its samples end on an odd byte with tags straight after, where a pad byte belongs";
        return;
    }
    const bool too_big = d.wav.ds64_offset == 0 && data + chunks > kMax32 - (d.wav.data_offset - 8);
    if (too_big && d.placeholder) {
        d.why = "it holds more sample data than a recording's 32-bit sizes can describe";
        return;
    }
    d.repairable = true;
    d.length = samples_end == file_size ? d.wav.data_offset + data : file_size;
    d.form_end = chunks_end;
    if (d.placeholder) {
        RecorderHeader(static_cast<std::uint32_t>(data), d.header,
                       static_cast<std::uint32_t>(chunks));
        d.header_bytes = WAVE_HEADER_BYTES;
    } else if (too_big && d.wav.junk_offset != 0) {
        d.to_rf64 = true;
        d.sizes = Rf64SizesFor(d.wav, data, chunks);
    } else if (too_big) {
        // No room: the sizes of the copy with a "ds64" chunk first.
        d.to_rf64 = d.rewrite = true;
        WavDescription copy = d.wav;
        copy.ds64_offset = 20;
        copy.data_offset += kRf64HeadGrowth;
        if (copy.fact_count_offset != 0) copy.fact_count_offset += kRf64HeadGrowth;
        d.sizes = WavSizesFor(copy, data, chunks);
    } else {
        d.sizes = WavSizesFor(d.wav, data, chunks);
    }
}

// A RIFF form that ends, consistent, before the file does: its data and the chunks after it fill
// it exactly. Where it ends, or 0.
std::uint64_t ConsistentFormEnd(const WavSource& source, const WavDescription& wav,
                                std::uint64_t data_end, std::uint64_t file_size,
                                SystemError& error) {
    const std::uint64_t form_end = 8 + wav.riff_size;
    if (form_end < data_end || form_end >= file_size) return 0;
    const WavTail inside = ReadWavTail(source, data_end, form_end, error);
    return inside == WavTail::kNothing || inside == WavTail::kChunks ? form_end : 0;
}

}  // namespace

WavDiagnosis DiagnoseWav(const WavSource& source, std::uint64_t file_size) {
    WavDiagnosis d;
    std::uint8_t first[WAVE_HEADER_BYTES + kTellingBytes] = {};
    std::size_t got = 0;
    d.error = source.read_at(source.context, 0, first, sizeof first, got);
    if (d.error) {
        d.head = WavHead::kReadFailed;
        return d;
    }

    if (got >= WAVE_HEADER_BYTES && IsPlaceholder(first)) {
        // The recorder's placeholder: a recording that was never stopped, if anything tells.
        d.head = WavHead::kComplete;
        d.placeholder = true;
        DescribeRecorderFormat(d.wav);
        if (got > WAVE_HEADER_BYTES &&
            AllZero(first + WAVE_HEADER_BYTES, got - WAVE_HEADER_BYTES)) {
            d.state = WavState::kUndecidable;
            d.why =
                "it begins with zeros past the 44 bytes of a recording's unwritten header: a "
                "recording that began in silence cannot be told from other bytes";
            d.data_bytes = file_size - WAVE_HEADER_BYTES;
            return d;
        }
        d.state = WavState::kUnfinishedRecording;
        RepairToTheEnd(d, source, file_size);
        return d;
    }

    d.head = ReadWavHead(source, d.wav, d.error);
    if (d.head == WavHead::kComplete && d.wav.data_offset > file_size) d.head = WavHead::kCutShort;
    if (d.head != WavHead::kComplete) {
        d.state = WavState::kNotWav;
        return d;
    }
    const WavDescription& wav = d.wav;
    d.form_end = file_size;
    const std::uint64_t held = file_size - wav.data_offset;
    const std::uint64_t declared = wav.data_size;
    // A RIFF size says at most 4 GiB; an RF64 one says the size.
    const auto fits = [&](std::uint64_t size) {
        return wav.ds64_offset != 0 ? wav.riff_size == size : wav.riff_size == Saturate32(size);
    };
    const bool riff_fits = fits(file_size - 8) || ((file_size & 1) && fits(file_size - 7));

    if (declared == kWavUnknownSize || (wav.ds64_offset != 0 && declared == ~std::uint64_t{0})) {
        d.state = WavState::kUnknownLength;
        d.riff_wrong = !riff_fits;
        RepairToTheEnd(d, source, file_size);
        return d;
    }
    if (declared > held) {
        // The data chunk reaches past the end: a file cut short, or a writer that never came
        // back to set its sizes.
        d.state = WavState::kSizesDisagree;
        d.data_wrong = true;
        d.riff_wrong = !riff_fits;
        RepairToTheEnd(d, source, file_size);
        return d;
    }
    const std::uint64_t data_end = wav.data_offset + declared + (declared & 1u);
    const WavTail tail = ReadWavTail(source, data_end, file_size, d.error);
    if (tail == WavTail::kReadFailed) {
        d.state = WavState::kNotWav;
        d.head = WavHead::kReadFailed;
        return d;
    }
    if (tail != WavTail::kNotChunks) {
        // The data and what follows it fill the file: at most the RIFF size is wrong.
        d.data_bytes = declared;
        if (riff_fits) {
            d.state = WavState::kFinished;
            return d;
        }
        d.state = WavState::kSizesDisagree;
        d.riff_wrong = true;
        d.repairable = true;
        d.sizes = WavSizesFor(wav, declared, file_size - wav.data_offset - declared);
        d.sizes.count = wav.ds64_offset != 0 ? 2 : 1;  // the RIFF size alone (RF64: both)
        d.length = file_size;
        return d;
    }
    if (declared == 0 ||
        (IsRecorderLayout(first, got, wav) && (file_size - data_end) % RECORD_BLOCK_BYTES == 0)) {
        // Samples after a data size of 0 (a streaming writer's), or whole blocks after an
        // earlier recording's header (a recording that was never stopped).
        d.state = declared == 0 ? WavState::kSizesDisagree : WavState::kUnfinishedRecording;
        d.data_wrong = true;
        d.riff_wrong = !riff_fits;
        RepairToTheEnd(d, source, file_size);
        if (RepairChangesNothing(d, source, file_size)) {
            // An empty WAV with tags after its form.
            d.state = WavState::kFinished;
            d.repairable = d.data_wrong = d.riff_wrong = false;
            d.data_bytes = 0;
            d.sizes = {};
        }
        return d;
    }
    if (const std::uint64_t form_end =
            ConsistentFormEnd(source, wav, data_end, file_size, d.error)) {
        // Bytes appended after a whole RIFF form (an ID3 tag): outside the WAV, which is finished.
        d.state = WavState::kFinished;
        d.data_bytes = declared;
        d.form_end = form_end;
        return d;
    }
    if (d.error) {
        d.state = WavState::kNotWav;
        d.head = WavHead::kReadFailed;
        return d;
    }
    d.state = WavState::kUndecidable;
    d.data_bytes = declared;
    d.data_wrong = true;
    d.why =
        "what follows its data is neither chunks nor a recording's whole blocks: which size is "
        "wrong, the file does not say";
    return d;
}

}  // namespace tamberlyn
