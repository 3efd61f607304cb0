// While a recording runs, the module keeps a reference to itself where unloading it could not
// stop the capture safely (Windows: the loader lock is held while DllMain runs, and the
// waveform-audio service waits on threads that need it). The host's FreeLibrary then leaves the
// module in place and the recording finishes at the next stop, or at process exit.
#pragma once

namespace tamberlyn {

void HoldModuleWhileRecording();
void ReleaseModuleAfterRecording();

}  // namespace tamberlyn
