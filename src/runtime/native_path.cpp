#include "runtime/native_path.h"

#include <cstdint>

namespace tamberlyn {

namespace {

// Decodes the code point at `p` and moves past it (two units for a surrogate pair). False for an
// unpaired surrogate.
bool NextCodePoint(const char16_t*& p, std::uint32_t& c) {
    c = *p++;
    if (c >= 0xDC00 && c <= 0xDFFF) return false;
    if (c < 0xD800 || c > 0xDBFF) return true;
    const std::uint32_t low = *p;
    if (low < 0xDC00 || low > 0xDFFF) return false;
    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    ++p;
    return true;
}

}  // namespace

bool IsUsableWidePath(const char16_t* wide) {
    if (wide == nullptr || wide[0] == u'\0') return false;
    std::uint32_t c;
    for (const char16_t* p = wide; *p != u'\0';) {
        if (!NextCodePoint(p, c)) return false;
    }
    return true;
}

bool ToNarrowPath(const char16_t* wide, NarrowPath& out) {
    const auto refuse = [&out] {
        out.bytes[0] = '\0';
        return false;
    };
    if (wide == nullptr || wide[0] == u'\0') return refuse();

    std::size_t used = 0;
    for (const char16_t* p = wide; *p != u'\0';) {
        std::uint32_t c;
        if (!NextCodePoint(p, c)) return refuse();

        char encoded[4];
        std::size_t n;
        if (c < 0x80) {
            encoded[0] = static_cast<char>(c);
            n = 1;
        } else if (c < 0x800) {
            encoded[0] = static_cast<char>(0xC0 | (c >> 6));
            encoded[1] = static_cast<char>(0x80 | (c & 0x3F));
            n = 2;
        } else if (c < 0x10000) {
            encoded[0] = static_cast<char>(0xE0 | (c >> 12));
            encoded[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            encoded[2] = static_cast<char>(0x80 | (c & 0x3F));
            n = 3;
        } else {
            encoded[0] = static_cast<char>(0xF0 | (c >> 18));
            encoded[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            encoded[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            encoded[3] = static_cast<char>(0x80 | (c & 0x3F));
            n = 4;
        }
        if (used + n > kMaxNarrowPath) return refuse();
        for (std::size_t i = 0; i < n; ++i) out.bytes[used++] = encoded[i];
    }
    out.bytes[used] = '\0';
    return true;
}

}  // namespace tamberlyn
