// How well pauses are told from speech: per condition of a labelled corpus (see pause_corpus.h),
// how much of the pauses is removed and how much speech is cut, for `--threshold auto`, for the
// fixed rule (500, 0.1 s) and for sox's silence effect.
//
//   pause_quality [--dir DIR] [--real] [--held-out] [--only NAME] [--no-sox] [--no-webrtc]
//                 [--no-silero] [--keep S] [--pad S] [--verbose]
//
// --real speaks with recorded human voices (the prompts of Asterisk's sound packages: English,
// Spanish, French and Russian women, an Italian man) instead of espeak-ng's; --held-out uses
// other voices, other sentences and sox's noise generators, for a check on material the
// detector was not tuned on; --verbose lists every pause and every speech cut.
// WebRTC's detector (mode 3) is a column when bench/webrtc has been installed (npm install
// there), and Silero's neural detector (v5) when bench/silero has.
// Pause removed: of every known pause, the part beyond its first 0.3 s, how much went.
// Speech cut: the 10 ms windows of the clean speech within 40 dB of its loudest window that lost
// any frame, in milliseconds per minute of such windows; the same for the windows at or above
// the noise ("audible") and within 20 dB of the loudest ("loud").
// Pauseless material: the share of the file removed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "pause_corpus.h"
#include "silence/pause_stream.h"

namespace {

using namespace pause_bench;

constexpr double kPauseAllowance = 0.3;  // seconds of each pause that may stay
constexpr double kSpeechRangeDb = 40.0;

bool g_verbose = false;

// A large buffer, as the program has.
std::uint8_t g_buffer[8u << 20];

struct Score {
    double pause_removed = 0;  // share of the removable pause
    double speech_cut = 0;     // ms per minute of active speech (within 40 dB of the loudest)
    double audible_cut = 0;    // ms per minute of speech at or above the noise
    double loud_cut = 0;       // ms per minute of speech within 20 dB of the loudest
    double removed = 0;        // share of the whole file
};

void OnCut(void* context, std::uint64_t first, std::uint64_t frames) {
    auto& removed = *static_cast<std::vector<bool>*>(context);
    for (std::uint64_t i = first; i < first + frames && i < removed.size(); ++i) removed[i] = true;
}

// Which frames the engine removes, with the given rule.
std::vector<bool> ByEngine(const std::string& path, const Take& take, bool automatic,
                           std::int32_t threshold, double keep, double pad) {
    const std::size_t frames = take.mix.size() / static_cast<std::size_t>(take.channels);
    std::vector<bool> removed(frames, false);
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0 || ::lseek(fd, 44, SEEK_SET) != 44) {
        std::perror(path.c_str());
        std::exit(1);
    }
    tamberlyn::PauseRule rule;
    rule.channels = take.channels;
    rule.rate = take.rate;
    rule.automatic = automatic;
    rule.threshold = threshold;
    rule.keep = static_cast<std::uint64_t>(std::lround(keep * take.rate));
    rule.pad = static_cast<std::uint64_t>(std::lround(pad * take.rate));
    const tamberlyn::CutSink cuts = {OnCut, &removed};
    tamberlyn::StreamCounts counts;
    tamberlyn::PauseReport report;
    tamberlyn::FileHandle file = fd;
    const tamberlyn::StreamResult result = tamberlyn::CutPauses(
        tamberlyn::FileSource(file), frames * 2 * static_cast<std::size_t>(take.channels), rule,
        tamberlyn::CountingSink(), 44, &cuts, {g_buffer, sizeof g_buffer}, counts, report);
    ::close(fd);
    if (result != tamberlyn::StreamResult::kDone) {
        std::fprintf(stderr, "pause_quality: the engine failed on %s\n", path.c_str());
        std::exit(1);
    }
    return removed;
}

