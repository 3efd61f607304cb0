/*
 * tamberlyn engine: everything the library knows of pauses, WAV files and recording, for any
 * caller. Link with -ltamberlyn-engine (tamberlyn-engine.dll on Windows).
 *
 * Plain C (C89 and later, C++98 and later). Every function may be called from any thread; a
 * handle is used by one thread at a time. Functions that can fail return a tamberlyn_status:
 * TAMBERLYN_OK (0) or a positive code. The reason for the last failure on the calling thread
 * (the system's own text, or the library's) is kept per thread: tamberlyn_error_message(),
 * tamberlyn_error_system_code() and tamberlyn_error_file() read it until the thread's next
 * failing call.
 *
 * File names are the platform's own: bytes (normally UTF-8) on POSIX, UTF-16 (wchar_t) on
 * Windows. Records a caller fills or receives begin with their size (`struct_size`), so that
 * they can grow without breaking callers built against an older header: set it to
 * sizeof(the record) before the call.
 */
#ifndef TAMBERLYN_ENGINE_H
#define TAMBERLYN_ENGINE_H

#include <stddef.h>

#if defined(_MSC_VER) && _MSC_VER < 1600
typedef signed __int16 tamberlyn_int16;
typedef signed __int32 tamberlyn_int32;
typedef unsigned __int32 tamberlyn_uint32;
typedef signed __int64 tamberlyn_int64;
typedef unsigned __int64 tamberlyn_uint64;
#else
#include <stdint.h>
typedef int16_t tamberlyn_int16;
typedef int32_t tamberlyn_int32;
typedef uint32_t tamberlyn_uint32;
typedef int64_t tamberlyn_int64;
typedef uint64_t tamberlyn_uint64;
#endif

#if defined(_WIN32)
#if defined(TAMBERLYN_ENGINE_BUILDING) || defined(TAMBERLYN_ENGINE_STATIC)
#define TAMBERLYN_ENGINE_API
#else
#define TAMBERLYN_ENGINE_API __declspec(dllimport)
#endif
#define TAMBERLYN_CALL __cdecl
#elif defined(__GNUC__)
#define TAMBERLYN_ENGINE_API __attribute__((visibility("default")))
#define TAMBERLYN_CALL
#else
#define TAMBERLYN_ENGINE_API
#define TAMBERLYN_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
typedef wchar_t tamberlyn_path_char;
#else
typedef char tamberlyn_path_char;
#endif

/* ---------------------------------------------------------------------------------------- */
/* Version and errors                                                                        */

/* The interface's generation: the library's major version (libtamberlyn-engine.so.1). Records and
   functions are only added within one generation. */
#define TAMBERLYN_ENGINE_API_VERSION 1

/* "1.0.0.1": the version of the library that is loaded, which may be newer than this header. */
TAMBERLYN_ENGINE_API const char* TAMBERLYN_CALL tamberlyn_version(void);

typedef int tamberlyn_status;
enum {
    TAMBERLYN_OK = 0,
    TAMBERLYN_E_ARGUMENT = 1,     /* a null pointer, a bad size field, an option out of range */
    TAMBERLYN_E_NO_MEMORY = 2,    /* a handle could not be allocated */
    TAMBERLYN_E_OPEN = 3,         /* a file could not be opened: see the system code */
    TAMBERLYN_E_CREATE = 4,       /* a file could not be created */
    TAMBERLYN_E_READ = 5,         /* a read failed, or the input ended inside its head */
    TAMBERLYN_E_WRITE = 6,        /* a write, sync or rename of an output failed */
    TAMBERLYN_E_NOT_WAV = 7,      /* no RIFF/WAVE head could be read: the message says why */
    TAMBERLYN_E_UNSUPPORTED = 8,  /* a WAV file whose sample format is not handled */
    TAMBERLYN_E_UNFINISHED = 9,   /* an unfinished recording: tamberlyn_wav_repair finishes it */
    TAMBERLYN_E_UNDECIDABLE = 10, /* sizes that disagree with the file's length in a way that
                                     cannot be told apart: the message says how */
    TAMBERLYN_E_SAME_FILE = 11,   /* an output names the input file itself */
    TAMBERLYN_E_REFUSED = 12,     /* an output or target the operation will not touch: a
                                     symbolic link to nothing, a read-only or special file */
    TAMBERLYN_E_EXISTS = 13,      /* a recording's file exists and was not to be replaced */
    TAMBERLYN_E_BUSY = 14,        /* a recording runs already */
    TAMBERLYN_E_DEVICE = 15,      /* the audio input could not be opened or started */
    TAMBERLYN_E_CANCELLED = 16,   /* the caller's progress function asked to stop */
    TAMBERLYN_E_CHANGED = 17,     /* the file changed while it was read; left as it is */
    TAMBERLYN_E_PAD_TOO_LONG = 18 /* a pad longer than the lookahead can hold: see message */
};

