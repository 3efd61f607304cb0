// The block handler's cost: the part before the buffer goes back to the device (the copy), and
// the whole notice including the block write. A stand-in service marks the re-queue.
#include <benchmark/benchmark.h>

#include <chrono>

#include "recorder/capture_service.h"
#include "recorder/sound_recorder.h"
#include "tamberlyn.h"

namespace {

using Clock = std::chrono::steady_clock;
Clock::time_point g_requeued;
tamberlyn::CaptureDevice g_device = &g_requeued;

std::uint32_t Open(tamberlyn::CaptureDevice* d, std::uint32_t, const tamberlyn::CaptureFormat*,
                   tamberlyn::CaptureCallback, std::uintptr_t, std::uint32_t) {
    *d = g_device;
    return 0;
}
std::uint32_t Buffer(tamberlyn::CaptureDevice, tamberlyn::CaptureBuffer*, std::uint32_t) {
    return 0;
}
std::uint32_t Add(tamberlyn::CaptureDevice, tamberlyn::CaptureBuffer*, std::uint32_t) {
    g_requeued = Clock::now();
    return 0;
}
std::uint32_t Device(tamberlyn::CaptureDevice) { return 0; }

const tamberlyn::CaptureService kService = {Open, Buffer, Add, Device, Device, Buffer, Device};

void HandlerUntilRequeue(benchmark::State& state) {
    tamberlyn::ReplaceCaptureServiceForTesting(&kService);
    SoundRecorderStart(u"/dev/null");
    for (auto _ : state) {
        const auto start = Clock::now();
        tamberlyn::SoundRecorderCallback(g_device, tamberlyn::MSG_BUFFER_DONE, 0, 0, 0);
        state.SetIterationTime(std::chrono::duration<double>(g_requeued - start).count());
    }
    SoundRecorderStop();
}
BENCHMARK(HandlerUntilRequeue)->UseManualTime();

void WholeNotice(benchmark::State& state) {
    tamberlyn::ReplaceCaptureServiceForTesting(&kService);
    SoundRecorderStart(u"/dev/null");
    for (auto _ : state) {
        tamberlyn::SoundRecorderCallback(g_device, tamberlyn::MSG_BUFFER_DONE, 0, 0, 0);
    }
    SoundRecorderStop();
}
BENCHMARK(WholeNotice);

}  // namespace

BENCHMARK_MAIN();
