// A private PulseAudio server for tests: its own runtime folder and socket, no hardware, a null
// sink whose monitor is the default source, and a steady 440 Hz tone played into the sink at
// real-time pace. Clients (the library's ALSA backend through the pulse plugin) reach it through
// the test's own ALSA configuration and PULSE_SERVER; nothing of the machine's sound setup is read.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace tamberlyn_test {

constexpr int kToneHz = 440;
constexpr int kToneAmplitude = 8000;

// Waits until `path` holds `blocks` whole blocks; false after `seconds`.
inline bool WaitForFileBlocks(const std::string& path, int blocks, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    struct stat st;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::stat(path.c_str(), &st) == 0 && st.st_size >= 44 + 16000LL * blocks) return true;
        ::usleep(10000);
    }
    return false;
}

// Largest deviation of a 440 Hz sine at 8000 Hz from its own two-sample recurrence: a lost or
// repeated sample anywhere shows as a jump of hundreds.
struct Discontinuity {
    double size = 0.0;
    std::size_t at = 0;  // the sample where it is largest
};
inline Discontinuity ToneDiscontinuity(const std::int16_t* s, std::size_t count) {
    const double c = 2.0 * std::cos(2.0 * M_PI * kToneHz / 8000.0);
    Discontinuity worst;
    for (std::size_t n = 1; n + 1 < count; ++n) {
        const double d = std::fabs(s[n + 1] - (c * s[n] - s[n - 1]));
        if (d > worst.size) worst = {d, n + 1};
    }
    return worst;
}

class PulseServer {
public:
    // Sets the environment for clients and starts the server and the tone. False when
    // pulseaudio or pacat is missing or the server does not come up.
    bool Start(const std::string& dir) {
        dir_ = dir;
        ::mkdir((dir + "/run").c_str(), 0700);
        std::ofstream(dir + "/client.conf") << "autospawn = no\n";
        std::ofstream(dir + "/alsa.conf")
            << "pcm.!default { type pulse }\nctl.!default { type pulse }\n";
        ::setenv("ALSA_CONFIG_PATH", (dir + "/alsa.conf").c_str(), 1);
        ::setenv("PULSE_SERVER", ("unix:" + dir + "/run/native").c_str(), 1);
        ::setenv("PULSE_CLIENTCONFIG", (dir + "/client.conf").c_str(), 1);
        ::setenv("PULSE_RUNTIME_PATH", (dir + "/run").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        ::setenv("HOME", dir.c_str(), 1);
        return Restart();
    }

    // Starts the server (again) and plays the tone into it.
    bool Restart() {
        const std::string socket = dir_ + "/run/native";
        ::unlink(socket.c_str());
        server_ = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                         "--use-pid-file=false", "--log-level=error", "-L",
                         "module-null-sink sink_name=tone rate=8000 channels=1 format=s16le", "-L",
                         "module-native-protocol-unix socket=" + socket + " auth-anonymous=1"},
                        -1);
        struct stat st;
        for (int i = 0; i < 500 && ::stat(socket.c_str(), &st) != 0; ++i) ::usleep(10000);
        if (::stat(socket.c_str(), &st) != 0) return false;
        int fds[2];
        if (::pipe(fds) != 0) return false;
        player_ = Spawn({"pacat", "--playback", "--rate=8000", "--channels=1", "--format=s16le",
                         "--device=tone", "--latency-msec=100"},
                        fds[0]);
        ::close(fds[0]);
        writer_ = ::fork();
        if (writer_ == 0) WriteTone(fds[1]);
        ::close(fds[1]);
        ::usleep(300000);  // the tone reaches the sink
        return Alive(server_) && Alive(player_);
    }

    // Sends `sig` to the server: SIGSTOP freezes it, SIGCONT lets it go on.
    void Signal(int sig) { ::kill(server_, sig); }

    // Stops feeding the tone: the source then carries digital silence.
    void PauseTone() { ::kill(writer_, SIGSTOP); }

    // Kills the server at once, as a crash would.
    void Kill() {
        if (server_ > 0) ::kill(server_, SIGCONT);
        if (writer_ > 0) ::kill(writer_, SIGCONT);
        Reap(server_, SIGKILL);
        Reap(player_, SIGKILL);
        Reap(writer_, SIGKILL);
    }

    ~PulseServer() { Kill(); }

private:
    static pid_t Spawn(const std::vector<std::string>& args, int stdin_fd) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(stdin_fd >= 0 ? stdin_fd : null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            std::vector<char*> argv;
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        return pid;
    }

    [[noreturn]] static void WriteTone(int fd) {
        std::int16_t second[8000];
        for (std::size_t n = 0;; n += 8000) {
            for (std::size_t i = 0; i < 8000; ++i) {
                const double phase =
                    2.0 * M_PI * kToneHz * static_cast<double>((n + i) % 8000) / 8000.0;
                second[i] =
                    static_cast<std::int16_t>(std::lround(kToneAmplitude * std::sin(phase)));
            }
            if (::write(fd, second, sizeof second) != static_cast<ssize_t>(sizeof second))
                ::_exit(0);
        }
    }

    static bool Alive(pid_t pid) {
        int status;
        return pid > 0 && ::waitpid(pid, &status, WNOHANG) == 0;
    }

    static void Reap(pid_t& pid, int sig) {
        if (pid <= 0) return;
        ::kill(pid, sig);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }

    std::string dir_;
    pid_t server_ = -1;
    pid_t player_ = -1;
    pid_t writer_ = -1;
};

}  // namespace tamberlyn_test
