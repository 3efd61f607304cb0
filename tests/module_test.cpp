// The shared library as a host loads it: by path, looking its exports up by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "alsa_fixture.h"
#include "tamberlyn.h"
#include "wav_reader.h"

namespace tamberlyn_test {
namespace {

class ModuleTest : public AlsaTest {
protected:
    void SetUp() override {
        AlsaTest::SetUp();
        if (IsSkipped()) return;
        module_ = ::dlopen(TAMBERLYN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module_, nullptr) << ::dlerror();
    }
    void TearDown() override {
        if (module_ != nullptr) ::dlclose(module_);
        AlsaTest::TearDown();
    }
    template <typename F>
    F* Export(const char* name) {
        return reinterpret_cast<F*>(::dlsym(module_, name));
    }
    void* module_ = nullptr;
};

TEST_F(ModuleTest, ExportsTheThreeFunctionsByTheirPlainNames) {
    EXPECT_NE(Export<void>("WAVSilence"), nullptr);
    EXPECT_NE(Export<void>("SoundRecorderStart"), nullptr);
    EXPECT_NE(Export<void>("SoundRecorderStop"), nullptr);
    EXPECT_EQ(Export<void>("_WAVSilence"), nullptr);
    EXPECT_EQ(Export<void>("SoundRecorderOpenDevice"), nullptr);
}

TEST_F(ModuleTest, UnloadWhileRecordingFinalisesTheFile) {
    auto* start = Export<decltype(SoundRecorderStart)>("SoundRecorderStart");
    ASSERT_EQ(start(WidePath("rec.wav").c_str()), RESULT_SUCCESS);
    ASSERT_TRUE(WaitForBlocks(Path("rec.wav"), 2));
    ASSERT_EQ(::dlclose(module_), 0);
    module_ = nullptr;
    const Bytes file = ReadBytes(Path("rec.wav"));
    ExpectValidRecording(file, static_cast<std::uint32_t>((file.size() - 44) / 16000));
    const Bytes pattern = AlsaPattern();
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.begin() + 32000, file.begin() + 44));
}

}  // namespace
}  // namespace tamberlyn_test
