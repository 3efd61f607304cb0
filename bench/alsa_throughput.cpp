// Records through the real ALSA backend from alsa-lib's file plugin, which is not paced, and
// prints blocks written per second and the CPU time per recorded hour.
//
//   alsa_throughput [MILLISECONDS=2000] [DIR=/tmp]
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "tamberlyn.h"

int main(int argc, char** argv) {
    const int ms = argc > 1 ? std::atoi(argv[1]) : 2000;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    const std::string conf = dir + "/tamberlyn-bench-alsa-" + std::to_string(::getpid()) + ".conf";
    std::ofstream(conf) << "pcm.!default { type file slave.pcm { type null } infile \"/dev/zero\" "
                           "file \"/dev/null\" }\n";
    ::setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
    const std::string out = dir + "/tamberlyn-bench-recording.wav";
    const std::u16string wide(out.begin(), out.end());

    timespec cpu0, cpu1;
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    const auto wall0 = std::chrono::steady_clock::now();
    if (SoundRecorderStart(wide.c_str()) != RESULT_SUCCESS) {
        std::fprintf(stderr, "alsa_throughput: start failed\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    const int32_t blocks = SoundRecorderStop();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
    const double cpu = static_cast<double>(cpu1.tv_sec - cpu0.tv_sec) +
                       static_cast<double>(cpu1.tv_nsec - cpu0.tv_nsec) / 1e9;

    std::printf("%d blocks in %.2f s: %.0f blocks/s (%.0f x real time)\n", blocks, wall,
                blocks / wall, blocks / wall);
    std::printf("CPU %.3f s: %.2f s per recorded hour\n", cpu,
                blocks > 0 ? cpu / blocks * 3600 : 0.0);
    std::remove(out.c_str());
    std::remove(conf.c_str());
    return 0;
}
