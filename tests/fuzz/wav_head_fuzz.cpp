// Fuzz target: arbitrary bytes as a WAV file's head, through the reader and the diagnosis that
// `info` and `repair` act on. Nothing may read outside the bytes, and a repair must stay inside
// the file, and a data size it sets counts whole frames.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "wav/wav_diagnosis.h"
#include "wav/wav_reader.h"

namespace {

struct Slice {
    const std::uint8_t* data;
    std::size_t size;
};

bool ReadAt(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
    const auto* s = static_cast<const Slice*>(context);
    if (offset > s->size || size > s->size - offset) return false;
    std::memcpy(out, s->data + offset, size);
    return true;
}

void Check(bool holds) {
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tamberlyn::WavDescription wav;
    std::uint64_t needed = 0;
    const tamberlyn::WavHead head = tamberlyn::ParseWavHead(data, size, wav, needed);
    if (head == tamberlyn::WavHead::kComplete) Check(wav.data_offset <= size);
    if (head == tamberlyn::WavHead::kNeedMore) Check(needed > size);

    // The head read short of the whole file, the rest reached through the reader.
    Slice all = {data, size};
    const tamberlyn::WavBytesAt more = {ReadAt, &all};
    for (std::size_t read : {size, size / 2}) {
        const tamberlyn::WavDiagnosis d = tamberlyn::DiagnoseWav(data, read, size, &more);
        if (!d.repairable) continue;
        Check(d.length <= size);
        Check(d.write_header || d.wav.data_offset + d.data_size <= d.length);
        // A new data size counts whole frames; a RIFF-only repair keeps the declared one.
        Check(d.data_size == d.wav.data_size || d.wav.block_align == 0 ||
              d.data_size % d.wav.block_align == 0);
    }
    return 0;
}