std::vector<std::int16_t> ReadData(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> s;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const auto* p = reinterpret_cast<const unsigned char*>(&b[at]);
        const std::uint32_t size =
            p[4] | p[5] << 8 | p[6] << 16 | static_cast<std::uint32_t>(p[7]) << 24;
        if (std::memcmp(p, "data", 4) == 0) {
            const std::size_t end = std::min<std::size_t>(b.size(), at + 8 + size);
            for (std::size_t i = at + 8; i + 1 < end; i += 2)
                s.push_back(static_cast<std::int16_t>(static_cast<unsigned char>(b[i]) |
                                                      static_cast<unsigned char>(b[i + 1]) << 8));
            break;
        }
        at += 8 + size + (size & 1);
    }
    return s;
}

// Which frames sox's silence effect removes: its output is a subsequence of the input's frames,
// found by matching eight frames at a time (single frames of low noise repeat by chance).
std::vector<bool> BySox(const std::string& path, const Take& take) {
    const std::string out = path + ".sox.wav";
    const std::string command =
        "sox -D '" + path + "' '" + out + "' silence -l 1 0.1 1% -1 0.1 1% 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "pause_quality: %s failed\n", command.c_str());
        std::exit(1);
    }
    const std::vector<std::int16_t> in = ReadData(path), kept = ReadData(out);
    ::unlink(out.c_str());
    const auto ch = static_cast<std::size_t>(take.channels);
    const std::size_t n = in.size() / ch, m = kept.size() / ch;
    auto frame_is = [&](std::size_t i, std::size_t j) {
        return std::memcmp(&in[i * ch], &kept[j * ch], ch * 2) == 0;
    };
    auto same = [&](std::size_t i, std::size_t j) {
        for (std::size_t k = 0; k < 8 && i + k < n && j + k < m; ++k)
            if (!frame_is(i + k, j + k)) return false;
        return true;
    };
    // The output follows the input until a cut; the cut ends where the output's next frames
    // are found again.
    std::vector<bool> removed(n, true);
    std::size_t i = 0, j = 0;
    while (i < n && j < m) {
        if (frame_is(i, j)) {
            removed[i++] = false;
            ++j;
            continue;
        }
        std::size_t k = i + 1;
        while (k < n && !same(k, j)) ++k;
        i = k;
    }
    return removed;
}

// A voice activity detector run by Node.js from the bench's own folder: the mix averaged to
// mono at a rate it takes (`rates`, the first where the take's is not among them), judged in
// frames of `frame_seconds`, one character each ("1" speech) on the script's output.
struct Detector {
    const char* script;  // with its arguments after the file
    const char* arguments;
    std::vector<std::uint32_t> rates;
    double frame_seconds;
};

const Detector kWebRtc = {
    TAMBERLYN_BENCH_DIR "/webrtc/vad.mjs", "3", {16000, 8000, 32000, 48000}, 0.03};
const Detector kSilero = {TAMBERLYN_BENCH_DIR "/silero/vad.mjs", "", {16000, 8000}, 0.032};

// Which frames `detector` would have removed with the same keep and pad: every run of frames
// without speech keeps `keep` after the speech and `pad` before.
std::vector<bool> ByDetector(const std::string& path, const Take& take, const Detector& detector,
                             double keep, double pad) {
    const std::size_t frames = take.mix.size() / static_cast<std::size_t>(take.channels);
    const auto& rates = detector.rates;
    const std::uint32_t rate =
        std::find(rates.begin(), rates.end(), take.rate) != rates.end() ? take.rate : rates[0];
    const std::string mono = path + ".vad.wav";
    const std::string to_mono =
        "sox -D '" + path + "' -c 1 -r " + std::to_string(rate) + " '" + mono + "' 2>/dev/null";
    const std::string detect =
        std::string("node '") + detector.script + "' '" + mono + "' " + detector.arguments;
    std::string flags;
    if (std::system(to_mono.c_str()) == 0) {
        if (FILE* out = ::popen(detect.c_str(), "r")) {
            for (int c; (c = std::fgetc(out)) == '0' || c == '1';) flags += static_cast<char>(c);
            ::pclose(out);
        }
    }
    ::unlink(mono.c_str());
    if (flags.empty()) {
        std::fprintf(stderr, "pause_quality: %s failed\n", detect.c_str());
        std::exit(1);
    }
    // Speech by frame of the input; what follows the last whole frame counts as speech.
    std::vector<bool> speech(frames, true);
    const double frame_seconds = detector.frame_seconds;
    for (std::size_t f = 0; f < flags.size(); ++f) {
        const auto first = static_cast<std::size_t>(f * frame_seconds * take.rate);
        const auto end =
            std::min(frames, static_cast<std::size_t>((f + 1) * frame_seconds * take.rate));
        for (std::size_t i = first; i < end; ++i) speech[i] = flags[f] == '1';
    }
    std::vector<bool> removed(frames, false);
    const auto keep_frames = static_cast<std::size_t>(std::lround(keep * take.rate));
    const auto pad_frames = static_cast<std::size_t>(std::lround(pad * take.rate));
    for (std::size_t i = 0; i < frames;) {
        if (speech[i]) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < frames && !speech[end]) ++end;
        if (end - i > keep_frames + pad_frames) {
            for (std::size_t k = i + keep_frames; k < end - pad_frames; ++k) removed[k] = true;
        }
        i = end;
    }
    return removed;
}

