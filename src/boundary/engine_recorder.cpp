// The engine library's recorder handles: a file made or replaced safely, options, events.
#include <atomic>
#include <cstdio>
#include <memory>

#include "boundary/engine_records.h"
#include "recorder/sound_recorder.h"
#include "runtime/output_file.h"
#include "tamberlyn.h"

namespace {

// The capture backends hold one device: one recording at a time in this copy of the engine.
std::atomic<bool> g_recording{false};

}  // namespace

struct tamberlyn_recorder {
    tamberlyn::SoundRecorderState state;
    tamberlyn_record_options options{};
    tamberlyn::NativeString path;  // the target
    tamberlyn::NativeString file;  // what is written: the target, or the file beside it
    tamberlyn::Replacement replacement;
    tamberlyn::FileInfo identity;  // of the file written, to tell it is still there at the end
    bool replaces = false;
    bool running = false;
};

namespace tamberlyn {

namespace {

tamberlyn_record_options DefaultRecording() { return Fresh<tamberlyn_record_options>(); }

void Forward(void* context, const RecorderEvent& e) {
    const tamberlyn_recorder& r = *static_cast<const tamberlyn_recorder*>(context);
    tamberlyn_record_event event = Fresh<tamberlyn_record_event>();
    switch (e.kind) {
        case RecorderEvent::kBlockWritten:
            event.kind = TAMBERLYN_EVENT_BLOCK_WRITTEN;
            break;
        case RecorderEvent::kInputLost:
            event.kind = TAMBERLYN_EVENT_INPUT_LOST;
            break;
        case RecorderEvent::kInputBack:
            event.kind = TAMBERLYN_EVENT_INPUT_BACK;
            break;
        case RecorderEvent::kWriteFailed:
            event.kind = TAMBERLYN_EVENT_WRITE_FAILED;
            break;
        case RecorderEvent::kLimitReached:
            event.kind = TAMBERLYN_EVENT_LIMIT_REACHED;
            break;
    }
    event.blocks = e.blocks;
    event.peak = e.peak;
    event.at_ms = e.at_ms;
    event.system_code = e.error.code;
    r.options.on_event(r.options.event_context, &event);
}

// Refuses what the recorder cannot finish (no regular file) or must not touch (an existing file
// it was not asked to replace), and creates the file it writes, which is its own to remove.
tamberlyn_status CreateTarget(tamberlyn_recorder& r, FileHandle& file) {
    const NativeChar* path = r.path.c_str();
    if (IsDanglingLink(path)) {
        return Refuse(TAMBERLYN_E_REFUSED, TAMBERLYN_FILE_OUTPUT,
                      "is a symbolic link to a file that does not exist; nothing was recorded");
    }
    FileInfo info;
    if (!InfoAt(path, info)) {
        if (info.kind != FileKind::kRegular) {
            return Refuse(TAMBERLYN_E_REFUSED, TAMBERLYN_FILE_OUTPUT,
                          "not a regular file: the header is written when recording ends, so "
                          "the recording needs a regular file");
        }
        if (r.options.existing != TAMBERLYN_RECORD_REPLACE) {
            return Refuse(TAMBERLYN_E_EXISTS, TAMBERLYN_FILE_OUTPUT, "exists already");
        }
        if (const SystemError e = CreateReplacement(path, r.replacement, true)) {
            return Fail(TAMBERLYN_E_CREATE, TAMBERLYN_FILE_OUTPUT, e);
        }
        file = r.replacement.file;
        r.replacement.file = kNoFile;
        r.file = r.replacement.temp;
        r.replaces = true;
        return TAMBERLYN_OK;
    }
    if (const SystemError e = CreateNewFile(path, file)) {
        return Fail(TAMBERLYN_E_CREATE, TAMBERLYN_FILE_OUTPUT, e);
    }
    // The new file's name survives a power cut as its blocks will.
    SyncFolderOf(r.path);
    r.file = r.path;
    return TAMBERLYN_OK;
}

// The file a start made, gone again: nothing of it was a recording.
void RemoveTarget(tamberlyn_recorder& r) {
    if (r.replaces) {
        DiscardReplacement(r.replacement);
    } else {
        RemoveFile(r.file.c_str());
    }
}

tamberlyn_status DeviceFailure(std::int32_t result) {
    CaptureFailure failure;
    if (LastCaptureFailure(failure)) {
        return Refuse(TAMBERLYN_E_DEVICE, TAMBERLYN_FILE_NONE, "%s: %s", failure.step,
                      failure.reason);
    }
    return Refuse(TAMBERLYN_E_DEVICE, TAMBERLYN_FILE_NONE, "the audio input could not be %s",
                  result == RECORDER_DEVICE_NOT_OPENED ? "opened" : "started");
}

tamberlyn_status Start(tamberlyn_recorder& r, const NativeChar* path,
                       const tamberlyn_record_options& options) {
    r.options = options;
    r.path = path;
    r.file.clear();
    r.replaces = false;
    RecorderSettings settings;
    settings.block_limit = options.block_limit;
    settings.keep_partial = options.keep_partial_second != 0;
    settings.timeline = true;
    if (options.on_event != nullptr) {
        settings.listener = Forward;
        settings.context = &r;
    }
    r.state.service = &ActiveCaptureService();
    if (options.device != nullptr &&
        (r.state.service->find == nullptr ||
         r.state.service->find(options.device, &settings.device_id) != 0)) {
        return Refuse(TAMBERLYN_E_DEVICE, TAMBERLYN_FILE_NONE, "no input called '%s'",
                      options.device);
    }

    FileHandle file = kNoFile;
    if (const tamberlyn_status s = CreateTarget(r, file)) return s;
    InfoOf(file, r.identity);
    // Until capture runs the file is this start's own: an emergency exit meanwhile (a second
    // interrupt while a frozen server holds the device's opening) takes it away.
    const int slot = RememberPartialFile(r.file);
    tamberlyn_status status = TAMBERLYN_OK;
    if (const SystemError e = BeginRecording(r.state, file, settings)) {
        CloseFile(file);
        RemoveTarget(r);
        status = Fail(TAMBERLYN_E_CREATE, TAMBERLYN_FILE_OUTPUT, e);
    } else if (const std::int32_t result = SoundRecorderOpenDevice(r.state);
               result != RESULT_SUCCESS) {
        FinishRecording(r.state);
        RemoveTarget(r);
        status = DeviceFailure(result);
    }
    ForgetPartialFile(slot);
    r.running = status == TAMBERLYN_OK;
    return status;
}

tamberlyn_status Stop(tamberlyn_recorder& r, tamberlyn_record_result& result) {
    result.blocks = FinishRecording(r.state);
    r.running = false;
    result.frames = static_cast<tamberlyn_uint64>(result.blocks) * RECORD_SAMPLE_RATE +
                    r.state.extra_bytes / RECORD_BLOCK_ALIGN;
    result.lost_ms = r.state.lost_ms;
    result.write_error = r.state.write_error.code;
    result.finish_error = r.state.finish_error.code;
    if (result.frames == 0) {
        RemoveTarget(r);
        result.removed = 1;
    } else if (r.replaces) {
        if (const SystemError e = CommitReplacement(r.replacement, true)) {
            result.replace_error = e.code;
        } else {
            r.file = r.path;
        }
    }
    FileInfo now;
    result.vanished = result.removed == 0 && result.replace_error == 0 &&
                      (InfoAt(r.file.c_str(), now) || !SameFile(now, r.identity));
    if (result.write_error != 0) {
        return Fail(TAMBERLYN_E_WRITE, TAMBERLYN_FILE_OUTPUT, SystemError{result.write_error});
    }
    if (result.finish_error != 0) {
        return Fail(TAMBERLYN_E_WRITE, TAMBERLYN_FILE_OUTPUT, SystemError{result.finish_error});
    }
    if (result.replace_error != 0) {
        return Fail(TAMBERLYN_E_WRITE, TAMBERLYN_FILE_OUTPUT, SystemError{result.replace_error});
    }
    if (result.vanished) {
        return Refuse(TAMBERLYN_E_WRITE, TAMBERLYN_FILE_OUTPUT,
                      "was deleted or replaced while it was recorded");
    }
    return TAMBERLYN_OK;
}

}  // namespace

}  // namespace tamberlyn

