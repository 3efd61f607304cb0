// The block handler's cost: the part before the buffer goes back to the device (the copy), and
// the whole notice including the block write. A stand-in service marks the re-queue.
#include <benchmark/benchmark.h>

#include <chrono>

#include "recorder/capture_service.h"
#include "recorder/sound_recorder.h"

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

const tamberlyn::CaptureService kService = {Open,   Buffer, Add,    Device,
                                            Device, Buffer, Device, nullptr};

// A recording into /dev/null with the stand-in service.
struct Recording {
    tamberlyn::SoundRecorderState state;
    Recording() {
        tamberlyn::FileHandle file;
        tamberlyn::OpenToWrite("/dev/null", file);
        state.service = &kService;
        tamberlyn::BeginRecording(state, file, {});
        tamberlyn::SoundRecorderOpenDevice(state);
    }
    ~Recording() { tamberlyn::FinishRecording(state); }
    void Notice() {
        tamberlyn::SoundRecorderCallback(g_device, tamberlyn::MSG_BUFFER_DONE,
                                         reinterpret_cast<std::uintptr_t>(&state), 0, 0);
    }
};

void HandlerUntilRequeue(benchmark::State& state) {
    static Recording recording;
    for (auto _ : state) {
        const auto start = Clock::now();
        recording.Notice();
        state.SetIterationTime(std::chrono::duration<double>(g_requeued - start).count());
    }
}
BENCHMARK(HandlerUntilRequeue)->UseManualTime();

void WholeNotice(benchmark::State& state) {
    static Recording recording;
    for (auto _ : state) recording.Notice();
}
BENCHMARK(WholeNotice);

}  // namespace

BENCHMARK_MAIN();
