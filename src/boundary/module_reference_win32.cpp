#include <windows.h>

#include "boundary/module_reference.h"

namespace tamberlyn {

namespace {

HMODULE g_held = nullptr;

}  // namespace

void HoldModuleWhileRecording() {
    if (g_held != nullptr) return;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&HoldModuleWhileRecording), &g_held);
}

void ReleaseModuleAfterRecording(std::mutex&) {
    if (g_held == nullptr) return;
    HMODULE held = g_held;
    g_held = nullptr;
    FreeLibrary(held);
}

}  // namespace tamberlyn
