#include "media/ffmpeg_library.h"

#include <dlfcn.h>

#include <mutex>

namespace tamberlyn {

namespace {

#define TAMBERLYN_STRING(x) #x
#define TAMBERLYN_SONAME(base, major) "lib" base ".so." TAMBERLYN_STRING(major)

struct Loaded {
    FFmpeg functions;
    bool complete = false;
};

void Load(Loaded& loaded) {
    // Each after the ones it needs, as their own dependencies would load them.
    void* const avutil =
        dlopen(TAMBERLYN_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
    void* const swresample =
        dlopen(TAMBERLYN_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
    void* const avcodec =
        dlopen(TAMBERLYN_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
    void* const avformat =
        dlopen(TAMBERLYN_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
    bool complete =
        avutil != nullptr && swresample != nullptr && avcodec != nullptr && avformat != nullptr;
    FFmpeg& f = loaded.functions;
#define TAMBERLYN_FFMPEG_RESOLVE(library, name)                             \
    if (complete) {                                                         \
        f.name = reinterpret_cast<decltype(f.name)>(dlsym(library, #name)); \
        complete = f.name != nullptr;                                       \
    }
    TAMBERLYN_FFMPEG_FUNCTIONS(TAMBERLYN_FFMPEG_RESOLVE)
#undef TAMBERLYN_FFMPEG_RESOLVE
    loaded.complete = complete;
    // A partial set is of no use; a complete one stays for the process.
    if (!complete) {
        for (void* library : {avformat, avcodec, swresample, avutil}) {
            if (library != nullptr) dlclose(library);
        }
    }
}

}  // namespace

const FFmpeg* LoadFFmpeg() {
    static Loaded loaded;
    static std::once_flag once;
    std::call_once(once, [] { Load(loaded); });
    return loaded.complete ? &loaded.functions : nullptr;
}

}  // namespace tamberlyn
