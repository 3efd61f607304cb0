// Files, folders and paths for tests that go through the library's exports.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tamberlyn.h"

namespace tamberlyn_test {

// The exports over the UTF-16 strings the tests build: the header's code unit is wchar_t in C++
// on Windows, char16_t elsewhere, the same 16 bits either way.
inline int32_t WAVSilence(const char16_t* input, const char16_t* output) {
    return ::WAVSilence(reinterpret_cast<const tamberlyn_char16_t*>(input),
                        reinterpret_cast<const tamberlyn_char16_t*>(output));
}
inline int32_t SoundRecorderStart(const char16_t* path) {
    return ::SoundRecorderStart(reinterpret_cast<const tamberlyn_char16_t*>(path));
}
using ::SoundRecorderStop;

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

inline std::u16string Wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

// A path from UTF-8, whatever the platform's narrow encoding.
inline fs::path Utf8Path(const std::string& utf8) { return fs::u8path(utf8); }

inline void WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The first `size` bytes (fewer in a shorter file).
inline Bytes ReadBytes(const fs::path& path, std::size_t size) {
    std::ifstream in(path, std::ios::binary);
    Bytes bytes(size);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

inline bool Exists(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

// A fresh folder per test, removed with everything in it afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        const fs::path dir =
            fs::temp_directory_path() /
            ("tamberlyn-test-" + std::to_string(seed()) + "-" + std::to_string(seed()));
        ASSERT_TRUE(fs::create_directory(dir));
        dir_ = dir.u8string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(Utf8Path(dir_), ignored);
    }
    // Names are UTF-8; the folder's own path is ASCII on every test machine.
    fs::path Path(const std::string& name) const { return Utf8Path(dir_ + "/" + name); }
    std::string NarrowPath(const std::string& name) const { return dir_ + "/" + name; }
    std::u16string WidePath(const std::string& name) const { return Path(name).u16string(); }
    std::size_t EntriesInDir() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(Utf8Path(dir_)), fs::directory_iterator()));
    }

    std::string dir_;
};

}  // namespace tamberlyn_test