/* Which file the last failure concerns. */
enum {
    TAMBERLYN_FILE_NONE = 0,
    TAMBERLYN_FILE_INPUT = 1,
    TAMBERLYN_FILE_OUTPUT = 2,
    TAMBERLYN_FILE_LABELS = 3
};

/* The calling thread's last failure: the code the call returned, the reason as UTF-8 text ("No
   such file or directory", "not a RIFF/WAVE file"), the system's own error number (errno,
   GetLastError(); 0 when the reason is the library's) and the file concerned. "" and 0 when
   nothing has failed on this thread. */
TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL tamberlyn_error_status(void);
TAMBERLYN_ENGINE_API const char* TAMBERLYN_CALL tamberlyn_error_message(void);
TAMBERLYN_ENGINE_API int TAMBERLYN_CALL tamberlyn_error_system_code(void);
TAMBERLYN_ENGINE_API int TAMBERLYN_CALL tamberlyn_error_file(void);

/* The system's text for an error number, in UTF-8, into `text` of `size` bytes. */
TAMBERLYN_ENGINE_API void TAMBERLYN_CALL tamberlyn_system_error_text(int code, char* text,
                                                                     size_t size);

/* For a signal handler or an emergency exit: removes the files that operations in progress are
   writing beside their targets, which would otherwise be left behind. Async-signal-safe. */
TAMBERLYN_ENGINE_API void TAMBERLYN_CALL tamberlyn_discard_partial_files(void);

/* ---------------------------------------------------------------------------------------- */
/* Streams: audio or text read and written through the caller's functions                   */

/*
 * Each function returns 0, or an error number of the system's (errno, GetLastError()) that is
 * then reported as the failure's reason. An input has `read`; it may have `read_at` and `size`
 * as well (a file that can be measured), which lets a WAV file's chunks after its samples be
 * kept and the output's sizes be counted before it is written. An output has `write`; with
 * `write_at` (offsets from where the stream began) the sizes are set at the end, without it
 * they are counted first (when the input can be read twice) or written as unknown.
 */
typedef struct tamberlyn_stream {
    tamberlyn_uint32 struct_size;
    void* context;
    /* Up to `size` bytes; *done is 0 at the end of the stream. */
    int(TAMBERLYN_CALL* read)(void* context, void* data, size_t size, size_t* done);
    int(TAMBERLYN_CALL* read_at)(void* context, tamberlyn_uint64 offset, void* data, size_t size,
                                 size_t* done);
    tamberlyn_uint64 size; /* the input's length in bytes, with read_at */
    /* All `size` bytes, or a failure. */
    int(TAMBERLYN_CALL* write)(void* context, const void* data, size_t size);
    int(TAMBERLYN_CALL* write_at)(void* context, tamberlyn_uint64 offset, const void* data,
                                  size_t size);
} tamberlyn_stream;

/* ---------------------------------------------------------------------------------------- */
/* Shortening pauses                                                                         */

/*
 * What counts as a pause and how much of it stays. Every pause keeps its first `keep` seconds
 * and, when sound follows it, its last `pad` seconds; the rest goes in whole frames, and no
 * sample is changed. With a fixed threshold a frame is quiet when every channel's sample has a
 * magnitude below it (in 16-bit steps of full scale); TAMBERLYN_THRESHOLD_AUTO tells pauses from
 * sound by the recording's own background noise.
 */
#define TAMBERLYN_THRESHOLD_AUTO 0
typedef struct tamberlyn_pause_options {
    tamberlyn_uint32 struct_size;
    tamberlyn_int32 threshold; /* 1..32768, or TAMBERLYN_THRESHOLD_AUTO; default 500 */
    double keep;               /* seconds; negative: the default (0.099875, or 0.1 with auto) */
    double pad;                /* seconds; negative: the default (0, or 0.2 with auto) */
} tamberlyn_pause_options;

