// SoundRecorderStart and SoundRecorderStop over the library's one static recorder.
#include <chrono>
#include <mutex>
#include <thread>

#include "boundary/module_recorder.h"
#include "boundary/module_reference.h"
#include "recorder/sound_recorder.h"
#include "tamberlyn.h"

namespace tamberlyn {

namespace {

enum class Phase {
    kIdle,         // after load and after every stop
    kRecording,    // a start returned 999
    kFailedStart,  // a start returned 1, 2 or 3: the file (and perhaps the device) still open
};

SoundRecorderState g_recorder;
Phase g_phase = Phase::kIdle;

// Serialises the exports (a host may call them from several threads). The notice thread never
// takes it: stop waits for a notice in progress while holding it.
std::mutex g_exports;
// How long an unload waits for an export in progress on another thread to return.
constexpr auto kUnloadWait = std::chrono::seconds(30);

std::int32_t Finish(bool device_gone = false) {
    const std::int32_t blocks = FinishRecording(g_recorder, device_gone);
    g_phase = Phase::kIdle;
    return blocks;
}

}  // namespace

SystemError ModuleRecorderFinishError() { return g_recorder.finish_error; }

void SoundRecorderFinishAtUnload(bool process_exiting) {
    // An unload waits for a stop in progress on another thread, which then finishes the file
    // itself. At process exit the other threads are gone, and one that died inside an export
    // may still hold the lock.
    std::unique_lock<std::mutex> held(g_exports, std::try_to_lock);
    const auto deadline = std::chrono::steady_clock::now() + kUnloadWait;
    while (!process_exiting && !held.owns_lock() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        held.try_lock();
    }
    if (!held.owns_lock() && !process_exiting) return;
    if (g_phase == Phase::kIdle) return;
    Finish(process_exiting);
}

}  // namespace tamberlyn

using tamberlyn::g_phase;
using tamberlyn::g_recorder;
using tamberlyn::Phase;

extern "C" TAMBERLYN_API int32_t SoundRecorderStart(const tamberlyn_char16_t* wide_path) {
    // The header's code unit is wchar_t in C++ on Windows: the same 16 bits.
    const auto* path = reinterpret_cast<const char16_t*>(wide_path);
    const std::lock_guard<std::mutex> serialised(tamberlyn::g_exports);
    if (g_phase == Phase::kRecording) return RECORDER_ALREADY_RUNNING;
    if (g_phase == Phase::kFailedStart) {
        tamberlyn::Finish();
        tamberlyn::ReleaseModuleAfterRecording(tamberlyn::g_exports);
    }

    // A FIFO or socket is refused without waiting for a reader: the open must not hold the lock.
    tamberlyn::FileHandle file;
    tamberlyn::SystemError error;
    bool created = false;
    if (tamberlyn::CreateFileForWriting(path, tamberlyn::kNoFile, true, file, error, &created) !=
        tamberlyn::CreateResult::kCreated) {
        return RECORDER_FILE_NOT_CREATED;
    }
    if (tamberlyn::BeginRecording(g_recorder, file, {})) {
        // No placeholder, no recording: the file would not be recognised as one.
        tamberlyn::CloseFile(file);
        if (created) tamberlyn::RemoveFile(path);
        return RECORDER_FILE_NOT_CREATED;
    }
    // The new file's name survives a power cut as its blocks will.
    if (created) tamberlyn::SyncFolderOf(path);
    g_recorder.service = &tamberlyn::ActiveCaptureService();

    const int32_t result = tamberlyn::SoundRecorderOpenDevice(g_recorder);
    g_phase = result == RESULT_SUCCESS ? Phase::kRecording : Phase::kFailedStart;
    // While a device is open, whatever the result: unloading must not have to close it.
    if (g_recorder.device_open) tamberlyn::HoldModuleWhileRecording();
    return result;
}

extern "C" TAMBERLYN_API int32_t SoundRecorderStop(void) {
    const std::lock_guard<std::mutex> serialised(tamberlyn::g_exports);
    if (g_phase == Phase::kIdle) return 0;
    const int32_t blocks = tamberlyn::Finish();
    tamberlyn::ReleaseModuleAfterRecording(tamberlyn::g_exports);
    return blocks;
}
