#include "wav/wav_diagnosis.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "wav/wav_header.h"

namespace tamberlyn_test {
namespace {

using tamberlyn::WavState;
using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

Bytes RecorderHeader(std::int32_t blocks) {
    tamberlyn::WAVHeader h;
    tamberlyn::FillWAVHeader(h, blocks);
    std::uint8_t bytes[44];
    tamberlyn::SerializeWAVHeader(h, bytes);
    return Bytes(bytes, bytes + 44);
}

// A 16-bit file of `channels` at 8000 Hz with `data` bytes of a tone, then `after`.
Bytes Wav(std::uint32_t riff, std::uint32_t data_size, std::size_t data, const Bytes& after,
          std::uint8_t channels = 2) {
    Bytes b = {'R', 'I', 'F', 'F'};
    Put32(b, riff);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, channels, 0});
    Put32(b, 8000);
    Put32(b, 8000u * 2 * channels);
    b.insert(b.end(), {static_cast<std::uint8_t>(2 * channels), 0, 16, 0});
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put32(b, data_size);
    for (std::size_t i = 0; i < data; ++i) b.push_back(static_cast<std::uint8_t>(i * 37 + 1));
    b.insert(b.end(), after.begin(), after.end());
    return b;
}

Bytes Finished(std::size_t data, const Bytes& after = {}, std::uint8_t channels = 2) {
    Bytes b = Wav(0, static_cast<std::uint32_t>(data), data, after, channels);
    const auto riff = static_cast<std::uint32_t>(b.size() - 8);
    std::memcpy(b.data() + 4, &riff, 4);
    return b;
}

tamberlyn::WavDiagnosis Diagnose(const Bytes& file) {
    const tamberlyn::WavBytes bytes = {file.data(), file.size()};
    return tamberlyn::DiagnoseWav(tamberlyn::MemoryWavSource(bytes), file.size());
}

TEST(WavDiagnosis, APlaceholderOverSamplesCountsEveryOneOfThem) {
    // Never stopped, killed within its first second: not a sample is cut, only a lone byte.
    Bytes zero(44, 0);
    zero.insert(zero.end(), 15999, 5);
    const auto d = Diagnose(zero);
    EXPECT_EQ(d.state, WavState::kUnfinishedRecording);
    ASSERT_TRUE(d.repairable);
    EXPECT_EQ(d.length, 44u + 15998);
    Bytes expected = RecorderHeader(0);
    const std::uint32_t data = 15998, riff = data + 36;
    std::memcpy(expected.data() + 40, &data, 4);
    std::memcpy(expected.data() + 4, &riff, 4);
    EXPECT_EQ(Bytes(d.header, d.header + 44), expected);

    // An earlier recording's header over more whole blocks: the same.
    Bytes stale = RecorderHeader(1);
    stale.insert(stale.end(), 3 * 16000, 5);
    EXPECT_EQ(Diagnose(stale).state, WavState::kUnfinishedRecording);
}

TEST(WavDiagnosis, ZerosThatGoOnPastThePlaceholderAreLeftAlone) {
    Bytes raw(1600, 0);
    raw.insert(raw.end(), 24000, 9);
    const auto d = Diagnose(raw);
    EXPECT_EQ(d.state, WavState::kUndecidable);
    EXPECT_FALSE(d.repairable);
}