/* Sets the defaults: threshold 500, keep and pad negative. */
TAMBERLYN_ENGINE_API void TAMBERLYN_CALL
tamberlyn_pause_options_init(tamberlyn_pause_options* options);

/* "500", "-40dB", "-40.5 dBFS" or "auto" to a threshold. */
TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_parse_threshold(const char* text, tamberlyn_int32* threshold);

/* A removed stretch, in frames of the input counted from its first sample: [start, end). */
typedef void(TAMBERLYN_CALL* tamberlyn_cut_function)(void* context, tamberlyn_uint64 start,
                                                     tamberlyn_uint64 end);

/* Called between pieces of work; a nonzero return stops the operation (TAMBERLYN_E_CANCELLED),
   with no output left behind. */
typedef int(TAMBERLYN_CALL* tamberlyn_progress_function)(void* context, tamberlyn_uint64 done,
                                                         tamberlyn_uint64 total);

typedef struct tamberlyn_shorten_options {
    tamberlyn_uint32 struct_size;
    const tamberlyn_pause_options* pauses; /* null: the defaults */
    tamberlyn_cut_function on_cut;         /* may be null */
    void* cut_context;
    /* An Audacity label track of the cuts, written beside its target and put in place with the
       output: a line per cut, start<TAB>end<TAB>out POSITION, seconds of the input with six
       decimals, where POSITION is where the cut lies in the output. A file by name, or a stream
       (only one of the two). */
    const tamberlyn_path_char* labels_path;
    const tamberlyn_stream* labels_stream;
    tamberlyn_progress_function progress; /* may be null */
    void* progress_context;
} tamberlyn_shorten_options;

TAMBERLYN_ENGINE_API void TAMBERLYN_CALL
tamberlyn_shorten_options_init(tamberlyn_shorten_options* options);

/* Warnings: what was done that a reader of the output may want to know. */
enum {
    TAMBERLYN_WARN_DATA_SIZE_UNUSABLE = 1, /* the data size did not describe the file: the
                                              samples were read to its end */
    TAMBERLYN_WARN_DATA_CUT_SHORT = 2,     /* the file ended inside its data chunk */
    TAMBERLYN_WARN_CHUNKS_LEFT_OUT = 4,    /* an output of unknown length cannot carry the
                                              chunks after the samples: they were left out */
    TAMBERLYN_WARN_APPENDED_KEPT = 8       /* bytes appended after the input's RIFF form (an ID3
                                              tag) were copied after the output's, as they are */
};

typedef struct tamberlyn_shorten_summary {
    tamberlyn_uint32 struct_size;
    /* The input's format. */
    char format[48]; /* "16-bit PCM" */
    tamberlyn_uint32 rate;
    tamberlyn_uint32 channels;
    tamberlyn_uint32 frame_bytes;
    /* What was done. */
    tamberlyn_uint64 frames_in;
    tamberlyn_uint64 frames_out;
    tamberlyn_uint64 cuts;
    int automatic;                    /* the pauses were told by the background noise */
    double background_low_dbfs;       /* with auto and cuts: the range of the background level */
    double background_high_dbfs;      /* (above 200 Hz); -HUGE_VAL where every pause was digital
                                         silence */
    double separable_share;           /* with auto: the share of the recording where pauses could
                                         be told from sound, 0..1 */
    unsigned warnings;                /* TAMBERLYN_WARN_* */
    tamberlyn_uint64 data_declared;   /* the data size the input stated */
    tamberlyn_uint64 data_read;       /* sample bytes read */
    tamberlyn_uint64 chunks_left_out; /* bytes, with TAMBERLYN_WARN_CHUNKS_LEFT_OUT */
    tamberlyn_uint64 appended_bytes;  /* bytes, with TAMBERLYN_WARN_APPENDED_KEPT */
    double digital_silence_share;     /* with auto: the share of the recording that is digital
                                         silence (no sample changes: zero, or a constant
                                         offset), always a pause; the background range covers
                                         the rest */
} tamberlyn_shorten_summary;

