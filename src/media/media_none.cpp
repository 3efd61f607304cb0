// Built without FFmpeg's libraries: only WAV is read.
#include "media/media_file.h"

namespace tamberlyn {

struct MediaFile {};

bool MediaBuiltIn() { return false; }

// Named so that they are not taken for WAV files: refused, not written as WAV.
bool IsMediaOutputName(const NativeChar* path) {
    static const char* const kAudioExtensions[] = {"flac", "mp3", "ogg",  "oga", "opus",
                                                   "m4a",  "mp4", "aac",  "aif", "aiff",
                                                   "caf",  "wv",  "webm", "mka", "w64"};
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

bool InspectMedia(const NativeChar*, MediaAudio&, char*, std::size_t) { return false; }

tamberlyn_status OpenMedia(const NativeChar*, MediaFile*& media, MediaAudio&) {
    media = nullptr;
    return TAMBERLYN_E_NOT_WAV;
}

tamberlyn_status StartMediaOutput(MediaFile&, const NativeChar*, Output&) {
    return TAMBERLYN_E_UNSUPPORTED;
}

namespace {
SystemError Nothing(void*, void*, std::size_t, std::size_t& got) {
    got = 0;
    return kMediaFailed;
}
SystemError Refused(void*, const void*, std::size_t) { return kMediaFailed; }
}  // namespace

DataSource MediaSource(MediaFile& media) { return {Nothing, &media}; }
DataSink MediaSink(MediaFile& media) { return {Refused, &media}; }
tamberlyn_status FinishMediaOutput(MediaFile&) { return TAMBERLYN_E_UNSUPPORTED; }
tamberlyn_status MediaStatus(const MediaFile&) { return TAMBERLYN_E_UNSUPPORTED; }
void CloseMedia(MediaFile*) {}

}  // namespace tamberlyn
