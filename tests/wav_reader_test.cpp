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
    const tamberlyn::WavBytes bytes = {b.data(), b.size()};
    tamberlyn::SystemError error;
    return tamberlyn::ReadWavHead(tamberlyn::MemoryWavSource(bytes), d, error);
}

tamberlyn::WavTail Tail(const Bytes& b, std::uint64_t from) {
    const tamberlyn::WavBytes bytes = {b.data(), b.size()};
    tamberlyn::SystemError error;
    return tamberlyn::ReadWavTail(tamberlyn::MemoryWavSource(bytes), from, b.size(), error);
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

TEST(WavReader, AHeadCutShortAnywhereIsCutShort) {
    Bytes b = Riff();
    Chunk(b, "JUNK", 100);
    Format(b, 1, 1, 8000, 16);
    Put(b, "data");
    Put32(b, 16);
    for (std::size_t size = 0; size < b.size(); ++size) {
        tamberlyn::WavDescription d;
        ASSERT_EQ(Parse(Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(size)), d),
                  WavHead::kCutShort)
            << size;
    }
}

// A file whose chunk before the data is larger than any buffer: only its header is read.
TEST(WavReader, ChunksBeforeTheDataOfAnySize) {
    struct Sparse {
        Bytes head, tail;
        std::uint64_t gap;
        std::uint64_t bytes_read = 0;
    };
    Sparse file;
    file.head = Riff();
    Put(file.head, "id3 ");
    file.gap = 3u << 30;  // 3 GiB of tag
    Put32(file.head, static_cast<std::uint32_t>(file.gap));
    Format(file.tail, 1, 1, 8000, 16);
    Put(file.tail, "data");
    Put32(file.tail, 0);
    auto read_at = [](void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size,
                      std::size_t& got) {
        auto* f = static_cast<Sparse*>(context);
        f->bytes_read += size;
        const std::uint64_t tail_at = f->head.size() + f->gap;
        for (got = 0; got < size; ++got, ++offset) {
            if (offset < f->head.size()) {
                out[got] = f->head[offset];
            } else if (offset >= tail_at && offset - tail_at < f->tail.size()) {
                out[got] = f->tail[offset - tail_at];
            } else if (offset < tail_at) {
                out[got] = 0;
            } else {
                break;
            }
        }
        return tamberlyn::SystemError{};
    };
    tamberlyn::WavDescription d;
    tamberlyn::SystemError error;
    ASSERT_EQ(tamberlyn::ReadWavHead({read_at, &file}, d, error), WavHead::kComplete);
    EXPECT_EQ(d.data_offset, file.head.size() + file.gap + file.tail.size());
    EXPECT_LT(file.bytes_read, 1000u);
}

TEST(WavReader, WhatFollowsTheData) {
    Bytes b(20, 7);
    EXPECT_EQ(Tail(b, 20), tamberlyn::WavTail::kNothing);
    EXPECT_EQ(Tail(b, 21), tamberlyn::WavTail::kNothing);  // the data's pad byte left out
    Chunk(b, "LIST", 5);                                   // padded
    EXPECT_EQ(Tail(b, 20), tamberlyn::WavTail::kChunks);
    b.pop_back();  // the last chunk's pad byte left out, as many writers do
    EXPECT_EQ(Tail(b, 20), tamberlyn::WavTail::kChunks);
    Bytes tag(20, 7);
    tag.insert(tag.end(), {'T', 'A', 'G', 'S', 'o', 'n', 'g', ' '});  // ID3v1: no chunk
    tag.resize(20 + 128, ' ');
    EXPECT_EQ(Tail(tag, 20), tamberlyn::WavTail::kNotChunks);
    EXPECT_EQ(Tail(Bytes(40, 0), 20), tamberlyn::WavTail::kNotChunks);  // samples
}

}  // namespace
}  // namespace tamberlyn_test
