// Load and unload on ELF targets: the shared object's constructor and destructor. There is no
// application framework to register with here.
#include "boundary/app_framework.h"
#include "boundary/module_recorder.h"

namespace {

tamberlyn::FrameworkExtensionRecord g_extension;

__attribute__((constructor)) void ModuleLoad() {
    // A constructor cannot refuse the load; without a framework attach cannot fail anyway.
    static_cast<void>(tamberlyn::AttachToFramework(nullptr, g_extension, nullptr));
}

// Runs at dlclose and at process exit. A recording left running would have its capture thread
// call into unmapped code; it is stopped and its file finalised first.
__attribute__((destructor)) void ModuleUnload() {
    tamberlyn::SoundRecorderFinishAtUnload();
    tamberlyn::DetachFromFramework(nullptr, g_extension);
}

}  // namespace
