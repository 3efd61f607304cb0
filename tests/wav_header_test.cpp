#include "wav/wav_header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace tamberlyn_test {
namespace {

using tamberlyn::WAVE_HEADER_BYTES;

std::vector<std::uint8_t> Bytes(std::int32_t blocks) {
    tamberlyn::WAVHeader header{};
    tamberlyn::FillWAVHeader(header, blocks);
    std::uint8_t bytes[WAVE_HEADER_BYTES];
    tamberlyn::SerializeWAVHeader(header, bytes);
    return {bytes, bytes + WAVE_HEADER_BYTES};
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

TEST(WavHeader, EmptyRecordingGoldenBytes) {
    const std::vector<std::uint8_t> expected = {
        'R', 'I', 'F', 'F', 36, 0, 0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
        ' ', 16,  0,   0,   0,  1, 0,   1,   0,   0x40, 0x1F, 0,   0,   0x80, 0x3E,
        0,   0,   2,   0,   16, 0, 'd', 'a', 't', 'a',  0,    0,   0,   0};
    EXPECT_EQ(Bytes(0), expected);
}

TEST(WavHeader, OneBlockGoldenSizes) {
    const auto b = Bytes(1);
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 40, b.end()),
              (std::vector<std::uint8_t>{0x80, 0x3E, 0x00, 0x00}));
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 4, b.begin() + 8),
              (std::vector<std::uint8_t>{0xA4, 0x3E, 0x00, 0x00}));
    const auto empty = Bytes(0);
    EXPECT_TRUE(std::equal(b.begin() + 8, b.begin() + 40, empty.begin() + 8));
}

TEST(WavHeader, SizesStayExactUpToTheLastBlockThatFits) {
    for (std::int32_t blocks : {2, 3600, 86400, 268434, tamberlyn::kMaxHeaderBlocks}) {
        const auto b = Bytes(blocks);
        EXPECT_EQ(Le32(b, 40), static_cast<std::uint32_t>(blocks) * 16000u) << blocks;
        EXPECT_EQ(Le32(b, 4), Le32(b, 40) + 36) << blocks;
    }
    EXPECT_EQ(Le32(Bytes(tamberlyn::kMaxHeaderBlocks), 4), 4294960036u);
    // One block more wraps around: the recorder never writes that many.
    EXPECT_EQ(Le32(Bytes(tamberlyn::kMaxHeaderBlocks + 1), 40), 8704u);
}

TEST(WavHeader, ZeroRecordSerialisesToZeros) {
    const tamberlyn::WAVHeader zero{};
    std::uint8_t bytes[WAVE_HEADER_BYTES];
    std::memset(bytes, 0xAA, sizeof bytes);
    tamberlyn::SerializeWAVHeader(zero, bytes);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + WAVE_HEADER_BYTES),
              std::vector<std::uint8_t>(WAVE_HEADER_BYTES, 0));
}

}  // namespace
}  // namespace tamberlyn_test