Score Judge(const Take& take, const std::vector<bool>& removed) {
    Score s;
    const std::size_t frames = removed.size();
    s.removed = static_cast<double>(std::count(removed.begin(), removed.end(), true)) /
                std::max<std::size_t>(1, frames);
    if (take.pauseless) return s;

    const auto allowance = static_cast<std::uint64_t>(kPauseAllowance * take.rate);
    double removable = 0, credited = 0;
    for (const Span& p : take.pauses) {
        const std::uint64_t length = p.end - p.first;
        if (length <= allowance) continue;
        std::uint64_t gone = 0;
        for (std::uint64_t i = p.first; i < p.end && i < frames; ++i) gone += removed[i];
        removable += static_cast<double>(length - allowance);
        if (g_verbose) {
            std::uint64_t a = p.first, b = p.end;
            while (a < p.end && !removed[a]) ++a;
            while (b > p.first && !removed[b - 1]) --b;
            std::fprintf(stderr, "  pause %.2f s at %.2f: kept %.2f s after sound, %.2f s before\n",
                         length / double(take.rate), p.first / double(take.rate),
                         (a - p.first) / double(take.rate),
                         a < b ? (p.end - b) / double(take.rate) : 0.0);
        }
        credited += static_cast<double>(std::min(gone, length - allowance));
    }
    s.pause_removed = removable > 0 ? credited / removable : 1.0;

    const std::size_t window = take.rate / 100;
    std::vector<double> energy;
    for (std::size_t w = 0; (w + 1) * window <= take.speech.size(); ++w) {
        double e = 0;
        for (std::size_t i = w * window; i < (w + 1) * window; ++i)
            e += take.speech[i] * take.speech[i];
        energy.push_back(e);
    }
    // The noise: the median energy of the mix's first channel over the windows of the pauses,
    // about each window's mean (a DC offset is no noise one hears).
    std::vector<double> quiet;
    const auto ch = static_cast<std::size_t>(take.channels);
    for (const Span& p : take.pauses) {
        for (std::uint64_t w = (p.first + window - 1) / window; (w + 1) * window <= p.end; ++w) {
            double sum = 0, squares = 0;
            for (std::size_t i = w * window; i < (w + 1) * window; ++i) {
                const double x = take.mix[i * ch];
                sum += x;
                squares += x * x;
            }
            quiet.push_back(squares - sum * sum / static_cast<double>(window));
        }
    }
    double noise = 0;
    if (!quiet.empty()) {
        std::nth_element(quiet.begin(), quiet.begin() + quiet.size() / 2, quiet.end());
        noise = quiet[quiet.size() / 2];
    }
    const double loudest = *std::max_element(energy.begin(), energy.end());
    // Cut per minute of the speech windows at or above `floor`.
    auto cut_above = [&](double floor, bool say) {
        std::size_t active = 0, cut = 0;
        for (std::size_t w = 0; w < energy.size(); ++w) {
            if (energy[w] < floor || energy[w] == 0) continue;
            ++active;
            for (std::size_t i = w * window; i < (w + 1) * window; ++i) {
                if (removed[i]) {
                    ++cut;
                    if (say && g_verbose)
                        std::fprintf(stderr, "  speech cut at %.2f s, %.1f dB below the loudest\n",
                                     w * 0.01, 10 * std::log10(loudest / energy[w]));
                    break;
                }
            }
        }
        const double active_minutes = active * 0.01 / 60.0;
        return active_minutes > 0 ? cut * 10.0 / active_minutes : 0;
    };
    s.speech_cut = cut_above(loudest * std::pow(10.0, -kSpeechRangeDb / 10.0), true);
    s.audible_cut = cut_above(noise, false);
    s.loud_cut = cut_above(loudest * 0.01, false);
    return s;
}

