// The silence filter written the plain way, one sample at a time, as the behaviour to match.
#pragma once

#include <cstdint>
#include <vector>

namespace tamberlyn_test {

// Filters sample data (no header); `run` carries across calls.
inline std::vector<std::uint8_t> ReferenceFilter(const std::uint8_t* data, std::size_t bytes,
                                                 std::int32_t& run) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const auto sample = static_cast<std::int16_t>(data[i] | (data[i + 1] << 8));
        const std::int32_t wide = sample;
        const bool quiet = (wide < 0 ? -wide : wide) < 500;
        if (quiet) {
            ++run;
            if (run >= 800) continue;
        } else {
            run = 0;
        }
        out.push_back(data[i]);
        out.push_back(data[i + 1]);
    }
    return out;
}

// The whole file: 44 header bytes as read (zeros where the input is shorter), then the samples.
inline std::vector<std::uint8_t> ReferenceSilence(const std::vector<std::uint8_t>& file) {
    std::vector<std::uint8_t> out(44, 0);
    for (std::size_t i = 0; i < 44 && i < file.size(); ++i) out[i] = file[i];
    if (file.size() > 44) {
        std::int32_t run = 0;
        const auto data = ReferenceFilter(file.data() + 44, file.size() - 44, run);
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

}  // namespace tamberlyn_test
