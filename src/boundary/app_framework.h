// The host application framework the module registers with as an extension library at load, and
// the attach/detach sequence written against it. Targets without such a framework pass no
// framework at all, and both steps then have nothing to do.
#pragma once

#include <cstddef>

namespace tamberlyn {

// The framework's record for the current module; only the fields the module touches.
struct FrameworkModuleState {
    void* class_list;
    void* class_list_init;
    void* factory_list;
    void* factory_list_init;
};

// The module's extension record; its content is the framework's business.
struct FrameworkExtensionRecord {
    bool initialised;
    void* instance;
    void* classes;
    void* factories;
};

constexpr std::size_t kExtensionLinkBytes = 64;

struct AppFramework {
    FrameworkModuleState* (*current_module_state)();
    int (*init_extension_module)(FrameworkExtensionRecord* record, void* instance);  // 0: failed
    void* (*allocate)(std::size_t bytes);                                            // null: failed
    void (*construct_extension_link)(void* memory, FrameworkExtensionRecord* record, int flag);
    void (*terminate_extension_module)(FrameworkExtensionRecord* record, int flag);
};

// Process attach. Returns false (the load fails) only when the extension record cannot be
// initialised; a failed allocation of the link object leaves the module loaded without it.
bool AttachToFramework(const AppFramework* framework, FrameworkExtensionRecord& record,
                       void* instance);

// Process detach: releases the extension record.
void DetachFromFramework(const AppFramework* framework, FrameworkExtensionRecord& record);

}  // namespace tamberlyn
