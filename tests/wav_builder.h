// WAV files built byte by byte, for tests that read them through the program or the engine.
#pragma once

#include <cstdint>

#include "test_files.h"

namespace tamberlyn_test {

inline void Put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// A WAV file: "fmt " for the given format, `before` chunks, the data, `after` chunks.
inline Bytes Wav(unsigned channels, std::uint32_t rate, unsigned bits, const Bytes& data,
                 const Bytes& before = {}, const Bytes& after = {}, unsigned tag = 1) {
    Bytes b = {'R', 'I', 'F', 'F'};
    Put32(b, static_cast<std::uint32_t>(4 + 24 + before.size() + 8 + data.size() + after.size()));
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(b, 16);
    b.push_back(static_cast<std::uint8_t>(tag));
    b.push_back(0);
    b.push_back(static_cast<std::uint8_t>(channels));
    b.push_back(0);
    Put32(b, rate);
    Put32(b, rate * channels * bits / 8);
    b.push_back(static_cast<std::uint8_t>(channels * bits / 8));
    b.push_back(0);
    b.push_back(static_cast<std::uint8_t>(bits));
    b.push_back(0);
    b.insert(b.end(), before.begin(), before.end());
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put32(b, static_cast<std::uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    b.insert(b.end(), after.begin(), after.end());
    return b;
}

// `riff` (as Wav makes it) as RF64: a "ds64" chunk of its 64-bit sizes first, the 32-bit ones
// 0xFFFFFFFF; "BW64" for `id` makes it the broadcast form.
inline Bytes Rf64(const Bytes& riff, const char* id = "RF64") {
    const std::size_t data = 36;  // Wav's data chunk header
    const std::uint64_t data_size = Get32(riff, data + 4);
    const unsigned block = riff[32];
    Bytes b(id, id + 4);
    Put32(b, 0xFFFFFFFFu);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'd', 's', '6', '4'});
    Put32(b, 28);
    const std::uint64_t values[3] = {riff.size() + 36 - 8, data_size, data_size / block};
    for (std::uint64_t v : values) {
        Put32(b, static_cast<std::uint32_t>(v));
        Put32(b, static_cast<std::uint32_t>(v >> 32));
    }
    Put32(b, 0);  // no table of other sizes
    b.insert(b.end(), riff.begin() + 12, riff.end());
    for (int k = 0; k < 4; ++k) b[data + 36 + 4 + static_cast<std::size_t>(k)] = 0xFF;
    return b;
}

// The same as WAVE_FORMAT_EXTENSIBLE: a channel mask and the sub-format's tag (1 PCM, 3 float).
inline Bytes ExtensibleWav(unsigned channels, std::uint32_t rate, unsigned bits, std::uint32_t mask,
                           unsigned sub_format, const Bytes& data) {
    Bytes b = {'R', 'I', 'F', 'F'};
    Put32(b, static_cast<std::uint32_t>(4 + 8 + 40 + 8 + data.size()));
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(b, 40);
    b.insert(b.end(), {0xFE, 0xFF, static_cast<std::uint8_t>(channels), 0});
    Put32(b, rate);
    Put32(b, rate * channels * bits / 8);
    b.insert(b.end(),
             {static_cast<std::uint8_t>(channels * bits / 8), 0, static_cast<std::uint8_t>(bits), 0,
              22, 0, static_cast<std::uint8_t>(bits), 0});
    Put32(b, mask);
    b.insert(b.end(), {static_cast<std::uint8_t>(sub_format), 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0,
                       0xAA, 0, 0x38, 0x9B, 0x71});
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put32(b, static_cast<std::uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

}  // namespace tamberlyn_test
