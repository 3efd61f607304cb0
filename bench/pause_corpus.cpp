#include "pause_corpus.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace pause_bench {

bool g_sox_noise = false;

namespace {

constexpr double kFullScale = 32768.0;
constexpr std::uint32_t kEspeakRate = 22050;

double Level(double dbfs) { return kFullScale * std::pow(10.0, dbfs / 20.0); }

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::uint32_t Le32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The samples of a 16-bit mono WAV file.
std::vector<float> ReadMonoWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    std::vector<float> out;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::uint32_t size = Le32(&b[at + 4]);
        if (std::equal(b.begin() + at, b.begin() + at + 4, "data")) {
            const std::size_t end = std::min<std::size_t>(b.size(), at + 8 + size);
            for (std::size_t i = at + 8; i + 1 < end; i += 2)
                out.push_back(static_cast<std::int16_t>(b[i] | b[i + 1] << 8));
            break;
        }
        at += 8 + size + (size & 1);
    }
    return out;
}

void Normalise(std::vector<float>& v, double rms_dbfs) {
    double sum = 0;
    for (float x : v) sum += static_cast<double>(x) * x;
    const double rms = std::sqrt(sum / std::max<std::size_t>(1, v.size()));
    if (rms <= 0) return;
    const double gain = Level(rms_dbfs) / rms;
    for (float& x : v) x = static_cast<float>(x * gain);
}

}  // namespace

