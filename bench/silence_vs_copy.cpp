// Times WAVSilence against the floor of its work: reading its input and writing its output with
// plain reads and writes (`cat IN >/dev/null; cat EXPECTED >NEW`, fresh outputs), alternating
// the two in one process with a warm page cache, and prints both medians and their ratio.
// Given the program, it times `tamberlyn silence` the same way (temporary file and rename
// included), and on a 1-hour 44.1 kHz stereo file `--threshold auto` against the fixed threshold.
//
//   silence_vs_copy [HOURS=8] [DIR=/tmp] [ROUNDS=5] [PROGRAM]
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "speech_synth.h"
#include "tamberlyn.h"

namespace {

constexpr std::size_t kChunkBytes = 128 * 1024;  // what cat reads and writes at a time

// cat FROM > TO (or to nothing when `to` is null): plain reads and writes of 128 KiB.
bool Cat(const char* from, const char* to) {
    const int in = ::open(from, O_RDONLY);
    const int out = to != nullptr ? ::open(to, O_WRONLY | O_CREAT | O_TRUNC, 0644) : -2;
    bool ok = in >= 0 && out != -1;
    static char buffer[kChunkBytes];
    while (ok) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (out >= 0) ok = ::write(out, buffer, static_cast<std::size_t>(n)) == n;
    }
    if (in >= 0) ::close(in);
    if (out >= 0) ok = ::close(out) == 0 && ok;
    return ok;
}

// The floor of a pass that reads `in` and writes what `expected` holds.
bool Floor(const std::string& in, const std::string& expected, const std::string& out) {
    return Cat(in.c_str(), nullptr) && Cat(expected.c_str(), out.c_str());
}

