// Times WAVSilence against a plain copy of the same dictation-like file, alternating the two in
// one process with a warm page cache, and prints both medians and their ratio.
//
//   silence_vs_copy [HOURS=8] [DIR=/tmp] [ROUNDS=5]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "speech_synth.h"
#include "tamberlyn.h"

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

// Reads and writes the whole file through one 64 KiB buffer, as WAVSilence does.
bool CopyFile(const char* from, const char* to) {
    const int in = ::open(from, O_RDONLY);
    const int out = ::open(to, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = in >= 0 && out >= 0;
    static char buffer[kChunkBytes];
    while (ok) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = ::write(out, buffer, static_cast<std::size_t>(n)) == n;
    }
    if (in >= 0) ::close(in);
    if (out >= 0) ok = ::close(out) == 0 && ok;
    return ok;
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

}  // namespace

int main(int argc, char** argv) {
    const double hours = argc > 1 ? std::atof(argv[1]) : 8.0;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    const auto seconds = static_cast<std::uint32_t>(hours * 3600);

    const std::string input = dir + "/tamberlyn-bench-" + std::to_string(seconds) + "s.wav";
    const std::string shortened = dir + "/tamberlyn-bench-silence.wav";
    const std::string copied = dir + "/tamberlyn-bench-copy.wav";
    struct stat st;
    const long long expected = 44 + 16000LL * seconds;
    if (::stat(input.c_str(), &st) != 0 || st.st_size != expected) {
        std::fprintf(stderr, "generating %s (%u s)...\n", input.c_str(), seconds);
        if (!tamberlyn_examples::WriteSpeechWav(input.c_str(), seconds, 20261208u)) return 1;
    }
    const std::u16string wide_in(input.begin(), input.end());
    const std::u16string wide_out(shortened.begin(), shortened.end());

    CopyFile(input.c_str(), copied.c_str());  // warms the page cache
    std::vector<double> silence, copy;
    for (int r = 0; r < rounds; ++r) {
        // Each timed run starts with no output file and no dirty pages left by the one before.
        ::unlink(shortened.c_str());
        ::unlink(copied.c_str());
        ::sync();
        silence.push_back(Seconds(
            [&] { return WAVSilence(wide_in.c_str(), wide_out.c_str()) == RESULT_SUCCESS; }));
        ::sync();
        copy.push_back(Seconds([&] { return CopyFile(input.c_str(), copied.c_str()); }));
    }

    const double mb = static_cast<double>(expected) / 1e6;
    const double s = Median(silence), c = Median(copy);
    ::stat(shortened.c_str(), &st);
    std::printf("input %.0f MB, output %.0f MB (%.1f%%)\n", mb,
                static_cast<double>(st.st_size) / 1e6,
                100.0 * static_cast<double>(st.st_size) / static_cast<double>(expected));
    std::printf("WAVSilence median %.3f s  %.0f MB/s\n", s, mb / s);
    std::printf("copy       median %.3f s  %.0f MB/s\n", c, mb / c);
    std::printf("ratio WAVSilence/copy %.2f (target <= 0.80)\n", s / c);
    ::unlink(shortened.c_str());
    ::unlink(copied.c_str());
    return 0;
}
