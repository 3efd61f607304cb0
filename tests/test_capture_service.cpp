#include "test_capture_service.h"

#include <chrono>

namespace tamberlyn_test {

using tamberlyn::CaptureBuffer;
using tamberlyn::CaptureDevice;

std::int16_t PatternSample(std::int32_t block, std::size_t index) {
    return static_cast<std::int16_t>(block * 997 + static_cast<std::int32_t>(index) * 3);
}

TestCaptureService& TestCaptureService::Instance() {
    static TestCaptureService service;
    return service;
}

const tamberlyn::CaptureService& TestCaptureService::Table() const {
    static const tamberlyn::CaptureService table = {Open, Prepare,   Add,   Start,
                                                    Stop, Unprepare, Close, nullptr};
    return table;
}

void TestCaptureService::Reset() {
    std::lock_guard<std::mutex> guard(lock_);
    calls_.clear();
    open_result = add_result = start_result = 0;
    partial_at_stop = 0;
    stop_delay_ms = 0;
    on_add = nullptr;
    delivered_ = 0;
    next_block_ = 0;
}

void TestCaptureService::Log(const std::string& call) {
    std::lock_guard<std::mutex> guard(lock_);
    calls_.push_back(call);
}

std::vector<std::string> TestCaptureService::Calls() {
    std::lock_guard<std::mutex> guard(lock_);
    return calls_;
}

int TestCaptureService::Delivered() {
    std::lock_guard<std::mutex> guard(lock_);
    return delivered_;
}

void TestCaptureService::Deliver(int count, bool fill) {
    std::unique_lock<std::mutex> guard(lock_);
    command_ = Command{count, false, fill, {}};
    busy_ = true;
    changed_.notify_all();
    changed_.wait(guard, [this] { return !busy_; });
}

void TestCaptureService::DeliverForever() {
    std::lock_guard<std::mutex> guard(lock_);
    command_ = Command{0, true, true, {}};
    busy_ = true;
    changed_.notify_all();
}

void TestCaptureService::SendMessage(std::uint32_t message) {
    std::unique_lock<std::mutex> guard(lock_);
    command_ = Command{0, false, false, {message}};
    busy_ = true;
    changed_.notify_all();
    changed_.wait(guard, [this] { return !busy_; });
}

void TestCaptureService::Fill(CaptureBuffer& buffer, std::uint32_t bytes) const {
    auto* data = reinterpret_cast<std::uint8_t*>(buffer.data);
    for (std::size_t i = 0; i < bytes / 2; ++i) {
        const auto v = static_cast<std::uint16_t>(PatternSample(next_block_, i));
        data[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
        data[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
}

void TestCaptureService::Run() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        changed_.wait(guard, [this] { return closing_ || busy_; });
        if (closing_) break;
        for (std::uint32_t message : command_.messages) {
            guard.unlock();
            callback_(this, message, instance_, 0, 0);
            guard.lock();
        }
        command_.messages.clear();
        while (command_.forever || command_.deliveries > 0) {
            changed_.wait(guard, [this] { return closing_ || !started_ || queued_ != nullptr; });
            if (closing_ || !started_) break;
            CaptureBuffer* buffer = queued_;
            queued_ = nullptr;
            if (command_.fill) Fill(*buffer, buffer->buffer_length);
            ++next_block_;
            buffer->bytes_recorded = buffer->buffer_length;
            in_notice_ = true;
            guard.unlock();
            callback_(this, tamberlyn::MSG_BUFFER_DONE, instance_,
                      reinterpret_cast<std::uintptr_t>(buffer), 0);
            guard.lock();
            in_notice_ = false;
            changed_.notify_all();
            ++delivered_;
            if (!command_.forever) --command_.deliveries;
        }
        command_ = Command{};
        busy_ = false;
        changed_.notify_all();
    }
    busy_ = false;
    changed_.notify_all();
}

std::uint32_t TestCaptureService::Open(CaptureDevice* device, std::uint32_t id,
                                       const tamberlyn::CaptureFormat* format,
                                       tamberlyn::CaptureCallback callback, std::uintptr_t instance,
                                       std::uint32_t flags) {
    TestCaptureService& s = Instance();
    s.Log("open " + std::to_string(id) + " " + std::to_string(format->samples_per_second) + " " +
          std::to_string(format->bytes_per_second) + " " + std::to_string(flags));
    if (s.open_result != 0) return s.open_result;
    // Held to what the real backends deliver: a consistent PCM format.
    if (!tamberlyn::IsConsistentPcm(*format)) return tamberlyn::kCaptureBadFormat;
    std::lock_guard<std::mutex> guard(s.lock_);
    if (s.open_) return tamberlyn::kCaptureAllocated;
    s.open_ = true;
    s.started_ = s.closing_ = false;
    s.queued_ = nullptr;
    s.callback_ = callback;
    s.instance_ = instance;
    s.thread_ = std::thread([&s] { s.Run(); });
    *device = &s;
    return 0;
}

std::uint32_t TestCaptureService::Prepare(CaptureDevice, CaptureBuffer* buffer, std::uint32_t) {
    Instance().Log("prepare " + std::to_string(buffer->buffer_length));
    return 0;
}

std::uint32_t TestCaptureService::Add(CaptureDevice, CaptureBuffer* buffer, std::uint32_t) {
    TestCaptureService& s = Instance();
    s.Log("add");
    if (s.on_add) s.on_add();
    if (s.add_result != 0) return s.add_result;
    std::lock_guard<std::mutex> guard(s.lock_);
    if (!s.open_) return tamberlyn::kCaptureInvalidHandle;
    if (s.queued_ == buffer) return tamberlyn::kCaptureStillQueued;
    s.queued_ = buffer;
    s.changed_.notify_all();
    return 0;
}

std::uint32_t TestCaptureService::Start(CaptureDevice) {
    TestCaptureService& s = Instance();
    if (s.start_result != 0) {
        s.Log("start");
        return s.start_result;
    }
    {
        std::lock_guard<std::mutex> guard(s.lock_);
        s.started_ = true;
        s.changed_.notify_all();
    }
    // Logged once running: a test that waits for "start" and then delivers must find it so.
    s.Log("start");
    return 0;
}

std::uint32_t TestCaptureService::Stop(CaptureDevice) {
    TestCaptureService& s = Instance();
    s.Log("stop");
    std::this_thread::sleep_for(std::chrono::milliseconds(s.stop_delay_ms));
    std::unique_lock<std::mutex> guard(s.lock_);
    s.started_ = false;
    s.changed_.notify_all();
    // As the real backends do: from another thread, stop returns once a buffer already taken
    // for handing back has been handed back, so no notice begins after it.
    if (std::this_thread::get_id() != s.thread_.get_id())
        s.changed_.wait(guard, [&s] { return !s.in_notice_; });
    if (s.queued_ != nullptr && s.partial_at_stop > 0) {
        s.Fill(*s.queued_, s.partial_at_stop);
        s.queued_->bytes_recorded = s.partial_at_stop;
    }
    return 0;
}

std::uint32_t TestCaptureService::Unprepare(CaptureDevice, CaptureBuffer* buffer, std::uint32_t) {
    TestCaptureService& s = Instance();
    s.Log("unprepare");
    std::lock_guard<std::mutex> guard(s.lock_);
    if (!s.open_) return tamberlyn::kCaptureInvalidHandle;
    return s.queued_ == buffer ? tamberlyn::kCaptureStillQueued : 0;
}

std::uint32_t TestCaptureService::Close(CaptureDevice) {
    TestCaptureService& s = Instance();
    s.Log("close");
    {
        std::lock_guard<std::mutex> guard(s.lock_);
        if (!s.open_) return tamberlyn::kCaptureInvalidHandle;
        s.closing_ = true;
        s.changed_.notify_all();
    }
    s.thread_.join();  // a notice in progress finishes first
    std::lock_guard<std::mutex> guard(s.lock_);
    s.open_ = false;
    s.queued_ = nullptr;
    return 0;
}

}  // namespace tamberlyn_test