TEST(WavDiagnosis, WhatWasAppendedToAFinishedFileIsNoRecording) {
    // A finished 8 kHz mono recording with a LIST chunk appended, its RIFF size left as it was:
    // the chunk is kept, only the RIFF size is mended.
    Bytes listed = RecorderHeader(1);
    listed.insert(listed.end(), 16000, 5);
    listed.insert(listed.end(), {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'});
    auto d = Diagnose(listed);
    EXPECT_EQ(d.state, WavState::kSizesDisagree);
    EXPECT_TRUE(d.riff_wrong && !d.data_wrong);
    ASSERT_TRUE(d.repairable);
    EXPECT_EQ(d.sizes.count, 1);
    EXPECT_EQ(d.length, listed.size());

    // An ID3v1 tag after a whole RIFF form is outside the WAV, which is finished.
    Bytes tagged = RecorderHeader(1);
    tagged.insert(tagged.end(), 16000, 5);
    tagged.insert(tagged.end(), {'T', 'A', 'G', 'T', 'i', 't', 'l', 'e'});
    tagged.resize(44 + 16000 + 128, ' ');
    d = Diagnose(tagged);
    EXPECT_EQ(d.state, WavState::kFinished);
    EXPECT_EQ(d.form_end, 44u + 16000u);
    EXPECT_EQ(d.data_bytes, 16000u);
}

TEST(WavDiagnosis, TagsAppendedToAnUnfinishedRecordingAreNoSamples) {
    // Killed while recording, then tagged: a LIST chunk and an ID3v1 tag after its samples.
    Bytes file(44, 0);
    file.insert(file.end(), 24000, 5);
    const Bytes list = {'L', 'I', 'S', 'T', 5, 0, 0, 0, 'I', 'N', 'F', 'O', 'x', 0};
    file.insert(file.end(), list.begin(), list.end());
    file.insert(file.end(), {'T', 'A', 'G'});
    file.resize(44 + 24000 + list.size() + 128, ' ');
    const auto d = Diagnose(file);
    EXPECT_EQ(d.state, WavState::kUnfinishedRecording);
    ASSERT_TRUE(d.repairable);
    EXPECT_EQ(d.data_bytes, 24000u);
    EXPECT_EQ(d.length, file.size());  // nothing cut
    const Bytes header(d.header, d.header + 44);
    Bytes expected = RecorderHeader(0);
    for (int i = 0; i < 4; ++i) {
        expected[40 + i] = static_cast<std::uint8_t>(24000u >> (8 * i));
        // The RIFF form holds the LIST chunk; the ID3v1 tag stays after it.
        expected[4 + i] = static_cast<std::uint8_t>((36u + 24000u + 14u) >> (8 * i));
    }
    EXPECT_EQ(header, expected);
}

TEST(WavDiagnosis, FinishedFilesOfOtherWriters) {
    // An empty data chunk followed by metadata, and an odd last chunk without its pad byte.
    EXPECT_EQ(Diagnose(Finished(0, {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'})).state,
              WavState::kFinished);
    Bytes unpadded = Finished(400, {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c'});
    EXPECT_EQ(Diagnose(unpadded).state, WavState::kFinished);
}

TEST(WavDiagnosis, SizesThatDisagreeAreNamed) {
    // A streaming writer's unknown sizes: every whole sample counts, a partial frame included.
    auto d = Diagnose(Wav(0xFFFFFFFFu, 0xFFFFFFFFu, 403, {}));
    EXPECT_EQ(d.state, WavState::kUnknownLength);
    ASSERT_TRUE(d.repairable);
    EXPECT_EQ(d.length, 44u + 402);
    EXPECT_EQ(d.data_bytes, 403u);

    // The header says a second, consistently, and the file holds three: what follows its RIFF
    // form is outside the WAV; and with the RIFF size saying otherwise nothing tells.
    d = Diagnose(Wav(36 + 16000, 16000, 48000, {}));
    EXPECT_EQ(d.state, WavState::kFinished);
    EXPECT_EQ(d.form_end, 44u + 16000);
    d = Diagnose(Wav(36 + 16002, 16000, 48000, {}));
    EXPECT_EQ(d.state, WavState::kUndecidable);
    d = Diagnose(Wav(36 + 32000, 48000, 16000, {}, 1));
    EXPECT_EQ(d.state, WavState::kSizesDisagree);
    EXPECT_TRUE(d.data_wrong);
    EXPECT_EQ(d.data_bytes, 16000u);

    // Only the RIFF size wrong.
    Bytes riff = Finished(400);
    riff[4] = 12;
    d = Diagnose(riff);
    EXPECT_TRUE(d.riff_wrong && !d.data_wrong);

    EXPECT_EQ(Diagnose(Bytes{'M', 'T', 'h', 'd'}).state, WavState::kNotWav);
}

TEST(WavDiagnosis, OddSizedSamplesBeforeAppendedTagsKeepTheirPadByte) {
    // A stream's 24-bit mono samples, 17 of them (51 bytes), then a LIST chunk a tagger added.
    const Bytes list = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    const auto stream = [&](bool padded) {
        Bytes pad;
        if (padded) pad.push_back(0);
        pad.insert(pad.end(), list.begin(), list.end());
        Bytes b = Wav(0xFFFFFFFFu, 0xFFFFFFFFu, 51, pad, 1);
        b[32] = 3;   // block align
        b[34] = 24;  // bits
        return b;
    };
    Bytes padded = stream(true);
    const auto d = Diagnose(padded);
    ASSERT_TRUE(d.repairable);
    EXPECT_EQ(d.length, padded.size());
    for (int i = 0; i < d.sizes.count; ++i) {
        std::memcpy(padded.data() + d.sizes.fields[i].offset, d.sizes.fields[i].bytes,
                    d.sizes.fields[i].width);
    }
    EXPECT_EQ(padded[40], 51);
    EXPECT_EQ(Diagnose(padded).state, WavState::kFinished);

    // Without the pad byte no sizes can describe it in place: refused, not half-mended.
    EXPECT_FALSE(Diagnose(stream(false)).repairable);
}

TEST(WavDiagnosis, DataBeyondWhatThirtyTwoBitsDescribeIsRepairedAsAnRf64Copy) {
    // A header that says "unknown", then 5 GiB of samples the source makes up.
    struct Huge {
        Bytes head;
    } file{Wav(0xFFFFFFFFu, 0xFFFFFFFFu, 0, {})};
    auto read_at = [](void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size,
                      std::size_t& got) {
        const Bytes& head = static_cast<Huge*>(context)->head;
        for (got = 0; got < size; ++got, ++offset)
            out[got] = offset < head.size() ? head[offset] : 1;
        return tamberlyn::SystemError{};
    };
    const auto d = tamberlyn::DiagnoseWav({read_at, &file}, 44 + (5ull << 30));
    EXPECT_EQ(d.state, WavState::kUnknownLength);
    EXPECT_EQ(d.data_bytes, 5ull << 30);
    // No room for RF64's sizes in it: a copy, its data size where the copy's "ds64" puts it.
    EXPECT_TRUE(d.repairable && d.rewrite && d.to_rf64);
    bool data_size_set = false;
    for (int i = 0; i < d.sizes.count; ++i) {
        const tamberlyn::WavSizeField& f = d.sizes.fields[i];
        if (f.offset == 20 + 8 && f.width == 8) {
            std::uint64_t v = 0;
            for (int k = 7; k >= 0; --k) v = v << 8 | f.bytes[k];
            data_size_set = v == 5ull << 30;
        }
    }
    EXPECT_TRUE(data_size_set);
}

}  // namespace
}  // namespace tamberlyn_test