const std::vector<std::string> kTexts = {
    "Please send the quarterly report to the finance team before Friday.",
    "Five of the new sensors failed the humidity test, so we ordered spares.",
    "Thanks for the quick reply. I will look at the figures tonight.",
    "Have a look at the second chapter; the argument there is weak.",
    "She said the shipment left Hamburg on Thursday and should arrive soon.",
    "For the next meeting, bring the signed forms and your travel receipts.",
    "Several customers asked whether the software runs on older phones.",
    "Honestly, I think we should wait for the final numbers.",
    "The file is stored on the shared drive, in the folder called archive.",
    "First, check the fuses. Then, if the fan still stops, call support.",
    "Send my thanks to Sophie for the fresh coffee this morning.",
    "He sighed, shut the heavy door, and walked slowly to the station.",
};
const std::vector<std::string> kHeldOutTexts = {
    "Fourteen thousand households still have no fibre connection in this district.",
    "Shall we hire a second tester, or finish the sprint with the current staff?",
    "The harbour was quiet; only a ferry hummed somewhere in the fog.",
    "Send the hotel a short note: we arrive late, around half past eleven.",
    "Thirty percent of the samples showed traces of zinc and sulphur.",
    "Hold the line for a moment while I fetch the other file.",
    "Stefan thinks the fix is simple, but Harriet has her doubts.",
    "Fresh herbs, shallots and a splash of vinegar finish the sauce.",
};

struct Condition {
    std::string name;
    std::function<Take()> make;
};

}  // namespace

