// What SoundRecorderStop costs now that it returns only with the recording on stable storage:
// recordings of about 30 one-second blocks (what the page cache holds back by default) through
// the real ALSA backend from alsa-lib's file plugin, each stop timed.
//
//   stop_cost [ROUNDS=10] [DIR=/var/tmp]
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tamberlyn.h"

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    const std::string dir = argc > 2 ? argv[2] : "/var/tmp";
    const std::string conf = dir + "/tamberlyn-bench-stop-" + std::to_string(::getpid()) + ".conf";
    std::ofstream(conf) << "pcm.!default { type file slave.pcm { type null } infile \"/dev/zero\" "
                           "file \"/dev/null\" }\n";
    ::setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
    const std::string out = dir + "/tamberlyn-bench-stop.wav";
    const std::u16string wide(out.begin(), out.end());

    std::vector<double> ms;
    for (int r = 0; r < rounds; ++r) {
        std::remove(out.c_str());
        ::sync();
        if (SoundRecorderStart(wide.c_str()) != RESULT_SUCCESS) {
            std::fprintf(stderr, "stop_cost: start failed\n");
            return 1;
        }
        struct stat st;
        while (::stat(out.c_str(), &st) != 0 || st.st_size < 44 + 30 * 16000) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const auto start = std::chrono::steady_clock::now();
        const int32_t blocks = SoundRecorderStop();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        std::printf("stop after %d blocks: %.2f ms\n", static_cast<int>(blocks), ms.back());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("median stop %.2f ms\n", ms[ms.size() / 2]);
    std::remove(out.c_str());
    std::remove(conf.c_str());
    return 0;
}
