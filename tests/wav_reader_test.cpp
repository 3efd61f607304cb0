#include "wav/wav_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tamberlyn_test {
namespace {

using tamberlyn::WavHead;
using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }
void Put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Chunk(Bytes& b, const char* id, std::uint32_t size) {
    Put(b, id);
    Put32(b, size);
    b.insert(b.end(), size + (size & 1), 0);
}
void Format(Bytes& b, unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits,
            bool extensible = false, unsigned sub = 1) {
    Put(b, "fmt ");
    Put32(b, extensible ? 40 : 16);
    Put16(b, extensible ? 0xFFFE : tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * channels * bits / 8);
    Put16(b, channels * bits / 8);
    Put16(b, bits);
    if (extensible) {
        Put16(b, 22);
        Put16(b, bits);
        Put32(b, 3);
        Put16(b, sub);
        const std::uint8_t tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
        b.insert(b.end(), tail, tail + 14);
    }
}
Bytes Riff() {
    Bytes b;
    Put(b, "RIFF");
    Put32(b, 0);
    Put(b, "WAVE");
    return b;
}

WavHead Parse(const Bytes& b, tamberlyn::WavDescription& d) {
    std::uint64_t needed = 0;
    return tamberlyn::ParseWavHead(b.data(), b.size(), d, needed);
}

TEST(WavReader, CanonicalHeaderAndChunksBeforeData) {
    Bytes b = Riff();
    Chunk(b, "JUNK", 4096);
    Chunk(b, "bext", 7);  // odd: padded to 8
    Format(b, 1, 2, 44100, 16);
    Chunk(b, "LIST", 26);
    Put(b, "data");
    Put32(b, 400);
    tamberlyn::WavDescription d;
    ASSERT_EQ(Parse(b, d), WavHead::kComplete);
    EXPECT_EQ(d.data_offset, b.size());
    EXPECT_EQ(d.data_size, 400u);
    EXPECT_TRUE(tamberlyn::IsPcm16(d, 8));
    EXPECT_EQ(d.channels, 2);
    EXPECT_EQ(d.sample_rate, 44100u);
}

TEST(WavReader, ExtensibleWithPcmSubFormatIsPcm) {
    Bytes b = Riff();
    Format(b, 0, 6, 48000, 16, true, 1);
    Put(b, "data");
    Put32(b, 0);
    tamberlyn::WavDescription d;
    ASSERT_EQ(Parse(b, d), WavHead::kComplete);
    EXPECT_TRUE(tamberlyn::IsPcm16(d, 8));

    Bytes f = Riff();
    Format(f, 0, 2, 48000, 32, true, 3);
    Put(f, "data");
    Put32(f, 0);
    ASSERT_EQ(Parse(f, d), WavHead::kComplete);
    EXPECT_FALSE(tamberlyn::IsPcm16(d, 8));
    char text[32];
    tamberlyn::DescribeWavFormat(d, text, sizeof text);
    EXPECT_STREQ(text, "32-bit float");
}

TEST(WavReader, RefusedShapes) {
    tamberlyn::WavDescription d;
    EXPECT_EQ(Parse(Bytes{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0, 0, 0}, d), WavHead::kNotRiff);
    Bytes rifx = Riff();
    std::memcpy(rifx.data(), "RIFX", 4);
    EXPECT_EQ(Parse(rifx, d), WavHead::kBigEndian);
    Bytes avi = Riff();
    std::memcpy(avi.data() + 8, "AVI ", 4);
    EXPECT_EQ(Parse(avi, d), WavHead::kNotWave);
    Bytes data_first = Riff();
    Put(data_first, "data");
    Put32(data_first, 0);
    EXPECT_EQ(Parse(data_first, d), WavHead::kNoFormat);
    Bytes short_fmt = Riff();
    Chunk(short_fmt, "fmt ", 14);
    EXPECT_EQ(Parse(short_fmt, d), WavHead::kBadFormat);
}

TEST(WavReader, CutShortAsksForTheBytesItNeeds) {
    Bytes b = Riff();
    Chunk(b, "JUNK", 100);
    Format(b, 1, 1, 8000, 16);
    Put(b, "data");
    Put32(b, 16);
    for (std::size_t size = 0; size < b.size(); ++size) {
        tamberlyn::WavDescription d;
        std::uint64_t needed = 0;
        ASSERT_EQ(tamberlyn::ParseWavHead(b.data(), size, d, needed), WavHead::kNeedMore) << size;
        ASSERT_GT(needed, size);
        ASSERT_LE(needed, b.size());
    }
}

TEST(WavReader, UnknownOrOverlongDataSizeRunsToTheEnd) {
    tamberlyn::WavDescription d;
    d.data_offset = 44;
    for (std::uint32_t size : {0u, 0xFFFFFFFFu, 1000u}) {
        d.data_size = size;
        const auto extent = tamberlyn::ResolveWavData(d, 44 + 600);
        EXPECT_TRUE(extent.to_end) << size;
        EXPECT_EQ(extent.bytes, 600u);
    }
    d.data_size = 600;
    EXPECT_FALSE(tamberlyn::ResolveWavData(d, 44 + 600).to_end);
    d.data_size = 1000;
    EXPECT_FALSE(tamberlyn::ResolveWavData(d, tamberlyn::kUnknownFileSize).to_end);
}

}  // namespace
}  // namespace tamberlyn_test
