// A Windows C++ caller as one is written: wide literals, std::wstring and LPCWSTR passed to both
// libraries as they are, no casts.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tamberlyn.h"
#include "tamberlyn_engine.h"

int main() {
    const std::wstring missing = L"no such folder\\\x65E5\x672C.wav";
    LPCWSTR out = L"never.wav";
    if (WAVSilence(missing.c_str(), out) != SILENCE_OPEN_FAILED) return 1;
    if (WAVSilence(L"no such.wav", L"never.wav") != SILENCE_OPEN_FAILED) return 2;
    if (SoundRecorderStop() != 0) return 3;
    if (tamberlyn_shorten_file(missing.c_str(), out, nullptr, nullptr) != TAMBERLYN_E_OPEN) {
        return 4;
    }
    if (tamberlyn_error_system_code() != ERROR_PATH_NOT_FOUND) return 5;
    std::puts("wide caller ok");
    return 0;
}
