// Audio in containers and codecs other than WAV (FLAC, MP3, Ogg Vorbis, Opus, AAC in M4A, AIFF,
// CAF, WavPack...) through FFmpeg's libraries: decoded to interleaved samples for the pause
// cutter, and the kept frames encoded again with the input's codec, rate, channel layout and
// bitrate, or with the codec the output's name asks for. The container's tags and cover art go
// along. Built without FFmpeg, nothing is recognised here.
#pragma once

#include <cstdint>

#include "runtime/data_stream.h"
#include "runtime/native_file.h"
#include "runtime/output_file.h"
#include "silence/sample_format.h"
#include "tamberlyn_engine.h"

namespace tamberlyn {

struct MediaFile;

struct MediaAudio {
    SampleFormat format = SampleFormat::kS16;  // of the decoded frames, interleaved
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint64_t frames_estimate = 0;  // from the container's duration; 0 when unknown
    char codec[48] = "";                // "MP3", "FLAC"
};

// What a source or a sink returns when the failure is the media layer's: MediaStatus tells it.
constexpr SystemError kMediaFailed{-0x4D454449};

// Whether FFmpeg's libraries are built in and installed (loaded by the first call that needs
// them).
bool MediaAvailable();

// True when `path` ends in the extension of an audio type other than WAV: "memo.flac",
// "talk.M4A". Told without FFmpeg's libraries, so that such a name is refused where they are
// missing rather than written as WAV.
bool IsMediaOutputName(const NativeChar* path);

// What `path` holds when it is audio of another type, without decoding a sample: its codec, rate,
// channels and length, and the container's name. False when it is no audio known here.
bool InspectMedia(const NativeChar* path, MediaAudio& audio, char* container, std::size_t size);

// Opens `path` as media. TAMBERLYN_OK with `media` set. TAMBERLYN_E_NOT_WAV, with nothing
// recorded, when it holds no audio that FFmpeg knows; any other failure is recorded.
tamberlyn_status OpenMedia(const NativeChar* path, MediaFile*& media, MediaAudio& audio);

// Chooses the encoder and container for `output_path`, to be written through `out`, and writes
// the container's head.
tamberlyn_status StartMediaOutput(MediaFile& media, const NativeChar* output_path, Output& out);

// The decoded frames, and where the kept ones go to be encoded.
DataSource MediaSource(MediaFile& media);
DataSink MediaSink(MediaFile& media);

// Encodes what is held back and writes the container's end.
tamberlyn_status FinishMediaOutput(MediaFile& media);

// The failure a source or a sink stopped at with kMediaFailed (recorded when it happened).
tamberlyn_status MediaStatus(const MediaFile& media);

void CloseMedia(MediaFile* media);

}  // namespace tamberlyn
