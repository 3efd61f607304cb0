#include "recorder/sound_recorder.h"

#include <chrono>
#include <cstring>

#include "tamberlyn.h"
#include "wav/little_endian.h"

namespace tamberlyn {

namespace {

SystemError WriteHeader(SoundRecorderState& s) {
    std::uint8_t bytes[WAVE_HEADER_BYTES];
    SerializeWAVHeader(s.header, bytes);
    return WriteAll(s.file, bytes, sizeof bytes);
}

void Tell(const SoundRecorderState& s, RecorderEvent::Kind kind, std::int32_t blocks,
          std::int32_t peak = 0, std::int64_t at_ms = 0, SystemError error = {}) {
    if (s.settings.listener == nullptr) return;
    const RecorderEvent event = {kind, blocks, peak, at_ms, error};
    s.settings.listener(s.settings.context, event);
}

constexpr std::int64_t kBlockMilliseconds = 1000;
constexpr std::int64_t kWatchMilliseconds = 100;

// Blocks stopped coming: the input is lost (once, until a block comes again).
void WatchForSilence(SoundRecorderState& s) {
    std::unique_lock<std::mutex> held(s.watch_lock);
    while (s.watching) {
        s.watch_wake.wait_for(held, std::chrono::milliseconds(kWatchMilliseconds));
        const std::int64_t last = s.last_arrival_ms.load(std::memory_order_acquire);
        const std::int64_t since = last != 0 ? last : s.started_ms;
        const std::int64_t allowed =
            kBlockMilliseconds +
            (last != 0 ? kLostAfterMilliseconds : kFirstBlockWithinMilliseconds);
        if (s.watching && SteadyMilliseconds() - since > allowed && !s.lost.exchange(true)) {
            Tell(s, RecorderEvent::kInputLost, s.delivered.load(), 0, since);
        }
    }
}

void StartWatch(SoundRecorderState& s) {
    s.started_ms = SteadyMilliseconds();
    if (s.settings.listener == nullptr) return;
    s.watching = true;
    s.watch = std::thread(WatchForSilence, std::ref(s));
}

void StopWatch(SoundRecorderState& s) {
    if (!s.watch.joinable()) return;
    {
        const std::lock_guard<std::mutex> held(s.watch_lock);
        s.watching = false;
    }
    s.watch_wake.notify_all();
    s.watch.join();
}

std::int32_t PeakOf(const char* block) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(block);
    std::int32_t peak = 0;
    for (std::size_t i = 0; i < RECORD_BLOCK_BYTES; i += 2) {
        std::int32_t v = GetPcm16(bytes + i);
        if (v < 0) v = -v;
        if (v > peak) peak = v;
    }
    return peak;
}

std::int32_t BlockLimit(const RecorderSettings& settings) {
    return settings.block_limit > 0 && settings.block_limit < kMaxHeaderBlocks
               ? settings.block_limit
               : kMaxHeaderBlocks;
}

}  // namespace

std::int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

SystemError BeginRecording(SoundRecorderState& s, FileHandle file,
                           const RecorderSettings& settings) {
    s.file = file;
    s.blocks = 0;
    s.extra_bytes = 0;
    s.delivered = 0;
    s.started_ms = 0;
    s.last_arrival_ms = 0;
    s.lost_ms = 0;
    s.lost = false;
    s.finish_error = {};
    s.write_failed = false;
    s.write_error = {};
    s.settings = settings;
    s.device_open = false;
    // Another process can tell a recording in progress from a file a crash left unfinished.
    LockForRecording(file);
    const SystemError error = WriteHeader(s);
    if (error) s.file = kNoFile;
    return error;
}

std::int32_t SoundRecorderOpenDevice(SoundRecorderState& s) {
    const auto rate = static_cast<std::uint32_t>(s.capture_rate);
    const CaptureFormat format = {
        RECORD_FORMAT_TAG,  RECORD_CHANNELS,        rate, rate * RECORD_BLOCK_ALIGN,
        RECORD_BLOCK_ALIGN, RECORD_BITS_PER_SAMPLE, 0};
    if (s.service->open(&s.device, s.settings.device_id, &format, SoundRecorderCallback,
                        reinterpret_cast<std::uintptr_t>(&s), CALLBACK_IS_FUNCTION) != 0) {
        return RECORDER_DEVICE_NOT_OPENED;
    }
    s.device_open = true;

    s.buffer = CaptureBuffer{};
    s.buffer.data = s.capture;
    s.buffer.buffer_length = RECORD_BLOCK_BYTES;
    s.service->prepare(s.device, &s.buffer, sizeof s.buffer);
    if (s.service->add(s.device, &s.buffer, sizeof s.buffer) != 0) {
        return RECORDER_BUFFER_NOT_QUEUED;
    }
    if (s.service->start(s.device) != 0) return RECORDER_CAPTURE_NOT_STARTED;
    if (s.settings.timeline) StartWatch(s);
    return RESULT_SUCCESS;
}

