// Many recordings in a row, and silence removal on other files while one runs: nothing may leak,
// and every file must come out valid.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "alsa_fixture.h"
#include "posix_process.h"
#include "recorder/capture_service.h"
#include "reference_silence.h"
#include "signal_builder.h"
#include "tamberlyn.h"
#include "test_capture_service.h"
#include "wav_reader.h"

namespace tamberlyn_test {
namespace {

class StressTest : public AlsaTest {
protected:
    void TearDown() override {
        SoundRecorderStop();
        tamberlyn::ReplaceCaptureServiceForTesting(nullptr);
        AlsaTest::TearDown();
    }
};

class ServiceStressTest : public TempDirTest {
protected:
    void TearDown() override {
        SoundRecorderStop();
        tamberlyn::ReplaceCaptureServiceForTesting(nullptr);
        TempDirTest::TearDown();
    }
};

TEST_F(ServiceStressTest, AThousandCyclesWithTheTestService) {
    TestCaptureService& service = TestCaptureService::Instance();
    service.Reset();
    tamberlyn::ReplaceCaptureServiceForTesting(&service.Table());
    // One cycle first: a sanitizer's runtime may start a helper thread with the first thread.
    ASSERT_EQ(SoundRecorderStart(WidePath("t.wav").c_str()), RESULT_SUCCESS);
    SoundRecorderStop();
    const int fds = OpenDescriptors();
    const int threads = Threads();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(SoundRecorderStart(WidePath("t.wav").c_str()), RESULT_SUCCESS);
        const int blocks = i % 3;
        service.Deliver(blocks);
        ASSERT_EQ(SoundRecorderStop(), blocks);
        ExpectValidRecording(ReadBytes(Path("t.wav")), static_cast<std::uint32_t>(blocks));
    }
    EXPECT_EQ(OpenDescriptors(), fds);
    EXPECT_EQ(Threads(threads), threads);
}

TEST_F(ServiceStressTest, TwoHostThreadsStartingAndStoppingAtRandom) {
    TestCaptureService& service = TestCaptureService::Instance();
    service.Reset();
    tamberlyn::ReplaceCaptureServiceForTesting(&service.Table());
    std::atomic<int> started{0};
    const auto host = [&](int id) {
        std::mt19937 rng(static_cast<unsigned>(id));
        for (int i = 0; i < 300; ++i) {
            const std::string name = "h" + std::to_string(id) + "-" + std::to_string(i) + ".wav";
            if (rng() % 2 && SoundRecorderStart(WidePath(name).c_str()) == RESULT_SUCCESS) {
                ++started;
            }
            if (rng() % 3 == 0) std::this_thread::yield();
            if (rng() % 2) SoundRecorderStop();
        }
    };
    std::thread first(host, 1), second(host, 2);
    first.join();
    second.join();
    SoundRecorderStop();
    EXPECT_GT(started.load(), 0);
    // Every file a start created is a finished, valid recording.
    for (const auto& entry : fs::directory_iterator(Utf8Path(dir_))) {
        ExpectValidRecording(ReadBytes(entry.path()), 0);
    }
}

TEST_F(StressTest, AlsaCyclesWhileSilenceRemovalRunsOnOtherFiles) {
    // One cycle first: alsa-lib loads its configuration once per process and keeps it.
    ASSERT_EQ(SoundRecorderStart(WidePath("warm.wav").c_str()), RESULT_SUCCESS);
    SoundRecorderStop();
    const int fds = OpenDescriptors();
    const int threads = Threads();

    std::mt19937 rng(3);
    std::vector<Bytes> inputs;
    for (int i = 0; i < 4; ++i) {
        inputs.push_back(RandomSignal(rng, 300000 + 2 * static_cast<std::size_t>(i)));
        WriteBytes(Path("in" + std::to_string(i)), inputs.back());
    }
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i) {
        workers.emplace_back([&, i] {
            const std::string n = std::to_string(i);
            while (!done) {
                if (WAVSilence(WidePath("in" + n).c_str(), WidePath("out" + n).c_str()) !=
                    RESULT_SUCCESS) {
                    ++failures;
                }
            }
        });
    }
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(SoundRecorderStart(WidePath("rec.wav").c_str()), RESULT_SUCCESS);
        if (i % 10 == 0) {
            ASSERT_TRUE(WaitForBlocks(Path("rec.wav"), 2));
        }
        const int32_t blocks = SoundRecorderStop();
        ExpectValidRecording(ReadBytes(Path("rec.wav")), static_cast<std::uint32_t>(blocks));
    }
    done = true;
    for (auto& t : workers) t.join();
    EXPECT_EQ(failures, 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ReadBytes(Path("out" + std::to_string(i))),
                  ReferenceSilence(inputs[static_cast<std::size_t>(i)]));
    }
    EXPECT_EQ(OpenDescriptors(), fds);
    EXPECT_EQ(Threads(threads), threads);
}

}  // namespace
}  // namespace tamberlyn_test
