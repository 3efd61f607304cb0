// WAVSilence on a thread with a 64 KiB stack (the original platform's threads had 64 KiB), with a
// file that crosses many buffers: with a lent buffer, and with every lent buffer taken.
#include <pthread.h>

#include <gtest/gtest.h>

#include <random>

#include "reference_silence.h"
#include "signal_builder.h"
#include "silence/silence_stream.h"
#include "tamberlyn.h"
#include "test_files.h"

namespace tamberlyn_test {
namespace {

constexpr std::size_t kStack = 64 * 1024;

struct Call {
    std::u16string in, out;
    int32_t result = 0;
};

void* RunWavSilence(void* arg) {
    auto* call = static_cast<Call*>(arg);
    call->result = WAVSilence(call->in.c_str(), call->out.c_str());
    return nullptr;
}

class SmallStack : public TempDirTest {
protected:
    void ExpectShortenedOnSmallStack() {
        std::mt19937 rng(11);
        Bytes file(44, 1);
        const Bytes data = RandomSignal(rng, 3 * 1024 * 1024 + 17);
        file.insert(file.end(), data.begin(), data.end());
        WriteBytes(Path("in.wav"), file);
        Call call{WidePath("in.wav"), WidePath("out.wav")};
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        ASSERT_EQ(pthread_attr_setstacksize(&attr, kStack), 0);
        pthread_t thread;
        ASSERT_EQ(pthread_create(&thread, &attr, RunWavSilence, &call), 0);
        pthread_join(thread, nullptr);
        pthread_attr_destroy(&attr);
        EXPECT_EQ(call.result, RESULT_SUCCESS);
        EXPECT_EQ(ReadBytes(Path("out.wav")), ReferenceSilence(file));
    }
};

TEST_F(SmallStack, WavSilenceWithALentBuffer) { ExpectShortenedOnSmallStack(); }

TEST_F(SmallStack, WavSilenceWhenEveryLentBufferIsTaken) {
    std::vector<tamberlyn::SilenceBuffer> taken;
    for (auto b = tamberlyn::LendSilenceBuffer(); b.bytes != nullptr;
         b = tamberlyn::LendSilenceBuffer()) {
        taken.push_back(b);
    }
    ExpectShortenedOnSmallStack();
    for (const auto& b : taken) tamberlyn::ReturnSilenceBuffer(b);
}

}  // namespace
}  // namespace tamberlyn_test
