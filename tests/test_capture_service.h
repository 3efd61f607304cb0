// A capture service for tests: delivers full buffers on its own thread when the test asks, fails
// open, add or start on request, sends other messages, and logs every call.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recorder/capture_service.h"

namespace tamberlyn_test {

// The sample pattern of delivered block `k`: distinct in every block and every sample.
std::int16_t PatternSample(std::int32_t block, std::size_t index);

class TestCaptureService {
public:
    static TestCaptureService& Instance();
    const tamberlyn::CaptureService& Table() const;
    void Reset();

    // Hands back `count` full buffers, each once the recorder has it queued and capture runs;
    // returns when every notice has finished, or early when capture stops.
    void Deliver(int count, bool fill = true);
    // Starts delivering without end on the service thread; stop or close ends it.
    void DeliverForever();
    void SendMessage(std::uint32_t message);

    std::vector<std::string> Calls();
    int Delivered();

    std::uint32_t open_result = 0;
    std::uint32_t add_result = 0;
    std::uint32_t start_result = 0;
    std::function<void()> on_add;  // runs inside add, e.g. to look at the file mid-notice
    // At stop, the queued buffer holds this many bytes of the next block's pattern, as a device
    // that stopped partway through filling it.
    std::uint32_t partial_at_stop = 0;
    int stop_delay_ms = 0;  // stop takes this long, as a device that is slow to let go

private:
    struct Command {
        int deliveries;
        bool forever;
        bool fill;
        std::vector<std::uint32_t> messages;
    };
    void Run();
    void Log(const std::string& call);
    void Fill(tamberlyn::CaptureBuffer& buffer, std::uint32_t bytes) const;  // the next block's

    static std::uint32_t Open(tamberlyn::CaptureDevice*, std::uint32_t,
                              const tamberlyn::CaptureFormat*, tamberlyn::CaptureCallback,
                              std::uintptr_t, std::uint32_t);
    static std::uint32_t Prepare(tamberlyn::CaptureDevice, tamberlyn::CaptureBuffer*,
                                 std::uint32_t);
    static std::uint32_t Add(tamberlyn::CaptureDevice, tamberlyn::CaptureBuffer*, std::uint32_t);
    static std::uint32_t Start(tamberlyn::CaptureDevice);
    static std::uint32_t Stop(tamberlyn::CaptureDevice);
    static std::uint32_t Unprepare(tamberlyn::CaptureDevice, tamberlyn::CaptureBuffer*,
                                   std::uint32_t);
    static std::uint32_t Close(tamberlyn::CaptureDevice);

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
    std::thread thread_;
    bool open_ = false, started_ = false, closing_ = false;
    tamberlyn::CaptureBuffer* queued_ = nullptr;
    tamberlyn::CaptureCallback callback_ = nullptr;
    std::uintptr_t instance_ = 0;
    Command command_{};
    bool busy_ = false;
    bool in_notice_ = false;  // a buffer handed back, its notice not yet returned
    int delivered_ = 0;
    std::int32_t next_block_ = 0;
};

}  // namespace tamberlyn_test
