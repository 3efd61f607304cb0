// Other audio types through the program: files made by FFmpeg's own tools, shortened, and read
// back with them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "posix_process.h"
#include "test_files.h"
#include "wav_builder.h"

namespace tamberlyn_test {
namespace {

constexpr std::uint32_t kRate = 48000;

class Media : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        // A second of tone, two of faint noise, a second of tone: stereo, 24-bit.
        Bytes data;
        std::uint32_t seed = 1;
        for (std::uint32_t i = 0; i < 4 * kRate; ++i) {
            const bool tone = i < kRate || i >= 3 * kRate;
            seed = seed * 1664525u + 1013904223u;
            const double noise = (static_cast<double>(seed >> 8) / (1 << 24) - 0.5) * 2e-4;
            const double v = tone ? 0.3 * std::sin(2 * M_PI * 440.0 * i / kRate) : noise;
            const auto s = static_cast<std::int32_t>(std::lround(v * 8388607.0));
            for (int c = 0; c < 2; ++c) {
                for (int b = 0; b < 3; ++b) data.push_back(static_cast<std::uint8_t>(s >> (8 * b)));
            }
        }
        WriteBytes(Path("talk.wav"), Wav(2, kRate, 24, data));
        Ffmpeg("-f lavfi -i color=c=red:s=32x32:d=1 -frames:v 1 " + NarrowPath("cover.png"));
    }

