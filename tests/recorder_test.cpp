// The recorder driven through its exports, with the test capture service in the platform's place.
// Each test runs in a process of its own, so each starts from the module's initial state.
#include <gtest/gtest.h>

#include <csignal>
#ifndef _WIN32
#include <sys/stat.h>
#include "posix_process.h"
#endif

#include "boundary/module_recorder.h"
#include "recorder/sound_recorder.h"
#include "tamberlyn.h"
#include "test_capture_service.h"
#include "test_files.h"
#include "wav_reader.h"

namespace tamberlyn_test {
namespace {

using Calls = std::vector<std::string>;

const Calls kStartCalls = {"open 4294967295 8000 16000 196608", "prepare 16000", "add", "start"};
const Calls kStopCalls = {"stop", "unprepare", "close"};

Calls Join(Calls a, const Calls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The bytes of delivered blocks first..first+count-1.
Bytes Pattern(std::int32_t first, std::int32_t count) {
    Bytes out;
    for (std::int32_t k = first; k < first + count; ++k) {
        for (std::size_t i = 0; i < 8000; ++i) {
            const auto v = static_cast<std::uint16_t>(PatternSample(k, i));
            out.push_back(static_cast<std::uint8_t>(v & 0xFF));
            out.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    }
    return out;
}

class RecorderTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        service().Reset();
        tamberlyn::ReplaceCaptureServiceForTesting(&service().Table());
    }
    void TearDown() override {
        SoundRecorderStop();
        tamberlyn::ReplaceCaptureServiceForTesting(nullptr);
        TempDirTest::TearDown();
    }
    static TestCaptureService& service() { return TestCaptureService::Instance(); }
    int32_t Start(const std::string& name) { return SoundRecorderStart(WidePath(name).c_str()); }
};

TEST_F(RecorderTest, StartAndStopWithoutABlockLeaveAValidEmptyWav) {
    ASSERT_EQ(Start("a.wav"), RESULT_SUCCESS);
    EXPECT_EQ(ReadBytes(Path("a.wav")), Bytes(44, 0));  // no stop yet in this module: zeros
    EXPECT_EQ(SoundRecorderStop(), 0);
    ExpectValidRecording(ReadBytes(Path("a.wav")), 0);
    EXPECT_EQ(service().Calls(), Join(kStartCalls, kStopCalls));
}

TEST_F(RecorderTest, RecordsWholeBlocksInOrder) {
    ASSERT_EQ(Start("a.wav"), RESULT_SUCCESS);
    service().Deliver(3);
    EXPECT_EQ(SoundRecorderStop(), 3);
    const Bytes file = ReadBytes(Path("a.wav"));
    ExpectValidRecording(file, 3);
    EXPECT_EQ(Bytes(file.begin() + 44, file.end()), Pattern(0, 3));
}

// A device that stopped partway through a buffer: the exports keep whole blocks; a recorder
// that keeps the last second's part writes it, and a header that counts it.
TEST_F(RecorderTest, ThePartOfTheLastSecondIsKeptOnlyWhenAsked) {
    service().partial_at_stop = 4000;
    ASSERT_EQ(Start("whole.wav"), RESULT_SUCCESS);
    service().Deliver(2);
    EXPECT_EQ(SoundRecorderStop(), 2);
    ExpectValidRecording(ReadBytes(Path("whole.wav")), 2);

    service().Reset();
    service().partial_at_stop = 4000;
    tamberlyn::SoundRecorderState state;
    state.service = &service().Table();
    tamberlyn::FileHandle file;
    ASSERT_FALSE(tamberlyn::CreateNewFile(Path("part.wav").native().c_str(), file));
    tamberlyn::RecorderSettings settings;
    settings.keep_partial = true;
    ASSERT_FALSE(tamberlyn::BeginRecording(state, file, settings));
    ASSERT_EQ(tamberlyn::SoundRecorderOpenDevice(state), RESULT_SUCCESS);
    service().Deliver(2);
    EXPECT_EQ(tamberlyn::FinishRecording(state), 2);
    const Bytes part = ReadBytes(Path("part.wav"));
    ExpectValidRecordingOfAnyLength(part);
    Bytes expected = Pattern(0, 3);
    expected.resize(2 * 16000 + 4000);
    EXPECT_EQ(Bytes(part.begin() + 44, part.end()), expected);
}

TEST_F(RecorderTest, BufferIsRequeuedBeforeTheBlockIsWritten) {
    ASSERT_EQ(Start("a.wav"), RESULT_SUCCESS);
    std::vector<std::uintmax_t> sizes_at_add;
    service().on_add = [&] { sizes_at_add.push_back(fs::file_size(Path("a.wav"))); };
    service().Deliver(2);
    EXPECT_EQ(sizes_at_add, (std::vector<std::uintmax_t>{44, 44 + 16000}));
}

TEST_F(RecorderTest, ASecondRecordingStartsWithTheFirstOnesHeader) {
    ASSERT_EQ(Start("one.wav"), RESULT_SUCCESS);
    service().Deliver(2);
    ASSERT_EQ(SoundRecorderStop(), 2);

    ASSERT_EQ(Start("two.wav"), RESULT_SUCCESS);
    EXPECT_EQ(ReadBytes(Path("two.wav")), RecordedHeader(2));
    service().Deliver(1);
    EXPECT_EQ(SoundRecorderStop(), 1);
    const Bytes two = ReadBytes(Path("two.wav"));
    ExpectValidRecording(two, 1);
    EXPECT_EQ(Bytes(two.begin() + 44, two.end()), Pattern(2, 1));
    ExpectValidRecording(ReadBytes(Path("one.wav")), 2);
}

TEST_F(RecorderTest, OtherMessagesChangeNothing) {
    ASSERT_EQ(Start("a.wav"), RESULT_SUCCESS);
    for (std::uint32_t message : {0u, 958u, 959u, 961u, 0xFFFFFFFFu})
        service().SendMessage(message);
    EXPECT_EQ(ReadBytes(Path("a.wav")).size(), 44u);
    EXPECT_EQ(SoundRecorderStop(), 0);
    EXPECT_EQ(service().Calls(), Join(kStartCalls, kStopCalls));  // no re-queue either
}

TEST_F(RecorderTest, DeviceNotOpenedLeavesThePlaceholderUntilStop) {
    service().open_result = 2;
    EXPECT_EQ(Start("a.wav"), RECORDER_DEVICE_NOT_OPENED);
    EXPECT_EQ(ReadBytes(Path("a.wav")), Bytes(44, 0));
    EXPECT_EQ(SoundRecorderStop(), 0);
    ExpectValidRecording(ReadBytes(Path("a.wav")), 0);
    EXPECT_EQ(service().Calls(), Calls{kStartCalls[0]});
}

TEST_F(RecorderTest, BufferNotQueuedKeepsTheDeviceOpenUntilStop) {
    service().add_result = 11;
    EXPECT_EQ(Start("a.wav"), RECORDER_BUFFER_NOT_QUEUED);
    EXPECT_EQ(service().Calls(), Calls(kStartCalls.begin(), kStartCalls.end() - 1));
    EXPECT_EQ(SoundRecorderStop(), 0);
    ExpectValidRecording(ReadBytes(Path("a.wav")), 0);
    EXPECT_EQ(service().Calls(),
              Join(Calls(kStartCalls.begin(), kStartCalls.end() - 1), kStopCalls));
}

TEST_F(RecorderTest, CaptureNotStartedKeepsTheDeviceOpenUntilStop) {
    service().start_result = 1;
    EXPECT_EQ(Start("a.wav"), RECORDER_CAPTURE_NOT_STARTED);
    EXPECT_EQ(ReadBytes(Path("a.wav")), Bytes(44, 0));
    EXPECT_EQ(SoundRecorderStop(), 0);
    ExpectValidRecording(ReadBytes(Path("a.wav")), 0);
    EXPECT_EQ(service().Calls(), Join(kStartCalls, kStopCalls));
}

TEST_F(RecorderTest, FileThatCannotBeCreatedOpensNoDevice) {
    EXPECT_EQ(Start("missing/dir/a.wav"), RECORDER_FILE_NOT_CREATED);
    EXPECT_EQ(SoundRecorderStart(nullptr), RECORDER_FILE_NOT_CREATED);
    EXPECT_EQ(SoundRecorderStart(u""), RECORDER_FILE_NOT_CREATED);
    EXPECT_EQ(SoundRecorderStart((WidePath("bad") + u'\xDC00').c_str()), RECORDER_FILE_NOT_CREATED);
    EXPECT_EQ(SoundRecorderStart(Wide(dir_).c_str()), RECORDER_FILE_NOT_CREATED);
    EXPECT_EQ(SoundRecorderStop(), 0);
    EXPECT_TRUE(service().Calls().empty());
}

TEST_F(RecorderTest, StopWithoutARecordingTouchesNothing) {
    EXPECT_EQ(SoundRecorderStop(), 0);
    ASSERT_EQ(Start("a.wav"), RESULT_SUCCESS);
    service().Deliver(1);
    EXPECT_EQ(SoundRecorderStop(), 1);
    EXPECT_EQ(SoundRecorderStop(), 0);
    EXPECT_EQ(service().Calls(), Join(Join(kStartCalls, {"add"}), kStopCalls));
    ExpectValidRecording(ReadBytes(Path("a.wav")), 1);
}

TEST_F(RecorderTest, StartWhileRecordingIsRefusedAndChangesNothing) {
    ASSERT_EQ(Start("a.wav"), RESULT_SUCCESS);
    service().Deliver(1);
    EXPECT_EQ(Start("b.wav"), RECORDER_ALREADY_RUNNING);
    EXPECT_FALSE(Exists(Path("b.wav")));
    service().Deliver(1);
    EXPECT_EQ(SoundRecorderStop(), 2);
    ExpectValidRecording(ReadBytes(Path("a.wav")), 2);
}

TEST_F(RecorderTest, StartAfterAFailedStartFinishesTheLeftoverFirst) {
    service().start_result = 1;
    ASSERT_EQ(Start("a.wav"), RECORDER_CAPTURE_NOT_STARTED);
    service().start_result = 0;
    ASSERT_EQ(Start("b.wav"), RESULT_SUCCESS);
    ExpectValidRecording(ReadBytes(Path("a.wav")), 0);
    EXPECT_EQ(service().Calls(), Join(Join(kStartCalls, kStopCalls), kStartCalls));
    EXPECT_EQ(ReadBytes(Path("b.wav")), RecordedHeader(0));  // the leftover's final header
    service().Deliver(1);
    EXPECT_EQ(SoundRecorderStop(), 1);
}

TEST_F(RecorderTest, NoBlockIsWrittenPastWhatTheHeaderCanCount) {
    // The null device takes the blocks without keeping them; only the count matters here.
#ifdef _WIN32
    ASSERT_EQ(SoundRecorderStart(u"NUL"), RESULT_SUCCESS);
#else
    ASSERT_EQ(SoundRecorderStart(u"/dev/null"), RESULT_SUCCESS);
#endif
    service().Deliver(268436 + 3, /*fill=*/false);
    EXPECT_EQ(SoundRecorderStop(), 268435);
}

#ifndef _WIN32
TEST_F(RecorderTest, FailedWritesLeaveAValidFileOfTheWholeBlocks) {
    // In a child: a file-size limit two and a half blocks past the header.
    const int code = RunInChild(
        [&] {
            if (Start("a.wav") != RESULT_SUCCESS) return 10;
            service().Deliver(5);
            return SoundRecorderStop() == 2 ? 0 : 11;
        },
        44 + 40000);
    EXPECT_EQ(code, 0);
    const Bytes file = ReadBytes(Path("a.wav"));
    ExpectValidRecording(file, 2);
    EXPECT_EQ(Bytes(file.begin() + 44, file.end()), Pattern(0, 2));
}

// A placeholder that cannot be written starts nothing, and the file the start created goes:
// left behind, it would pass for an unfinished recording.
// A FIFO nobody reads would hold the start in its open, and every later call with it.
TEST_F(RecorderTest, AFifoWithoutAReaderIsRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(NarrowPath("fifo").c_str(), 0600), 0);
    EXPECT_EQ(Start("fifo"), RECORDER_FILE_NOT_CREATED);
    EXPECT_EQ(Start("a.wav"), RESULT_SUCCESS);
    EXPECT_EQ(SoundRecorderStop(), 0);
}

TEST_F(RecorderTest, FailedPlaceholderWriteStartsNothingAndLeavesNoFile) {
    EXPECT_EQ(RunInChild(
                  [&] {
                      if (Start("a.wav") != RECORDER_FILE_NOT_CREATED) return 10;
                      return SoundRecorderStop() == 0 && service().Calls().empty() ? 0 : 11;
                  },
                  20),
              0);
    EXPECT_FALSE(Exists(Path("a.wav")));
    EXPECT_EQ(SoundRecorderStart(u"/dev/full"), RECORDER_FILE_NOT_CREATED);
}

#endif

TEST_F(RecorderTest, UnloadFinishesARunningRecording) {
    ASSERT_EQ(Start("a.wav"), RESULT_SUCCESS);
    service().Deliver(2);
    tamberlyn::SoundRecorderFinishAtUnload();
    ExpectValidRecording(ReadBytes(Path("a.wav")), 2);
    EXPECT_EQ(service().Calls(), Join(Join(kStartCalls, {"add", "add"}), kStopCalls));
    EXPECT_EQ(SoundRecorderStop(), 0);
}

TEST_F(RecorderTest, UnloadDuringAStopWaitsForItAndFinishesNothingTwice) {
    ASSERT_EQ(Start("a.wav"), RESULT_SUCCESS);
    service().Deliver(1);
    service().stop_delay_ms = 300;
    std::thread stopping([] { EXPECT_EQ(SoundRecorderStop(), 1); });
    while (service().Calls().back() != "stop") std::this_thread::yield();
    tamberlyn::SoundRecorderFinishAtUnload();
    stopping.join();
    EXPECT_EQ(service().Calls(), Join(Join(kStartCalls, {"add"}), kStopCalls));
    ExpectValidRecording(ReadBytes(Path("a.wav")), 1);
}

TEST_F(RecorderTest, StopWhileNoticesArriveCountsEveryBlockWritten) {
    for (int round = 0; round < 20; ++round) {
        const std::string name = "r" + std::to_string(round) + ".wav";
        ASSERT_EQ(Start(name), RESULT_SUCCESS);
        service().DeliverForever();
        std::this_thread::sleep_for(std::chrono::microseconds(200 * round));
        const int32_t blocks = SoundRecorderStop();
        const Bytes file = ReadBytes(Path(name));
        ExpectValidRecording(file, static_cast<std::uint32_t>(blocks));
        ASSERT_EQ(Bytes(file.begin() + 44, file.end()),
                  Pattern(service().Delivered() - blocks, blocks));
        service().Reset();
    }
}

}  // namespace
}  // namespace tamberlyn_test
