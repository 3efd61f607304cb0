// The capture-service contract (written above CaptureService), as one suite run against every
// backend: the test service, the one with no device, and the platform's (ALSA through its file
// plugin on Linux, winmm under Wine on Windows).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <thread>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "recorder/capture_service.h"
#include "test_capture_service.h"
#include "test_files.h"

namespace tamberlyn_test {
namespace {

using namespace std::chrono_literals;
using tamberlyn::CaptureBuffer;
using tamberlyn::CaptureDevice;
using tamberlyn::CaptureFormat;
using tamberlyn::CaptureService;

constexpr std::uint32_t kBufferBytes = 1600;  // 0.1 s: real-time backends notify often
constexpr CaptureFormat kMono = {1, 1, 8000, 16000, 2, 16, 0};

struct Backend {
    const char* name;
    const CaptureService& (*service)();
    bool has_device;
    void (*after_start)();  // makes the service deliver, where it needs telling
};

// Named in test names and messages by its name (its bytes include padding).
void PrintTo(const Backend& backend, std::ostream* out) { *out << backend.name; }
std::string NameOf(const ::testing::TestParamInfo<Backend>& info) { return info.param.name; }

const CaptureService& TestService() { return TestCaptureService::Instance().Table(); }
void DeliverForever() { TestCaptureService::Instance().DeliverForever(); }
void Nothing() {}

// What the notices did, seen from the test's thread.
struct Notices {
    std::atomic<int> count{0};
    std::atomic<bool> inside{false};
    std::atomic<bool> finished{false};
    std::atomic<int> hold_ms{0};  // how long the next notice takes
    std::atomic<bool> requeue{true};
    std::atomic<bool> quiet{false};  // stopped or closed: a notice now breaks the contract
    std::atomic<int> broken{0};      // notices that came when none may
    const CaptureService* service = nullptr;
};
Notices g_notices;

void OnNotice(CaptureDevice device, std::uint32_t message, std::uintptr_t, std::uintptr_t param1,
              std::uintptr_t) {
    if (message != tamberlyn::MSG_BUFFER_DONE) return;
    if (g_notices.quiet) ++g_notices.broken;
    // A buffer comes back full, never part-filled: a block is a whole buffer of new samples.
    const auto* handed = reinterpret_cast<const CaptureBuffer*>(param1);
    if (handed->bytes_recorded != handed->buffer_length) ++g_notices.broken;
    g_notices.inside = true;
    g_notices.finished = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(g_notices.hold_ms.load()));
    auto* buffer = reinterpret_cast<CaptureBuffer*>(param1);
    buffer->bytes_recorded = 0;
    if (g_notices.requeue) g_notices.service->add(device, buffer, sizeof *buffer);
    ++g_notices.count;
    g_notices.finished = true;
    g_notices.inside = false;
}

class CaptureContract : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        TestCaptureService::Instance().Reset();
#if defined(TAMBERLYN_HAS_ALSA) && TAMBERLYN_HAS_ALSA && !defined(_WIN32)
        if (GetParam().service == &tamberlyn::PlatformCaptureService) {
            // ALSA reads a raw file through its file plugin, as fast as it can.
            // A name of this process's own: test processes run side by side under ctest -j.
            std::random_device seed;
            const std::string conf =
                (fs::temp_directory_path() / ("tamberlyn-contract-" + std::to_string(::getpid()) +
                                              "-" + std::to_string(seed()) + ".conf"))
                    .string();
            std::ofstream(conf) << "pcm.!default { type file slave.pcm { type null } infile "
                                   "\"/dev/zero\" file \"/dev/null\" }\n";
            ::setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
            conf_ = conf;
        }
#endif
        service_ = &GetParam().service();
        g_notices.service = service_;
        g_notices.count = 0;
        g_notices.hold_ms = 0;
        g_notices.requeue = true;
        g_notices.quiet = false;
        g_notices.broken = 0;
        buffer_ = CaptureBuffer{};
        buffer_.data = data_;
        buffer_.buffer_length = kBufferBytes;
    }
    void TearDown() override {
        if (!conf_.empty()) std::remove(conf_.c_str());
    }

    // Opens, queues and starts; skips the test when the backend has no device here.
    bool Run() {
        const std::uint32_t opened = service_->open(&device_, tamberlyn::DEVICE_ANY, &kMono,
                                                    OnNotice, 0, tamberlyn::CALLBACK_IS_FUNCTION);
        if (!GetParam().has_device) {
            EXPECT_NE(opened, 0u);
            return false;
        }
        if (opened != 0) {
            ADD_FAILURE() << "no device: " << opened;
            return false;
        }
        EXPECT_EQ(service_->prepare(device_, &buffer_, sizeof buffer_), 0u);
        EXPECT_EQ(service_->add(device_, &buffer_, sizeof buffer_), 0u);
        EXPECT_EQ(service_->start(device_), 0u);
        GetParam().after_start();
        return true;
    }
    static bool WaitFor(int notices) {
        for (int i = 0; i < 1000 && g_notices.count < notices; ++i)
            std::this_thread::sleep_for(10ms);
        return g_notices.count >= notices;
    }
    void StopAndClose() {
        service_->stop(device_);
        service_->unprepare(device_, &buffer_, sizeof buffer_);
        EXPECT_EQ(service_->close(device_), 0u);
    }

    const CaptureService* service_ = nullptr;
    CaptureDevice device_ = nullptr;
    CaptureBuffer buffer_{};
    char data_[kBufferBytes];
    std::string conf_;
};

