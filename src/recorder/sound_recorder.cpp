#include "recorder/sound_recorder.h"

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

void Tell(const SoundRecorderState& s, RecorderEvent::Kind kind, std::int32_t peak = 0,
          std::int64_t at_ms = 0, SystemError error = {}) {
    if (s.settings.listener == nullptr) return;
    const RecorderEvent event = {kind, s.blocks, peak, at_ms, error};
    s.settings.listener(s.settings.context, event);
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

SystemError BeginRecording(SoundRecorderState& s, FileHandle file,
                           const RecorderSettings& settings) {
    s.file = file;
    s.blocks = 0;
    s.finish_error = {};
    s.write_failed = false;
    s.write_error = {};
    s.settings = settings;
    s.device_open = false;
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
    return RESULT_SUCCESS;
}

void SoundRecorderCallback(CaptureDevice device, std::uint32_t message, std::uintptr_t instance,
                           std::uintptr_t param1, std::uintptr_t param2) {
    SoundRecorderState& s = *reinterpret_cast<SoundRecorderState*>(instance);
    if (message == MSG_INPUT_LOST || message == MSG_INPUT_BACK) {
        const std::int64_t at = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(param2) << 32) | (param1 & 0xFFFFFFFFu));
        Tell(s, message == MSG_INPUT_LOST ? RecorderEvent::kInputLost : RecorderEvent::kInputBack,
             0, at);
        return;
    }
    if (message != MSG_BUFFER_DONE) return;

    std::memcpy(s.copy, s.capture, RECORD_BLOCK_BYTES);
    // Back to the device at once: it fills the buffer again while the copy goes to the file.
    s.buffer.bytes_recorded = 0;
    s.service->add(device, &s.buffer, sizeof s.buffer);

    // A block counts only when it is in the file whole, and the header can describe it.
    if (s.write_failed || s.blocks >= BlockLimit(s.settings)) return;
    if (const SystemError e = WriteAll(s.file, s.copy, RECORD_BLOCK_BYTES)) {
        s.write_failed = true;
        s.write_error = e;
        Tell(s, RecorderEvent::kWriteFailed, 0, 0, e);
        return;
    }
    ++s.blocks;
    if (s.settings.listener != nullptr) Tell(s, RecorderEvent::kBlockWritten, PeakOf(s.copy));
    if (s.blocks == BlockLimit(s.settings)) Tell(s, RecorderEvent::kLimitReached);
}

std::int32_t FinishRecording(SoundRecorderState& s, bool device_gone) {
    if (s.device_open && !device_gone) {
        s.service->stop(s.device);
        s.service->unprepare(s.device, &s.buffer, sizeof s.buffer);
        s.service->close(s.device);
    }
    s.device_open = false;
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
    return s.blocks;
}

}  // namespace tamberlyn