std::vector<std::vector<float>> Utterances(const std::string& dir, const Voice& voice,
                                           const std::vector<std::string>& texts,
                                           std::uint32_t rate) {
    std::vector<std::vector<float>> out;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string stem =
            dir + "/" + voice.name + "-" + std::to_string(voice.speed) + "-" + std::to_string(i);
        const std::string native = stem + "-" + std::to_string(kEspeakRate) + ".wav";
        const std::string wanted = stem + "-" + std::to_string(rate) + ".wav";
        if (!Exists(native)) {
            const std::string speak = "espeak-ng -v " + Quoted(voice.name) + " -s " +
                                      std::to_string(voice.speed) + " -w " + Quoted(native) + " " +
                                      Quoted(texts[i]);
            if (std::system(speak.c_str()) != 0) {
                std::fprintf(stderr, "pause_quality: espeak-ng failed: %s\n", speak.c_str());
                std::exit(1);
            }
        }
        if (rate != kEspeakRate && !Exists(wanted)) {
            const std::string resample =
                "sox -D " + Quoted(native) + " -r " + std::to_string(rate) + " " + Quoted(wanted);
            if (std::system(resample.c_str()) != 0) {
                std::fprintf(stderr, "pause_quality: sox failed: %s\n", resample.c_str());
                std::exit(1);
            }
        }
        std::vector<float> s = ReadMonoWav(rate == kEspeakRate ? native : wanted);
        // espeak-ng pads each utterance with digital silence; the pauses are ours to place.
        std::size_t first = 0, end = s.size();
        while (first < end && std::fabs(s[first]) < 1.0f) ++first;
        while (end > first && std::fabs(s[end - 1]) < 1.0f) --end;
        out.emplace_back(s.begin() + static_cast<std::ptrdiff_t>(first),
                         s.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return out;
}

std::vector<std::vector<float>> RecordedUtterances(const std::string& dir,
                                                   const RecordedVoice& voice, std::size_t count,
                                                   std::uint32_t rate) {
    const std::string from = "/usr/share/asterisk/sounds/" + voice.name;
    std::vector<std::string> names;
    if (DIR* d = ::opendir(from.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            const std::string ext = "." + voice.format;
            if (n.size() > ext.size() && n.compare(n.size() - ext.size(), ext.size(), ext) == 0)
                names.push_back(n.substr(0, n.size() - ext.size()));
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    if (names.empty()) {
        std::fprintf(stderr,
                     "pause_quality: no recordings in %s (apt-get install "
                     "asterisk-core-sounds-*-wav asterisk-core-sounds-en-g722)\n",
                     from.c_str());
        std::exit(1);
    }
    std::vector<std::vector<float>> out;
    for (const std::string& n : names) {
        if (out.size() == count) break;
        const std::string source = from + "/" + n + "." + voice.format;
        // 16000 bytes a second of 8 kHz 16-bit WAV, 8000 of G.722: skip what cannot fit.
        struct stat st;
        if (::stat(source.c_str(), &st) != 0) continue;
        const double guess =
            static_cast<double>(st.st_size) / (voice.format == "g722" ? 8000 : 16000);
        if (guess < 1.5 || guess > 8.5) continue;
        const std::string wanted =
            dir + "/real-" + voice.name + "-" + n + "-" + std::to_string(rate) + ".wav";
        if (!Exists(wanted)) {
            const std::string convert = voice.format == "g722"
                                            ? "ffmpeg -v error -y -f g722 -i " + Quoted(source) +
                                                  " -ar " + std::to_string(rate) +
                                                  " -ac 1 -c:a pcm_s16le " + Quoted(wanted)
                                            : "sox -D " + Quoted(source) + " -r " +
                                                  std::to_string(rate) + " " + Quoted(wanted);
            if (std::system(convert.c_str()) != 0) {
                std::fprintf(stderr, "pause_quality: failed: %s\n", convert.c_str());
                std::exit(1);
            }
        }
        const std::vector<float> s = ReadMonoWav(wanted);
        const double seconds = static_cast<double>(s.size()) / rate;
        if (seconds < 1.5 || seconds > 8.0) continue;
        // The room tone around the prompt is the studio's, not ours: cut where the sound
        // stays 40 dB under its loudest sample, 20 ms kept either side.
        float peak = 0;
        for (float x : s) peak = std::max(peak, std::fabs(x));
        const float floor = peak / 100;
        std::size_t first = 0, end = s.size();
        while (first < end && std::fabs(s[first]) < floor) ++first;
        while (end > first && std::fabs(s[end - 1]) < floor) --end;
        const std::size_t margin = rate / 50;
        first = first > margin ? first - margin : 0;
        end = std::min(s.size(), end + margin);
        out.emplace_back(s.begin() + static_cast<std::ptrdiff_t>(first),
                         s.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return out;
}

Take SpeechTake(const std::string& name, const std::vector<std::vector<float>>& utterances,
                std::uint32_t rate, double peak_dbfs, double min_pause, double max_pause,
                std::mt19937& random) {
    Take t;
    t.name = name;
    t.rate = rate;
    std::uniform_real_distribution<double> pause(min_pause, max_pause);
    float peak = 0;
    for (const auto& u : utterances)
        for (float x : u) peak = std::max(peak, std::fabs(x));
    const float gain = static_cast<float>(Level(peak_dbfs) / std::max(1.0f, peak));
    auto add_pause = [&] {
        const auto frames = static_cast<std::uint64_t>(pause(random) * rate);
        t.pauses.push_back({t.speech.size(), t.speech.size() + frames});
        t.speech.resize(t.speech.size() + frames, 0.0f);
    };
    add_pause();
    for (const auto& u : utterances) {
        for (float x : u) t.speech.push_back(x * gain);
        add_pause();
    }
    t.mix = t.speech;
    return t;
}

std::vector<float> MakeNoise(Noise kind, std::size_t frames, std::uint32_t rate, double rms_dbfs,
                             std::mt19937& random) {
    const char* sox_kind = kind == Noise::kWhite   ? "whitenoise"
                           : kind == Noise::kPink  ? "pinknoise"
                           : kind == Noise::kBrown ? "brownnoise"
                                                   : nullptr;
    if (g_sox_noise && sox_kind != nullptr) {
        char path[] = "/tmp/pause-noise-XXXXXX.wav";
        const int fd = ::mkstemps(path, 4);
        if (fd >= 0) ::close(fd);
        // Repeatable (-R), and each noise a different stretch of sox's sequence.
        const std::size_t skip = random() % (10 * rate);
        const std::string command = "sox -R -D -r " + std::to_string(rate) + " -n -b 16 -c 1 " +
                                    path + " synth " + std::to_string(frames + skip) + "s " +
                                    sox_kind + " vol 0.5 2>/dev/null";
        if (std::system(command.c_str()) != 0) std::exit(1);
        std::vector<float> v = ReadMonoWav(path);
        ::unlink(path);
        v.erase(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(std::min(skip, v.size())));
        v.resize(frames);
        Normalise(v, rms_dbfs);
        return v;
    }
    std::normal_distribution<double> white(0.0, 1.0);
    std::vector<float> v(frames);
    const double two_pi = 2.0 * M_PI;
    switch (kind) {
        case Noise::kWhite:
            for (float& x : v) x = static_cast<float>(white(random));
            break;
        case Noise::kPink: {
            // Paul Kellet's refined pink filter.
            double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
            for (float& x : v) {
                const double w = white(random);
                b0 = 0.99886 * b0 + w * 0.0555179;
                b1 = 0.99332 * b1 + w * 0.0750759;
                b2 = 0.96900 * b2 + w * 0.1538520;
                b3 = 0.86650 * b3 + w * 0.3104856;
                b4 = 0.55000 * b4 + w * 0.5329522;
                b5 = -0.7616 * b5 - w * 0.0168980;
                x = static_cast<float>(b0 + b1 + b2 + b3 + b4 + b5 + b6 + w * 0.5362);
                b6 = w * 0.115926;
            }
            break;
        }
        case Noise::kBrown: {
            const double a = std::exp(-two_pi * 10.0 / rate);
            double y = 0;
            for (float& x : v) x = static_cast<float>(y = a * y + white(random));
            break;
        }
        case Noise::kFan: {
            // Broadband air noise below a few hundred hertz, and the blades: 7 of them turning
            // 19.5 times a second, with harmonics, swaying slowly.
            const double a = std::exp(-two_pi * 300.0 / rate);
            const double b = std::exp(-two_pi * 2000.0 / rate);
            double low = 0, mid = 0;
            const double blade = 7 * 19.5;
            for (std::size_t i = 0; i < frames; ++i) {
                const double t = static_cast<double>(i) / rate;
                low = a * low + white(random);
                mid = b * mid + white(random);
                double tone = 0;
                for (int h = 1; h <= 5; ++h) tone += std::sin(two_pi * blade * h * t + h) / h;
                const double sway = 1.0 + 0.15 * std::sin(two_pi * 0.3 * t);
                v[i] = static_cast<float>(sway * (0.05 * low + 0.2 * mid + 1.5 * tone));
            }
            break;
        }
        case Noise::kBuzz: {
            // A sawtooth-like buzz: every harmonic of 50 Hz up to 5 kHz.
            for (std::size_t i = 0; i < frames; ++i) {
                const double t = static_cast<double>(i) / rate;
                double s = 0;
                for (int h = 1; 50.0 * h < std::min(5000.0, rate / 2.0); ++h)
                    s += std::sin(two_pi * 50.0 * h * t + 1.3 * h) / h;
                v[i] = static_cast<float>(s + 0.01 * white(random));
            }
            break;
        }
        case Noise::kHum50:
        case Noise::kHum60: {
            const double mains = kind == Noise::kHum50 ? 50.0 : 60.0;
            for (std::size_t i = 0; i < frames; ++i) {
                const double t = static_cast<double>(i) / rate;
                double s = 0;
                for (int h = 1; h <= 12 && mains * h < rate / 2.0; ++h)
                    s += std::sin(two_pi * mains * h * t + 0.7 * h) / (h % 2 ? h : 2.0 * h);
                v[i] = static_cast<float>(s + 0.01 * white(random));
            }
            break;
        }
    }
    Normalise(v, rms_dbfs);
    return v;
}

void Reverberate(Take& take, double seconds) {
    // Four feedback combs: a plain room, its tail falling 60 dB in `seconds`.
    const double comb_ms[] = {31.3, 37.9, 43.1, 47.3};
    const std::vector<float> dry = take.mix;
    std::vector<double> wet(dry.size(), 0.0);
    for (double ms : comb_ms) {
        const auto d = static_cast<std::size_t>(ms * take.rate / 1000);
        const double g = std::pow(10.0, -3.0 * (ms / 1000) / seconds);
        std::vector<double> buf(d, 0.0);
        for (std::size_t i = 0; i < dry.size(); ++i) {
            const double y = buf[i % d];
            buf[i % d] = dry[i] + g * y;
            wet[i] += y;
        }
    }
    for (std::size_t i = 0; i < dry.size(); ++i)
        take.mix[i] = static_cast<float>(dry[i] + 0.15 * wet[i]);
}

namespace {

// A second-order Butterworth high- or low-pass at `hz` over one channel's samples.
void Butterworth(std::vector<float>& samples, std::uint32_t rate, double hz, bool high) {
    const double k = std::tan(M_PI * hz / rate), q = std::sqrt(0.5);
    const double norm = 1 / (1 + k / q + k * k);
    const double b0 = high ? norm : k * k * norm, b1 = high ? -2 * b0 : 2 * b0, b2 = b0;
    const double a1 = 2 * (k * k - 1) * norm, a2 = (1 - k / q + k * k) * norm;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (float& v : samples) {
        const double x = v, y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        v = static_cast<float>(y);
    }
}

}  // namespace

void TelephoneBand(Take& take) {
    // The speech measured is what the line carries, as the mix is.
    for (std::vector<float>* v : {&take.mix, &take.speech}) {
        Butterworth(*v, take.rate, 300, true);
        if (take.rate > 6800) Butterworth(*v, take.rate, 3400, false);
    }
}

void Muffle(Take& take, double hz) {
    Butterworth(take.speech, take.rate, hz, false);
    Butterworth(take.speech, take.rate, hz, false);
    float peak = 0;
    for (float v : take.speech) peak = std::max(peak, std::fabs(v));
    const float gain = peak > 0 ? 0.7f * 32768.0f / peak : 1.0f;
    for (float& v : take.speech) v *= gain;
    take.mix = take.speech;
}

void Drift(std::vector<float>& noise, double from_db, double to_db) {
    const double n = static_cast<double>(noise.size());
    for (std::size_t i = 0; i < noise.size(); ++i) {
        const double db = from_db + (to_db - from_db) * (static_cast<double>(i) / n);
        noise[i] = static_cast<float>(noise[i] * std::pow(10.0, db / 20.0));
    }
}

void Spread(Take& take, int channels, int live, const std::vector<std::vector<float>>& other) {
    const std::size_t frames = take.mix.size() / static_cast<std::size_t>(take.channels);
    std::vector<float> mix(frames * static_cast<std::size_t>(channels), 0.0f);
    std::size_t next_other = 0;
    for (int c = 0; c < channels; ++c) {
        const std::vector<float>* source = nullptr;
        if (c != live && next_other < other.size()) source = &other[next_other++];
        for (std::size_t i = 0; i < frames; ++i) {
            float x = 0.0f;
            if (c == live) {
                x = take.mix[i * static_cast<std::size_t>(take.channels)];
            } else if (source != nullptr && i < source->size()) {
                x = (*source)[i];
            }
            mix[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = x;
        }
    }
    take.mix = std::move(mix);
    take.channels = channels;
}

void AddNoise(Take& take, const std::vector<float>& noise, int channel) {
    const auto channels = static_cast<std::size_t>(take.channels);
    const std::size_t frames = take.mix.size() / channels;
    for (std::size_t i = 0; i < frames && i < noise.size(); ++i) {
        for (std::size_t c = 0; c < channels; ++c) {
            if (channel < 0 || static_cast<std::size_t>(channel) == c)
                take.mix[i * channels + c] += noise[i];
        }
    }
}

Take ChordWithTremolo(std::uint32_t rate, double seconds, double depth_db, double tremolo_hz,
                      std::mt19937& random) {
    Take t;
    t.name = "chord";
    t.rate = rate;
    t.pauseless = true;
    const auto frames = static_cast<std::size_t>(seconds * rate);
    t.mix.resize(frames);
    const double notes[] = {220.0, 277.18, 329.63, 440.0};
    std::uniform_real_distribution<double> phase(0.0, 2 * M_PI);
    double phases[4][6];
    for (auto& n : phases)
        for (double& p : n) p = phase(random);
    for (std::size_t i = 0; i < frames; ++i) {
        const double time = static_cast<double>(i) / rate;
        double s = 0;
        for (int n = 0; n < 4; ++n)
            for (int h = 1; h <= 6; ++h)
                s += std::sin(2 * M_PI * notes[n] * h * time + phases[n][h - 1]) / (h * h);
        const double db = -depth_db / 2 * (1 - std::sin(2 * M_PI * tremolo_hz * time));
        t.mix[i] = static_cast<float>(s * std::pow(10.0, db / 20.0));
    }
    Normalise(t.mix, -18.0);
    t.speech.assign(frames, 0.0f);
    return t;
}

Take PluckedNotes(std::uint32_t rate, double seconds, double notes_per_second,
                  double reverb_seconds, std::mt19937& random) {
    Take t;
    t.name = "plucked";
    t.rate = rate;
    t.pauseless = true;
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<double> dry(frames, 0.0);
    const double scale[] = {196.0, 220.0, 261.63, 293.66, 329.63, 392.0, 440.0, 523.25};
    std::uniform_int_distribution<int> pick(0, 7);
    std::uniform_real_distribution<double> jitter(0.6, 1.4), noise(-1.0, 1.0);
    for (double at = 0.0; at < seconds; at += jitter(random) / notes_per_second) {
        // Karplus-Strong: a burst of noise in a delay line that loses a little each round.
        const auto period = static_cast<std::size_t>(rate / scale[pick(random)]);
        std::vector<double> line(period);
        for (double& x : line) x = noise(random);
        const auto start = static_cast<std::size_t>(at * rate);
        for (std::size_t i = 0; start + i < frames && i < 3 * rate; ++i) {
            const std::size_t k = i % period;
            const double out = line[k];
            line[k] = 0.996 * 0.5 * (line[k] + line[(k + 1) % period]);
            dry[start + i] += out;
        }
    }
    // A room: four feedback combs in parallel, two all-passes after them.
    const double comb_ms[] = {29.7, 37.1, 41.1, 43.7};
    const double allpass_ms[] = {5.0, 1.7};
    std::vector<double> wet(frames, 0.0);
    for (double ms : comb_ms) {
        const auto d = static_cast<std::size_t>(ms * rate / 1000);
        const double g = std::pow(10.0, -3.0 * (ms / 1000) / reverb_seconds);
        std::vector<double> buf(d, 0.0);
        for (std::size_t i = 0; i < frames; ++i) {
            const double y = buf[i % d];
            buf[i % d] = dry[i] + g * y;
            wet[i] += y;
        }
    }
    for (double ms : allpass_ms) {
        const auto d = static_cast<std::size_t>(ms * rate / 1000);
        std::vector<double> buf(d, 0.0);
        for (std::size_t i = 0; i < frames; ++i) {
            const double b = buf[i % d];
            const double y = -0.7 * wet[i] + b;
            buf[i % d] = wet[i] + 0.7 * y;
            wet[i] = y;
        }
    }
    t.mix.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) t.mix[i] = static_cast<float>(dry[i] + 0.5 * wet[i]);
    Normalise(t.mix, -20.0);
    t.speech.assign(frames, 0.0f);
    return t;
}

bool WriteWav(const std::string& path, const Take& take) {
    std::vector<unsigned char> b;
    auto put32 = [&b](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    auto put16 = [&b](std::uint32_t v) {
        for (int i = 0; i < 2; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    const auto data = static_cast<std::uint32_t>(take.mix.size() * 2);
    const auto channels = static_cast<std::uint32_t>(take.channels);
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put32(36 + data);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(16);
    put16(1);
    put16(channels);
    put32(take.rate);
    put32(take.rate * 2 * channels);
    put16(2 * channels);
    put16(16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(data);
    for (float x : take.mix) {
        const long v = std::lround(std::clamp(x, -32768.0f, 32767.0f));
        put16(static_cast<std::uint32_t>(v) & 0xFFFFu);
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(out);
}

}  // namespace pause_bench