/*
 * Shortens the pauses of the WAV file `input` (PCM of 8 to 32 bits or float, any rate, 1 to 8
 * channels) into `output`. The output keeps the input's chunks, in order; only the samples and
 * the sizes change. It is written beside `output` and renamed over it when complete, so that a
 * failure leaves an existing file as it was. `summary` may be null.
 *
 * Where the library is built with FFmpeg's libraries, `input` may also be any audio file FFmpeg
 * decodes (FLAC, MP3, Ogg, Opus, M4A...; told by its content): the kept frames are encoded
 * again with its codec, rate, channel layout and bitrate, tags and cover art carried over.
 * An `output` named with another audio extension (.flac, .mp3, .m4a, .ogg, .opus, .wav...)
 * converts to that type, from a WAV input too. The summary's `format` is then the codec's name.
 */
TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL tamberlyn_shorten_file(
    const tamberlyn_path_char* input, const tamberlyn_path_char* output,
    const tamberlyn_shorten_options* options, tamberlyn_shorten_summary* summary);

/* The same from and to the caller's streams; either may be a file instead (its name given,
   the stream null). */
TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_shorten(const tamberlyn_path_char* input_path, const tamberlyn_stream* input,
                  const tamberlyn_path_char* output_path, const tamberlyn_stream* output,
                  const tamberlyn_shorten_options* options, tamberlyn_shorten_summary* summary);

/* ---------------------------------------------------------------------------------------- */
/* The pause detector over frames in memory                                                  */

/*
 * For audio that is not in a WAV file: feed interleaved 16-bit frames in any pieces, and
 * receive the stretches that tamberlyn_shorten would cut from the same frames, in input frames.
 * The lookahead (3 s with auto) means cuts come some way behind the frames fed; finish
 * delivers the rest.
 */
typedef struct tamberlyn_detector tamberlyn_detector;

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL tamberlyn_detector_create(
    tamberlyn_uint32 rate, tamberlyn_uint32 channels, const tamberlyn_pause_options* options,
    tamberlyn_cut_function on_cut, void* context, tamberlyn_detector** detector);

/* `frames` whole frames of `channels` interleaved samples each. */
TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL tamberlyn_detector_feed(
    tamberlyn_detector* detector, const tamberlyn_int16* samples, size_t frames);

/* Samples as WAV files hold them, little-endian: a threshold means the same fraction of full
   scale in every format (500 is 500/32768 of it). */
enum {
    TAMBERLYN_SAMPLES_S16 = 0, /* 16-bit signed */
    TAMBERLYN_SAMPLES_U8 = 1,  /* 8-bit unsigned, 128 the middle */
    TAMBERLYN_SAMPLES_S24 = 2, /* 24-bit signed, three bytes each */
    TAMBERLYN_SAMPLES_S32 = 3, /* 32-bit signed */
    TAMBERLYN_SAMPLES_F32 = 4, /* 32-bit float, 1.0 full scale */
    TAMBERLYN_SAMPLES_F64 = 5  /* 64-bit float */
};

/* A detector for frames of another sample format, fed through tamberlyn_detector_feed_frames. */
TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL tamberlyn_detector_create_for(
    tamberlyn_uint32 rate, tamberlyn_uint32 channels, int sample_format,
    const tamberlyn_pause_options* options, tamberlyn_cut_function on_cut, void* context,
    tamberlyn_detector** detector);

/* `frames` whole frames, as bytes in the detector's sample format. */
TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL tamberlyn_detector_feed_frames(
    tamberlyn_detector* detector, const void* frames, size_t count);

/* The input has ended; `summary` (may be null) gets what shortening would report. Nothing may
   be fed after. */
TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_detector_finish(tamberlyn_detector* detector, tamberlyn_shorten_summary* summary);

TAMBERLYN_ENGINE_API void TAMBERLYN_CALL tamberlyn_detector_free(tamberlyn_detector* detector);

/* ---------------------------------------------------------------------------------------- */
/* Inspecting and repairing WAV files                                                        */

