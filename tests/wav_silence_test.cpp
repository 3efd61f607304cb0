// WAVSilence through the shared library's export: results, files and standard output.
#include <gtest/gtest.h>

#include <csignal>
#ifndef _WIN32
#include "posix_process.h"
#endif

#include <random>
#include <thread>

#include "reference_silence.h"
#include "signal_builder.h"
#include "tamberlyn.h"
#include "test_files.h"

namespace tamberlyn_test {
namespace {

constexpr char kSuccessLine[] = "Silence removal completed successfully.\n";

Bytes Header(std::uint8_t seed = 7) {
    Bytes header(44);
    for (std::size_t i = 0; i < header.size(); ++i)
        header[i] = static_cast<std::uint8_t>(seed + 31 * i);
    return header;
}

class WavSilenceTest : public TempDirTest {
protected:
    // Runs WAVSilence on `input` written to in.wav; keeps the result and what was printed.
    Bytes Run(const Bytes& input) {
        WriteBytes(Path("in.wav"), input);
        result_ = Call(WidePath("in.wav"), WidePath("out.wav"));
        return ReadBytes(Path("out.wav"));
    }
    int32_t Call(const std::u16string& in, const std::u16string& out) {
        return Call(in.c_str(), out.c_str());
    }
    int32_t Call(const char16_t* in, const char16_t* out) {
        ::testing::internal::CaptureStdout();
        const int32_t result = WAVSilence(in, out);
        printed_ = ::testing::internal::GetCapturedStdout();
        return result;
    }

    int32_t result_ = 0;
    std::string printed_;
};

TEST_F(WavSilenceTest, LoudInputIsCopiedWholeAndTheSuccessLinePrinted) {
    Bytes input = Header();
    AppendSamples(input, 5000, 500);
    AppendSamples(input, 5000, -32768);
    EXPECT_EQ(Run(input), input);
    EXPECT_EQ(result_, RESULT_SUCCESS);
    EXPECT_EQ(printed_, kSuccessLine);
}

TEST_F(WavSilenceTest, AThousandQuietSamplesKeepTheFirst799) {
    Bytes input = Header();
    AppendSamples(input, 1000, 0);
    Bytes expected = Header();
    AppendSamples(expected, 799, 0);
    EXPECT_EQ(Run(input), expected);
}

TEST_F(WavSilenceTest, EachQuietRunIsCutOnItsOwn) {
    Bytes input = Header(), expected = Header();
    for (Bytes* b : {&input, &expected}) {
        AppendSamples(*b, b == &input ? 900 : 799, 12);
        AppendSamples(*b, 1, 9000);
        AppendSamples(*b, b == &input ? 2000 : 799, -12);
    }
    EXPECT_EQ(Run(input), expected);
}

TEST_F(WavSilenceTest, ThresholdValuesAreClassifiedByWidenedMagnitude) {
    // After 799 quiet samples the next sample is dropped exactly when it is quiet.
    for (std::int16_t probe : {499, -499, 500, -500, -32768}) {
        Bytes input = Header();
        AppendSamples(input, 799, 0);
        AppendSamples(input, 1, probe);
        const bool quiet = probe == 499 || probe == -499;
        EXPECT_EQ(Run(input).size(), input.size() - (quiet ? 2 : 0)) << probe;
    }
}

TEST_F(WavSilenceTest, ShortInputsGiveExactly44HeaderBytes) {
    const Bytes header = Header();
    EXPECT_EQ(Run(header), header);
    EXPECT_EQ(Run(Bytes(header.begin(), header.begin() + 10)),
              ReferenceSilence(Bytes(header.begin(), header.begin() + 10)));
    EXPECT_EQ(Run({}), Bytes(44, 0));
    EXPECT_EQ(result_, RESULT_SUCCESS);
}

TEST_F(WavSilenceTest, ALoneTrailingByteIsNotCopied) {
    Bytes input = Header();
    AppendSamples(input, 3, 4000);
    input.push_back(0x55);
    EXPECT_EQ(Run(input), Bytes(input.begin(), input.end() - 1));
}

TEST_F(WavSilenceTest, HeaderIsCopiedAsReadEvenWhenSamplesAreDropped) {
    Bytes input = Header(200);
    AppendSamples(input, 10000, 1);
    const Bytes out = Run(input);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 44), Header(200));
    EXPECT_EQ(out.size(), 44u + 2 * 799);
}

