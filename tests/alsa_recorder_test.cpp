// The recorder through the shared library's exports with the real ALSA backend.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

#include "alsa_fixture.h"
#include "posix_process.h"
#include "tamberlyn.h"
#include "wav_reader.h"

namespace tamberlyn_test {
namespace {

TEST_F(AlsaTest, RecordsTheInputSampleForSample) {
    ASSERT_EQ(SoundRecorderStart(WidePath("rec.wav").c_str()), RESULT_SUCCESS);
    ASSERT_TRUE(WaitForBlocks(Path("rec.wav"), kPatternBlocks));
    const int32_t blocks = SoundRecorderStop();
    ASSERT_GE(blocks, kPatternBlocks);
    const Bytes file = ReadBytes(Path("rec.wav"));
    ExpectValidRecording(file, static_cast<std::uint32_t>(blocks));
    EXPECT_EQ(Bytes(file.begin() + 44, file.begin() + 44 + 16000 * kPatternBlocks), AlsaPattern());
}

TEST_F(AlsaTest, NoDeviceGivesResult1ThenAValidEmptyFile) {
    UseMissingCard();
    ASSERT_EQ(SoundRecorderStart(WidePath("rec.wav").c_str()), RECORDER_DEVICE_NOT_OPENED);
    EXPECT_EQ(ReadBytes(Path("rec.wav")), Bytes(44, 0));
    EXPECT_EQ(SoundRecorderStop(), 0);
    ExpectValidRecording(ReadBytes(Path("rec.wav")), 0);
    EXPECT_EQ(SoundRecorderStop(), 0);
}

TEST_F(AlsaTest, PlaceholderIsThePreviousRecordingsHeader) {
    ASSERT_EQ(SoundRecorderStart(WidePath("one.wav").c_str()), RESULT_SUCCESS);
    ASSERT_TRUE(WaitForBlocks(Path("one.wav"), 1));
    const int32_t first = SoundRecorderStop();
    UseMissingCard();
    ASSERT_EQ(SoundRecorderStart(WidePath("two.wav").c_str()), RECORDER_DEVICE_NOT_OPENED);
    EXPECT_EQ(ReadBytes(Path("two.wav")), RecordedHeader(static_cast<std::uint32_t>(first)));
    EXPECT_EQ(SoundRecorderStop(), 0);
}

TEST_F(AlsaTest, UnicodePath) {
    const std::u16string name = Wide(dir_) + u"/\u65E5\u672C \U0001F3A4.wav";
    ASSERT_EQ(SoundRecorderStart(name.c_str()), RESULT_SUCCESS);
    const fs::path narrow = Path("\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xA4.wav");
    ASSERT_TRUE(WaitForBlocks(narrow, 1));
    const int32_t blocks = SoundRecorderStop();
    ExpectValidRecording(ReadBytes(narrow), static_cast<std::uint32_t>(blocks));
}

TEST_F(AlsaTest, ManyCyclesLeaveNoDescriptorOrThreadBehind) {
    // A first cycle loads alsa-lib's configuration, which it keeps for the process.
    ASSERT_EQ(SoundRecorderStart(WidePath("warm.wav").c_str()), RESULT_SUCCESS);
    SoundRecorderStop();
    const int fds = OpenDescriptors();
    const int threads = Threads();
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(SoundRecorderStart(WidePath("cycle.wav").c_str()), RESULT_SUCCESS);
        const int32_t blocks = SoundRecorderStop();
        ExpectValidRecording(ReadBytes(Path("cycle.wav")), static_cast<std::uint32_t>(blocks));
    }
    EXPECT_EQ(OpenDescriptors(), fds);
    EXPECT_EQ(Threads(threads), threads);
}

TEST_F(AlsaTest, FullDiskKeepsTheFileValid) {
    // In a child: the file may not grow past three and a half blocks.
    const int code = RunInChild(
        [&] {
            if (SoundRecorderStart(WidePath("rec.wav").c_str()) != RESULT_SUCCESS) return 10;
            if (!WaitForBlocks(Path("rec.wav"), 3)) return 11;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));  // writes keep failing
            return SoundRecorderStop() == 3 ? 0 : 12;
        },
        44 + 56000);
    EXPECT_EQ(code, 0);
    const Bytes file = ReadBytes(Path("rec.wav"));
    ExpectValidRecording(file, 3);
    const Bytes pattern = AlsaPattern();
    EXPECT_TRUE(std::equal(file.begin() + 44, file.end(), pattern.begin()));

    // No room even for the placeholder: no recording at all.
    EXPECT_EQ(SoundRecorderStart(u"/dev/full"), RECORDER_FILE_NOT_CREATED);
    EXPECT_EQ(SoundRecorderStop(), 0);
}

TEST_F(AlsaTest, ExitWhileRecordingFinalisesTheFile) {
    ASSERT_EQ(RunInChild([&] {
                  if (SoundRecorderStart(WidePath("rec.wav").c_str()) != RESULT_SUCCESS) return 10;
                  if (!WaitForBlocks(Path("rec.wav"), 2)) return 11;
                  std::exit(0);  // no stop: the module's unload step must finish the file
              }),
              0);
    const Bytes file = ReadBytes(Path("rec.wav"));
    ASSERT_GE(file.size(), 44u + 32000u);
    ExpectValidRecording(file, static_cast<std::uint32_t>((file.size() - 44) / 16000));
}

}  // namespace
}  // namespace tamberlyn_test
