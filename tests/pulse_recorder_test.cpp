// Recording at real-time pace from a private PulseAudio server: through the exports and through
// `tamberlyn record`, with the server killed and started again.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>

#include "posix_process.h"
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

    // Starts the program with `args`, its standard error to `err`, its files limited to
    // `file_limit` bytes (0: no limit).
    pid_t Program(const std::vector<std::string>& args, const std::string& err,
                  std::uint64_t file_limit = 0) {
        return StartProgram(TAMBERLYN_CLI, args, "/dev/null", err, -1, file_limit);
    }
    static int Status(pid_t child) { return ExitStatus(child); }
    std::string Text(const std::string& name) {
        const Bytes b = ReadBytes(Path(name));
        return std::string(b.begin(), b.end());
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
    std::this_thread::sleep_for(500ms);
    ::kill(child, SIGHUP);  // a closed terminal, partway through a second
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Every word up to the hang-up is kept: the last second's part too.
    const Bytes file = ReadBytes(Path("hup.wav"));
    ASSERT_GE(file.size(), 44u + 2 * 16000u);
    EXPECT_NE((file.size() - 44) % 16000, 0u);
    ExpectValidRecordingOfAnyLength(file);
}

// A fresh server takes a second or more to deliver a stream's first frames; an interrupt soon
// after they come, before a whole second is in, keeps them.
// The status line is redrawn in place on a terminal: on a narrow one it gives up columns rather
// than wrap, which would leave a trail of lines ten times a second.
TEST_F(PulseTest, TheRecordStatusLineFitsANarrowTerminal) {
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    const winsize narrow = {8, 40, 0, 0};
    ASSERT_EQ(::ioctl(terminal, TIOCSWINSZ, &narrow), 0);
    const int side = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);  // keeps it open until read
    const pid_t child =
        Program({"record", NarrowPath("narrow.wav"), "--seconds", "2"}, ::ptsname(terminal));
    std::string shown;
    int status = -1;
    for (bool running = true; running;) {
        running = ::waitpid(child, &status, WNOHANG) == 0;
        pollfd ready = {terminal, POLLIN, 0};
        while (::poll(&ready, 1, running ? 100 : 0) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(terminal, buffer, sizeof buffer);
            if (n <= 0) break;
            shown.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(side);
    ::close(terminal);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    // Every stretch redrawn in place (one that the next carriage return does not end with a new
    // line), without its escapes, in characters.
    int redraws = 0;
    std::size_t at = 0;
    while (at < shown.size()) {
        const std::size_t end = shown.find('\r', at);
        if (end == std::string::npos) break;
        const bool line_ends = end + 1 < shown.size() && shown[end + 1] == '\n';
        std::size_t columns = 0;
        for (std::size_t i = at; i < end; ++i) {
            if (shown[i] == '\033') {
                while (i < end && !std::isalpha(static_cast<unsigned char>(shown[i]))) ++i;
            } else if (shown[i] != '\n' && (static_cast<unsigned char>(shown[i]) & 0xC0) != 0x80) {
                ++columns;
            }
        }
        if (!line_ends && columns > 0) {
            ++redraws;
            EXPECT_LT(columns, 40u) << shown.substr(at, end - at);
        }
        at = end + 1;
    }
    EXPECT_GT(redraws, 3) << shown;
    EXPECT_NE(shown.find("recorded 2 s"), std::string::npos) << shown;
}

TEST_F(PulseTest, AnInterruptBeforeTheFirstWholeSecondKeepsWhatWasHeard) {
    const pid_t child = Program({"record", NarrowPath("short.wav")}, NarrowPath("err"));
    std::this_thread::sleep_for(2500ms);
    ::kill(child, SIGINT);
    EXPECT_EQ(Status(child), 0) << Text("err");
    const Bytes file = ReadBytes(Path("short.wav"));
    ASSERT_GT(file.size(), 44u) << Text("err");
    ExpectValidRecordingOfAnyLength(file);
}

// The program hears the recorder, not the file: blocks that arrive together after a stall of
// the program are not one too many, and a stall with nothing lost is no loss.
TEST_F(PulseTest, RecordSavesExactlyItsSecondsThroughAStall) {
    const pid_t child =
        Program({"record", NarrowPath("four.wav"), "--seconds", "4"}, NarrowPath("err"));
    ASSERT_TRUE(WaitForFileBlocks(NarrowPath("four.wav"), 1, 10));
    ::kill(child, SIGSTOP);
    std::this_thread::sleep_for(3s);
    ::kill(child, SIGCONT);
    EXPECT_EQ(Status(child), 0);
    ExpectValidRecording(ReadBytes(Path("four.wav")), 4);
    EXPECT_EQ(Text("err"), "recorded 4 s to " + NarrowPath("four.wav") + "\n");
}

TEST_F(PulseTest, RecordReportsTheTimeTheInputWasGone) {
    const pid_t child =
        Program({"record", NarrowPath("gap.wav"), "--seconds", "6"}, NarrowPath("err"));
    ASSERT_TRUE(WaitForFileBlocks(NarrowPath("gap.wav"), 2, 10));
    server_.Kill();
    std::this_thread::sleep_for(3s);
    ASSERT_TRUE(server_.Restart());
    EXPECT_EQ(Status(child), 0);
    ExpectValidRecording(ReadBytes(Path("gap.wav")), 6);
    const std::string err = Text("err");
    EXPECT_NE(err.find("the input is lost"), std::string::npos) << err;
    EXPECT_NE(err.find("the input is back"), std::string::npos) << err;
    // Gone for the three seconds, and for the server's start, the reopening (once a second)
    // and the stream's start after them.
    const std::size_t at = err.find(" s lost while the input was gone");
    ASSERT_NE(at, std::string::npos) << err;
    const double lost = std::atof(err.c_str() + err.rfind('(', at) + 1);
    EXPECT_GE(lost, 3.0) << err;
    EXPECT_LE(lost, 8.0) << err;
}

TEST_F(PulseTest, AFullDiskIsReportedAsSuchAndEndsTheRecording) {
    const pid_t child =
        Program({"record", NarrowPath("full.wav")}, NarrowPath("err"), 44 + 2 * 16000 + 100);
    EXPECT_EQ(Status(child), 1);
    ExpectValidRecording(ReadBytes(Path("full.wav")), 2);
    const std::string err = Text("err");
    EXPECT_NE(err.find("cannot write '" + NarrowPath("full.wav") + "': File too large"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("lost"), std::string::npos) << err;
}

TEST_F(PulseTest, ASecondInterruptEndsAStopThatAFrozenServerHolds) {
    const pid_t child = Program({"record", NarrowPath("frozen.wav")}, NarrowPath("err"));
    ASSERT_TRUE(WaitForFileBlocks(NarrowPath("frozen.wav"), 2, 10));
    server_.Signal(SIGSTOP);
    ::kill(child, SIGINT);
    std::this_thread::sleep_for(1s);  // stopping, and waiting for the server
    ::kill(child, SIGINT);
    int status = 0;
    EXPECT_LT(Timed([&] { status = Status(child); }), 1000ms);
    EXPECT_EQ(status, 130);
    server_.Signal(SIGCONT);
    // It says what it leaves, and how to finish it.
    EXPECT_EQ(Text("err"), "tamberlyn: '" + NarrowPath("frozen.wav") + "' is unfinished: " +
                               "'tamberlyn repair " + NarrowPath("frozen.wav") + "' finishes it\n");
    // What is left is an unfinished recording, which repair finishes.
    EXPECT_EQ(std::system((std::string(TAMBERLYN_CLI) + " repair " + NarrowPath("frozen.wav") +
                           " >/dev/null")
                              .c_str()),
              0);
    const Bytes file = ReadBytes(Path("frozen.wav"));
    EXPECT_GE(file.size(), 44u + 2 * 16000);
}

TEST_F(PulseTest, AStartThatAFrozenServerHoldsLeavesNoFileAfterASecondInterrupt) {
    server_.Signal(SIGSTOP);
    const pid_t child = Program({"record", NarrowPath("held.wav")}, NarrowPath("err"));
    std::this_thread::sleep_for(1s);  // opening the stream, and waiting for the server
    ::kill(child, SIGINT);
    std::this_thread::sleep_for(200ms);
    ::kill(child, SIGINT);
    EXPECT_EQ(Status(child), 130);
    server_.Signal(SIGCONT);
    EXPECT_FALSE(Exists(Path("held.wav")));
}

TEST_F(PulseTest, SilenceIsNamedAfterFiveSecondsOfIt) {
    server_.PauseTone();  // what the player holds still plays for a few seconds
    const pid_t child =
        Program({"record", NarrowPath("mute.wav"), "--seconds", "12"}, NarrowPath("err"));
    EXPECT_EQ(Status(child), 0);
    const std::string err = Text("err");
    EXPECT_NE(err.find("the input is silent: is the microphone muted?"), std::string::npos) << err;
}

TEST_F(PulseTest, AMissingSourceIsRefusedWithTheServersReason) {
    ::setenv("PULSE_SOURCE", "no_such_source", 1);
    const pid_t child =
        Program({"record", NarrowPath("none.wav"), "--seconds", "1"}, NarrowPath("err"));
    ::unsetenv("PULSE_SOURCE");
    EXPECT_EQ(Status(child), 1);
    const std::string err = Text("err");
    EXPECT_EQ(err.rfind("tamberlyn: cannot ", 0), 0u) << err;
    EXPECT_NE(err.find(" the input 'default'"), std::string::npos) << err;
    EXPECT_NE(err.find("(PULSE_SOURCE=no_such_source)\n"), std::string::npos) << err;
    EXPECT_FALSE(Exists(Path("none.wav")));
}

}  // namespace
}  // namespace tamberlyn_test
