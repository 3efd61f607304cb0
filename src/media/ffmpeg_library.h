// FFmpeg's libraries, loaded when a file first needs them: a program or host that only ever
// meets WAV files does not pay for loading them (and the hundred libraries they bring), and
// runs where they are not installed.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace tamberlyn {

// Every function the media layer calls, by the library that has it.
#define TAMBERLYN_FFMPEG_FUNCTIONS(X)           \
    X(avutil, av_channel_layout_copy)           \
    X(avutil, av_channel_layout_default)        \
    X(avutil, av_dict_copy)                     \
    X(avutil, av_dict_set)                      \
    X(avutil, av_frame_alloc)                   \
    X(avutil, av_frame_free)                    \
    X(avutil, av_frame_get_buffer)              \
    X(avutil, av_frame_make_writable)           \
    X(avutil, av_frame_unref)                   \
    X(avutil, av_free)                          \
    X(avutil, av_freep)                         \
    X(avutil, av_get_bytes_per_sample)          \
    X(avutil, av_get_packed_sample_fmt)         \
    X(avutil, av_get_planar_sample_fmt)         \
    X(avutil, av_get_sample_fmt_name)           \
    X(avutil, av_log_get_level)                 \
    X(avutil, av_log_set_level)                 \
    X(avutil, av_malloc)                        \
    X(avutil, av_opt_set)                       \
    X(avutil, av_rescale)                       \
    X(avutil, av_rescale_q)                     \
    X(avutil, av_sample_fmt_is_planar)          \
    X(avutil, av_strerror)                      \
    X(swresample, swr_alloc_set_opts2)          \
    X(swresample, swr_convert)                  \
    X(swresample, swr_free)                     \
    X(swresample, swr_init)                     \
    X(avcodec, av_packet_alloc)                 \
    X(avcodec, av_packet_clone)                 \
    X(avcodec, av_packet_free)                  \
    X(avcodec, av_packet_rescale_ts)            \
    X(avcodec, av_packet_unref)                 \
    X(avcodec, avcodec_alloc_context3)          \
    X(avcodec, avcodec_descriptor_get)          \
    X(avcodec, avcodec_find_decoder)            \
    X(avcodec, avcodec_find_encoder)            \
    X(avcodec, avcodec_free_context)            \
    X(avcodec, avcodec_open2)                   \
    X(avcodec, avcodec_parameters_copy)         \
    X(avcodec, avcodec_parameters_from_context) \
    X(avcodec, avcodec_parameters_to_context)   \
    X(avcodec, avcodec_receive_frame)           \
    X(avcodec, avcodec_receive_packet)          \
    X(avcodec, avcodec_send_frame)              \
    X(avcodec, avcodec_send_packet)             \
    X(avformat, av_guess_format)                \
    X(avformat, av_interleaved_write_frame)     \
    X(avformat, av_probe_input_format3)         \
    X(avformat, av_read_frame)                  \
    X(avformat, av_write_trailer)               \
    X(avformat, avformat_alloc_output_context2) \
    X(avformat, avformat_close_input)           \
    X(avformat, avformat_find_stream_info)      \
    X(avformat, avformat_free_context)          \
    X(avformat, avformat_new_stream)            \
    X(avformat, avformat_open_input)            \
    X(avformat, avformat_query_codec)           \
    X(avformat, avformat_write_header)          \
    X(avformat, avio_alloc_context)             \
    X(avformat, avio_context_free)              \
    X(avformat, avio_flush)

struct FFmpeg {
#define TAMBERLYN_FFMPEG_POINTER(library, name) decltype(&::name) name = nullptr;
    TAMBERLYN_FFMPEG_FUNCTIONS(TAMBERLYN_FFMPEG_POINTER)
#undef TAMBERLYN_FFMPEG_POINTER
};

// The libraries of the major versions built against, loaded once for the process (and kept);
// null when they are not installed. Safe from any thread.
const FFmpeg* LoadFFmpeg();

}  // namespace tamberlyn
