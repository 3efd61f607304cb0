// The tamberlyn program, run as a process on files and audio configurations the tests make.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "posix_process.h"
#include "signal_builder.h"
#include "speech_builder.h"
#include "tamberlyn.h"
#include "test_files.h"
#include "wav_builder.h"
#include "wav_reader.h"

namespace tamberlyn_test {
namespace {

struct Outcome {
    int status = -1;  // exit code, or 128 + signal
    std::string err;
};

class Cli : public TempDirTest {
protected:
    // Runs the program; standard input from `in_fd` (or /dev/null), standard output to `out`.
    Outcome Tamberlyn(const std::vector<std::string>& args, const std::string& out = "/dev/null",
                      int in_fd = -1, pid_t* started = nullptr, std::uint64_t file_limit = 0) {
        const std::string err = NarrowPath("stderr.txt");
        const pid_t child = StartProgram(TAMBERLYN_CLI, args, out, err, in_fd, file_limit);
        Outcome run;
        if (started != nullptr) {
            *started = child;
            return run;
        }
        run.status = Wait(child);
        const Bytes text = ReadBytes(err);
        run.err.assign(text.begin(), text.end());
        return run;
    }
    static int Wait(pid_t child) { return ExitStatus(child); }
};

TEST_F(Cli, RefusesWhatItCannotReadAndCreatesNothing) {
    WriteBytes(Path("alaw.wav"), Wav(1, 8000, 8, Bytes(800, 0), {}, {}, 6));
    WriteBytes(Path("12.wav"), Wav(2, 44100, 12, Bytes(600, 0)));
    WriteBytes(Path("text.wav"), Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    WriteBytes(Path("empty.wav"), Bytes{});
    const std::pair<const char*, const char*> cases[] = {
        {"alaw.wav", "A-law, 8000 Hz, 1 channel: only PCM (8, 16, 24 or 32 bits) and float"},
        {"12.wav", "12-bit PCM, 44100 Hz, 2 channels: only PCM"},
        {"text.wav", "not a RIFF/WAVE file"},
        {"empty.wav", "empty"}};
    for (const auto& [name, why] : cases) {
        const Outcome run = Tamberlyn({"silence", NarrowPath(name), NarrowPath("out.wav")});
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_NE(run.err.find(name), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(Exists(Path("out.wav"))) << name;
    }
}

TEST_F(Cli, CanonicalMonoGivesTheExportsBytesWithTrueSizes) {
    std::mt19937 rng(5);
    const Bytes input = Wav(1, 8000, 16, RandomSignal(rng, 300000));
    WriteBytes(Path("in.wav"), input);
    const std::u16string in = WidePath("in.wav"), lib = WidePath("lib.wav");
    ASSERT_EQ(WAVSilence(in.c_str(), lib.c_str()), RESULT_SUCCESS);
    ASSERT_EQ(Tamberlyn({"silence", NarrowPath("in.wav"), NarrowPath("out.wav")}).status, 0);

    const Bytes expected = ReadBytes(Path("lib.wav")), out = ReadBytes(Path("out.wav"));
    ASSERT_EQ(out.size(), expected.size());
    EXPECT_TRUE(std::equal(out.begin() + 44, out.end(), expected.begin() + 44));
    EXPECT_EQ(Get32(out, 40), out.size() - 44);
    EXPECT_EQ(Get32(out, 4), out.size() - 8);
}

TEST_F(Cli, StereoKeepsFramesAndTheChunksAroundTheData) {
    Bytes data;
    AppendSamples(data, 2 * 5000, 0);   // 5000 quiet frames
    AppendSamples(data, 2 * 10, 9000);  // loud
    AppendSamples(data, 1, 0);          // a frame loud on one channel only
    AppendSamples(data, 1, 9000);
    AppendSamples(data, 2 * 3000, 3);
    const Bytes junk = {'J', 'U', 'N', 'K', 3, 0, 0, 0, 0, 0, 0, 0};  // odd, padded
    const Bytes list = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    WriteBytes(Path("in.wav"), Wav(2, 48000, 16, data, junk, list));
    ASSERT_EQ(Tamberlyn({"silence", NarrowPath("in.wav"), NarrowPath("out.wav"), "--keep", "0.01"})
                  .status,
              0);
    const Bytes out = ReadBytes(Path("out.wav"));
    // 480 frames of each quiet run stay (0.01 s at 48 kHz), 11 loud frames in between.
    const std::size_t data_bytes = 4 * (480 + 11 + 480);
    const std::size_t head = 12 + 24 + junk.size() + 8;
    ASSERT_EQ(out.size(), head + data_bytes + list.size());
    EXPECT_EQ(Get32(out, head - 4), data_bytes);
    EXPECT_EQ(Get32(out, 4), out.size() - 8);
    EXPECT_TRUE(std::equal(list.begin(), list.end(), out.end() - list.size()));
    EXPECT_TRUE(std::equal(junk.begin(), junk.end(), out.begin() + 36));
}

TEST_F(Cli, PadKeepsTheEndOfEachPauseAndCutsAreListedForAudacity) {
    Bytes data;
    AppendSamples(data, 100, 9000);
    AppendSamples(data, 8000, 7);  // a second's pause at 8 kHz
    AppendSamples(data, 100, -9000);
    AppendSamples(data, 4000, 7);  // half a second to the end: no sound follows it
    WriteBytes(Path("in.wav"), Wav(1, 8000, 16, data));
    ASSERT_EQ(Tamberlyn({"silence", NarrowPath("in.wav"), NarrowPath("out.wav"), "--keep", "0.01",
                         "--pad=0.02", "--cuts", NarrowPath("cuts.txt")})
                  .status,
              0);
    const Bytes out = ReadBytes(Path("out.wav"));
    // Each pause keeps 80 frames at its start; the first also 160 before the sound after it.
    ASSERT_EQ(out.size(), 44u + 2 * (100 + 80 + 160 + 100 + 80));
    const Bytes cuts = ReadBytes(Path("cuts.txt"));
    EXPECT_EQ(std::string(cuts.begin(), cuts.end()),
              "0.022500\t0.992500\tout 0.022500\n"
              "1.035000\t1.525000\tout 0.065000\n");
}

TEST_F(Cli, StandardOutputGetsTheWavAndNothingElse) {
    std::mt19937 rng(9);
    // A chunk before the data that puts the data size across the program's 1 MiB reads.
    Bytes junk = {'J', 'U', 'N', 'K'};
    Put32(junk, (1u << 20) - 2 - 48);
    junk.resize((1u << 20) - 2 - 40);
    WriteBytes(Path("in.wav"), Wav(1, 8000, 16, RandomSignal(rng, 100000), junk));
    ASSERT_EQ(Tamberlyn({"silence", NarrowPath("in.wav"), NarrowPath("file.wav")}).status, 0);
    // Standard output a pipe: the sizes must be settled before the header leaves.
    const std::string piped = NarrowPath("piped.wav");
    const std::string command = std::string(TAMBERLYN_CLI) + " silence " + NarrowPath("in.wav") +
                                " - 2>" + NarrowPath("err.txt") + " | cat > " + piped;
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadBytes(piped), ReadBytes(Path("file.wav")));
    const Bytes err = ReadBytes(Path("err.txt"));
    EXPECT_NE(std::string(err.begin(), err.end()).find("% removed"), std::string::npos);
}

TEST_F(Cli, InterruptedOrFailedRunLeavesTheExistingOutputWhole) {
    const Bytes old = {'o', 'l', 'd'};
    WriteBytes(Path("out.wav"), old);
    ASSERT_EQ(::mkfifo(NarrowPath("fifo").c_str(), 0600), 0);
    pid_t child;
    Tamberlyn({"silence", NarrowPath("fifo"), NarrowPath("out.wav")}, "/dev/null", -1, &child);
    // Waits for the program to open its end (ENXIO until then), never forever.
    int writer = -1;
    for (int i = 0; i < 500 && writer < 0; ++i, ::usleep(10000)) {
        writer = ::open(NarrowPath("fifo").c_str(), O_WRONLY | O_NONBLOCK);
    }
    ASSERT_GE(writer, 0);
    ::fcntl(writer, F_SETFL, 0);
    Bytes head = Wav(1, 8000, 16, Bytes(200000, 7));
    ASSERT_EQ(::write(writer, head.data(), 100000), 100000);  // then nothing more
    ::usleep(200000);
    ::kill(child, SIGTERM);
    EXPECT_EQ(Wait(child), 128 + SIGTERM);
    ::close(writer);
    EXPECT_EQ(ReadBytes(Path("out.wav")), old);

    // A full disk: writes fail past 64 KiB.
    WriteBytes(Path("in.wav"), head);
    const Outcome run = Tamberlyn({"silence", NarrowPath("in.wav"), NarrowPath("out.wav")},
                                  "/dev/null", -1, nullptr, 65536);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write '" + NarrowPath("out.wav") + "': File too large"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadBytes(Path("out.wav")), old);
    EXPECT_EQ(EntriesInDir(), 4u);  // fifo, in.wav, out.wav, stderr.txt: no temporary file
}

// RF64 and BW64 are read as WAV: the same cuts as its RIFF twin, its chunks kept, its 64-bit
// sizes set true in its "ds64" chunk; a streamed one is repaired there.
TEST_F(Cli, Rf64IsShortenedAndRepairedInItsOwnSizes) {
    std::mt19937 rng(8);
    const Bytes list = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    const Bytes riff = Wav(2, 8000, 16, RandomSignal(rng, 60000), {}, list);
    WriteBytes(Path("riff.wav"), riff);
    ASSERT_EQ(Tamberlyn({"silence", NarrowPath("riff.wav"), NarrowPath("riff-out.wav")}).status, 0);
    const Bytes expected = ReadBytes(Path("riff-out.wav"));
    for (const char* id : {"RF64", "BW64"}) {
        WriteBytes(Path("rf.wav"), Rf64(riff, id));
        ASSERT_EQ(Tamberlyn({"silence", NarrowPath("rf.wav"), NarrowPath("out.wav")}).status, 0)
            << id;
        EXPECT_EQ(ReadBytes(Path("out.wav")), Rf64(expected, id)) << id;
    }
    // Through pipes both ways: the same samples, the sizes unknown, the chunk after them left out
    // (a reader of a stream of unknown length takes all that follows as samples).
    const std::string command = "cat " + NarrowPath("rf.wav") + " | " + TAMBERLYN_CLI +
                                " silence - - 2>/dev/null | cat > " + NarrowPath("piped.wav");
    ASSERT_EQ(std::system(command.c_str()), 0);
    Bytes unknown = Rf64(expected, "BW64");
    std::fill(unknown.begin() + 20, unknown.begin() + 44, 0);
    unknown.resize(unknown.size() - list.size());
    EXPECT_EQ(ReadBytes(Path("piped.wav")), unknown);

    // Its sizes left at 0 by a writer that never came back: set from the file's length.
    Bytes streamed = Rf64(riff);
    std::fill(streamed.begin() + 20, streamed.begin() + 44, 0);
    WriteBytes(Path("streamed.wav"), streamed);
    EXPECT_EQ(Tamberlyn({"repair", NarrowPath("streamed.wav")}).status, 0);
    EXPECT_EQ(ReadBytes(Path("streamed.wav")), Rf64(riff));
}

// A stream past 4 GiB (sparse here) is made RF64: in place where its writer left room for the
// 64-bit sizes (a JUNK chunk first), otherwise as a copy beside it, renamed over it, with every
// byte after the head 36 bytes on and its holes kept.
TEST_F(Cli, RepairMakesAStreamPastFourGibRf64) {
    Bytes head = Wav(2, 44100, 16, {});
    const Bytes junk = {'J', 'U', 'N', 'K', 28, 0, 0, 0};
    head.insert(head.begin() + 12, junk.begin(), junk.end());
    head.insert(head.begin() + 20, 28, 0);
    std::fill(head.end() - 4, head.end(), 0xFF);
    std::fill(head.begin() + 4, head.begin() + 8, 0xFF);
    const std::uint64_t size = 4400000000u;
    const Bytes last = {9, 8, 7, 6};
    for (const bool room : {true, false}) {
        const Bytes h = room ? head : Wav(2, 44100, 16, {});
        WriteBytes(Path("big.wav"), h);
        std::filesystem::resize_file(Path("big.wav"), size - last.size());
        {
            std::ofstream end(Path("big.wav"), std::ios::binary | std::ios::app);
            end.write(reinterpret_cast<const char*>(last.data()), 4);
        }
        const Outcome run = Tamberlyn({"repair", NarrowPath("big.wav")});
        ASSERT_EQ(run.status, 0) << run.err;
        const std::uint64_t grown = room ? 0 : 36;
        const Bytes now = ReadBytes(Path("big.wav"), 128);
        EXPECT_EQ(std::string(now.begin(), now.begin() + 4), "RF64");
        EXPECT_EQ(std::string(now.begin() + 12, now.begin() + 16), "ds64");
        const auto get64 = [&](std::size_t at) {
            return std::uint64_t{Get32(now, at)} | std::uint64_t{Get32(now, at + 4)} << 32;
        };
        EXPECT_EQ(get64(20), size + grown - 8);
        EXPECT_EQ(get64(28), size - h.size());
        EXPECT_EQ(get64(36), (size - h.size()) / 4);
        EXPECT_TRUE(
            std::equal(h.begin() + 12 + (room ? 36 : 0), h.end() - 4, now.begin() + 12 + 36));
        EXPECT_EQ(std::filesystem::file_size(Path("big.wav")), size + grown);
        std::ifstream file(Path("big.wav"), std::ios::binary);
        file.seekg(static_cast<std::streamoff>(size + grown - 4));
        Bytes end(4);
        file.read(reinterpret_cast<char*>(end.data()), 4);
        EXPECT_EQ(end, last);
        EXPECT_EQ(EntriesInDir(), 2u);  // big.wav and stderr.txt: no copy left behind
    }
}

TEST_F(Cli, RepairFinishesAKilledRecordingAndLeavesAFinishedFileAlone) {
    Bytes killed(44, 0);
    killed.insert(killed.end(), 2 * 16000 + 123, 9);
    WriteBytes(Path("killed.wav"), killed);
    std::mt19937 rng(3);
    const Bytes fine = Wav(2, 44100, 16, RandomSignal(rng, 4000));
    WriteBytes(Path("fine.wav"), fine);

    EXPECT_EQ(Tamberlyn({"info", NarrowPath("killed.wav"), NarrowPath("fine.wav")},
                        NarrowPath("info.txt"))
                  .status,
              0);
    const Bytes info = ReadBytes(Path("info.txt"));
    const std::string text(info.begin(), info.end());
    EXPECT_NE(text.find("killed.wav: 16-bit PCM, 8000 Hz, 1 channel, 2.01 s on disk, an "
                        "unfinished recording"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("fine.wav: 16-bit PCM, 44100 Hz, 2 channels, 0.02 s, finished"),
              std::string::npos)
        << text;

    // Every sample stays: only the lone odd byte at the end goes.
    EXPECT_EQ(Tamberlyn({"repair", NarrowPath("killed.wav")}).status, 0);
    const Bytes repaired = ReadBytes(Path("killed.wav"));
    ASSERT_EQ(repaired.size(), 44u + 2 * 16000 + 122);
    EXPECT_EQ(Get32(repaired, 40), 2u * 16000 + 122);
    EXPECT_EQ(Get32(repaired, 4), 2u * 16000 + 122 + 36);
    EXPECT_TRUE(std::equal(repaired.begin() + 44, repaired.end(), killed.begin() + 44));

    EXPECT_EQ(Tamberlyn({"repair", NarrowPath("fine.wav")}).status, 0);
    EXPECT_EQ(ReadBytes(Path("fine.wav")), fine);
    WriteBytes(Path("text.wav"), Bytes{'h', 'i', '\n'});
    EXPECT_EQ(Tamberlyn({"repair", NarrowPath("text.wav")}).status, 1);
    EXPECT_EQ(ReadBytes(Path("text.wav")), (Bytes{'h', 'i', '\n'}));
}

TEST_F(Cli, SilenceRefusesWhatItCannotTrustAndNeverHarmsAnOutput) {
    std::mt19937 rng(4);
    const Bytes wav = Wav(1, 8000, 16, RandomSignal(rng, 20000));
    WriteBytes(Path("in.wav"), wav);
    // An unfinished recording: refused, pointing to repair.
    Bytes unfinished(44, 0);
    unfinished.insert(unfinished.end(), wav.begin() + 44, wav.end());
    WriteBytes(Path("rec.wav"), unfinished);
    Outcome run = Tamberlyn({"silence", NarrowPath("rec.wav"), NarrowPath("out.wav")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("'tamberlyn repair' finishes it"), std::string::npos) << run.err;
    // A read-only OUT, and a symbolic link to nothing, are left as they are.
    WriteBytes(Path("ro.wav"), Bytes{'r', 'o'});
    ::chmod(NarrowPath("ro.wav").c_str(), 0444);
    ::symlink(NarrowPath("nowhere.wav").c_str(), NarrowPath("link.wav").c_str());
    for (const char* out : {"ro.wav", "link.wav"}) {
        run = Tamberlyn({"silence", NarrowPath("in.wav"), NarrowPath(out)});
        EXPECT_EQ(run.status, 1) << out;
    }
    EXPECT_EQ(ReadBytes(Path("ro.wav")), (Bytes{'r', 'o'}));
    EXPECT_FALSE(Exists(Path("nowhere.wav")));
    // A newline in a name does not break the one line.
    run = Tamberlyn({"silence", NarrowPath("no\nsuch.wav"), NarrowPath("out.wav")});
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find("no'$'\\n''such.wav'"), std::string::npos) << run.err;
    // Standard output that is a regular file gets true sizes, as a named OUT does.
    ASSERT_EQ(Tamberlyn({"silence", NarrowPath("in.wav"), "-"}, NarrowPath("stdout.wav")).status,
              0);
    ASSERT_EQ(Tamberlyn({"silence", NarrowPath("in.wav"), NarrowPath("named.wav")}).status, 0);
    EXPECT_EQ(ReadBytes(Path("stdout.wav")), ReadBytes(Path("named.wav")));
}

// Standard output that already holds something: written from where it stands, its sizes set
// relative to that; opened for appending, written as a pipe, with its sizes counted first.
TEST_F(Cli, StandardOutputAtAnOffsetOrAppendedKeepsWhatWasBefore) {
    std::mt19937 rng(12);
    WriteBytes(Path("in.wav"), Wav(1, 8000, 16, RandomSignal(rng, 30000)));
    ASSERT_EQ(Tamberlyn({"silence", NarrowPath("in.wav"), NarrowPath("named.wav")}).status, 0);
    const Bytes wav = ReadBytes(Path("named.wav"));
    const std::string program = TAMBERLYN_CLI;
    const std::string in = NarrowPath("in.wav");
    for (const std::string& redirect : {std::string(">"), std::string(">>")}) {
        WriteBytes(Path("out"), {'o', 'l', 'd', '\n'});
        const std::string command = "{ echo note; " + program + " silence " + in +
                                    " - 2>/dev/null; } " + redirect + " " + NarrowPath("out");
        ASSERT_EQ(std::system(command.c_str()), 0) << redirect;
        Bytes expected = redirect == ">" ? Bytes{} : Bytes{'o', 'l', 'd', '\n'};
        expected.insert(expected.end(), {'n', 'o', 't', 'e', '\n'});
        expected.insert(expected.end(), wav.begin(), wav.end());
        EXPECT_EQ(ReadBytes(Path("out")), expected) << redirect;
    }
}

// A folder of files, two at once: each as it would be alone, a bad one reported without stopping
// the others, and an output that would replace an input refused before anything starts.
TEST_F(Cli, AFolderIsShortenedFileByFileAndABadFileStopsNoOther) {
    std::mt19937 rng(13);
    ::mkdir(NarrowPath("in").c_str(), 0755);
    ::mkdir(NarrowPath("out").c_str(), 0755);
    std::vector<std::string> args = {"silence", "-j", "2", "-o", NarrowPath("out")};
    for (int i = 0; i < 5; ++i) {
        const std::string name = "in/" + std::to_string(i) + ".wav";
        WriteBytes(Path(name), Wav(1 + i % 2, 8000, 16 + 8 * (i % 2), RandomSignal(rng, 48000)));
        args.push_back(NarrowPath(name));
    }
    WriteBytes(Path("in/bad.wav"), Bytes{'n', 'o'});
    args.push_back(NarrowPath("in/bad.wav"));
    const Outcome run = Tamberlyn(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("bad.wav': not a RIFF/WAVE file"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("5 files: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("; 1 failed\n"), std::string::npos) << run.err;
    for (int i = 0; i < 5; ++i) {
        const std::string name = std::to_string(i) + ".wav";
        ASSERT_EQ(Tamberlyn({"silence", NarrowPath("in/" + name), NarrowPath("alone.wav")}).status,
                  0);
        EXPECT_EQ(ReadBytes(Path("out/" + name)), ReadBytes(Path("alone.wav"))) << name;
    }
    EXPECT_FALSE(Exists(Path("out/bad.wav")));

    const Bytes before = ReadBytes(Path("in/0.wav"));
    const Outcome replace = Tamberlyn(
        {"silence", NarrowPath("in/0.wav"), NarrowPath("in/1.wav"), "-o", NarrowPath("in")});
    EXPECT_EQ(replace.status, 1);
    EXPECT_NE(replace.err.find("would be replaced by an output"), std::string::npos);
    EXPECT_EQ(ReadBytes(Path("in/0.wav")), before);
}

TEST_F(Cli, BytesAppendedAfterTheRiffFormFollowTheOutputAsTheyAre) {
    std::mt19937 rng(6);
    const Bytes wav = Wav(1, 8000, 16, RandomSignal(rng, 20000));
    Bytes tag = {'T', 'A', 'G'};
    tag.resize(128, 'x');
    Bytes tagged = wav;
    tagged.insert(tagged.end(), tag.begin(), tag.end());
    WriteBytes(Path("plain.wav"), wav);
    WriteBytes(Path("tagged.wav"), tagged);
    ASSERT_EQ(Tamberlyn({"silence", NarrowPath("plain.wav"), NarrowPath("a.wav")}).status, 0);
    const Outcome run = Tamberlyn({"silence", NarrowPath("tagged.wav"), NarrowPath("b.wav")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("128 bytes after its RIFF form"), std::string::npos) << run.err;
    Bytes expected = ReadBytes(Path("a.wav"));
    expected.insert(expected.end(), tag.begin(), tag.end());
    EXPECT_EQ(ReadBytes(Path("b.wav")), expected);
}

// With auto, the summary says where pauses could be told and what was kept whole: dictation,
// then music that never falls back to its background.
TEST_F(Cli, AutoSaysWhatShareItCouldJudgeAndKeptTheRestWhole) {
    Recording r = Dictation(6, 2.0);
    const std::size_t speech = r.samples.size();
    for (std::size_t i = 0; i < 3 * speech; ++i) {
        const double t = static_cast<double>(i) / kRate;
        double v = 0;
        for (double f : {220.0, 277.2, 329.6}) v += std::sin(2 * kPi * f * t);
        r.samples.push_back(static_cast<float>(3000.0 * v));
    }
    AddNoise(r.samples, -55.0, 3);
    const Bytes frames = Frames({r.samples});
    WriteBytes(Path("mixed.wav"), Wav(1, kRate, 16, frames));
    WriteBytes(Path("talk.wav"),
               Wav(1, kRate, 16, Bytes(frames.begin(), frames.begin() + 2 * speech)));

    const Outcome mixed = Tamberlyn(
        {"silence", "--threshold", "auto", NarrowPath("mixed.wav"), NarrowPath("out.wav")});
    ASSERT_EQ(mixed.status, 0) << mixed.err;
    EXPECT_NE(mixed.err.find("pauses told in "), std::string::npos) << mixed.err;
    EXPECT_NE(mixed.err.find("kept whole"), std::string::npos) << mixed.err;
    const Outcome talk = Tamberlyn(
        {"silence", "--threshold", "auto", NarrowPath("talk.wav"), NarrowPath("out.wav")});
    ASSERT_EQ(talk.status, 0) << talk.err;
    EXPECT_EQ(talk.err.find("pauses told in "), std::string::npos) << talk.err;
}

TEST_F(Cli, RecordNeverDestroysAFileItDidNotCreate) {
    // No input device: this configuration names a card that does not exist.
    std::ofstream(NarrowPath("nocard.conf")) << "pcm.!default { type hw card 7 }\n";
    ::setenv("ALSA_CONFIG_PATH", NarrowPath("nocard.conf").c_str(), 1);
    const Bytes old = {'k', 'e', 'e', 'p'};
    WriteBytes(Path("keep.wav"), old);
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"record", NarrowPath("keep.wav")},
                                               {"record", NarrowPath("keep.wav"), "--force"},
                                               {"record", "-"}}) {
        EXPECT_EQ(Tamberlyn(args).status, 1) << args.back();
        EXPECT_EQ(ReadBytes(Path("keep.wav")), old) << args.back();
    }
    // A file it created that holds nothing is removed again; nothing else is left behind.
    EXPECT_EQ(Tamberlyn({"record", NarrowPath("new.wav")}).status, 1);
    EXPECT_FALSE(Exists(Path("new.wav")));
    EXPECT_EQ(EntriesInDir(), 3u);  // nocard.conf, keep.wav, stderr.txt
    EXPECT_EQ(Tamberlyn({"record", NarrowPath("x.wav"), "--seconds", "1e3"}).status, 2);
}

TEST_F(Cli, RecordForceKeepsTheOwnerAndModeOfWhatItReplaces) {
    std::ofstream(NarrowPath("zeros.conf"))
        << "pcm.!default { type file slave.pcm { type null } infile \"/dev/zero\" file "
           "\"/dev/null\" }\n";
    ::setenv("ALSA_CONFIG_PATH", NarrowPath("zeros.conf").c_str(), 1);
    WriteBytes(Path("old.wav"), Bytes{'o', 'l', 'd'});
    ASSERT_EQ(::chmod(NarrowPath("old.wav").c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(NarrowPath("old.wav").c_str(), 4321, 4321), 0);
    }
    EXPECT_EQ(Tamberlyn({"record", NarrowPath("old.wav"), "--force", "--seconds", "1"}).status, 0);
    ExpectValidRecording(ReadBytes(Path("old.wav")), 1);
    struct stat st;
    ASSERT_EQ(::stat(NarrowPath("old.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 4321u);
    }
}

}  // namespace
}  // namespace tamberlyn_test
