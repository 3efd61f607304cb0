#include "recorder/sound_recorder.h"

#include <cstring>
#include <mutex>

#include "boundary/module_reference.h"
#include "runtime/native_file.h"
#include "tamberlyn.h"
#include "wav/little_endian.h"
#include "wav/wav_header.h"

namespace tamberlyn {

namespace {

enum class Phase {
    kIdle,         // after load and after every stop
    kRecording,    // a start returned 999
    kFailedStart,  // a start returned 1, 2 or 3: the file (and perhaps the device) still open
};

// The module-wide recorder. While capture runs, the service's notice thread alone writes the
// block count and the file; the caller's thread touches them only before the device is started
// and after it is closed, which the capture service's contract orders.
struct SoundRecorderState {
    WAVHeader header;  // the placeholder of the next start: the last stop's header, or zeros
    FileHandle file = kNoFile;
    CaptureDevice device = nullptr;
    bool device_open = false;
    CaptureBuffer buffer;
    char capture[RECORD_BLOCK_BYTES];
    char copy[RECORD_BLOCK_BYTES];
    std::int32_t blocks = 0;
    std::int32_t capture_rate = RECORD_SAMPLE_RATE;
    bool write_failed = false;  // no block is written after a failed write
    SystemError write_error;    // why a block could not be written
    SystemError finish_error;   // why the last stop could not finish the file
    SystemError start_error;    // why the last start could not create the file
    Phase phase = Phase::kIdle;
    const CaptureService* service = nullptr;  // the service of the current recording
};

SoundRecorderState g_recorder;
RecordingHooks g_hooks;

// Serialises the exports (a host may call them from several threads). The notice thread never
// takes it: stop waits for a notice in progress while holding it.
std::mutex g_exports;

SystemError WriteHeader(SoundRecorderState& s) {
    std::uint8_t bytes[WAVE_HEADER_BYTES];
    SerializeWAVHeader(s.header, bytes);
    return WriteAll(s.file, bytes, sizeof bytes);
}

std::int32_t Finish(SoundRecorderState& s) {
    if (s.device_open) {
        s.service->stop(s.device);
        s.service->unprepare(s.device, &s.buffer, sizeof s.buffer);
        s.service->close(s.device);
        s.device_open = false;
    }
    FillWAVHeader(s.header, s.blocks);
    SystemError error = SeekFile(s.file, 0);
    if (!error) error = WriteHeader(s);
    // Whatever a failed write, or a notice cut short at process exit, left past the last whole
    // block is not part of the recording.
    const SystemError cut = TruncateFile(
        s.file, WAVE_HEADER_BYTES + static_cast<std::uint64_t>(s.blocks) * RECORD_BLOCK_BYTES);
    if (!error) error = cut;
    // What the caller is told is recorded survives a power cut.
    const SystemError synced = SyncFile(s.file);
    if (!error) error = synced;
    const SystemError closed = CloseFile(s.file);
    if (!error) error = closed;
    s.finish_error = error;
    s.file = kNoFile;
    s.phase = Phase::kIdle;
    return s.blocks;
}

}  // namespace

std::int32_t SoundRecorderOpenDevice() {
    SoundRecorderState& s = g_recorder;
    const auto rate = static_cast<std::uint32_t>(s.capture_rate);
    const CaptureFormat format = {
        RECORD_FORMAT_TAG,  RECORD_CHANNELS,        rate, rate * RECORD_BLOCK_ALIGN,
        RECORD_BLOCK_ALIGN, RECORD_BITS_PER_SAMPLE, 0};
    if (s.service->open(&s.device, DEVICE_ANY, &format, SoundRecorderCallback, 0,
                        CALLBACK_IS_FUNCTION) != 0) {
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
    return RESULT_SUCCESS;
}

namespace {

void Tell(RecorderEvent::Kind kind, std::int32_t peak = 0, std::int64_t at_ms = 0,
          SystemError error = {}) {
    if (g_hooks.listener == nullptr) return;
    const RecorderEvent event = {kind, g_recorder.blocks, peak, at_ms, error};
    g_hooks.listener(g_hooks.context, event);
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

std::int32_t BlockLimit() {
    return g_hooks.block_limit > 0 && g_hooks.block_limit < kMaxHeaderBlocks ? g_hooks.block_limit
                                                                             : kMaxHeaderBlocks;
}

}  // namespace

void SoundRecorderCallback(CaptureDevice device, std::uint32_t message, std::uintptr_t,
                           std::uintptr_t param1, std::uintptr_t param2) {
    if (message == MSG_INPUT_LOST || message == MSG_INPUT_BACK) {
        const std::int64_t at = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(param2) << 32) | (param1 & 0xFFFFFFFFu));
        Tell(message == MSG_INPUT_LOST ? RecorderEvent::kInputLost : RecorderEvent::kInputBack, 0,
             at);
        return;
    }
    if (message != MSG_BUFFER_DONE) return;
    SoundRecorderState& s = g_recorder;

    std::memcpy(s.copy, s.capture, RECORD_BLOCK_BYTES);
    // Back to the device at once: it fills the buffer again while the copy goes to the file.
    s.buffer.bytes_recorded = 0;
    s.service->add(device, &s.buffer, sizeof s.buffer);

    // A block counts only when it is in the file whole, and the header can describe it.
    if (s.write_failed || s.blocks >= BlockLimit()) return;
    if (const SystemError e = WriteAll(s.file, s.copy, RECORD_BLOCK_BYTES)) {
        s.write_failed = true;
        s.write_error = e;
        Tell(RecorderEvent::kWriteFailed, 0, 0, e);
        return;
    }
    ++s.blocks;
    if (g_hooks.listener != nullptr) Tell(RecorderEvent::kBlockWritten, PeakOf(s.copy));
    if (s.blocks == g_hooks.block_limit) Tell(RecorderEvent::kLimitReached);
}

void SetRecordingHooks(const RecordingHooks& hooks) { g_hooks = hooks; }

SystemError RecorderStartError() { return g_recorder.start_error; }

SystemError RecorderFinishError() { return g_recorder.finish_error; }

void SoundRecorderFinishAtUnload(bool process_exiting) {
    // A thread that died inside an export at process exit may still hold the lock.
    std::unique_lock<std::mutex> held(g_exports, std::try_to_lock);
    if (g_recorder.phase == Phase::kIdle) return;
    if (process_exiting) g_recorder.device_open = false;  // nothing is left to deliver notices
    Finish(g_recorder);
}

}  // namespace tamberlyn

