// Fuzz target: arbitrary bytes as a whole WAV file, through the reader and the diagnosis that
// `silence`, `info` and `repair` act on. Nothing may read outside the bytes; a repair may cut only
// the bytes of an incomplete last sample, writes only inside the head, and leaves a file the
// diagnosis calls finished.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "wav/wav_diagnosis.h"
#include "wav/wav_reader.h"

namespace {

void Check(bool holds) {
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tamberlyn::WavBytes bytes = {data, size};
    const tamberlyn::WavSource source = tamberlyn::MemoryWavSource(bytes);
    tamberlyn::WavDescription wav;
    tamberlyn::SystemError error;
    if (tamberlyn::ReadWavHead(source, wav, error) == tamberlyn::WavHead::kComplete) {
        Check(wav.data_offset <= size);
        tamberlyn::ReadWavTail(source, wav.data_offset + wav.data_size, size, error);
    }

    const tamberlyn::WavDiagnosis d = tamberlyn::DiagnoseWav(source, size);
    // A copy as RF64 is for files past 4 GiB, which no input here is.
    if (!d.repairable || d.rewrite) return 0;
    // A repair that only sets the RIFF size cuts nothing, whatever the format says.
    const std::uint64_t cut_at_most =
        std::max<std::uint64_t>(tamberlyn::SampleBytesOf(d.wav), 1) - 1;
    Check(d.length <= size && d.length + cut_at_most >= size);
    std::vector<std::uint8_t> mended(data, data + size);
    if (d.header_bytes > 0) {
        Check(d.header_bytes <= size);
        std::memcpy(mended.data(), d.header, d.header_bytes);
    }
    for (int i = 0; i < d.sizes.count; ++i) {
        const tamberlyn::WavSizeField& f = d.sizes.fields[i];
        Check(f.offset + f.width <= d.wav.data_offset);
        std::memcpy(mended.data() + f.offset, f.bytes, f.width);
    }
    mended.resize(static_cast<std::size_t>(d.length));
    const tamberlyn::WavBytes after = {mended.data(), mended.size()};
    const tamberlyn::WavDiagnosis again =
        tamberlyn::DiagnoseWav(tamberlyn::MemoryWavSource(after), mended.size());
    Check(again.state == tamberlyn::WavState::kFinished);
    return 0;
}
