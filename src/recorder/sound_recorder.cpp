#include "recorder/sound_recorder.h"

#include <cstring>
#include <mutex>

#include "boundary/module_reference.h"
#include "runtime/native_file.h"
#include "tamberlyn.h"
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
    Phase phase = Phase::kIdle;
    const CaptureService* service = nullptr;  // the service of the current recording
};

SoundRecorderState g_recorder;

// Serialises the exports (a host may call them from several threads). The notice thread never
// takes it: stop waits for a notice in progress while holding it.
std::mutex g_exports;

bool WriteHeader(SoundRecorderState& s) {
    std::uint8_t bytes[WAVE_HEADER_BYTES];
    SerializeWAVHeader(s.header, bytes);
    return WriteFile(s.file, bytes, sizeof bytes);
}

std::int32_t Finish(SoundRecorderState& s) {
    if (s.device_open) {
        s.service->stop(s.device);
        s.service->unprepare(s.device, &s.buffer, sizeof s.buffer);
        s.service->close(s.device);
        s.device_open = false;
    }
    FillWAVHeader(s.header, s.blocks);
    if (RewindFile(s.file)) WriteHeader(s);
    // Whatever a failed write, or a notice cut short at process exit, left past the last whole
    // block is not part of the recording.
    TruncateFile(s.file,
                 WAVE_HEADER_BYTES + static_cast<std::uint64_t>(s.blocks) * RECORD_BLOCK_BYTES);
    // What the caller is told is recorded survives a power cut.
    SyncFile(s.file);
    CloseFile(s.file);
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

void SoundRecorderCallback(CaptureDevice device, std::uint32_t message, std::uintptr_t,
                           std::uintptr_t, std::uintptr_t) {
    if (message != MSG_BUFFER_DONE) return;
    SoundRecorderState& s = g_recorder;

    std::memcpy(s.copy, s.capture, RECORD_BLOCK_BYTES);
    // Back to the device at once: it fills the buffer again while the copy goes to the file.
    s.buffer.bytes_recorded = 0;
    s.service->add(device, &s.buffer, sizeof s.buffer);

    // A block counts only when it is in the file whole, and the header can describe it.
    if (s.write_failed || s.blocks >= kMaxHeaderBlocks) return;
    if (WriteFile(s.file, s.copy, RECORD_BLOCK_BYTES)) {
        ++s.blocks;
    } else {
        s.write_failed = true;
    }
}

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

    tamberlyn::FileHandle file;
    if (tamberlyn::CreateFileForWriting(path, tamberlyn::kNoFile, file) !=
        tamberlyn::CreateResult::kCreated) {
        return RECORDER_FILE_NOT_CREATED;
    }
    s.file = file;
    s.blocks = 0;
    s.write_failed = !tamberlyn::WriteHeader(s);  // blocks must not land where the header goes
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
