#include "wav/wav_header.h"

#include <cstring>

namespace tamberlyn {

namespace {

constexpr std::uint32_t kBytesBeforeDataAfterRiffSize = WAVE_HEADER_BYTES - 8;

void Put16(std::uint8_t*& p, std::uint16_t v) {
    *p++ = static_cast<std::uint8_t>(v);
    *p++ = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t*& p, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) *p++ = static_cast<std::uint8_t>(v >> shift);
}

void PutId(std::uint8_t*& p, const char (&id)[4]) {
    std::memcpy(p, id, 4);
    p += 4;
}

}  // namespace

void FillWAVHeader(WAVHeader& h, std::int32_t blocks) {
    std::memcpy(h.riff_id, "RIFF", 4);
    std::memcpy(h.wave_id, "WAVE", 4);
    std::memcpy(h.fmt_id, "fmt ", 4);
    std::memcpy(h.data_id, "data", 4);
    h.data_size = static_cast<std::uint32_t>(blocks) * std::uint32_t{RECORD_BLOCK_BYTES};
    h.riff_size = h.data_size + kBytesBeforeDataAfterRiffSize;
    h.fmt_size = 16;
    h.format_tag = RECORD_FORMAT_TAG;
    h.channels = RECORD_CHANNELS;
    h.samples_per_second = RECORD_SAMPLE_RATE;
    h.bytes_per_second = RECORD_BYTES_PER_SECOND;
    h.block_align = RECORD_BLOCK_ALIGN;
    h.bits_per_sample = RECORD_BITS_PER_SAMPLE;
}

void FillWAVHeaderWithExtra(WAVHeader& h, std::int32_t blocks, std::uint32_t extra) {
    FillWAVHeader(h, blocks);
    h.data_size += extra;
    h.riff_size += extra;
}

void SerializeWAVHeader(const WAVHeader& h, std::uint8_t (&bytes)[WAVE_HEADER_BYTES]) {
    std::uint8_t* p = bytes;
    PutId(p, h.riff_id);
    Put32(p, h.riff_size);
    PutId(p, h.wave_id);
    PutId(p, h.fmt_id);
    Put32(p, h.fmt_size);
    Put16(p, h.format_tag);
    Put16(p, h.channels);
    Put32(p, h.samples_per_second);
    Put32(p, h.bytes_per_second);
    Put16(p, h.block_align);
    Put16(p, h.bits_per_sample);
    PutId(p, h.data_id);
    Put32(p, h.data_size);
}

}  // namespace tamberlyn