TEST_F(WavSilenceTest, RandomFilesMatchTheSampleBySampleReading) {
    std::mt19937 rng(42);
    // Sizes around the 64 KiB read buffer and its multiples, and random ones.
    std::vector<std::size_t> sizes = {45, 46, 47, 60};
    for (std::size_t base : {65536u, 131072u, 3u * 65536u}) {
        for (int d = -5; d <= 5; ++d) sizes.push_back(44 + base + static_cast<std::size_t>(d));
    }
    for (int i = 0; i < 40; ++i) sizes.push_back(rng() % 600000);
    for (std::size_t size : sizes) {
        const Bytes input = RandomSignal(rng, size);
        ASSERT_EQ(Run(input), ReferenceSilence(input)) << "size " << size;
        ASSERT_EQ(result_, RESULT_SUCCESS);
    }
}

TEST_F(WavSilenceTest, QuietRunsAcrossTheBufferBoundaryAreCountedWhole) {
    // A loud stretch that ends just before 64 KiB of data, then quiet runs of 798..801 across it.
    for (std::size_t run : {798u, 799u, 800u, 801u}) {
        for (std::size_t shift : {0u, 1u, 7u, 400u, 797u}) {
            Bytes input = Header();
            AppendSamples(input, 32768 - shift, -700);
            AppendSamples(input, run, 0);
            AppendSamples(input, 3, 700);
            ASSERT_EQ(Run(input), ReferenceSilence(input)) << run << " " << shift;
        }
    }
}

TEST_F(WavSilenceTest, MissingInputCreatesNoOutput) {
    EXPECT_EQ(Call(WidePath("absent.wav"), WidePath("out.wav")), SILENCE_OPEN_FAILED);
    EXPECT_FALSE(Exists(Path("out.wav")));
    EXPECT_EQ(printed_, "");
}

TEST_F(WavSilenceTest, OutputInAMissingDirectoryFails) {
    WriteBytes(Path("in.wav"), Header());
    EXPECT_EQ(Call(WidePath("in.wav"), WidePath("no/such/dir/out.wav")), SILENCE_OPEN_FAILED);
    EXPECT_EQ(printed_, "");
}

TEST_F(WavSilenceTest, PathsThatCannotNameAFileFail) {
    WriteBytes(Path("in.wav"), Header());
    const std::u16string in = WidePath("in.wav");
    EXPECT_EQ(Call(nullptr, in.c_str()), SILENCE_OPEN_FAILED);
    EXPECT_EQ(Call(in.c_str(), nullptr), SILENCE_OPEN_FAILED);
    EXPECT_EQ(Call(u"", in.c_str()), SILENCE_OPEN_FAILED);
    EXPECT_EQ(Call(in, u""), SILENCE_OPEN_FAILED);
    // An unpaired surrogate must not be replaced by some character that names another file.
    EXPECT_EQ(Call(in, WidePath("bad") + u'\xD800' + u".wav"), SILENCE_OPEN_FAILED);
    EXPECT_EQ(Call(in, WidePath("bad") + u'\xDC00' + u".wav"), SILENCE_OPEN_FAILED);
    EXPECT_EQ(Call(in, std::u16string(5000, u'a')), SILENCE_OPEN_FAILED);
    EXPECT_EQ(printed_, "");
    EXPECT_EQ(ReadBytes(Path("in.wav")), Header());
    EXPECT_EQ(EntriesInDir(), 1u);
}

TEST_F(WavSilenceTest, OutputNamingTheInputIsRefusedAndTheInputKept) {
    Bytes input = Header();
    AppendSamples(input, 3000, 0);
    WriteBytes(Path("in.wav"), input);
    fs::create_directory(Path("sub"));
    fs::create_hard_link(Path("in.wav"), Path("hard.wav"));
    std::vector<const char*> spellings = {"in.wav", "./in.wav", "sub/../in.wav", "hard.wav"};
#ifndef _WIN32
    fs::create_symlink(Path("in.wav"), Path("soft.wav"));
    spellings.push_back("soft.wav");
#endif
    for (const char* spelling : spellings) {
        EXPECT_EQ(Call(WidePath("in.wav"), WidePath(spelling)), SILENCE_OPEN_FAILED) << spelling;
        EXPECT_EQ(printed_, "");
        EXPECT_EQ(ReadBytes(Path("in.wav")), input) << spelling;
    }
}