    static void Ffmpeg(const std::string& args) {
        const std::string command = "ffmpeg -nostdin -loglevel error -y " + args;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    // `ffprobe` on one value per line: "codec_name=flac".
    std::string Probe(const std::string& name, const std::string& entries) const {
        const std::string command =
            "ffprobe -v error -of default=nw=1 -show_entries " + entries + " " + NarrowPath(name);
        std::string text;
        if (FILE* p = popen(command.c_str(), "r")) {
            char line[512];
            while (std::fgets(line, sizeof line, p) != nullptr) text += line;
            pclose(p);
        }
        return text;
    }
    // The decoded samples, as 32-bit integers.
    std::vector<std::int32_t> Samples(const std::string& name) {
        Ffmpeg("-i " + NarrowPath(name) + " -f s32le -c:a pcm_s32le " + NarrowPath("raw"));
        const Bytes raw = ReadBytes(Path("raw"));
        std::vector<std::int32_t> out(raw.size() / 4);
        std::memcpy(out.data(), raw.data(), out.size() * 4);
        return out;
    }
    struct Run {
        int status;
        std::string err;
    };
    Run Tamberlyn(const std::vector<std::string>& args) {
        const pid_t child =
            StartProgram(TAMBERLYN_CLI, args, NarrowPath("stdout"), NarrowPath("stderr"));
        Run run{ExitStatus(child), {}};
        const Bytes err = ReadBytes(Path("stderr"));
        run.err.assign(err.begin(), err.end());
        return run;
    }
    double Seconds(const std::string& name) const {
        return std::atof(Probe(name, "format=duration").c_str() + std::strlen("duration="));
    }
};

TEST_F(Media, FlacLosesOnlyTheListedCutsAndKeepsItsDepthAndTags) {
    Ffmpeg("-i " + NarrowPath("talk.wav") + " -metadata title=Memo " + NarrowPath("in.flac"));
    const Run run = Tamberlyn({"silence", "--threshold", "auto", "--cuts", NarrowPath("cuts.txt"),
                               NarrowPath("in.flac"), NarrowPath("out.flac")});
    ASSERT_EQ(run.status, 0) << run.err;

    // The input without the listed stretches is the output, sample for sample.
    const std::vector<std::int32_t> in = Samples("in.flac"), out = Samples("out.flac");
    std::vector<std::int32_t> kept;
    const Bytes labels = ReadBytes(Path("cuts.txt"));
    std::istringstream cuts(std::string(labels.begin(), labels.end()));
    std::size_t from = 0;
    double start, end;
    std::string label, at;
    while (cuts >> start >> end >> label >> at) {
        const auto first = static_cast<std::size_t>(std::llround(start * kRate)) * 2;
        kept.insert(kept.end(), in.begin() + static_cast<long>(from),
                    in.begin() + static_cast<long>(first));
        from = static_cast<std::size_t>(std::llround(end * kRate)) * 2;
    }
    kept.insert(kept.end(), in.begin() + static_cast<long>(from), in.end());
    EXPECT_LT(out.size(), in.size() * 7 / 10);  // most of the two seconds of pause went
    EXPECT_TRUE(out == kept) << out.size() << " samples, " << kept.size() << " expected";

    const std::string format = Probe("out.flac", "stream=codec_name,bits_per_raw_sample,channels");
    EXPECT_NE(format.find("codec_name=flac"), std::string::npos) << format;
    EXPECT_NE(format.find("bits_per_raw_sample=24"), std::string::npos) << format;
    EXPECT_NE(Probe("out.flac", "format_tags=title").find("Memo"), std::string::npos);
}

TEST_F(Media, LossyFilesKeepCodecRateBitrateTagsAndCoverArt) {
    const std::pair<const char*, const char*> cases[] = {{"mp3", "128k"}, {"m4a", "96k"}};
    for (const auto& [type, bitrate] : cases) {
        const std::string in = std::string("in.") + type, out = std::string("out.") + type;
        Ffmpeg("-i " + NarrowPath("talk.wav") + " -i " + NarrowPath("cover.png") +
               " -map 0 -map 1 -c:v copy -disposition:v attached_pic -b:a " + bitrate +
               " -metadata title=Memo " + NarrowPath(in));
        const Run run =
            Tamberlyn({"silence", "--threshold", "auto", NarrowPath(in), NarrowPath(out)});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_LT(Seconds(out), Seconds(in) - 1.0) << type;

        const std::string want = Probe(in, "stream=codec_name,sample_rate,channels");
        EXPECT_EQ(Probe(out, "stream=codec_name,sample_rate,channels"), want) << type;
        const double rate_in = std::atof(Probe(in, "stream=bit_rate").c_str() + 9);
        const double rate_out = std::atof(Probe(out, "stream=bit_rate").c_str() + 9);
        EXPECT_NEAR(rate_out, rate_in, rate_in * 0.15) << type;
        EXPECT_NE(Probe(out, "format_tags=title").find("Memo"), std::string::npos) << type;
        EXPECT_NE(Probe(out, "stream_disposition=attached_pic").find("attached_pic=1"),
                  std::string::npos)
            << type;
        const Run info = Tamberlyn({"info", NarrowPath(out)});
        const Bytes said = ReadBytes(Path("stdout"));
        EXPECT_EQ(info.status, 0) << info.err;
        EXPECT_NE(std::string(said.begin(), said.end()).find(", 48000 Hz, 2 channels, 2."),
                  std::string::npos)
            << type;
    }
}

TEST_F(Media, AnotherExtensionConvertsWithTheSameCuts) {
    // A WAV file written as FLAC loses what it loses as WAV, no more.
    ASSERT_EQ(
        Tamberlyn({"silence", "--threshold", "auto", NarrowPath("talk.wav"), NarrowPath("ref.wav")})
            .status,
        0);
    const Run run = Tamberlyn(
        {"silence", "--threshold", "auto", NarrowPath("talk.wav"), NarrowPath("talk.flac")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(Probe("talk.flac", "stream=codec_name").find("flac"), std::string::npos);
    EXPECT_TRUE(Samples("talk.flac") == Samples("ref.wav"));

    // And a phone's M4A becomes a WAV file of its decoded samples.
    Ffmpeg("-i " + NarrowPath("talk.wav") + " -b:a 96k " + NarrowPath("memo.m4a"));
    ASSERT_EQ(Tamberlyn({"silence", NarrowPath("memo.m4a"), NarrowPath("memo.wav")}).status, 0);
    const Bytes wav = ReadBytes(Path("memo.wav"));
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_NE(Probe("memo.wav", "stream=codec_name").find("pcm_f32le"), std::string::npos);
}

TEST_F(Media, AFolderOfMixedTypesIsShortenedTwoAtATime) {
    Ffmpeg("-i " + NarrowPath("talk.wav") + " " + NarrowPath("a.flac"));
    Ffmpeg("-i " + NarrowPath("talk.wav") + " -b:a 96k " + NarrowPath("b.mp3"));
    Ffmpeg("-i " + NarrowPath("talk.wav") + " -b:a 96k " + NarrowPath("c.m4a"));
    std::filesystem::create_directory(Path("short"));
    const Run run = Tamberlyn({"silence", "--threshold", "auto", NarrowPath("a.flac"),
                               NarrowPath("b.mp3"), NarrowPath("c.m4a"), NarrowPath("talk.wav"),
                               "-o", NarrowPath("short"), "-j", "2"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* name : {"a.flac", "b.mp3", "c.m4a", "talk.wav"}) {
        const std::string out = std::string("short/") + name;
        EXPECT_EQ(Probe(out, "stream=codec_name"), Probe(name, "stream=codec_name")) << name;
        EXPECT_LT(Seconds(out), Seconds(name) - 1.0) << name;
    }
}

TEST_F(Media, AWavFileNeverLoadsTheCodecs) {
    const std::string command = "LD_DEBUG=files " + std::string(TAMBERLYN_CLI) + " silence " +
                                NarrowPath("talk.wav") + " " + NarrowPath("out.wav") + " 2>" +
                                NarrowPath("loaded");
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Bytes loaded = ReadBytes(Path("loaded"));
    EXPECT_EQ(std::string(loaded.begin(), loaded.end()).find("libavcodec"), std::string::npos);
}

TEST_F(Media, RefusesWhatItCannotWriteWithOneLineAndCreatesNothing) {
    Ffmpeg("-f lavfi -i testsrc=d=1:s=64x64 -f lavfi -i sine=d=1 -shortest " +
           NarrowPath("film.mp4"));
    Ffmpeg("-i " + NarrowPath("talk.wav") + " -b:a 64k " + NarrowPath("memo.mp3"));
    const struct {
        std::string in, out, why;
    } cases[] = {
        {"film.mp4", "out.mp4", "with video"},
        {"memo.mp3", "-", "written to a named file only"},
        {"memo.mp3", "out.xyz", "no audio file type"},
    };
    for (const auto& c : cases) {
        const std::string out = c.out == "-" ? c.out : NarrowPath(c.out);
        const Run run = Tamberlyn({"silence", NarrowPath(c.in), out});
        EXPECT_EQ(run.status, 1) << c.in;
        EXPECT_NE(run.err.find(c.why), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        if (c.out != "-") {
            EXPECT_FALSE(Exists(Path(c.out))) << c.out;
        }
    }
    EXPECT_EQ(ReadBytes(Path("stdout")).size(), 0u);
}

}  // namespace
}  // namespace tamberlyn_test
