// Making a judged WAV file readable in place: what the repair will set, and setting it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/native_file.h"
#include "runtime/output_file.h"
#include "wav/wav_diagnosis.h"

namespace tamberlyn {

// What a repair of `d` sets, for a message: "the sizes for 12.50 s", and whether it also cuts a
// lone trailing byte.
void DescribeRepair(const WavDiagnosis& d, std::uint64_t file_size, char* text, std::size_t size);

// Writes the new header (or the sizes) in one write where it can, then cuts, then syncs: a
// failure leaves the file as readable as it was.
SystemError ApplyRepair(FileHandle file, const WavDiagnosis& d, std::uint64_t file_size);

// For `d.rewrite`: writes the RF64 copy of `file` to `out` (the file's replacement, beside it),
// its stretches of zeros left as holes where the system keeps them so. The caller commits it.
SystemError WriteRf64Copy(FileHandle file, const WavDiagnosis& d, Output& out);

}  // namespace tamberlyn
