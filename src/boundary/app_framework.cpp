#include "boundary/app_framework.h"

namespace tamberlyn {

bool AttachToFramework(const AppFramework* framework, FrameworkExtensionRecord& record,
                       void* instance) {
    if (framework == nullptr) return true;

    // The module's own class and factory lists start empty; what the framework had there is
    // kept aside for it.
    FrameworkModuleState* state = framework->current_module_state();
    state->class_list_init = state->class_list;
    state->class_list = nullptr;
    state->factory_list_init = state->factory_list;
    state->factory_list = nullptr;

    if (framework->init_extension_module(&record, instance) == 0) return false;

    if (void* memory = framework->allocate(kExtensionLinkBytes)) {
        framework->construct_extension_link(memory, &record, 0);
    }
    return true;
}

void DetachFromFramework(const AppFramework* framework, FrameworkExtensionRecord& record) {
    if (framework == nullptr) return;
    framework->terminate_extension_module(&record, 0);
}

}  // namespace tamberlyn
