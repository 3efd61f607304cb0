// In-memory throughput of the sample filter on dictation-like audio, beside a plain
// sample-by-sample loop.
#include <benchmark/benchmark.h>

#include <vector>

#include "silence/silence_filter.h"
#include "speech_synth.h"

namespace {

std::vector<std::uint8_t> Dictation(std::size_t samples) {
    tamberlyn_examples::SpeechSynth synth;
    tamberlyn_examples::StartSpeech(synth, 20261208u);
    std::vector<std::int16_t> pcm(samples);
    tamberlyn_examples::MakeSpeech(synth, pcm.data(), samples);
    std::vector<std::uint8_t> bytes(2 * samples);
    for (std::size_t i = 0; i < samples; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(pcm[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>((pcm[i] >> 8) & 0xFF);
    }
    return bytes;
}

const std::vector<std::uint8_t>& Input() {
    static const auto data = Dictation(8000 * 600);
    return data;
}

void FastPath(benchmark::State& state) {
    const auto& in = Input();
    std::vector<std::uint8_t> out(in.size());
    for (auto _ : state) {
        std::int32_t run = 0;
        benchmark::DoNotOptimize(
            tamberlyn::FilterSamples(in.data(), in.size() / 2, out.data(), run));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}
BENCHMARK(FastPath);

void OneByOne(benchmark::State& state) {
    const auto& in = Input();
    std::vector<std::uint8_t> out(in.size());
    for (auto _ : state) {
        std::int32_t run = 0;
        std::size_t written = 0;
        for (std::size_t i = 0; i + 1 < in.size(); i += 2) {
            const auto s = static_cast<std::int16_t>(in[i] | (in[i + 1] << 8));
            if (tamberlyn::IsQuietSample(s)) {
                if (++run >= tamberlyn::QUIET_RUN_LIMIT) continue;
            } else {
                run = 0;
            }
            out[written++] = in[i];
            out[written++] = in[i + 1];
        }
        benchmark::DoNotOptimize(written);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}
BENCHMARK(OneByOne);

}  // namespace

BENCHMARK_MAIN();