using namespace tamberlyn;

extern "C" {

TAMBERLYN_ENGINE_API void TAMBERLYN_CALL
tamberlyn_record_options_init(tamberlyn_record_options* options) {
    if (options != nullptr) *options = DefaultRecording();
}

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_recorder_create(tamberlyn_recorder** recorder) {
    return Guarded([&]() -> tamberlyn_status {
        if (recorder == nullptr) return BadArgument("nowhere to put the recorder");
        *recorder = new (std::nothrow) tamberlyn_recorder;
        if (*recorder == nullptr) {
            return Refuse(TAMBERLYN_E_NO_MEMORY, TAMBERLYN_FILE_NONE, "out of memory");
        }
        return TAMBERLYN_OK;
    });
}

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_recorder_start(tamberlyn_recorder* recorder, const tamberlyn_path_char* path,
                         const tamberlyn_record_options* options) {
    return Guarded([&]() -> tamberlyn_status {
        if (recorder == nullptr || path == nullptr) return BadArgument("no recorder or file name");
        tamberlyn_record_options o = DefaultRecording();
        if (options != nullptr && !ReadRecord(options, o)) return BadArgument("bad options size");
        if (o.block_limit < 0 ||
            (o.existing != TAMBERLYN_RECORD_NEW_FILE && o.existing != TAMBERLYN_RECORD_REPLACE)) {
            return BadArgument("a recording option is out of range");
        }
        if (recorder->running || g_recording.exchange(true)) {
            return Refuse(TAMBERLYN_E_BUSY, TAMBERLYN_FILE_NONE, "a recording is already running");
        }
        const tamberlyn_status status = Start(*recorder, path, o);
        if (status != TAMBERLYN_OK) g_recording = false;
        return status;
    });
}

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_recorder_stop(tamberlyn_recorder* recorder, tamberlyn_record_result* result) {
    return Guarded([&]() -> tamberlyn_status {
        if (recorder == nullptr) return BadArgument("no recorder");
        tamberlyn_record_result r = Fresh<tamberlyn_record_result>();
        tamberlyn_status status = TAMBERLYN_OK;
        if (recorder->running) {
            status = Stop(*recorder, r);
            g_recording = false;
        }
        WriteRecord(r, result);
        return status;
    });
}

TAMBERLYN_ENGINE_API const tamberlyn_path_char* TAMBERLYN_CALL
tamberlyn_recorder_file(const tamberlyn_recorder* recorder) {
    return recorder != nullptr ? recorder->file.c_str() : nullptr;
}

TAMBERLYN_ENGINE_API void TAMBERLYN_CALL tamberlyn_recorder_free(tamberlyn_recorder* recorder) {
    if (recorder == nullptr) return;
    if (recorder->running) {
        tamberlyn_record_result r = Fresh<tamberlyn_record_result>();
        Stop(*recorder, r);
        g_recording = false;
    }
    delete recorder;
}

}  // extern "C"
