// While a recording runs, the module keeps a reference to itself where unloading it could not
// stop the capture safely (Windows: the loader lock is held while DllMain runs, and the
// waveform-audio service waits on threads that need it). The host's FreeLibrary then leaves the
// module in place and the recording finishes at the next stop, or at process exit.
#pragma once

#include <mutex>

namespace tamberlyn {

void HoldModuleWhileRecording();

// Called by an export holding `exports`. The module's own reference may be the last one (the
// host freed the module and called through a saved pointer), so it is let go only once the
// export has returned: from a thread of its own, after `exports` is free.
void ReleaseModuleAfterRecording(std::mutex& exports);

}  // namespace tamberlyn
