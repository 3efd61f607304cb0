// Builds sample data from runs of loud and quiet samples, and random mixtures of them.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace tamberlyn_test {

inline void AppendSamples(std::vector<std::uint8_t>& bytes, std::size_t count, std::int16_t value) {
    for (std::size_t i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint16_t>(value);
        bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
}

// Random runs of quiet and loud samples, favouring quiet runs near the 800-sample cut and
// values at the threshold.
inline std::vector<std::uint8_t> RandomSignal(std::mt19937& rng, std::size_t bytes) {
    static constexpr std::int16_t kQuiet[] = {0, 1, -1, 499, -499, 250, -37};
    static constexpr std::int16_t kLoud[] = {500, -500, -32768, 32767, 1200, -9000};
    static constexpr std::size_t kRunLengths[] = {1, 7, 8, 9, 791, 792, 798, 799, 800, 801, 1600};
    std::vector<std::uint8_t> out;
    while (out.size() < bytes) {
        const bool quiet = rng() % 3 != 0;
        const std::size_t run =
            rng() % 2 ? kRunLengths[rng() % std::size(kRunLengths)] : rng() % 40;
        for (std::size_t i = 0; i < run && out.size() < bytes; ++i) {
            const std::int16_t v =
                quiet ? kQuiet[rng() % std::size(kQuiet)] : kLoud[rng() % std::size(kLoud)];
            const auto u = static_cast<std::uint16_t>(v);
            out.push_back(static_cast<std::uint8_t>(u & 0xFF));
            if (out.size() < bytes) out.push_back(static_cast<std::uint8_t>(u >> 8));
        }
    }
    return out;
}

}  // namespace tamberlyn_test
