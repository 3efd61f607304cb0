// The engine library's judgement and repair of WAV files.
#include <cstdio>
#include <cstring>

#include "boundary/engine_records.h"
#include "media/media_file.h"
#include "wav/wav_input.h"
#include "wav/wav_repair.h"

namespace tamberlyn {

namespace {

int StateOf(WavState state) {
    switch (state) {
        case WavState::kFinished:
            return TAMBERLYN_WAV_FINISHED;
        case WavState::kUnfinishedRecording:
            return TAMBERLYN_WAV_UNFINISHED_RECORDING;
        case WavState::kUnknownLength:
            return TAMBERLYN_WAV_UNKNOWN_LENGTH;
        case WavState::kSizesDisagree:
            return TAMBERLYN_WAV_SIZES_DISAGREE;
        case WavState::kUndecidable:
            return TAMBERLYN_WAV_UNDECIDABLE;
        case WavState::kNotWav:
            break;
    }
    return TAMBERLYN_WAV_NOT_WAV;
}

tamberlyn_wav_info Findings(const WavInput& in) {
    const WavDiagnosis& d = in.diagnosis;
    tamberlyn_wav_info info = Fresh<tamberlyn_wav_info>();
    info.state = StateOf(d.state);
    info.file_size = in.file_size;
    if (d.state == WavState::kNotWav) {
        std::snprintf(info.reason, sizeof info.reason, "%s", HeadRefusal(in));
        return info;
    }
    DescribeWavFormat(d.wav, info.format, sizeof info.format);
    if (d.wav.ds64_offset != 0) {
        const std::size_t used = std::strlen(info.format);
        std::snprintf(info.format + used, sizeof info.format - used, " in RF64");
    }
    info.format_tag = d.wav.format_tag;
    info.rate = d.wav.sample_rate;
    info.channels = d.wav.channels;
    info.bits_per_sample = d.wav.bits_per_sample;
    info.block_align = d.wav.block_align;
    info.data_offset = d.wav.data_offset;
    info.data_size = d.wav.data_size;
    info.data_on_disk = d.data_bytes;
    info.seconds = SecondsOf(d.wav, d.data_bytes);
    info.declared_seconds = SecondsOf(d.wav, d.wav.data_size);
    info.recording_placeholder = d.placeholder;
    info.riff_size_wrong = d.riff_wrong;
    info.data_size_wrong = d.data_wrong;
    info.repairable = d.repairable;
    if (d.state == WavState::kFinished) info.appended = in.file_size - d.form_end;
    if (d.why != nullptr) std::snprintf(info.reason, sizeof info.reason, "%s", d.why);
    if (d.repairable) {
        DescribeRepair(d, in.file_size, info.repair, sizeof info.repair);
        info.repair_cuts_odd_byte = d.length < in.file_size;
    }
    return info;
}

// Opens a regular file and judges it; `recording` says whether another process records into it.
tamberlyn_status Inspect(const NativeChar* path, WavInput& in, bool& recording) {
    if (const tamberlyn_status s = OpenWavFile(path, in)) return s;
    if (!in.seekable) {
        CloseWavInput(in);
        return Refuse(TAMBERLYN_E_REFUSED, TAMBERLYN_FILE_INPUT, "not a regular file");
    }
    recording = BeingRecorded(in.file);
    CloseWavInput(in);
    return TAMBERLYN_OK;
}

// Judges the file and gives the caller the findings (`info` may be null).
// A file past 4 GiB with no room for RF64's sizes: copied as RF64 beside itself, renamed over it
// when whole; a failure leaves it as it was.
tamberlyn_status RewriteAsRf64(const NativeChar* path, FileHandle file, const WavDiagnosis& d,
                               const WavInput& in) {
    Output out;
    if (const tamberlyn_status s = OpenOutputFile(path, TAMBERLYN_FILE_INPUT, out)) return s;
    SystemError e = WriteRf64Copy(file, d, out);
    FileInfo now;
    if (!e) e = InfoOf(file, now);
    if (!e && now.size != in.file_size) {
        AbandonOutput(out);
        return Refuse(TAMBERLYN_E_CHANGED, TAMBERLYN_FILE_INPUT,
                      "changed while it was read; left as it is");
    }
    if (e) {
        AbandonOutput(out);
        return FailWith(TAMBERLYN_E_WRITE, TAMBERLYN_FILE_INPUT, e,
                        "; left as it is: making it RF64 writes a copy of %.1f GB beside it",
                        static_cast<double>(d.length + kRf64HeadGrowth) / 1e9);
    }
    return CommitOutput(out);
}

// `other_audio`: a file that is not WAV is also looked at as audio of another type.
tamberlyn_status Judge(const NativeChar* path, WavInput& in, bool& recording,
                       tamberlyn_wav_info* info, bool other_audio) {
    if (const tamberlyn_status s = Inspect(path, in, recording)) return s;
    tamberlyn_wav_info found = Findings(in);
    if (recording) found.state = TAMBERLYN_WAV_BEING_RECORDED;
    const WavHead head = in.diagnosis.head;
    MediaAudio audio;
    if (other_audio && found.state == TAMBERLYN_WAV_NOT_WAV && in.file_size > 0 &&
        (head == WavHead::kNotRiff || head == WavHead::kRf64) &&
        InspectMedia(path, audio, found.reason, sizeof found.reason)) {
        found.state = TAMBERLYN_WAV_OTHER_AUDIO;
        std::snprintf(found.format, sizeof found.format, "%s", audio.codec);
        found.rate = audio.rate;
        found.channels = audio.channels;
        found.seconds =
            audio.rate > 0 ? static_cast<double>(audio.frames_estimate) / audio.rate : 0.0;
    }
    WriteRecord(found, info);
    return TAMBERLYN_OK;
}

}  // namespace

}  // namespace tamberlyn

