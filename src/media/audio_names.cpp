#include "media/media_file.h"

namespace tamberlyn {

bool IsMediaOutputName(const NativeChar* path) {
    static const char* const kAudioExtensions[] = {"flac", "mp3", "ogg", "oga",  "opus", "m4a",
                                                   "mp4",  "aac", "aif", "aiff", "caf",  "wv",
                                                   "webm", "mka", "w64", "m4b"};
    const NativeChar* dot = nullptr;
    for (const NativeChar* p = path; *p != 0; ++p) {
        if (*p == '.') dot = p + 1;
        if (*p == '/' || *p == '\\') dot = nullptr;
    }
    if (dot == nullptr) return false;
    for (const char* extension : kAudioExtensions) {
        std::size_t i = 0;
        while (extension[i] != 0 && dot[i] != 0 &&
               (dot[i] == extension[i] || dot[i] == extension[i] - 'a' + 'A')) {
            ++i;
        }
        if (extension[i] == 0 && dot[i] == 0) return true;
    }
    return false;
}

}  // namespace tamberlyn