void SoundRecorderCallback(CaptureDevice device, std::uint32_t message, std::uintptr_t instance,
                           std::uintptr_t param1, std::uintptr_t param2) {
    SoundRecorderState& s = *reinterpret_cast<SoundRecorderState*>(instance);
    if (message == MSG_INPUT_GAP) {
        s.lost_ms += static_cast<std::int64_t>(param1);
        return;
    }
    if (message == MSG_INPUT_LOST || message == MSG_INPUT_BACK) {
        const std::int64_t at = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(param2) << 32) | (param1 & 0xFFFFFFFFu));
        // Said once, whoever notices first: the backend, or the recorder's watch.
        if (s.lost.exchange(message == MSG_INPUT_LOST) != (message == MSG_INPUT_LOST)) {
            Tell(s,
                 message == MSG_INPUT_LOST ? RecorderEvent::kInputLost : RecorderEvent::kInputBack,
                 s.blocks, 0, at);
        }
        return;
    }
    if (message != MSG_BUFFER_DONE) return;

    // Only a full buffer is a block: a backend never hands back less (the contract).
    const bool whole = s.buffer.bytes_recorded == RECORD_BLOCK_BYTES;
    if (whole) std::memcpy(s.copy, s.capture, RECORD_BLOCK_BYTES);
    // Back to the device at once: it fills the buffer again while the copy goes to the file.
    s.buffer.bytes_recorded = 0;
    s.service->add(device, &s.buffer, sizeof s.buffer);
    if (!whole) return;

    if (s.settings.timeline) {
        const std::int64_t now = SteadyMilliseconds();
        s.last_arrival_ms.store(now, std::memory_order_release);
        s.delivered.fetch_add(1, std::memory_order_relaxed);
        if (s.lost.exchange(false)) Tell(s, RecorderEvent::kInputBack, s.blocks, 0, now);
    }

    // A block counts only when it is in the file whole, and the header can describe it.
    if (s.write_failed || s.blocks >= BlockLimit(s.settings)) return;
    if (const SystemError e = WriteAll(s.file, s.copy, RECORD_BLOCK_BYTES)) {
        s.write_failed = true;
        s.write_error = e;
        Tell(s, RecorderEvent::kWriteFailed, s.blocks, 0, 0, e);
        return;
    }
    ++s.blocks;
    if (s.settings.listener != nullptr) {
        Tell(s, RecorderEvent::kBlockWritten, s.blocks, PeakOf(s.copy));
    }
    if (s.blocks == BlockLimit(s.settings)) Tell(s, RecorderEvent::kLimitReached, s.blocks);
}

namespace {

// The part of the last second the capture gave before it stopped, in whole samples, when the
// recording wants it and can still take it.
void WritePartialSecond(SoundRecorderState& s) {
    const std::uint32_t bytes = s.buffer.bytes_recorded & ~std::uint32_t{1};
    if (!s.settings.keep_partial || bytes == 0 || bytes >= RECORD_BLOCK_BYTES || s.write_failed ||
        s.blocks >= BlockLimit(s.settings)) {
        return;
    }
    if (const SystemError e = WriteAll(s.file, s.capture, bytes)) {
        s.write_failed = true;
        s.write_error = e;
        return;
    }
    s.extra_bytes = bytes;
}

}  // namespace

std::int32_t FinishRecording(SoundRecorderState& s, bool device_gone) {
    StopWatch(s);
    if (s.device_open && !device_gone) {
        s.service->stop(s.device);
        s.service->unprepare(s.device, &s.buffer, sizeof s.buffer);
        s.service->close(s.device);
        // No notice runs any more: what the buffer holds is the capture's last, not yet a block.
        WritePartialSecond(s);
    }
    s.device_open = false;
    FillWAVHeaderWithExtra(s.header, s.blocks, s.extra_bytes);
    SystemError error = SeekFile(s.file, 0);
    if (!error) error = WriteHeader(s);
    // Whatever a failed write, or a notice cut short at process exit, left past the data is not
    // part of the recording.
    const SystemError cut = TruncateFile(
        s.file, WAVE_HEADER_BYTES + static_cast<std::uint64_t>(s.blocks) * RECORD_BLOCK_BYTES +
                    s.extra_bytes);
    if (!error) error = cut;
    // What the caller is told is recorded survives a power cut.
    const SystemError synced = SyncFile(s.file);
    if (!error) error = synced;
    const SystemError closed = CloseFile(s.file);
    if (!error) error = closed;
    s.finish_error = error;
    s.file = kNoFile;
    return s.blocks;
}

}  // namespace tamberlyn
