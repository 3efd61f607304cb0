#include "wav/wav_diagnosis.h"

#include <gtest/gtest.h>

#include <vector>

#include "wav/wav_header.h"

namespace tamberlyn_test {
namespace {

using tamberlyn::WavCondition;
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

// A stereo 16-bit file with a LIST chunk before the data and `after` bytes after it.
Bytes Stereo(std::uint32_t riff, std::uint32_t data_size, std::size_t data, const Bytes& after) {
    Bytes b = {'R', 'I', 'F', 'F'};
    Put32(b, riff);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0});
    Put32(b, 44100);
    Put32(b, 44100 * 4);
    b.insert(b.end(), {4, 0, 16, 0, 'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'});
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put32(b, data_size);
    b.insert(b.end(), data, 9);
    b.insert(b.end(), after.begin(), after.end());
    return b;
}

tamberlyn::WavDiagnosis Diagnose(const Bytes& file) {
    return tamberlyn::DiagnoseWav(file.data(), file.size(), file.size());
}

TEST(WavDiagnosis, RecordingsOfTheRecorder) {
    // Never stopped: zeros, three whole blocks and a partial one, which the repair cuts.
    Bytes zero(44, 0);
    zero.insert(zero.end(), 3 * 16000 + 700, 5);
    auto d = Diagnose(zero);
    EXPECT_EQ(d.condition, WavCondition::kUnfinishedRecording);
    ASSERT_TRUE(d.repairable && d.write_header);
    EXPECT_EQ(d.data_size, 3u * 16000);
    EXPECT_EQ(d.length, 44u + 3 * 16000);

    // A placeholder left by an earlier recording of one block, over three.
    Bytes stale = RecorderHeader(1);
    stale.insert(stale.end(), 3 * 16000, 5);
    d = Diagnose(stale);
    EXPECT_EQ(d.condition, WavCondition::kUnfinishedRecording);
    EXPECT_EQ(d.data_size, 3u * 16000);
    EXPECT_EQ(d.riff_size, 3u * 16000 + 36);

    Bytes done = RecorderHeader(2);
    done.insert(done.end(), 2 * 16000, 5);
    EXPECT_EQ(Diagnose(done).condition, WavCondition::kFinished);
}

TEST(WavDiagnosis, OtherWriters) {
    const Bytes list = {'L', 'I', 'S', 'T', 2, 0, 0, 0, 'a', 'b'};
    // Consistent, with a chunk after the data.
    Bytes fine = Stereo(0, 400, 400, list);
    fine[4] = static_cast<std::uint8_t>(fine.size() - 8);
    fine[5] = static_cast<std::uint8_t>((fine.size() - 8) >> 8);
    EXPECT_EQ(Diagnose(fine).condition, WavCondition::kFinished);

    // A streaming writer's unknown sizes, ending in a partial frame.
    const Bytes stream = Stereo(0xFFFFFFFFu, 0xFFFFFFFFu, 403, {});
    auto d = Diagnose(stream);
    EXPECT_EQ(d.condition, WavCondition::kSizesDisagree);
    ASSERT_TRUE(d.repairable);
    EXPECT_EQ(d.data_size, 400u);
    EXPECT_EQ(d.length, stream.size() - 3);
    EXPECT_EQ(d.riff_size, d.length - 8);

    // Only the RIFF size wrong.
    d = Diagnose(Stereo(12, 400, 400, list));
    EXPECT_EQ(d.condition, WavCondition::kSizesDisagree);
    EXPECT_TRUE(d.repairable);
    EXPECT_EQ(d.data_size, 400u);

    // Bytes after the data that are no chunk: nothing to tell which size is right.
    d = Diagnose(Stereo(0, 400, 400, Bytes(7, 1)));
    EXPECT_EQ(d.condition, WavCondition::kSizesDisagree);
    EXPECT_FALSE(d.repairable);

    EXPECT_EQ(Diagnose(Bytes{'M', 'T', 'h', 'd'}).condition, WavCondition::kNotWav);
}

}  // namespace
}  // namespace tamberlyn_test
