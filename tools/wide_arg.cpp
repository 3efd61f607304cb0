#include "wide_arg.h"

#include <cstdint>

namespace tamberlyn_cli {

bool Utf8ToUtf16(const std::string& utf8, std::u16string& out) {
    out.clear();
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::uint32_t c;
        std::size_t extra;
        if (lead < 0x80) {
            c = lead, extra = 0;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            c = lead & 0x1Fu, extra = 1;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            c = lead & 0x0Fu, extra = 2;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            c = lead & 0x07u, extra = 3;
        } else {
            return false;
        }
        if (i + extra >= utf8.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0u) != 0x80u) return false;
            c = (c << 6) | (next & 0x3Fu);
        }
        static constexpr std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += extra + 1;
    }
    return true;
}

}  // namespace tamberlyn_cli