TEST_P(CaptureContract, AddInsideANoticeKeepsNoticesComing) {
    if (!Run()) return;
    EXPECT_TRUE(WaitFor(3));
    StopAndClose();
}

TEST_P(CaptureContract, CloseWaitsForANoticeInProgressAndNoneFollows) {
    if (!Run()) return;
    g_notices.hold_ms = 300;
    ASSERT_TRUE(WaitFor(1));
    while (!g_notices.inside) std::this_thread::sleep_for(1ms);
    service_->stop(device_);  // during the notice
    service_->unprepare(device_, &buffer_, sizeof buffer_);
    EXPECT_EQ(service_->close(device_), 0u);
    EXPECT_TRUE(g_notices.finished);  // its effects visible here
    EXPECT_FALSE(g_notices.inside);
    g_notices.quiet = true;
    std::this_thread::yield();
    EXPECT_EQ(g_notices.broken, 0);
}

TEST_P(CaptureContract, AQueuedBufferAtStopIsNotHandedBackAndCloseSucceeds) {
    if (!Run()) return;
    ASSERT_TRUE(WaitFor(1));
    g_notices.requeue = false;
    // Stopped with the buffer queued. A notice already on its way may still finish: let it.
    service_->stop(device_);
    while (g_notices.inside) std::this_thread::yield();
    g_notices.quiet = true;
    // Queued once more while stopped: a second add of a queued buffer is refused, and nothing
    // is handed back while capture is stopped.
    buffer_.bytes_recorded = 0;
    service_->add(device_, &buffer_, sizeof buffer_);
    EXPECT_NE(service_->add(device_, &buffer_, sizeof buffer_), 0u);
    std::this_thread::sleep_for(50ms);
    service_->unprepare(device_, &buffer_, sizeof buffer_);
    EXPECT_EQ(service_->close(device_), 0u);
    EXPECT_EQ(g_notices.broken, 0);
}

// Capture started again after a stop goes on: also when the stop overtook a read that had just
// filled the buffer, which must then be handed back, not kept queued and full.
TEST_P(CaptureContract, CaptureStartsAgainAfterAStop) {
    if (!Run()) return;
    for (int round = 0; round < 20; ++round) {
        const int before = g_notices.count;
        ASSERT_TRUE(WaitFor(before + 1)) << "round " << round;
        service_->stop(device_);
        while (g_notices.inside) std::this_thread::yield();
        EXPECT_EQ(service_->start(device_), 0u);
        GetParam().after_start();
    }
    EXPECT_TRUE(WaitFor(g_notices.count + 2));
    StopAndClose();
}

TEST_P(CaptureContract, OpenRefusesAFormatItCannotDeliverExactly) {
    CaptureFormat stereo_as_mono = kMono;
    stereo_as_mono.channels = 2;  // two channels in a two-byte frame
    EXPECT_NE(service_->open(&device_, tamberlyn::DEVICE_ANY, &stereo_as_mono, OnNotice, 0,
                             tamberlyn::CALLBACK_IS_FUNCTION),
              0u);
}

TEST_P(CaptureContract, StopUnprepareAndCloseAreHarmlessWithoutADevice) {
    int unused = 0;
    CaptureDevice none = &unused;
    EXPECT_NE(service_->close(none), 0u);
    service_->stop(none);
    service_->unprepare(none, &buffer_, sizeof buffer_);
    EXPECT_NE(service_->close(none), 0u);
}

INSTANTIATE_TEST_SUITE_P(TestService, CaptureContract,
                         ::testing::Values(Backend{"test", TestService, true, DeliverForever}),
                         NameOf);
INSTANTIATE_TEST_SUITE_P(NoDevice, CaptureContract,
                         ::testing::Values(Backend{"none", tamberlyn::NoDeviceCaptureService, false,
                                                   Nothing}));
#if defined(_WIN32) || (defined(TAMBERLYN_HAS_ALSA) && TAMBERLYN_HAS_ALSA)
INSTANTIATE_TEST_SUITE_P(Platform, CaptureContract,
                         ::testing::Values(Backend{"platform", tamberlyn::PlatformCaptureService,
                                                   true, Nothing}),
                         NameOf);
#endif

}  // namespace
}  // namespace tamberlyn_test
