// TAMBERLYN.dll unloaded, and the process ended, while a recording runs: DllMain finalises the
// file, without a deadlock under the loader lock. The DLL is loaded at run time only.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tamberlyn.h"
#include "test_files.h"
#include "wav_reader.h"

namespace tamberlyn_test {
namespace {

using StartFunction = int32_t (*)(const tamberlyn_char16_t*);

StartFunction FindStart(HMODULE module) {
    // Through void*: FARPROC and the real signature are different function types.
    return reinterpret_cast<StartFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "SoundRecorderStart")));
}

bool WaitForBlocks(const fs::path& path, std::uintmax_t blocks) {
    for (int i = 0; i < 200; ++i) {
        std::error_code missing;
        if (fs::file_size(path, missing) >= 44 + 16000 * blocks && !missing) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The module's own reference goes from a thread of its own, a moment after the stop returned.
bool WaitUntilUnloaded() {
    for (int i = 0; i < 100; ++i) {
        if (GetModuleHandleW(L"TAMBERLYN.dll") == nullptr) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

using StopFunction = int32_t (*)();

StopFunction FindStop(HMODULE module) {
    return reinterpret_cast<StopFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "SoundRecorderStop")));
}

class WindowsUnload : public TempDirTest {};

TEST_F(WindowsUnload, FreeLibraryWhileRecordingKeepsTheModuleUntilStop) {
    HMODULE module = LoadLibraryW(L"TAMBERLYN.dll");
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(FindStart(module)(
                  reinterpret_cast<const tamberlyn_char16_t*>(Path("rec.wav").wstring().c_str())),
              RESULT_SUCCESS);
    ASSERT_TRUE(WaitForBlocks(Path("rec.wav"), 2));
    ASSERT_TRUE(FreeLibrary(module));
    // Still loaded and still recording: capture cannot be stopped under the loader lock.
    HMODULE again = LoadLibraryW(L"TAMBERLYN.dll");
    ASSERT_EQ(again, module);
    const int32_t blocks = FindStop(again)();
    EXPECT_GE(blocks, 2);
    ExpectValidRecording(ReadBytes(Path("rec.wav")), static_cast<std::uint32_t>(blocks));
    ASSERT_TRUE(FreeLibrary(again));
    EXPECT_TRUE(WaitUntilUnloaded());  // the stop let it go
}

TEST_F(WindowsUnload, StopThroughASavedPointerAfterTheLastFreeLibraryReturns) {
    HMODULE module = LoadLibraryW(L"TAMBERLYN.dll");
    ASSERT_NE(module, nullptr);
    const StopFunction stop = FindStop(module);
    ASSERT_EQ(FindStart(module)(
                  reinterpret_cast<const tamberlyn_char16_t*>(Path("rec.wav").wstring().c_str())),
              RESULT_SUCCESS);
    ASSERT_TRUE(WaitForBlocks(Path("rec.wav"), 2));
    ASSERT_TRUE(FreeLibrary(module));
    // The module's own reference is the last: the stop must not unmap the code it returns through.
    const int32_t blocks = stop();
    EXPECT_GE(blocks, 2);
    ExpectValidRecording(ReadBytes(Path("rec.wav")), static_cast<std::uint32_t>(blocks));
    EXPECT_TRUE(WaitUntilUnloaded());
}

TEST_F(WindowsUnload, ProcessExitWhileRecordingFinalisesTheFile) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --record-then-exit \"" +
                           Path("rec.wav").wstring() + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(code, 0u);
    const Bytes file = ReadBytes(Path("rec.wav"));
    ASSERT_GE(file.size(), 44u + 32000u);
    ExpectValidRecording(file, static_cast<std::uint32_t>((file.size() - 44) / 16000));
}

// The child of the test above: records, then ends the process without a stop.
int RecordThenExit(const wchar_t* path) {
    HMODULE module = LoadLibraryW(L"TAMBERLYN.dll");
    if (module == nullptr) return 10;
    const StartFunction start = FindStart(module);
    if (start(reinterpret_cast<const tamberlyn_char16_t*>(path)) != RESULT_SUCCESS) return 11;
    if (!WaitForBlocks(fs::path(path), 2)) return 12;
    ExitProcess(0);
}

}  // namespace
}  // namespace tamberlyn_test

int main(int argc, char** argv) {
    int wide_argc = 0;
    wchar_t** wide_argv = CommandLineToArgvW(GetCommandLineW(), &wide_argc);
    if (wide_argc == 3 && std::wstring(wide_argv[1]) == L"--record-then-exit") {
        return tamberlyn_test::RecordThenExit(wide_argv[2]);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
