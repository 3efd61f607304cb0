// Built without FFmpeg's libraries: only WAV is read.
#include "media/media_file.h"

namespace tamberlyn {

struct MediaFile {};

bool MediaAvailable() { return false; }

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