enum {
    TAMBERLYN_WAV_FINISHED = 0,             /* the sizes describe the file */
    TAMBERLYN_WAV_UNFINISHED_RECORDING = 1, /* a recording whose header was never written */
    TAMBERLYN_WAV_UNKNOWN_LENGTH = 2,       /* the data size is a stream's "unknown" */
    TAMBERLYN_WAV_SIZES_DISAGREE = 3,       /* the RIFF size, the data size or both are wrong */
    TAMBERLYN_WAV_UNDECIDABLE = 4,          /* what follows the head cannot be told: `reason` */
    TAMBERLYN_WAV_NOT_WAV = 5,              /* no WAV head: `reason` */
    TAMBERLYN_WAV_BEING_RECORDED = 6,       /* another process records into it right now */
    TAMBERLYN_WAV_OTHER_AUDIO = 7           /* not WAV but audio that tamberlyn_shorten reads
                                               through FFmpeg (FLAC, MP3, M4A...): `format` names
                                               its codec, `reason` its container; rate, channels
                                               and seconds are filled, nothing else */
};

typedef struct tamberlyn_wav_info {
    tamberlyn_uint32 struct_size;
    int state;                   /* TAMBERLYN_WAV_* */
    char format[48];             /* "16-bit PCM", "32-bit float", "format 0x0055" */
    tamberlyn_uint32 format_tag; /* 1 PCM, 3 float, ...; a sub-format's for the extensible */
    tamberlyn_uint32 rate;
    tamberlyn_uint32 channels;
    tamberlyn_uint32 bits_per_sample;
    tamberlyn_uint32 block_align;
    tamberlyn_uint64 file_size;
    tamberlyn_uint64 data_offset;  /* where the samples begin */
    tamberlyn_uint64 data_size;    /* as the header states it */
    tamberlyn_uint64 data_on_disk; /* sample bytes the file holds */
    double seconds;                /* of data_on_disk, whole frames */
    double declared_seconds;       /* of data_size */
    int recording_placeholder;     /* an unfinished recording whose header was never written,
                                      rather than an earlier recording's */
    int riff_size_wrong;           /* with TAMBERLYN_WAV_SIZES_DISAGREE */
    int data_size_wrong;
    int repairable;           /* tamberlyn_wav_repair would make it readable */
    char reason[192];         /* why it is undecidable, not WAV, or not repairable */
    char repair[160];         /* what a repair sets: "the sizes for 12.50 s", "" */
    int repair_cuts_odd_byte; /* a repair also cuts a lone trailing byte */
    tamberlyn_uint64 appended; /* bytes after the RIFF form (a tag), outside the WAV */
} tamberlyn_wav_info;

/* Judges the regular file `path` without writing to it. A file that is not WAV still gives
   TAMBERLYN_OK, with state TAMBERLYN_WAV_NOT_WAV; failures are of opening and reading. */
TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_wav_inspect(const tamberlyn_path_char* path, tamberlyn_wav_info* info);

/* Makes an unfinished recording, or a WAV file whose sizes disagree with its length, readable in
   place, keeping every sample: its sizes (or a recording's whole header) are set, and at most a
   lone trailing odd byte is cut. `info` gets the judgement made before (may be null). A file
   with nothing to repair gives TAMBERLYN_OK and is not opened for writing; one that cannot be
   repaired gives TAMBERLYN_E_NOT_WAV or TAMBERLYN_E_UNDECIDABLE, and one still being recorded
   TAMBERLYN_E_BUSY, and is left as it is. Samples past 4 GiB make the file RF64: in place where
   a "JUNK" chunk first leaves room for its 64-bit sizes, otherwise as a copy written beside it
   and renamed over it when whole (TAMBERLYN_E_WRITE, the file as it was, when it cannot be). */
TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_wav_repair(const tamberlyn_path_char* path, tamberlyn_wav_info* info);

/* ---------------------------------------------------------------------------------------- */
/* Recording                                                                                 */

/*
 * Records the audio input (8000 Hz, 16-bit, mono) into a WAV file in whole one-second blocks,
 * with its header set when the recording finishes. One recording runs at a time in a process's
 * copy of the engine; a recorder handle records one file after another.
 */
typedef struct tamberlyn_recorder tamberlyn_recorder;

enum {
    TAMBERLYN_EVENT_BLOCK_WRITTEN = 1, /* a block is in the file; `peak` is its loudest sample */
    TAMBERLYN_EVENT_INPUT_LOST = 2,    /* no frames since `at_ms` */
    TAMBERLYN_EVENT_INPUT_BACK = 3,    /* frames again from `at_ms` */
    TAMBERLYN_EVENT_WRITE_FAILED = 4,  /* a block could not be written: `system_code`; no
                                          further block will be */
    TAMBERLYN_EVENT_LIMIT_REACHED = 5  /* the block limit is in the file: the recording can stop */
};

