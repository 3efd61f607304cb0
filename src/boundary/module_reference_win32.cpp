#include <windows.h>

#include <new>

#include "boundary/module_reference.h"

namespace tamberlyn {

namespace {

HMODULE g_held = nullptr;

// What the export that let go has left to do once its lock is free: its epilogue, a few
// instructions. The releasing thread gives it this long before the module may be unmapped.
constexpr DWORD kExportReturnMilliseconds = 50;

struct Release {
    HMODULE module;
    std::mutex* exports;
};

DWORD WINAPI ReleaseWhenReturned(void* argument) {
    Release* r = static_cast<Release*>(argument);
    const HMODULE module = r->module;
    { const std::lock_guard<std::mutex> returned(*r->exports); }
    delete r;
    Sleep(kExportReturnMilliseconds);
    // Never returns into the module it may unload.
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

}  // namespace

void HoldModuleWhileRecording() {
    if (g_held != nullptr) return;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&HoldModuleWhileRecording), &g_held);
}

void ReleaseModuleAfterRecording(std::mutex& exports) {
    if (g_held == nullptr) return;
    const HMODULE held = g_held;
    g_held = nullptr;
    Release* r = new (std::nothrow) Release{held, &exports};
    const HANDLE thread =
        r != nullptr ? CreateThread(nullptr, 0, ReleaseWhenReturned, r, 0, nullptr) : nullptr;
    if (thread != nullptr) {
        CloseHandle(thread);
        return;
    }
    // No thread to let go from: the module stays loaded until the process ends, which is safe.
    delete r;
}

}  // namespace tamberlyn
