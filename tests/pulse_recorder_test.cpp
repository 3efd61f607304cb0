// Recording at real-time pace from a private PulseAudio server: through the exports and through
// `tamberlyn record`, with the server killed and started again.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>

#include "pulse_server.h"
#include "tamberlyn.h"
#include "test_files.h"
#include "wav_reader.h"

namespace tamberlyn_test {
namespace {

using namespace std::chrono_literals;

class PulseTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        if (!server_.Start(dir_)) GTEST_SKIP() << "no PulseAudio server could be started";
    }

    static std::vector<std::int16_t> Samples(const Bytes& file) {
        std::vector<std::int16_t> s((file.size() - 44) / 2);
        std::memcpy(s.data(), file.data() + 44, 2 * s.size());
        return s;
    }

    static std::chrono::milliseconds Timed(const std::function<void()>& f) {
        const auto start = std::chrono::steady_clock::now();
        f();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    }

    PulseServer server_;
};

TEST_F(PulseTest, TenSecondsGiveTenBlocksWithNoSampleLostOrRepeated) {
    ASSERT_EQ(SoundRecorderStart(WidePath("rec.wav").c_str()), RESULT_SUCCESS);
    // Timed from the first block: the server takes a moment to deliver the first samples.
    ASSERT_TRUE(WaitForFileBlocks(NarrowPath("rec.wav"), 1, 10));
    std::this_thread::sleep_for(10s);
    const int32_t blocks = SoundRecorderStop();
    EXPECT_GE(blocks, 1 + 9);
    EXPECT_LE(blocks, 1 + 11);
    const Bytes file = ReadBytes(Path("rec.wav"));
    ExpectValidRecording(file, static_cast<std::uint32_t>(blocks));
    const auto s = Samples(file);
    const Discontinuity jump = ToneDiscontinuity(s.data(), s.size());
    EXPECT_LT(jump.size, 8.0) << "at sample " << jump.at << " of " << s.size() << ": "
                              << s[jump.at - 2] << " " << s[jump.at - 1] << " " << s[jump.at] << " "
                              << s[jump.at + 1];
}

TEST_F(PulseTest, ALostServerIsWaitedForAndStopReturnsAtOnce) {
    ASSERT_EQ(SoundRecorderStart(WidePath("rec.wav").c_str()), RESULT_SUCCESS);
    ASSERT_TRUE(WaitForFileBlocks(NarrowPath("rec.wav"), 2, 10));
    server_.Kill();
    std::this_thread::sleep_for(2500ms);
    int32_t blocks = 0;
    EXPECT_LT(Timed([&] { blocks = SoundRecorderStop(); }), 500ms);
    EXPECT_GE(blocks, 2);
    ExpectValidRecording(ReadBytes(Path("rec.wav")), static_cast<std::uint32_t>(blocks));
}

TEST_F(PulseTest, ARestartedServerGivesTheInputBack) {
    ASSERT_EQ(SoundRecorderStart(WidePath("rec.wav").c_str()), RESULT_SUCCESS);
    ASSERT_TRUE(WaitForFileBlocks(NarrowPath("rec.wav"), 2, 10));
    server_.Kill();
    std::this_thread::sleep_for(2s);
    ASSERT_TRUE(server_.Restart());
    // Reopened within about a second, then whole blocks again.
    EXPECT_TRUE(WaitForFileBlocks(NarrowPath("rec.wav"), 5, 8));
    const int32_t blocks = SoundRecorderStop();
    EXPECT_GE(blocks, 5);
    const Bytes file = ReadBytes(Path("rec.wav"));
    ExpectValidRecording(file, static_cast<std::uint32_t>(blocks));
    // The last two blocks are the tone again, whole.
    const auto s = Samples(file);
    EXPECT_LT(ToneDiscontinuity(s.data() + s.size() - 16000, 16000).size, 8.0);
}

TEST_F(PulseTest, RecordCommandStopsAtItsSecondsAndOnHangUp) {
    const std::string cli = TAMBERLYN_CLI;
    ASSERT_EQ(
        std::system(
            (cli + " record " + NarrowPath("three.wav") + " --seconds 3 2>/dev/null").c_str()),
        0);
    ExpectValidRecording(ReadBytes(Path("three.wav")), 3);

    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(TAMBERLYN_CLI, TAMBERLYN_CLI, "record", NarrowPath("hup.wav").c_str(), nullptr);
        ::_exit(127);
    }
    EXPECT_TRUE(WaitForFileBlocks(NarrowPath("hup.wav"), 2, 10));
    ::kill(child, SIGHUP);  // a closed terminal
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const Bytes file = ReadBytes(Path("hup.wav"));
    ASSERT_GE(file.size(), 44u + 2 * 16000u);
    ExpectValidRecording(file, static_cast<std::uint32_t>((file.size() - 44) / 16000));
}

}  // namespace
}  // namespace tamberlyn_test
