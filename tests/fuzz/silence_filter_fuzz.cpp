// Fuzz target: arbitrary bytes through the silence filter, in pieces whose sizes the fuzzer
// chooses, against a plain sample-by-sample reading; and once more in place.
//
// Input: byte 0 = how many piece sizes follow (n), then n bytes of piece sizes (in samples,
// 0..255, cycled until the data is used up), then the sample data.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "reference_silence.h"
#include "silence/silence_filter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t n = std::min<std::size_t>(data[0], size - 1);
    const std::uint8_t* pieces = data + 1;
    const std::uint8_t* samples = data + 1 + n;
    const std::size_t count = (size - 1 - n) / 2;

    std::int32_t reference_run = 0;
    const auto expected = tamberlyn_test::ReferenceFilter(samples, 2 * count, reference_run);

    std::vector<std::uint8_t> out(2 * count + 1);
    std::int32_t run = 0;
    std::size_t at = 0, written = 0;
    for (std::size_t k = 0; at < count; ++k) {
        std::size_t piece = n > 0 ? pieces[k % n] : count;
        if (piece == 0 && n > 0 && k >= n) piece = 1;  // guarantee progress on a cycle of zeros
        piece = std::min(piece, count - at);
        written += tamberlyn::FilterSamples(samples + 2 * at, piece, out.data() + written, run);
        at += piece;
    }
    out.resize(written);
    if (out != expected) std::abort();
    // The carried count saturates where the plain one keeps counting.
    const std::int32_t limit = tamberlyn::QUIET_RUN_LIMIT;
    if (run != (reference_run < limit ? reference_run : limit)) std::abort();

    std::vector<std::uint8_t> in_place(samples, samples + 2 * count);
    run = 0;
    const std::size_t kept = tamberlyn::FilterSamples(in_place.data(), count, in_place.data(), run);
    in_place.resize(kept);
    if (in_place != expected) std::abort();
    return 0;
}
