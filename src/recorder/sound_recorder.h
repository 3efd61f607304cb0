// The recorder's internal entry points beside the two exports.
#pragma once

#include <cstdint>

#include "recorder/capture_service.h"
#include "runtime/system_error.h"

namespace tamberlyn {

// Opens the device, queues the buffer and starts capture: 999, or 1, 2, 3 for the failing step.
std::int32_t SoundRecorderOpenDevice();

// The function the capture service notifies.
void SoundRecorderCallback(CaptureDevice device, std::uint32_t message, std::uintptr_t instance,
                           std::uintptr_t param1, std::uintptr_t param2);

// What the program learns from a recording as it goes, beyond what the exports return. Events
// come on the capture service's thread, right as they happen: a listener must be quick and must
// not call the recorder.
struct RecorderEvent {
    enum Kind {
        kBlockWritten,  // `blocks` are in the file; the last one's peak magnitude is `peak`
        kInputLost,     // no frames since `at_ms`
        kInputBack,     // frames again from `at_ms`
        kWriteFailed,   // a block could not be written: `error`; no further block will be
        kLimitReached,  // the block limit is in the file; later blocks are not written
    } kind;
    std::int32_t blocks;
    std::int32_t peak;
    std::int64_t at_ms;  // milliseconds of the monotonic clock (std::chrono::steady_clock)
    SystemError error;
};
using RecorderListener = void (*)(void* context, const RecorderEvent& event);

struct RecordingHooks {
    RecorderListener listener = nullptr;
    void* context = nullptr;
    std::int32_t block_limit = 0;  // the most blocks written; 0: as many as the header holds
};

// For the recordings that start from now on; not while one runs. The exports behave as ever.
void SetRecordingHooks(const RecordingHooks& hooks);

// Why the last start could not create its file (result 4), and why the last stop could not
// finish it (its header, its sync, its close).
SystemError RecorderStartError();
SystemError RecorderFinishError();

// At unload: a recording still running is stopped and its file finalised. When the process is
// exiting and the capture service's threads are already gone, only the file is finished.
void SoundRecorderFinishAtUnload(bool process_exiting = false);

}  // namespace tamberlyn
