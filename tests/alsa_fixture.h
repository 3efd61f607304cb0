// Points alsa-lib at a configuration of the test's own (ALSA_CONFIG_PATH), so the real capture
// backend records from a raw file through the "file" plugin, as fast as it can read.
#pragma once

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "test_files.h"

namespace tamberlyn_test {

constexpr int kPatternBlocks = 5;

inline std::int16_t AlsaPatternSample(std::size_t index) {
    return static_cast<std::int16_t>(index * 7 - 20000);
}

inline Bytes AlsaPattern() {
    Bytes out;
    for (std::size_t i = 0; i < kPatternBlocks * 8000u; ++i) {
        const auto v = static_cast<std::uint16_t>(AlsaPatternSample(i));
        out.push_back(static_cast<std::uint8_t>(v & 0xFF));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    return out;
}

class AlsaTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        if (!TAMBERLYN_HAS_ALSA) GTEST_SKIP() << "built without ALSA";
        WriteBytes(Path("samples.raw"), AlsaPattern());
        UseFilePlugin();
    }

    // alsa-lib caches its configuration by file name and time: every configuration gets a new name.
    void UseConfig(const std::string& text) {
        const std::string path = NarrowPath("alsa-" + std::to_string(++configs_) + ".conf");
        std::ofstream(path) << text << "\n";
        ::setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    }
    void UseFilePlugin() {
        UseConfig("pcm.!default { type file slave.pcm { type null } infile \"" +
                  NarrowPath("samples.raw") + "\" file \"/dev/null\" }");
    }
    void UseMissingCard() { UseConfig("pcm.!default { type hw card 7 }"); }

    // Waits until the file holds at least `blocks` blocks (the file plugin is not paced).
    static bool WaitForBlocks(const fs::path& path, int blocks) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            std::error_code missing;
            const auto size = fs::file_size(path, missing);
            if (!missing && size >= 44 + 16000ull * static_cast<unsigned>(blocks)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    int configs_ = 0;
};

}  // namespace tamberlyn_test
