// The capture service on Windows: the platform's waveform-audio input API (winmm), bound thinly.
// The records are the platform's own (CaptureBuffer is WAVEHDR); only the notice goes through a
// small trampoline, so that stop keeps the contract: winmm hands a partly filled buffer back at
// stop and reset, which the trampoline holds back, and close waits for a notice in progress.
#include <windows.h>
// after windows.h, which it needs
#include <mmsystem.h>

#include <atomic>
#include <cstddef>

#include "recorder/capture_service.h"

namespace tamberlyn {

namespace {

static_assert(sizeof(CaptureBuffer) == sizeof(WAVEHDR), "CaptureBuffer is WAVEHDR");
static_assert(offsetof(CaptureBuffer, bytes_recorded) == offsetof(WAVEHDR, dwBytesRecorded));
static_assert(offsetof(CaptureBuffer, flags) == offsetof(WAVEHDR, dwFlags));
static_assert(offsetof(CaptureBuffer, reserved) == offsetof(WAVEHDR, reserved));
static_assert(MSG_BUFFER_DONE == MM_WIM_DATA && CALLBACK_IS_FUNCTION == CALLBACK_FUNCTION);
static_assert(DEVICE_ANY == static_cast<std::uint32_t>(WAVE_MAPPER));
static_assert(kCaptureOk == MMSYSERR_NOERROR && kCaptureError == MMSYSERR_ERROR &&
              kCaptureBadDeviceId == MMSYSERR_BADDEVICEID &&
              kCaptureAllocated == MMSYSERR_ALLOCATED &&
              kCaptureInvalidHandle == MMSYSERR_INVALHANDLE &&
              kCaptureInvalidParam == MMSYSERR_INVALPARAM && kCaptureBadFormat == WAVERR_BADFORMAT &&
              kCaptureStillQueued == WAVERR_STILLPLAYING && kCaptureUnprepared == WAVERR_UNPREPARED,
              "the service's results are winmm's");

// One open device at a time, as the recorder needs.
struct Binding {
    HWAVEIN device;
    CaptureCallback callback;
    std::uintptr_t instance;
    std::atomic<bool> stopping;
    std::atomic<int> in_notice;
};

Binding g_binding;

WAVEHDR* Header(CaptureBuffer* buffer) { return reinterpret_cast<WAVEHDR*>(buffer); }
HWAVEIN Device(CaptureDevice device) { return static_cast<HWAVEIN>(device); }

void CALLBACK Trampoline(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                         DWORD_PTR param2) {
    auto& b = *reinterpret_cast<Binding*>(instance);
    b.in_notice.fetch_add(1, std::memory_order_acq_rel);
    if (!(message == MM_WIM_DATA && b.stopping.load(std::memory_order_acquire)) &&
        b.callback != nullptr) {
        b.callback(device, message, b.instance, param1, param2);
    }
    b.in_notice.fetch_sub(1, std::memory_order_acq_rel);
}

std::uint32_t Open(CaptureDevice* device, std::uint32_t id, const CaptureFormat* format,
                   CaptureCallback callback, std::uintptr_t instance, std::uint32_t flags) {
    if (device == nullptr || format == nullptr || callback == nullptr ||
        flags != CALLBACK_IS_FUNCTION) {
        return MMSYSERR_INVALPARAM;
    }
    if (g_binding.device != nullptr) return MMSYSERR_ALLOCATED;
    WAVEFORMATEX wfx = {};
    wfx.wFormatTag = format->format_tag;
    wfx.nChannels = format->channels;
    wfx.nSamplesPerSec = format->samples_per_second;
    wfx.nAvgBytesPerSec = format->bytes_per_second;
    wfx.nBlockAlign = format->block_align;
    wfx.wBitsPerSample = format->bits_per_sample;
    wfx.cbSize = format->extra_bytes;

    g_binding.callback = callback;
    g_binding.instance = instance;
    g_binding.stopping.store(false);
    HWAVEIN h = nullptr;
    const MMRESULT result = waveInOpen(&h, id, &wfx, reinterpret_cast<DWORD_PTR>(Trampoline),
                                       reinterpret_cast<DWORD_PTR>(&g_binding), CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) return result;
    g_binding.device = h;
    *device = h;
    return MMSYSERR_NOERROR;
}

std::uint32_t Prepare(CaptureDevice device, CaptureBuffer* buffer, std::uint32_t size) {
    return waveInPrepareHeader(Device(device), Header(buffer), size);
}

std::uint32_t Add(CaptureDevice device, CaptureBuffer* buffer, std::uint32_t size) {
    return waveInAddBuffer(Device(device), Header(buffer), size);
}

std::uint32_t Start(CaptureDevice device) {
    g_binding.stopping.store(false, std::memory_order_release);
    return waveInStart(Device(device));
}

std::uint32_t Stop(CaptureDevice device) {
    if (Device(device) != g_binding.device || device == nullptr) return MMSYSERR_INVALHANDLE;
    g_binding.stopping.store(true, std::memory_order_release);
    // Reset rather than stop: it also takes the queued buffer back, which unprepare and close
    // need; the partly filled buffer that comes with it is held back by the trampoline.
    return waveInReset(Device(device));
}

std::uint32_t Unprepare(CaptureDevice device, CaptureBuffer* buffer, std::uint32_t size) {
    return waveInUnprepareHeader(Device(device), Header(buffer), size);
}

std::uint32_t Close(CaptureDevice device) {
    if (Device(device) != g_binding.device || device == nullptr) return MMSYSERR_INVALHANDLE;
    g_binding.stopping.store(true, std::memory_order_release);
    const MMRESULT result = waveInClose(Device(device));
    if (result != MMSYSERR_NOERROR) return result;
    while (g_binding.in_notice.load(std::memory_order_acquire) != 0) Sleep(1);
    g_binding.device = nullptr;
    g_binding.callback = nullptr;
    return MMSYSERR_NOERROR;
}

constexpr CaptureService kWinmmService = {Open, Prepare, Add, Start, Stop, Unprepare, Close};

}  // namespace

const CaptureService& PlatformCaptureService() { return kWinmmService; }

}  // namespace tamberlyn
