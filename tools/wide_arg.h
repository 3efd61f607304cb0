// Command-line arguments arrive as UTF-8; the library takes UTF-16 paths.
#pragma once

#include <string>

namespace tamberlyn_cli {

// Decodes UTF-8 into UTF-16. False for bytes that are not valid UTF-8 (such a name cannot be
// passed to the library unchanged).
bool Utf8ToUtf16(const std::string& utf8, std::u16string& out);

}  // namespace tamberlyn_cli
