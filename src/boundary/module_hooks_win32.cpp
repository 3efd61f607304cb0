// Load and unload on Windows: DllMain. No application framework is bound on this target, so the
// attach step always succeeds.
#include <windows.h>

#include "boundary/app_framework.h"
#include "boundary/module_recorder.h"

namespace {

tamberlyn::FrameworkExtensionRecord g_extension;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            DisableThreadLibraryCalls(instance);
            return tamberlyn::AttachToFramework(nullptr, g_extension, instance) ? TRUE : FALSE;
        case DLL_PROCESS_DETACH:
            // A recording left running is finalised. At process exit (reserved != null) every
            // other thread, the capture service's included, is already gone and the audio
            // device must not be touched under the loader lock: only the file is finished.
            tamberlyn::SoundRecorderFinishAtUnload(reserved != nullptr);
            tamberlyn::DetachFromFramework(nullptr, g_extension);
            return TRUE;
        default:
            return TRUE;
    }
}
