// Conversion of the library's UTF-16 paths into the platform's narrow file-name encoding.
#pragma once

#include <cstddef>

namespace tamberlyn {

// The longest narrow name accepted, terminator excluded (PATH_MAX less nothing: longer names are
// refused rather than truncated).
constexpr std::size_t kMaxNarrowPath = 4096;

// Holds one converted name; lives in the caller's frame.
struct NarrowPath {
    char bytes[kMaxNarrowPath + 1];
};

// True for a non-empty, well-formed UTF-16 path (every surrogate paired).
bool IsUsableWidePath(const char16_t* wide);

// Converts a null-terminated UTF-16 path to UTF-8 (surrogate pairs joined) into `out`. Returns
// false, leaving an empty name, for a null or empty path, an unpaired surrogate (no character is
// ever substituted: that could name another file), or a name longer than kMaxNarrowPath bytes.
bool ToNarrowPath(const char16_t* wide, NarrowPath& out);

}  // namespace tamberlyn