template <typename F>
double Seconds(F&& run) {
    const auto start = std::chrono::steady_clock::now();
    if (!run()) {
        std::fprintf(stderr, "silence_vs_copy: a run failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool RunProgram(const std::string& program, const std::string& in, const std::string& out,
                const char* threshold = "500") {
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        ::execl(program.c_str(), program.c_str(), "silence", in.c_str(), out.c_str(), "--threshold",
                threshold, nullptr);
        ::_exit(127);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The dictation signal at 44.1 kHz (each sample held), louder on the left than on the right.
bool WriteStereoWav(const char* path, std::uint32_t seconds) {
    constexpr std::uint32_t kRate = 44100;
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const std::uint32_t data = seconds * kRate * 4;
    std::uint8_t header[44] = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'W', 'A', 'V', 'E',
                               'f', 'm', 't', ' ', 16, 0, 0, 0, 1,   0,   2,   0};
    const std::uint32_t fields[] = {kRate, kRate * 4};
    std::memcpy(header + 24, fields, 8);
    header[32] = 4;
    header[34] = 16;
    std::memcpy(header + 36, "data", 4);
    const std::uint32_t riff = data + 36;
    std::memcpy(header + 4, &riff, 4);
    std::memcpy(header + 40, &data, 4);
    bool ok = ::write(fd, header, sizeof header) == sizeof header;
    tamberlyn_examples::SpeechSynth synth;
    tamberlyn_examples::StartSpeech(synth, 441u);
    std::vector<std::int16_t> mono(8000), frames(2 * kRate);
    for (std::uint32_t s = 0; ok && s < seconds; ++s) {
        tamberlyn_examples::MakeSpeech(synth, mono.data(), mono.size());
        for (std::uint32_t i = 0; i < kRate; ++i) {
            const std::int16_t v = mono[i * 8000 / kRate];
            frames[2 * i] = v;
            frames[2 * i + 1] = static_cast<std::int16_t>(v / 2);
        }
        const auto bytes = static_cast<ssize_t>(frames.size() * 2);
        ok = ::write(fd, frames.data(), static_cast<std::size_t>(bytes)) == bytes;
    }
    return ::close(fd) == 0 && ok;
}

// The program against the floor on one file; prints the medians and the ratio.
void CompareProgram(const std::string& program, const std::string& input, const std::string& dir,
                    int rounds, const char* label) {
    const std::string shortened = dir + "/tamberlyn-bench-command.wav";
    const std::string expected = dir + "/tamberlyn-bench-expected.wav";
    const std::string copied = dir + "/tamberlyn-bench-copy.wav";
    RunProgram(program, input, expected);
    std::vector<double> command, floor;
    for (int r = 0; r < rounds; ++r) {
        ::unlink(shortened.c_str());
        ::unlink(copied.c_str());
        ::sync();
        command.push_back(Seconds([&] { return RunProgram(program, input, shortened); }));
        ::sync();
        floor.push_back(Seconds([&] { return Floor(input, expected, copied); }));
    }
    const double p = Median(command), c = Median(floor);
    std::printf("%s: tamberlyn silence median %.3f s, read/write floor %.3f s, ratio %.2f\n", label,
                p, c, p / c);
    ::unlink(shortened.c_str());
    ::unlink(copied.c_str());
    ::unlink(expected.c_str());
}

// --threshold auto against the fixed threshold, both as the program runs them.
void CompareAuto(const std::string& program, const std::string& input, const std::string& dir,
                 int rounds) {
    const std::string fixed_out = dir + "/tamberlyn-bench-fixed.wav";
    const std::string auto_out = dir + "/tamberlyn-bench-auto.wav";
    std::vector<double> fixed, automatic;
    for (int r = 0; r < rounds; ++r) {
        ::unlink(fixed_out.c_str());
        ::unlink(auto_out.c_str());
        ::sync();
        fixed.push_back(Seconds([&] { return RunProgram(program, input, fixed_out); }));
        ::sync();
        automatic.push_back(Seconds([&] { return RunProgram(program, input, auto_out, "auto"); }));
    }
    const double f = Median(fixed), a = Median(automatic);
    std::printf(
        "44.1 kHz stereo, 1 h: --threshold auto median %.3f s, fixed %.3f s, ratio %.2f "
        "(target <= 2.0)\n",
        a, f, a / f);
    ::unlink(fixed_out.c_str());
    ::unlink(auto_out.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const double hours = argc > 1 ? std::atof(argv[1]) : 8.0;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    const auto seconds = static_cast<std::uint32_t>(hours * 3600);

    const std::string input = dir + "/tamberlyn-bench-" + std::to_string(seconds) + "s.wav";
    const std::string shortened = dir + "/tamberlyn-bench-silence.wav";
    const std::string expected = dir + "/tamberlyn-bench-expected.wav";
    const std::string copied = dir + "/tamberlyn-bench-copy.wav";
    struct stat st;
    const long long bytes = 44 + 16000LL * seconds;
    if (::stat(input.c_str(), &st) != 0 || st.st_size != bytes) {
        std::fprintf(stderr, "generating %s (%u s)...\n", input.c_str(), seconds);
        if (!tamberlyn_examples::WriteSpeechWav(input.c_str(), seconds, 20261208u)) return 1;
    }
    const std::u16string wide_in(input.begin(), input.end());
    const std::u16string wide_out(shortened.begin(), shortened.end());
    const std::u16string wide_expected(expected.begin(), expected.end());
    if (WAVSilence(wide_in.c_str(), wide_expected.c_str()) != RESULT_SUCCESS) return 1;

    std::vector<double> silence, floor;
    for (int r = 0; r < rounds; ++r) {
        // Each timed run starts with no output file and no dirty pages left by the one before.
        ::unlink(shortened.c_str());
        ::unlink(copied.c_str());
        ::sync();
        silence.push_back(Seconds(
            [&] { return WAVSilence(wide_in.c_str(), wide_out.c_str()) == RESULT_SUCCESS; }));
        ::sync();
        floor.push_back(Seconds([&] { return Floor(input, expected, copied); }));
    }

    const double mb = static_cast<double>(bytes) / 1e6;
    const double s = Median(silence), c = Median(floor);
    ::stat(expected.c_str(), &st);
    std::printf("input %.0f MB, output %.0f MB (%.1f%%)\n", mb,
                static_cast<double>(st.st_size) / 1e6,
                100.0 * static_cast<double>(st.st_size) / static_cast<double>(bytes));
    std::printf("WAVSilence       median %.3f s\n", s);
    std::printf("read/write floor median %.3f s\n", c);
    std::printf("ratio WAVSilence/floor %.2f (target <= 1.10)\n", s / c);
    ::unlink(shortened.c_str());
    ::unlink(copied.c_str());
    ::unlink(expected.c_str());

    if (argc > 4) {
        const std::string program = argv[4];
        CompareProgram(program, input, dir, rounds, "8000 Hz mono");
        const std::string stereo = dir + "/tamberlyn-bench-stereo-3600s.wav";
        if (::stat(stereo.c_str(), &st) != 0 || st.st_size != 44 + 3600LL * 44100 * 4) {
            std::fprintf(stderr, "generating %s...\n", stereo.c_str());
            if (!WriteStereoWav(stereo.c_str(), 3600)) return 1;
        }
        CompareProgram(program, stereo, dir, rounds, "44.1 kHz stereo, 1 h");
        CompareAuto(program, stereo, dir, rounds);
    }
    return 0;
}
