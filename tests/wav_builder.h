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