using tamberlyn::g_recorder;
using tamberlyn::Phase;

extern "C" TAMBERLYN_API int32_t SoundRecorderStart(const tamberlyn_char16_t* path) {
    const std::lock_guard<std::mutex> serialised(tamberlyn::g_exports);
    tamberlyn::SoundRecorderState& s = g_recorder;
    if (s.phase == Phase::kRecording) return RECORDER_ALREADY_RUNNING;
    if (s.phase == Phase::kFailedStart) {
        tamberlyn::Finish(s);
        tamberlyn::ReleaseModuleAfterRecording();
    }

    // A FIFO or socket is refused without waiting for a reader: the open must not hold the lock.
    tamberlyn::FileHandle file;
    bool created = false;
    if (tamberlyn::CreateFileForWriting(path, tamberlyn::kNoFile, true, file, s.start_error,
                                        &created) != tamberlyn::CreateResult::kCreated) {
        return RECORDER_FILE_NOT_CREATED;
    }
    s.file = file;
    s.blocks = 0;
    s.finish_error = {};
    s.write_failed = false;
    s.write_error = {};
    s.start_error = tamberlyn::WriteHeader(s);
    if (s.start_error) {
        // No placeholder, no recording: the file would not be recognised as one.
        tamberlyn::CloseFile(s.file);
        s.file = tamberlyn::kNoFile;
        if (created) tamberlyn::RemoveFile(path);
        return RECORDER_FILE_NOT_CREATED;
    }
    s.service = &tamberlyn::ActiveCaptureService();

    const int32_t result = tamberlyn::SoundRecorderOpenDevice();
    s.phase = result == RESULT_SUCCESS ? Phase::kRecording : Phase::kFailedStart;
    // While a device is open, whatever the result: unloading must not have to close it.
    if (s.device_open) tamberlyn::HoldModuleWhileRecording();
    return result;
}

extern "C" TAMBERLYN_API int32_t SoundRecorderStop(void) {
    const std::lock_guard<std::mutex> serialised(tamberlyn::g_exports);
    if (g_recorder.phase == Phase::kIdle) return 0;
    const int32_t blocks = tamberlyn::Finish(g_recorder);
    tamberlyn::ReleaseModuleAfterRecording();
    return blocks;
}