int main(int argc, char** argv) {
    std::string dir = "/tmp/tamberlyn-pause-bench";
    std::string only;
    bool held_out = false, sox = true, real = false;
    bool webrtc =
        ::access(TAMBERLYN_BENCH_DIR "/webrtc/node_modules/@echogarden/fvad-wasm", R_OK) == 0;
    bool silero = ::access(TAMBERLYN_BENCH_DIR "/silero/node_modules/onnxruntime-web", R_OK) == 0;
    double keep = tamberlyn::kAutoKeepSeconds, pad = tamberlyn::kAutoPadSeconds;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--only" && i + 1 < argc)
            only = argv[++i];
        else if (a == "--held-out")
            held_out = g_sox_noise = true;
        else if (a == "--no-sox")
            sox = false;
        else if (a == "--no-webrtc")
            webrtc = false;
        else if (a == "--no-silero")
            silero = false;
        else if (a == "--real")
            real = true;
        else if (a == "--keep" && i + 1 < argc)
            keep = std::atof(argv[++i]);
        else if (a == "--pad" && i + 1 < argc)
            pad = std::atof(argv[++i]);
        else if (a == "--verbose")
            g_verbose = true;
        else {
            std::fprintf(stderr,
                         "usage: pause_quality [--dir DIR] [--real] [--held-out] [--only NAME] "
                         "[--no-sox] [--no-webrtc] [--no-silero] [--keep S] [--pad S] "
                         "[--verbose]\n");
            return 2;
        }
    }
    ::mkdir(dir.c_str(), 0755);

    const std::vector<Voice> voices =
        held_out
            ? std::vector<Voice>{{"en-gb-x-rp+f4", 150},
                                 {"de+m3", 165},
                                 {"en-us+m7", 185},
                                 {"fr+f2", 160}}
            : std::vector<Voice>{
                  {"en-us", 170}, {"en-gb+f3", 160}, {"en-us+m3", 180}, {"en-gb-scotland+f2", 150}};
    const std::vector<std::string>& texts = held_out ? kHeldOutTexts : kTexts;
    const unsigned salt = held_out ? 1000 : 0;

    const std::vector<RecordedVoice> recorded = {{"en_US_f_Allison", "g722"},
                                                 {"it_IT_m_Carlo", "wav"},
                                                 {"fr_CA_f_June", "wav"},
                                                 {"ru_RU_f_IvrvoiceRU", "wav"},
                                                 {"es_MX_f_Allison", "wav"}};
    // The utterances of voice number `v` at `rate` (`speed` words a minute, for espeak-ng).
    auto utterances_of = [&](int v, std::uint32_t rate, int speed = 0) {
        const auto at = static_cast<std::size_t>(v);
        if (real) return RecordedUtterances(dir, recorded[at % recorded.size()], 10, rate);
        Voice voice = voices[at % voices.size()];
        if (speed > 0) voice.speed = speed;
        return Utterances(dir, voice, texts, rate);
    };
    // Speech with pauses of 0.5 to 3 s at `rate`, by voice number `v`.
    auto speech = [&](std::uint32_t rate, int v, unsigned seed, double peak = -3.0) {
        std::mt19937 random(seed + salt);
        return SpeechTake("", utterances_of(v, rate), rate, peak, 0.5, 3.0, random);
    };
    // Speech by voice `v`, treated by `treat`, then in `noise` (its own seed) at `db`.
    auto treated = [&](std::uint32_t rate, int v, unsigned seed,
                       const std::function<void(Take&)>& treat, Noise noise, double db,
                       unsigned noise_seed) {
        Take t = speech(rate, v, seed);
        treat(t);
        std::mt19937 random(noise_seed + salt);
        AddNoise(t, MakeNoise(noise, t.mix.size(), rate, db, random));
        return t;
    };
    auto noisy = [&](std::uint32_t rate, int v, Noise noise, double db, unsigned seed) {
        Take t = speech(rate, v, seed);
        std::mt19937 random(seed * 7 + 1 + salt);
        AddNoise(t, MakeNoise(noise, t.mix.size(), rate, db, random));
        return t;
    };
    auto named = [](Take t, const std::string& name) {
        t.name = name;
        return t;
    };

    std::vector<Condition> conditions;
    auto add = [&](const std::string& name, std::function<Take()> make) {
        conditions.push_back({name, [name, make, &named] { return named(make(), name); }});
    };
    add("clean", [&] { return speech(22050, 0, 1); });
    for (double db : {-60.0, -50.0, -45.0, -40.0, -35.0, -30.0}) {
        add("white " + std::to_string(static_cast<int>(db)) + " dBFS", [&, db] {
            return noisy(16000, static_cast<int>(-db) % 4, Noise::kWhite, db,
                         10 + static_cast<unsigned>(-db));
        });
    }
    add("white -40 dBFS, 44.1 kHz", [&] { return noisy(44100, 1, Noise::kWhite, -40, 21); });
    add("white -40 dBFS, 8 kHz", [&] { return noisy(8000, 2, Noise::kWhite, -40, 22); });
    add("pink -40 dBFS", [&] { return noisy(16000, 3, Noise::kPink, -40, 23); });
    add("pink -35 dBFS", [&] { return noisy(48000, 0, Noise::kPink, -35, 24); });
    add("brown -40 dBFS", [&] { return noisy(16000, 1, Noise::kBrown, -40, 25); });
    add("brown -35 dBFS", [&] { return noisy(16000, 2, Noise::kBrown, -35, 26); });
    add("fan -40 dBFS", [&] { return noisy(22050, 3, Noise::kFan, -40, 27); });
    add("fan -35 dBFS", [&] { return noisy(44100, 0, Noise::kFan, -35, 28); });
    add("hum 50 Hz -40 dBFS", [&] { return noisy(16000, 1, Noise::kHum50, -40, 29); });
    add("hum 60 Hz -40 dBFS", [&] { return noisy(44100, 2, Noise::kHum60, -40, 30); });
    add("hum 50 Hz -35 dBFS", [&] { return noisy(16000, 3, Noise::kHum50, -35, 31); });
    add("DC +300", [&] {
        Take t = speech(16000, 0, 32);
        for (float& x : t.mix) x += 300.0f;
        return t;
    });
    add("DC -1000, white -50 dBFS", [&] {
        Take t = noisy(16000, 1, Noise::kWhite, -50, 33);
        for (float& x : t.mix) x -= 1000.0f;
        return t;
    });
    add("white rising -60 to -40 dBFS", [&] {
        Take t = speech(16000, 2, 34);
        std::mt19937 random(35 + salt);
        auto n = MakeNoise(Noise::kWhite, t.mix.size(), 16000, -60, random);
        Drift(n, 0, 20);
        AddNoise(t, n);
        return t;
    });
    add("pink falling -35 to -55 dBFS", [&] {
        Take t = speech(22050, 3, 36);
        std::mt19937 random(37 + salt);
        auto n = MakeNoise(Noise::kPink, t.mix.size(), 22050, -35, random);
        Drift(n, 0, -20);
        AddNoise(t, n);
        return t;
    });
    add("mono, white -45 dBFS", [&] { return noisy(16000, 0, Noise::kWhite, -45, 38); });
    add("stereo, right silent", [&] {
        Take t = noisy(16000, 0, Noise::kWhite, -45, 38);
        Spread(t, 2, 0, {});
        return t;
    });
    add("6 ch, 5 mics of noise", [&] {
        Take t = noisy(16000, 0, Noise::kWhite, -45, 38);
        std::mt19937 random(39 + salt);
        std::vector<std::vector<float>> others;
        for (int c = 0; c < 5; ++c)
            others.push_back(MakeNoise(Noise::kWhite, t.mix.size(), 16000, -45, random));
        Spread(t, 6, 2, others);
        return t;
    });
    add("quiet talker, peak -26 dBFS", [&] {
        Take t = speech(16000, 1, 40, -26.0);
        std::mt19937 random(41 + salt);
        AddNoise(t, MakeNoise(Noise::kWhite, t.mix.size(), 16000, -66, random));
        return t;
    });
    add("quiet talker, peak -30 dBFS", [&] {
        Take t = speech(16000, 2, 42, -30.0);
        std::mt19937 random(43 + salt);
        AddNoise(t, MakeNoise(Noise::kPink, t.mix.size(), 16000, -70, random));
        return t;
    });
    // A quiet talker in the noise of a cheap microphone: the loudest words 14 to 17 dB above it.
    for (double db : {-53.0, -50.0}) {
        add("quiet talker, peak -26 dBFS, white " + std::to_string(static_cast<int>(db)) + " dBFS",
            [&, db] {
                Take t = speech(16000, 3, 44 + static_cast<unsigned>(-db), -26.0);
                std::mt19937 random(45 + static_cast<unsigned>(-db) + salt);
                AddNoise(t, MakeNoise(Noise::kWhite, t.mix.size(), 16000, db, random));
                return t;
            });
    }
    // Harder than the targets ask: fast talkers with short pauses, a room's reverberation,
    // buzz with harmonics far up, noise that swells and ebbs, clicks in the pauses.
    add("fast talker, short pauses, white -35 dBFS", [&] {
        std::mt19937 random(50 + salt);
        const auto u = utterances_of(1, 44100, 230);
        Take t = SpeechTake("", u, 44100, -3.0, 0.4, 1.2, random);
        AddNoise(t, MakeNoise(Noise::kWhite, t.mix.size(), 44100, -35, random));
        return t;
    });
    add("long pauses (4 to 12 s), white -45 dBFS", [&] {
        std::mt19937 random(58 + salt);
        const auto u = utterances_of(2, 16000);
        Take t = SpeechTake("", u, 16000, -3.0, 4.0, 12.0, random);
        AddNoise(t, MakeNoise(Noise::kWhite, t.mix.size(), 16000, -45, random));
        return t;
    });
    add("reverberant room, pink -40 dBFS", [&] {
        return treated(
            16000, 2, 51, [](Take& t) { Reverberate(t, 0.6); }, Noise::kPink, -40, 52);
    });
    add("reverberant room, pink -50 dBFS", [&] {
        return treated(
            16000, 4, 61, [](Take& t) { Reverberate(t, 0.8); }, Noise::kPink, -50, 62);
    });
    add("telephone band, white -40 dBFS", [&] {
        Take t = noisy(8000, 3, Noise::kWhite, -40, 63);
        TelephoneBand(t);
        return t;
    });
    add("muffled voice (below 250 Hz), white -40 dBFS", [&] {
        return treated(
            16000, 1, 64, [](Take& t) { Muffle(t, 250); }, Noise::kWhite, -40, 65);
    });
    add("buzz 50 Hz to 5 kHz -40 dBFS", [&] { return noisy(22050, 3, Noise::kBuzz, -40, 53); });
    add("white swelling +-5 dB, -40 dBFS", [&] {
        Take t = speech(16000, 0, 54);
        std::mt19937 random(55 + salt);
        auto n = MakeNoise(Noise::kWhite, t.mix.size(), 16000, -40, random);
        for (std::size_t i = 0; i < n.size(); ++i)
            n[i] *= static_cast<float>(
                std::pow(10.0, 5.0 * std::sin(2 * M_PI * 0.15 * i / 16000.0) / 20));
        AddNoise(t, n);
        return t;
    });
    add("clicks in the pauses, white -50 dBFS", [&] {
        Take t = noisy(16000, 1, Noise::kWhite, -50, 56);
        std::mt19937 random(57 + salt);
        std::uniform_real_distribution<double> where(0.0, 1.0);
        for (const Span& p : t.pauses) {
            const auto at =
                p.first + static_cast<std::uint64_t>(where(random) * (p.end - p.first - 200));
            for (int k = 0; k < 60; ++k)
                t.mix[at + k] +=
                    static_cast<float>(4000 * std::exp(-k / 12.0) * ((k % 2) ? 1 : -1));
        }
        return t;
    });
    // Other people talking at once, far off: no pause of the talker's is quiet, and none of
    // the talker's words may be taken for the babble.
    add("babble of six voices, -40 dBFS", [&] {
        Take t = speech(16000, 0, 66);
        std::vector<float> babble(t.mix.size(), 0.0f);
        for (int v = 1; v <= 6; ++v) {
            std::vector<float> talk;
            for (const auto& u : utterances_of(v, 16000))
                talk.insert(talk.end(), u.begin(), u.end());
            const std::size_t shift = static_cast<std::size_t>(v) * 37 * 16000 / 10;
            for (std::size_t i = 0; i < babble.size() && !talk.empty(); ++i)
                babble[i] += talk[(i + shift) % talk.size()];
        }
        std::mt19937 random(67 + salt);
        const auto white = MakeNoise(Noise::kWhite, babble.size(), 16000, -40, random);
        double b = 0, w = 0;
        for (std::size_t i = 0; i < babble.size(); ++i) {
            b += double{babble[i]} * babble[i];
            w += double{white[i]} * white[i];
        }
        const auto gain = static_cast<float>(b > 0 ? std::sqrt(w / b) : 0.0);
        for (float& x : babble) x *= gain;
        AddNoise(t, babble);
        return t;
    });
    add("all digital silence, 20 s", [&] {
        Take t;
        t.rate = 16000;
        t.mix.assign(20 * 16000, 0.0f);
        t.speech = t.mix;
        t.pauseless = true;
        return t;
    });
    add("chord, 6 dB tremolo", [&] {
        std::mt19937 random(44 + salt);
        return ChordWithTremolo(22050, 40, 6, 0.5, random);
    });
    add("chord, 15 dB tremolo", [&] {
        std::mt19937 random(45 + salt);
        return ChordWithTremolo(44100, 40, 15, 0.25, random);
    });
    add("plucked notes, reverb", [&] {
        std::mt19937 random(46 + salt);
        Take t = PluckedNotes(22050, 40, 1.5, 2.0, random);
        AddNoise(t, MakeNoise(Noise::kWhite, t.mix.size(), 22050, -70, random));
        return t;
    });
    add("sparse plucks, short reverb", [&] {
        std::mt19937 random(47 + salt);
        Take t = PluckedNotes(44100, 40, 0.8, 1.2, random);
        AddNoise(t, MakeNoise(Noise::kWhite, t.mix.size(), 44100, -65, random));
        return t;
    });

    // Speech cut as "40 dB / audible / loud" in ms/min; pauseless material as the share removed.
    std::printf(
        "| Condition | auto: pause removed | auto: speech cut |%s%s fixed: pause removed | "
        "fixed: speech cut |%s\n",
        webrtc ? " WebRTC 3: pause removed | WebRTC 3: speech cut |" : "",
        silero ? " Silero 5: pause removed | Silero 5: speech cut |" : "",
        sox ? " sox: pause removed | sox: speech cut |" : "");
    std::printf("|---|---|---|---|---|%s%s%s\n", webrtc ? "---|---|" : "", silero ? "---|---|" : "",
                sox ? "---|---|" : "");
    for (const Condition& c : conditions) {
        if (!only.empty() && c.name.find(only) == std::string::npos) continue;
        const Take take = c.make();
        std::string file;
        for (char ch : c.name) file += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        const std::string path =
            dir + "/" + file + (real ? "-real" : "") + (held_out ? "-held-out" : "") + ".wav";
        if (!WriteWav(path, take)) {
            std::fprintf(stderr, "pause_quality: cannot write %s\n", path.c_str());
            return 1;
        }
        const Score automatic = Judge(take, ByEngine(path, take, true, 0, keep, pad));
        const Score fixed = Judge(take, ByEngine(path, take, false, 500, 0.099875, 0.0));
        Score by_sox, by_webrtc, by_silero;
        if (sox) by_sox = Judge(take, BySox(path, take));
        if (webrtc) by_webrtc = Judge(take, ByDetector(path, take, kWebRtc, keep, pad));
        if (silero) by_silero = Judge(take, ByDetector(path, take, kSilero, keep, pad));
        auto cell = [&](const Score& s, bool pause, bool all_cuts = false) {
            char text[64];
            if (take.pauseless) {
                std::snprintf(text, sizeof text, pause ? "%.1f%% removed" : "", 100 * s.removed);
            } else if (pause) {
                std::snprintf(text, sizeof text, "%.1f%%", 100 * s.pause_removed);
            } else if (all_cuts) {
                std::snprintf(text, sizeof text, "%.0f / %.0f / %.0f", s.speech_cut, s.audible_cut,
                              s.loud_cut);
            } else {
                std::snprintf(text, sizeof text, "%.0f ms/min", s.speech_cut);
            }
            return std::string(text);
        };
        std::printf("| %s | %s | %s |", c.name.c_str(), cell(automatic, true).c_str(),
                    cell(automatic, false, true).c_str());
        if (webrtc)
            std::printf(" %s | %s |", cell(by_webrtc, true).c_str(),
                        cell(by_webrtc, false, true).c_str());
        if (silero)
            std::printf(" %s | %s |", cell(by_silero, true).c_str(),
                        cell(by_silero, false, true).c_str());
        std::printf(" %s | %s |", cell(fixed, true).c_str(), cell(fixed, false).c_str());
        if (sox) std::printf(" %s | %s |", cell(by_sox, true).c_str(), cell(by_sox, false).c_str());
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