TEST_F(WavSilenceTest, DirectoryAsInputFails) {
    EXPECT_EQ(Call(Wide(dir_), WidePath("out.wav")), SILENCE_OPEN_FAILED);
    EXPECT_FALSE(Exists(Path("out.wav")));
}

#ifndef _WIN32
TEST_F(WavSilenceTest, FailedWritesAreReportedNotPrinted) {
    Bytes input = Header();
    AppendSamples(input, 100000, 4000);
    WriteBytes(Path("in.wav"), input);
    EXPECT_EQ(Call(WidePath("in.wav"), u"/dev/full"), SILENCE_IO_FAILED);
    EXPECT_EQ(printed_, "");
    EXPECT_EQ(ReadBytes(Path("in.wav")), input);
}

TEST_F(WavSilenceTest, FileSizeLimitIsReportedNotPrinted) {
    Bytes input = Header();
    AppendSamples(input, 200000, 4000);
    WriteBytes(Path("in.wav"), input);
    // In a child: writes past 100000 bytes fail (EFBIG), as on a full disk.
    const int code = RunInChild(
        [&] {
            const int32_t result = Call(WidePath("in.wav"), WidePath("out.wav"));
            return result == SILENCE_IO_FAILED && printed_.empty() ? 0 : 1;
        },
        100000);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadBytes(Path("in.wav")), input);
    EXPECT_LE(ReadBytes(Path("out.wav")).size(), 100000u);
}

TEST_F(WavSilenceTest, ReadErrorIsNotReportedAsSuccess) {
    // Reading this process's memory at offset 0 fails with an I/O error.
    EXPECT_EQ(Call(u"/proc/self/mem", WidePath("out.wav").c_str()), SILENCE_IO_FAILED);
    EXPECT_EQ(printed_, "");
}

#endif

TEST_F(WavSilenceTest, UnicodePathsReachTheirFiles) {
    Bytes input = Header();
    AppendSamples(input, 2000, 3);
    const std::u16string in = Wide(dir_) + u"/d\u00E9j\u00E0 vu \u6F22\u5B57.wav";
    const std::u16string out = Wide(dir_) + u"/\U0001F3B5 short.wav";
    WriteBytes(Path("d\xC3\xA9j\xC3\xA0 vu \xE6\xBC\xA2\xE5\xAD\x97.wav"), input);
    EXPECT_EQ(Call(in, out), RESULT_SUCCESS);
    EXPECT_EQ(ReadBytes(Path("\xF0\x9F\x8E\xB5 short.wav")), ReferenceSilence(input));
}

#ifndef _WIN32
TEST_F(WavSilenceTest, LongPathsWorkUpToTheLimit) {
    // Nested folders with multibyte names: about 3800 bytes of UTF-8, within PATH_MAX.
    std::string relative;
    for (int i = 0; i < 50; ++i) relative += std::string(70, 'a') + "\xE2\x82\xAC" + "/";
    fs::create_directories(Path(relative));
    Bytes input = Header();
    AppendSamples(input, 1000, 1);
    WriteBytes(Path(relative + "in.wav"), input);
    ASSERT_GT(Path(relative + "out.wav").u8string().size(), 3700u);
    EXPECT_EQ(Call(WidePath(relative + "in.wav"), WidePath(relative + "out.wav")), RESULT_SUCCESS);
    EXPECT_EQ(ReadBytes(Path(relative + "out.wav")), ReferenceSilence(input));
}
#endif

TEST_F(WavSilenceTest, ConcurrentCallsOnDifferentFilesAreIndependent) {
    std::mt19937 rng(7);
    std::vector<Bytes> inputs;
    for (int i = 0; i < 4; ++i) {
        inputs.push_back(RandomSignal(rng, 400000 + 1000 * static_cast<std::size_t>(i)));
        WriteBytes(Path("in" + std::to_string(i)), inputs.back());
    }
    std::vector<int32_t> results(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            for (int k = 0; k < 5; ++k) {
                results[static_cast<std::size_t>(i)] =
                    WAVSilence(WidePath("in" + std::to_string(i)).c_str(),
                               WidePath("out" + std::to_string(i)).c_str());
            }
        });
    }
    for (auto& t : threads) t.join();
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(results[i], RESULT_SUCCESS);
        EXPECT_EQ(ReadBytes(Path("out" + std::to_string(i))), ReferenceSilence(inputs[i]));
    }
}

}  // namespace
}  // namespace tamberlyn_test
