// The capture service on Windows: the platform's waveform-audio input API (winmm). The records
// are the platform's own (CaptureBuffer is WAVEHDR).
//
// winmm forbids calling other wave functions, and most system functions, from its callback, so
// the device is opened with CALLBACK_EVENT: winmm only signals an event, and a thread of ours
// that waits on it delivers the notice. There the recorder's handler may re-queue the buffer and
// write the file, as the contract promises. stop waits for a notice in progress before it resets
// the device (which hands back the partly filled buffer: held back, as the contract asks); close
// retries after a reset if winmm still holds a buffer, and joins the thread, so that no notice
// runs once it returns.
#include <windows.h>
// after windows.h, which it needs
#include <mmsystem.h>

#include <cstddef>
#include <cstdio>

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
                  kCaptureInvalidParam == MMSYSERR_INVALPARAM &&
                  kCaptureBadFormat == WAVERR_BADFORMAT &&
                  kCaptureStillQueued == WAVERR_STILLPLAYING &&
                  kCaptureUnprepared == WAVERR_UNPREPARED,
              "the service's results are winmm's");

constexpr int kCloseAttempts = 10;

// One open device at a time, as the recorder needs.
struct Binding {
    HWAVEIN device = nullptr;
    CaptureCallback callback = nullptr;
    std::uintptr_t instance = 0;
    HANDLE done = nullptr;    // signalled by winmm when a buffer is done (CALLBACK_EVENT)
    HANDLE quit = nullptr;    // tells the notice thread to end
    HANDLE thread = nullptr;  // delivers the notices
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE idle;
    // Guarded by `lock`.
    WAVEHDR* queued = nullptr;  // the buffer last added, until it is handed back
    bool stopping = true;       // no notice is delivered: not started, stopped or closing
    bool in_notice = false;
};

Binding g_binding;
INIT_ONCE g_lock_once = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK InitLock(PINIT_ONCE, PVOID, PVOID*) {
    InitializeCriticalSection(&g_binding.lock);
    InitializeConditionVariable(&g_binding.idle);
    return TRUE;
}

// The last failed step and winmm's own text for its result, for the program's messages.
CaptureFailure g_failure;
bool g_failed = false;

MMRESULT Failed(const char* step, MMRESULT result) {
    std::snprintf(g_failure.step, sizeof g_failure.step, "%s", step);
    wchar_t text[MAXERRORLENGTH] = L"";
    if (waveInGetErrorTextW(result, text, MAXERRORLENGTH) != MMSYSERR_NOERROR || text[0] == 0) {
        std::snprintf(g_failure.reason, sizeof g_failure.reason, "MMSYSERR %u",
                      static_cast<unsigned>(result));
    } else if (WideCharToMultiByte(CP_UTF8, 0, text, -1, g_failure.reason, sizeof g_failure.reason,
                                   nullptr, nullptr) == 0) {
        g_failure.reason[0] = '\0';
    }
    g_failed = true;
    return result;
}

WAVEHDR* Header(CaptureBuffer* buffer) { return reinterpret_cast<WAVEHDR*>(buffer); }
HWAVEIN Device(CaptureDevice device) { return static_cast<HWAVEIN>(device); }
bool IsOurs(CaptureDevice device) {
    return device != nullptr && Device(device) == g_binding.device;
}

DWORD WINAPI NoticeThread(void*) {
    Binding& b = g_binding;
    const HANDLE waits[2] = {b.quit, b.done};
    for (;;) {
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return 0;
        EnterCriticalSection(&b.lock);
        WAVEHDR* header = b.queued;
        if (b.stopping || header == nullptr || !(header->dwFlags & WHDR_DONE)) {
            LeaveCriticalSection(&b.lock);
            continue;  // an open or close notice, or a buffer that stop holds back
        }
        if (header->dwBytesRecorded < header->dwBufferLength) {
            // Handed back part-filled by a reset: no block. Its samples came before a stop; it
            // goes back to winmm to be filled afresh.
            header->dwBytesRecorded = 0;
            waveInAddBuffer(b.device, header, sizeof *header);
            LeaveCriticalSection(&b.lock);
            continue;
        }
        b.queued = nullptr;
        b.in_notice = true;
        LeaveCriticalSection(&b.lock);

        b.callback(b.device, MM_WIM_DATA, b.instance, reinterpret_cast<DWORD_PTR>(header), 0);

        EnterCriticalSection(&b.lock);
        b.in_notice = false;
        WakeAllConditionVariable(&b.idle);
        LeaveCriticalSection(&b.lock);
    }
}

// Ends delivery and waits for a notice in progress. Not from inside a notice.
void StopNotices(Binding& b) {
    EnterCriticalSection(&b.lock);
    b.stopping = true;
    while (b.in_notice) SleepConditionVariableCS(&b.idle, &b.lock, INFINITE);
    LeaveCriticalSection(&b.lock);
}

bool InsideNotice(const Binding& b) {
    return b.thread != nullptr && GetThreadId(b.thread) == GetCurrentThreadId();
}

void Release(Binding& b) {
    if (b.thread != nullptr) {
        SetEvent(b.quit);
        WaitForSingleObject(b.thread, INFINITE);
        CloseHandle(b.thread);
    }
    if (b.quit != nullptr) CloseHandle(b.quit);
    if (b.done != nullptr) CloseHandle(b.done);
    b.thread = b.quit = b.done = nullptr;
    b.device = nullptr;
    b.callback = nullptr;
    b.queued = nullptr;
}