using namespace tamberlyn;

extern "C" {

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_wav_inspect(const tamberlyn_path_char* path, tamberlyn_wav_info* info) {
    return Guarded([&]() -> tamberlyn_status {
        if (path == nullptr || info == nullptr) return BadArgument("no file name given");
        WavInput in;
        bool recording = false;
        return Judge(path, in, recording, info, true);
    });
}

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_wav_repair(const tamberlyn_path_char* path, tamberlyn_wav_info* info) {
    return Guarded([&]() -> tamberlyn_status {
        if (path == nullptr) return BadArgument("no file name given");
        // Judged before anything is opened for writing: nothing to repair needs no permission.
        WavInput in;
        bool recording = false;
        // Only WAV is repaired: another type need not be looked into.
        if (const tamberlyn_status s = Judge(path, in, recording, info, false)) return s;
        if (recording) {
            return Refuse(TAMBERLYN_E_BUSY, TAMBERLYN_FILE_INPUT,
                          "is being recorded by another process; left as it is");
        }
        const WavDiagnosis& d = in.diagnosis;
        if (d.state == WavState::kNotWav) {
            return Refuse(TAMBERLYN_E_NOT_WAV, TAMBERLYN_FILE_INPUT, "%s", HeadRefusal(in));
        }
        if (d.state == WavState::kFinished) return TAMBERLYN_OK;
        if (!d.repairable) {
            return Refuse(TAMBERLYN_E_UNDECIDABLE, TAMBERLYN_FILE_INPUT, "%s",
                          d.why != nullptr ? d.why : "it cannot be repaired");
        }
        FileHandle handle;
        if (const SystemError e = OpenToUpdate(path, handle)) {
            return Fail(TAMBERLYN_E_OPEN, TAMBERLYN_FILE_INPUT, e);
        }
        FileInfo now;
        SystemError e = InfoOf(handle, now);
        if (!e && (now.size != in.file_size || !SameFile(now, in.info))) {
            CloseFile(handle);
            return Refuse(TAMBERLYN_E_CHANGED, TAMBERLYN_FILE_INPUT,
                          "changed while it was read; left as it is");
        }
        if (!e && d.rewrite) {
            const tamberlyn_status s = RewriteAsRf64(path, handle, d, in);
            CloseFile(handle);
            return s;
        }
        if (!e) e = ApplyRepair(handle, d, in.file_size);
        const SystemError closed = CloseFile(handle);
        if (!e) e = closed;
        if (e) return Fail(TAMBERLYN_E_WRITE, TAMBERLYN_FILE_INPUT, e);
        return TAMBERLYN_OK;
    });
}

}  // extern "C"
