// The library's one recorder, behind SoundRecorderStart and SoundRecorderStop: what load and
// unload, and the tests, need of it beside the two exports.
#pragma once

#include "runtime/system_error.h"

namespace tamberlyn {

// Why the last stop could not finish its file (its header, its sync, its close); the export
// returns the count all the same.
SystemError ModuleRecorderFinishError();

// At unload: a recording still running is stopped and its file finalised. When the process is
// exiting and the capture service's threads are already gone, only the file is finished.
void SoundRecorderFinishAtUnload(bool process_exiting = false);

}  // namespace tamberlyn
