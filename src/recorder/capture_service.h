// The audio capture service the recorder drives, shaped like the platform's waveform-audio input
// API: one device, buffers queued for filling and handed back through a function.
//
// Contract every backend keeps (the recorder takes no locks and relies on it):
//  - Every operation returns 0 on success and a nonzero code on failure.
//  - `open` stores an opaque handle in *device. Notices are delivered by calling `callback` on a
//    thread of the service, never on the thread that called open/start/stop/close, with the
//    handle, the message, `instance` and, for MSG_BUFFER_DONE, the CaptureBuffer* as param1.
//  - One buffer is queued at a time (`add`); when `buffer_length` bytes are in it, the service
//    sets `bytes_recorded` to that, takes it off the queue and notifies MSG_BUFFER_DONE: a buffer
//    is never handed back part-filled. Until it is added again the buffer belongs to the caller.
//    `add` may be called from inside a notice.
//  - `stop` first takes in what the device has captured already (handing back the buffers that
//    fills), then ends capture. A partly filled buffer is not handed back: once the device is
//    closed, its `bytes_recorded` counts the whole frames in it, for a caller that keeps the last
//    part of a recording. A notice already running may still finish after stop.
//  - `stop`, `unprepare` and `close` are harmless on a device that is not open, not started, or
//    whose buffer is still queued (they may return an error, and change nothing).
//  - Other notices (MSG_INPUT_LOST, MSG_INPUT_BACK, MSG_INPUT_GAP) may come on the same thread;
//    they hand over no buffer.
//  - No notice is delivered after `close` returns, whether or not a buffer is still queued, and a
//    notice in progress when close is called finishes before close returns, its effects visible
//    to the thread that called close.
#pragma once

#include <cstdint>

namespace tamberlyn {

using CaptureDevice = void*;

constexpr std::uint32_t DEVICE_ANY = 0xFFFFFFFFu;  // any device that supports the format
constexpr std::uint32_t CALLBACK_IS_FUNCTION = 0x30000;
constexpr std::uint32_t MSG_BUFFER_DONE = 960;  // a queued buffer was filled and handed back
// Notices a backend may deliver the same way, for whoever listens: the input was lost (frames
// stopped coming, or the device went away) and is back. param1 and param2 are the low and high
// 32 bits of when: the last frames before the loss, the first frames after it, in milliseconds
// of the monotonic clock (std::chrono::steady_clock).
constexpr std::uint32_t MSG_INPUT_LOST = 0x7E01;
constexpr std::uint32_t MSG_INPUT_BACK = 0x7E02;
// Audio that never reached the caller and never will: param1 is how many milliseconds of it (a
// device that overran, or that was lost and opened again). Audio a device delivers late is not
// lost, however long it took.
constexpr std::uint32_t MSG_INPUT_GAP = 0x7E03;

// Results of the operations, numbered as the platform's waveform-audio API numbers them
// (MMSYSERR_*, WAVERR_*), so that winmm's pass through unchanged.
constexpr std::uint32_t kCaptureOk = 0;
constexpr std::uint32_t kCaptureError = 1;
constexpr std::uint32_t kCaptureBadDeviceId = 2;
constexpr std::uint32_t kCaptureAllocated = 4;
constexpr std::uint32_t kCaptureInvalidHandle = 5;
constexpr std::uint32_t kCaptureInvalidParam = 11;
constexpr std::uint32_t kCaptureBadFormat = 32;
constexpr std::uint32_t kCaptureStillQueued = 33;
constexpr std::uint32_t kCaptureUnprepared = 34;

// Buffer flags, set by the service.
constexpr std::uint32_t kBufferDone = 0x1;
constexpr std::uint32_t kBufferPrepared = 0x2;
constexpr std::uint32_t kBufferQueued = 0x10;

using CaptureCallback = void (*)(CaptureDevice device, std::uint32_t message,
                                 std::uintptr_t instance, std::uintptr_t param1,
                                 std::uintptr_t param2);

struct CaptureFormat {
    std::uint16_t format_tag;  // 1: linear PCM
    std::uint16_t channels;
    std::uint32_t samples_per_second;
    std::uint32_t bytes_per_second;
    std::uint16_t block_align;
    std::uint16_t bits_per_sample;
    std::uint16_t extra_bytes;
};

// Linear PCM whose fields agree with one another: the least a backend must see before it can
// deliver a format exactly, sample for sample.
constexpr bool IsConsistentPcm(const CaptureFormat& f) {
    return f.format_tag == 1 && f.channels > 0 && f.samples_per_second > 0 &&
           f.block_align == f.channels * f.bits_per_sample / 8 &&
           f.bytes_per_second == f.samples_per_second * f.block_align && f.extra_bytes == 0;
}

// Laid out as the platform's buffer record (32 bytes where pointers are 32 bits).
struct CaptureBuffer {
    char* data;
    std::uint32_t buffer_length;
    std::uint32_t bytes_recorded;
    std::uintptr_t user_data;
    std::uint32_t flags;
    std::uint32_t loops;
    CaptureBuffer* next;
    std::uintptr_t reserved;
};
static_assert(sizeof(void*) != 4 || sizeof(CaptureBuffer) == 32, "the platform's record size");

struct CaptureService {
    std::uint32_t (*open)(CaptureDevice* device, std::uint32_t device_id,
                          const CaptureFormat* format, CaptureCallback callback,
                          std::uintptr_t instance, std::uint32_t flags);
    std::uint32_t (*prepare)(CaptureDevice device, CaptureBuffer* buffer, std::uint32_t size);
    std::uint32_t (*add)(CaptureDevice device, CaptureBuffer* buffer, std::uint32_t size);
    std::uint32_t (*start)(CaptureDevice device);
    std::uint32_t (*stop)(CaptureDevice device);
    std::uint32_t (*unprepare)(CaptureDevice device, CaptureBuffer* buffer, std::uint32_t size);
    std::uint32_t (*close)(CaptureDevice device);
    // Optional: the device_id under which `open` opens the input called `name` (an ALSA PCM
    // name, a winmm device's name). kCaptureBadDeviceId when there is none by that name.
    std::uint32_t (*find)(const char* name, std::uint32_t* device_id);
};

// The backend this build was made with.
const CaptureService& PlatformCaptureService();

// What the platform's backend last failed to do, and the host's own reason (alsa-lib's
// snd_strerror, winmm's error text), for a developer or the program to show. False when it has
// not failed since it was loaded.
struct CaptureFailure {
    char step[192];    // "cannot open the input 'default'"
    char reason[192];  // "No such entity"
};
bool LastCaptureFailure(CaptureFailure& out);

// The service with no device at all: open always fails, everything else is harmless.
const CaptureService& NoDeviceCaptureService();

// The service the recorder uses: the platform's unless a test put another in its place.
const CaptureService& ActiveCaptureService();

// Test seam: the recorder uses `service` from the next start on; nullptr restores the
// platform's. Not for use while a recording runs.
void ReplaceCaptureServiceForTesting(const CaptureService* service);

}  // namespace tamberlyn