std::uint32_t Open(CaptureDevice* device, std::uint32_t id, const CaptureFormat* format,
                   CaptureCallback callback, std::uintptr_t instance, std::uint32_t flags) {
    InitOnceExecuteOnce(&g_lock_once, InitLock, nullptr, nullptr);
    Binding& b = g_binding;
    if (device == nullptr || format == nullptr || callback == nullptr ||
        flags != CALLBACK_IS_FUNCTION) {
        return MMSYSERR_INVALPARAM;
    }
    if (b.device != nullptr) return MMSYSERR_ALLOCATED;
    // The wave mapper quietly repairs an inconsistent format; deliver only what was asked for.
    if (!IsConsistentPcm(*format)) return WAVERR_BADFORMAT;
    WAVEFORMATEX wfx = {};
    wfx.wFormatTag = format->format_tag;
    wfx.nChannels = format->channels;
    wfx.nSamplesPerSec = format->samples_per_second;
    wfx.nAvgBytesPerSec = format->bytes_per_second;
    wfx.nBlockAlign = format->block_align;
    wfx.wBitsPerSample = format->bits_per_sample;
    wfx.cbSize = format->extra_bytes;

    b.callback = callback;
    b.instance = instance;
    b.stopping = true;
    b.done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    b.quit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (b.done == nullptr || b.quit == nullptr) {
        Release(b);
        return MMSYSERR_NOMEM;
    }
    HWAVEIN h = nullptr;
    const MMRESULT result =
        waveInOpen(&h, id, &wfx, reinterpret_cast<DWORD_PTR>(b.done), 0, CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        Release(b);
        return Failed(waveInGetNumDevs() == 0 ? "there is no audio input device"
                                              : "cannot open the audio input",
                      result);
    }
    b.device = h;
    b.thread = CreateThread(nullptr, 0, NoticeThread, nullptr, 0, nullptr);
    if (b.thread == nullptr) {
        waveInClose(h);
        Release(b);
        return MMSYSERR_NOMEM;
    }
    *device = h;
    return MMSYSERR_NOERROR;
}

std::uint32_t Prepare(CaptureDevice device, CaptureBuffer* buffer, std::uint32_t size) {
    return waveInPrepareHeader(Device(device), Header(buffer), size);
}

std::uint32_t Add(CaptureDevice device, CaptureBuffer* buffer, std::uint32_t size) {
    if (!IsOurs(device)) return MMSYSERR_INVALHANDLE;
    Binding& b = g_binding;
    EnterCriticalSection(&b.lock);
    // Wine queues a header twice if asked; the contract refuses it.
    MMRESULT result = WAVERR_STILLPLAYING;
    if (!(Header(buffer)->dwFlags & WHDR_INQUEUE)) {
        result = waveInAddBuffer(Device(device), Header(buffer), size);
    }
    if (result == MMSYSERR_NOERROR) b.queued = Header(buffer);
    LeaveCriticalSection(&b.lock);
    return result;
}

std::uint32_t Start(CaptureDevice device) {
    if (!IsOurs(device)) return MMSYSERR_INVALHANDLE;
    Binding& b = g_binding;
    EnterCriticalSection(&b.lock);
    b.stopping = false;
    LeaveCriticalSection(&b.lock);
    // A buffer that was done while stopped is delivered now.
    SetEvent(b.done);
    const MMRESULT result = waveInStart(Device(device));
    return result == MMSYSERR_NOERROR ? result : Failed("cannot start capturing", result);
}

std::uint32_t Stop(CaptureDevice device) {
    if (!IsOurs(device)) return MMSYSERR_INVALHANDLE;
    Binding& b = g_binding;
    if (!InsideNotice(b)) StopNotices(b);
    // Reset rather than stop: it also takes the queued buffer back, which unprepare and close
    // need; the partly filled buffer it hands back is not delivered.
    return waveInReset(Device(device));
}

std::uint32_t Unprepare(CaptureDevice device, CaptureBuffer* buffer, std::uint32_t size) {
    return waveInUnprepareHeader(Device(device), Header(buffer), size);
}

std::uint32_t Close(CaptureDevice device) {
    if (!IsOurs(device)) return MMSYSERR_INVALHANDLE;
    Binding& b = g_binding;
    if (InsideNotice(b)) return MMSYSERR_ERROR;
    StopNotices(b);
    MMRESULT result = waveInClose(Device(device));
    for (int i = 0; result == WAVERR_STILLPLAYING && i < kCloseAttempts; ++i) {
        // A buffer is still queued: take it back, and never leave the device held.
        waveInReset(Device(device));
        result = waveInClose(Device(device));
    }
    if (result != MMSYSERR_NOERROR) return result;
    Release(b);
    return MMSYSERR_NOERROR;
}

// An input device by the name winmm gives it (UTF-8 here): its index is its id.
std::uint32_t Find(const char* name, std::uint32_t* device_id) {
    if (name == nullptr || device_id == nullptr) return MMSYSERR_INVALPARAM;
    wchar_t wide[MAXPNAMELEN];
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide, MAXPNAMELEN) == 0) {
        return MMSYSERR_BADDEVICEID;
    }
    const UINT count = waveInGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        WAVEINCAPSW caps;
        if (waveInGetDevCapsW(i, &caps, sizeof caps) == MMSYSERR_NOERROR &&
            lstrcmpW(caps.szPname, wide) == 0) {
            *device_id = i;
            return MMSYSERR_NOERROR;
        }
    }
    return MMSYSERR_BADDEVICEID;
}

constexpr CaptureService kWinmmService = {Open, Prepare, Add, Start, Stop, Unprepare, Close, Find};

}  // namespace

const CaptureService& PlatformCaptureService() { return kWinmmService; }

bool LastCaptureFailure(CaptureFailure& out) {
    if (!g_failed) return false;
    out = g_failure;
    return true;
}

}  // namespace tamberlyn
