// What the console layer does alike everywhere: printing, quoting names for messages, and the
// files an interrupt removes.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "console.h"
#include "console_platform.h"

namespace tamberlyn_cli {

namespace {

volatile std::sig_atomic_t* g_count = nullptr;

// The last words: fixed storage, published before they may be read by a handler.
char g_last_words[1024];
std::atomic<std::size_t> g_last_words_size{0};

// Length of the UTF-8 sequence at `p` (of `n` bytes left), 0 when it is not one.
std::size_t Utf8Length(const unsigned char* p, std::size_t n) {
    const unsigned char lead = p[0];
    std::size_t length;
    std::uint32_t c;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead < 0xE0) {
        length = 2, c = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        length = 3, c = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead < 0xF5) {
        length = 4, c = lead & 0x07u;
    } else {
        return 0;
    }
    if (n < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((p[k] & 0xC0u) != 0x80u) return 0;
        c = (c << 6) | (p[k] & 0x3Fu);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

void PrintOut(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PrintTo(false, format, args);
    va_end(args);
}

namespace {

thread_local std::string* g_captured = nullptr;

}  // namespace

void CaptureErrors(std::string* into) { g_captured = into; }

void PrintErr(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (g_captured != nullptr) {
        char text[4096];
        std::vsnprintf(text, sizeof text, format, args);
        *g_captured += text;
    } else {
        PrintTo(true, format, args);
    }
    va_end(args);
}

void CountInterrupts(volatile std::sig_atomic_t* count) { g_count = count; }

void SetLastWords(const std::string& line) {
    g_last_words_size.store(0, std::memory_order_release);
    const std::size_t n = line.size() < sizeof g_last_words ? line.size() : 0;
    std::memcpy(g_last_words, line.data(), n);
    g_last_words_size.store(n, std::memory_order_release);
}

const char* LastWords(std::size_t& size) {
    size = g_last_words_size.load(std::memory_order_acquire);
    return g_last_words;
}

Interrupt TakeInterrupt() {
    // The first asks for an orderly stop; a second one is not kept waiting.
    if (g_count != nullptr && *g_count == 0) {
        *g_count = 1;
        return Interrupt::kCounted;
    }
    tamberlyn_discard_partial_files();
    return g_count != nullptr ? Interrupt::kEndNow : Interrupt::kAsTheSystemWould;
}

std::string Quoted(const NativeString& name) {
    const std::string text = Utf8(name);
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    bool plain = true, apostrophe = false, shell = false;
    for (std::size_t i = 0; i < n;) {
        const std::size_t length = Utf8Length(p + i, n - i);
        if (length == 0 || p[i] < 0x20 || p[i] == 0x7F) plain = false;
        apostrophe = apostrophe || p[i] == '\'';
        shell = shell || p[i] == '"' || p[i] == '$' || p[i] == '`' || p[i] == '\\';
        i += length == 0 ? 1 : length;
    }
    if (plain && !apostrophe) return "'" + text + "'";
    if (plain && !shell) return "\"" + text + "\"";
    // As coreutils quotes for a shell: 'a'$'\n''b'.
    std::string out;
    bool open = false;
    for (std::size_t i = 0; i < n;) {
        const std::size_t length = Utf8Length(p + i, n - i);
        const bool control = length == 0 || p[i] < 0x20 || p[i] == 0x7F;
        if (control || p[i] == '\'') {
            if (open) out += '\'';
            open = false;
            if (p[i] == '\'') {
                out += "\\'";
            } else if (p[i] == '\n') {
                out += "$'\\n'";
            } else if (p[i] == '\t') {
                out += "$'\\t'";
            } else if (p[i] == '\r') {
                out += "$'\\r'";
            } else {
                char octal[8];
                std::snprintf(octal, sizeof octal, "$'\\%03o'", static_cast<unsigned>(p[i]));
                out += octal;
            }
            i += 1;
            continue;
        }
        if (!open) out += '\'';
        open = true;
        out.append(text, i, length);
        i += length;
    }
    if (open) out += '\'';
    return out;
}

std::string Shown(const NativeString& name) {
    const std::string quoted = Quoted(name);
    const std::string text = Utf8(name);
    return quoted == "'" + text + "'" ? text : quoted;
}

bool ArgIs(const NativeChar* arg, const char* text) {
    for (; *text != '\0'; ++arg, ++text) {
        if (*arg != static_cast<NativeChar>(*text)) return false;
    }
    return *arg == 0;
}

}  // namespace tamberlyn_cli