typedef struct tamberlyn_record_event {
    tamberlyn_uint32 struct_size;
    int kind;               /* TAMBERLYN_EVENT_* */
    tamberlyn_int32 blocks; /* in the file so far */
    tamberlyn_int32 peak;   /* 0..32768 */
    tamberlyn_int64 at_ms;  /* milliseconds of the system's monotonic clock */
    int system_code;        /* with TAMBERLYN_EVENT_WRITE_FAILED */
} tamberlyn_record_event;

/* Called on the capture thread, as things happen: it must be quick, and must not call the
   recorder. */
typedef void(TAMBERLYN_CALL* tamberlyn_record_function)(void* context,
                                                        const tamberlyn_record_event* event);

/* What to do with an existing file. */
enum {
    TAMBERLYN_RECORD_NEW_FILE = 0, /* refuse it (TAMBERLYN_E_EXISTS) */
    TAMBERLYN_RECORD_REPLACE = 1   /* record beside it, and put the recording in its place
                                      when it holds a block; the old file's owner and mode
                                      stay */
};

typedef struct tamberlyn_record_options {
    tamberlyn_uint32 struct_size;
    const char* device;                 /* the input by its name; null: the default input */
    tamberlyn_int32 block_limit;        /* stop writing after this many blocks; 0: no limit */
    int existing;                       /* TAMBERLYN_RECORD_NEW_FILE or TAMBERLYN_RECORD_REPLACE */
    tamberlyn_record_function on_event; /* may be null */
    void* event_context;
    int keep_partial_second; /* nonzero: the part of the second under way when the recording
                                stops is kept too, so that the file ends where the stop came
                                (not with a block limit reached); otherwise whole seconds */
} tamberlyn_record_options;

TAMBERLYN_ENGINE_API void TAMBERLYN_CALL
tamberlyn_record_options_init(tamberlyn_record_options* options);

typedef struct tamberlyn_record_result {
    tamberlyn_uint32 struct_size;
    tamberlyn_int32 blocks; /* one-second blocks in the file */
    int write_error;        /* a block could not be written: the system's error, else 0 */
    int finish_error;       /* the header, its sync or the close failed */
    int replace_error;      /* the recording could not take the old file's place: it stays
                               where tamberlyn_recorder_file says */
    int removed;            /* nothing was recorded: the file this start created is gone, or
                               the replacement was dropped and the old file kept */
    tamberlyn_uint64 frames; /* samples in the file: blocks x 8000, and a last second's part */
    tamberlyn_int64 lost_ms; /* audio that never reached the recording: a sound server that was
                                gone, a buffer overrun. Audio delivered late is not lost. */
    int vanished;            /* the file was deleted or replaced while it was recorded: the
                                recording is not where it was written */
} tamberlyn_record_result;

TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_recorder_create(tamberlyn_recorder** recorder);

/* Creates the file (see `existing`) and starts capture. A failure leaves no file it created. */
TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_recorder_start(tamberlyn_recorder* recorder, const tamberlyn_path_char* path,
                         const tamberlyn_record_options* options);

/* Stops capture and finishes the file: its header for the blocks in it, on stable storage. A
   recording that holds nothing is removed. Returns TAMBERLYN_E_WRITE when a block or the finish
   could not be written (`result` says which); the blocks before it are in a valid file. */
TAMBERLYN_ENGINE_API tamberlyn_status TAMBERLYN_CALL
tamberlyn_recorder_stop(tamberlyn_recorder* recorder, tamberlyn_record_result* result);

/* Where the running or last recording is being written: the target, or the file beside it
   while it replaces one. */
TAMBERLYN_ENGINE_API const tamberlyn_path_char* TAMBERLYN_CALL
tamberlyn_recorder_file(const tamberlyn_recorder* recorder);

/* Stops a recording still running, then frees the handle. */
TAMBERLYN_ENGINE_API void TAMBERLYN_CALL tamberlyn_recorder_free(tamberlyn_recorder* recorder);

#ifdef __cplusplus
}
#endif

#endif /* TAMBERLYN_ENGINE_H */
