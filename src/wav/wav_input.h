// A WAV input opened and judged: a file by name, or a caller's stream. A file, or a stream that
// can be read at offsets, is measured and diagnosed whole; of any other stream only the head is
// known before its samples are read.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/data_stream.h"
#include "runtime/native_file.h"
#include "tamberlyn_engine.h"
#include "wav/wav_diagnosis.h"
#include "wav/wav_reader.h"

namespace tamberlyn {

struct WavInput {
    FileHandle file = kNoFile;                 // a file opened here, or
    const tamberlyn_stream* stream = nullptr;  // the caller's stream
    bool seekable = false;                     // read at offsets: the file's size is known
    std::uint64_t file_size = 0;
    FileInfo info;  // a file's; `identified` false for a stream
    // A file's state; for a stream only its head is known (state kUnknownLength or kFinished).
    WavDiagnosis diagnosis;
    // Where the next sequential read starts, for an input read at offsets.
    std::uint64_t position = 0;
    // A stream's bytes up to the first sample, read on the way there.
    std::vector<std::uint8_t> head;
    std::uint64_t stream_read = 0;  // bytes taken from the stream
};

// Opens `path` for reading and judges it; TAMBERLYN_OK or the failure (recorded).
tamberlyn_status OpenWavFile(const NativeChar* path, WavInput& in);
// The same over a caller's stream.
tamberlyn_status OpenWavStream(const tamberlyn_stream* stream, WavInput& in);
void CloseWavInput(WavInput& in);

// Reads at any offset: through this every judgement goes.
WavSource SourceOf(WavInput& in);
// Reads on from `in.position` (or from where a stream is).
DataSource SequentialSource(WavInput& in);

// The reason a head was refused: "the file is empty", "not a RIFF/WAVE file"...
const char* HeadRefusal(const WavInput& in);

// "16-bit PCM, 8000 Hz, 1 channel"
void DescribeFormatLine(const WavDescription& wav, char* text, std::size_t size);

// Seconds of `bytes` of samples in that format (whole frames).
double SecondsOf(const WavDescription& wav, std::uint64_t bytes);

}  // namespace tamberlyn
