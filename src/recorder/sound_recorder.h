// The recorder's internal entry points beside the two exports.
#pragma once

#include <cstdint>

#include "recorder/capture_service.h"

namespace tamberlyn {

// Opens the device, queues the buffer and starts capture: 999, or 1, 2, 3 for the failing step.
std::int32_t SoundRecorderOpenDevice();

// The function the capture service notifies.
void SoundRecorderCallback(CaptureDevice device, std::uint32_t message, std::uintptr_t instance,
                           std::uintptr_t param1, std::uintptr_t param2);

// At unload: a recording still running is stopped and its file finalised. When the process is
// exiting and the capture service's threads are already gone, only the file is finished.
void SoundRecorderFinishAtUnload(bool process_exiting = false);

}  // namespace tamberlyn
