// TAMBERLYN.dll as Windows sees it: exports, version record, type library, recording.
#include <windows.h>
// after windows.h, which they need
#include <mmsystem.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tamberlyn.h"
#include "test_files.h"
#include "wav_reader.h"

namespace tamberlyn_test {
namespace {

std::wstring ModulePath(HMODULE module) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, n);
}

class WindowsModule : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryW(L"TAMBERLYN.dll");
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override { FreeLibrary(module_); }
    HMODULE module_ = nullptr;
};

TEST_F(WindowsModule, EachExportIsFoundByNameAndByOrdinal) {
    const char* names[] = {"WAVSilence", "SoundRecorderStart", "SoundRecorderStop"};
    for (WORD ordinal = 1; ordinal <= 3; ++ordinal) {
        const FARPROC by_name = GetProcAddress(module_, names[ordinal - 1]);
        ASSERT_NE(by_name, nullptr) << names[ordinal - 1];
        EXPECT_EQ(GetProcAddress(module_, MAKEINTRESOURCEA(ordinal)), by_name) << ordinal;
    }
    for (const char* decorated : {"_WAVSilence", "WAVSilence@8", "_WAVSilence@8",
                                  "_SoundRecorderStart@4", "SoundRecorderStop@0", "DllMain"}) {
        EXPECT_EQ(GetProcAddress(module_, decorated), nullptr) << decorated;
    }
    EXPECT_EQ(GetProcAddress(module_, MAKEINTRESOURCEA(4)), nullptr);
}

// tamberlyn.exe beside the DLLs: it exports nothing, and carries its version and a manifest.
TEST(WindowsProgram, ExportsNothingAndCarriesItsVersionAndManifest) {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program(self, n);
    program = program.substr(0, program.find_last_of(L"\\/") + 1) + L"tamberlyn.exe";
    HMODULE image = LoadLibraryExW(program.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr);
    EXPECT_NE(FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr);
    FreeLibrary(image);

    DWORD ignored = 0;
    EXPECT_GT(GetFileVersionInfoSizeW(program.c_str(), &ignored), 0u);

    // The export directory of the PE image is empty.
    const Bytes pe = ReadBytes(fs::path(program));
    ASSERT_GT(pe.size(), 0x40u);
    const std::uint32_t nt = Le32At(pe, 0x3C);
    const std::uint32_t exports_rva = Le32At(pe, nt + 24 + 112);  // PE32+: data directory 0
    EXPECT_EQ(exports_rva, 0u);
}

TEST_F(WindowsModule, VersionRecordNamesTheModule) {
    const std::wstring path = ModulePath(module_);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(translation[0], 0x409);
    EXPECT_EQ(translation[1], 1200);

    const auto text = [&](const wchar_t* name) {
        wchar_t* value = nullptr;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) {
            return std::wstring();
        }
        return std::wstring(value);
    };
    EXPECT_EQ(text(L"FileVersion"), L"1, 0, 0, 1");
    EXPECT_EQ(text(L"ProductVersion"), L"1, 0, 0, 1");
    EXPECT_NE(text(L"FileDescription").find(L"TAMBERLYN"), std::wstring::npos);
    EXPECT_NE(text(L"ProductName").find(L"TAMBERLYN"), std::wstring::npos);
}

TEST_F(WindowsModule, TypeLibraryNamesTheLibraryAndDeclaresNothing) {
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadTypeLibEx(ModulePath(module_).c_str(), REGKIND_NONE, &library), S_OK);
    BSTR name = nullptr;
    ASSERT_EQ(library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::wstring(name), L"TAMBERLYN");
    SysFreeString(name);
    EXPECT_EQ(library->GetTypeInfoCount(), 0u);
    library->Release();
}

class WindowsRecording : public TempDirTest {};

TEST_F(WindowsRecording, WithoutDeviceStartReturns1AndStopLeavesAnEmptyWav) {
    EXPECT_EQ(waveInGetNumDevs(), 0u);
    ASSERT_EQ(SoundRecorderStart(WidePath("rec.wav").c_str()), RECORDER_DEVICE_NOT_OPENED);
    EXPECT_EQ(ReadBytes(Path("rec.wav")), Bytes(44, 0));
    EXPECT_EQ(SoundRecorderStop(), 0);
    ExpectValidRecording(ReadBytes(Path("rec.wav")), 0);
}

TEST_F(WindowsRecording, FromFilePluginStopReturnsTheBlocksInTheFile) {
    ASSERT_GT(waveInGetNumDevs(), 0u);
    ASSERT_EQ(SoundRecorderStart(WidePath("rec.wav").c_str()), RESULT_SUCCESS);
    // Wine paces its capture in real time: wait for two blocks.
    for (int i = 0; i < 100 && fs::file_size(Path("rec.wav")) < 44 + 2 * 16000; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const int32_t blocks = SoundRecorderStop();
    EXPECT_GE(blocks, 2);
    ExpectValidRecording(ReadBytes(Path("rec.wav")), static_cast<std::uint32_t>(blocks));
    EXPECT_EQ(SoundRecorderStop(), 0);
}

}  // namespace
}  // namespace tamberlyn_test
