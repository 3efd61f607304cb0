// One recording: the recorder's state, its handler and its finish. The library's two recording
// exports drive one static recorder through this; the engine library gives each of its recorder
// handles one of its own. Either way one thread starts and finishes a recording and the capture
// service's thread runs the handler in between, ordered by the service's contract.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "recorder/capture_service.h"
#include "runtime/native_file.h"
#include "runtime/system_error.h"
#include "wav/wav_header.h"

namespace tamberlyn {

// What whoever started a recording learns as it goes, beyond the block count. Events come on the
// capture service's thread, or on the recorder's watch (the input lost), right as they happen: a
// listener must be quick, must not call the recorder, and may be called from both threads.
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

struct RecorderSettings {
    RecorderListener listener = nullptr;
    void* context = nullptr;
    std::int32_t block_limit = 0;  // the most blocks written; 0: as many as the header holds
    std::uint32_t device_id = DEVICE_ANY;
    // What the capture gave of the second under way when it stopped is written too, so that the
    // file ends where the stop was; otherwise it holds whole blocks only.
    bool keep_partial = false;
    // The arrivals are timed: a watch tells the listener when the input goes silent, and the
    // recording's timeline tells what was lost.
    bool timeline = false;
};

// How long without a block before the input counts as lost, beyond the second a block takes;
// before the first block a starting stream may take longer.
constexpr std::int64_t kLostAfterMilliseconds = 2500;
constexpr std::int64_t kFirstBlockWithinMilliseconds = 6000;

// Milliseconds of the monotonic clock (std::chrono::steady_clock).
std::int64_t SteadyMilliseconds();

struct SoundRecorderState {
    WAVHeader header{};  // the placeholder of the next start: the last finish's header, or zeros
    FileHandle file = kNoFile;
    CaptureDevice device = nullptr;
    bool device_open = false;
    CaptureBuffer buffer{};
    char capture[RECORD_BLOCK_BYTES] = {};
    char copy[RECORD_BLOCK_BYTES] = {};
    std::int32_t blocks = 0;
    std::int32_t capture_rate = RECORD_SAMPLE_RATE;
    bool write_failed = false;                // no block is written after a failed write
    SystemError write_error;                  // why a block could not be written
    SystemError finish_error;                 // why the last finish could not finish the file
    const CaptureService* service = nullptr;  // the service of the current recording
    RecorderSettings settings;
    std::uint32_t extra_bytes = 0;  // written past the whole blocks: the last second's part

    // With a timeline: when capture started and when the last block came (the watch reads it),
    // and the audio the capture service said was lost.
    std::int64_t started_ms = 0;
    std::atomic<std::int64_t> last_arrival_ms{0};
    std::int64_t lost_ms = 0;
    std::atomic<std::int32_t> delivered{0};
    std::atomic<bool> lost{false};
    std::thread watch;
    std::mutex watch_lock;
    std::condition_variable watch_wake;
    bool watching = false;
};

// Takes `file` (created, empty) as the recording's and writes the placeholder to it. On a
// failure the file is left to the caller, and nothing else has started.
SystemError BeginRecording(SoundRecorderState& s, FileHandle file,
                           const RecorderSettings& settings);

// Opens the device, queues the buffer and starts capture: 999, or 1, 2, 3 for the failing step.
// The device stays open after 2 and 3, until FinishRecording.
std::int32_t SoundRecorderOpenDevice(SoundRecorderState& s);

// The function the capture service notifies; `instance` is the recording's state.
void SoundRecorderCallback(CaptureDevice device, std::uint32_t message, std::uintptr_t instance,
                           std::uintptr_t param1, std::uintptr_t param2);

// Stops and closes the device, if open, writes the part of the last second with `keep_partial`,
// writes the header for the data in the file over the placeholder, cuts whatever lies past it,
// syncs and closes the file. Returns the block count; `finish_error` says what failed. With
// `device_gone` the capture service's threads are known to be gone (process exit) and the device
// is not touched.
std::int32_t FinishRecording(SoundRecorderState& s, bool device_gone = false);

}  // namespace tamberlyn
