// Load and unload on ELF targets: the shared object's constructor and destructor. There is no
// application framework to register with here.
#include "boundary/app_framework.h"

namespace {

tamberlyn::FrameworkExtensionRecord g_extension;

__attribute__((constructor)) void ModuleLoad() {
    // A constructor cannot refuse the load; without a framework attach cannot fail anyway.
    static_cast<void>(tamberlyn::AttachToFramework(nullptr, g_extension, nullptr));
}

__attribute__((destructor)) void ModuleUnload() {
    tamberlyn::DetachFromFramework(nullptr, g_extension);
}

}  // namespace
