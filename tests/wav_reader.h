// Reads back a recorded WAV file the way a strict reader would.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tamberlyn.h"

namespace tamberlyn_test {

inline std::uint32_t Le32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

// The header of a recording of `blocks` seconds, as the recorder writes it.
inline std::vector<std::uint8_t> RecordedHeader(std::uint32_t blocks) {
    std::vector<std::uint8_t> h = {'R', 'I', 'F',  'F',  0,   0,   0,    0,    'W', 'A', 'V',
                                   'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,   1,   0,
                                   1,   0,   0x40, 0x1F, 0,   0,   0x80, 0x3E, 0,   0,   2,
                                   0,   16,  0,    'd',  'a', 't', 'a',  0,    0,   0,   0};
    const std::uint32_t data = blocks * 16000u;
    for (int i = 0; i < 4; ++i) {
        h[4 + i] = static_cast<std::uint8_t>((data + 36) >> (8 * i));
        h[40 + i] = static_cast<std::uint8_t>(data >> (8 * i));
    }
    return h;
}

// A finished recording: the header counts exactly the whole blocks that follow it.
inline void ExpectValidRecording(const std::vector<std::uint8_t>& file, std::uint32_t blocks) {
    ASSERT_EQ(file.size(), 44u + 16000u * blocks);
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 44), RecordedHeader(blocks));
}

// A recording that may end partway through a second: the header counts exactly the samples that
// follow it.
inline void ExpectValidRecordingOfAnyLength(const std::vector<std::uint8_t>& file) {
    ASSERT_GE(file.size(), 44u);
    ASSERT_EQ(file.size() % 2, 0u);
    std::vector<std::uint8_t> expected = RecordedHeader(0);
    const auto data = static_cast<std::uint32_t>(file.size() - 44);
    for (int i = 0; i < 4; ++i) {
        expected[4 + i] = static_cast<std::uint8_t>((data + 36) >> (8 * i));
        expected[40 + i] = static_cast<std::uint8_t>(data >> (8 * i));
    }
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 44), expected);
}

}  // namespace tamberlyn_test
