"""The engine library's C interface, declared for ctypes: records, functions and failures."""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
from typing import Optional, Union

PathArg = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

WINDOWS = sys.platform == "win32"
CALL = ctypes.CFUNCTYPE  # the engine's functions are cdecl everywhere

# Status codes (tamberlyn_engine.h).
OK = 0
E_ARGUMENT = 1
E_NO_MEMORY = 2
E_OPEN = 3
E_CREATE = 4
E_READ = 5
E_WRITE = 6
E_NOT_WAV = 7
E_UNSUPPORTED = 8
E_UNFINISHED = 9
E_UNDECIDABLE = 10
E_SAME_FILE = 11
E_REFUSED = 12
E_EXISTS = 13
E_BUSY = 14
E_DEVICE = 15
E_CANCELLED = 16
E_CHANGED = 17
E_PAD_TOO_LONG = 18

FILE_NONE, FILE_INPUT, FILE_OUTPUT, FILE_LABELS = 0, 1, 2, 3
THRESHOLD_AUTO = 0
# Sample formats of the detector, with their bytes per sample.
SAMPLE_FORMATS = {"s16": (0, 2), "u8": (1, 1), "s24": (2, 3), "s32": (3, 4), "f32": (4, 4),
                  "f64": (5, 8)}
RECORD_NEW_FILE, RECORD_REPLACE = 0, 1

path_char_p = ctypes.c_wchar_p if WINDOWS else ctypes.c_char_p

cut_function = CALL(None, ctypes.c_void_p, ctypes.c_uint64, ctypes.c_uint64)
progress_function = CALL(ctypes.c_int, ctypes.c_void_p, ctypes.c_uint64, ctypes.c_uint64)


class Stream(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_uint32),
        ("context", ctypes.c_void_p),
        ("read", ctypes.c_void_p),
        ("read_at", ctypes.c_void_p),
        ("size", ctypes.c_uint64),
        ("write", ctypes.c_void_p),
        ("write_at", ctypes.c_void_p),
    ]


class PauseOptions(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_uint32),
        ("threshold", ctypes.c_int32),
        ("keep", ctypes.c_double),
        ("pad", ctypes.c_double),
    ]


class ShortenOptions(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_uint32),
        ("pauses", ctypes.POINTER(PauseOptions)),
        ("on_cut", cut_function),
        ("cut_context", ctypes.c_void_p),
        ("labels_path", path_char_p),
        ("labels_stream", ctypes.POINTER(Stream)),
        ("progress", progress_function),
        ("progress_context", ctypes.c_void_p),
    ]


class ShortenSummary(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_uint32),
        ("format", ctypes.c_char * 48),
        ("rate", ctypes.c_uint32),
        ("channels", ctypes.c_uint32),
        ("frame_bytes", ctypes.c_uint32),
        ("frames_in", ctypes.c_uint64),
        ("frames_out", ctypes.c_uint64),
        ("cuts", ctypes.c_uint64),
        ("automatic", ctypes.c_int),
        ("background_low_dbfs", ctypes.c_double),
        ("background_high_dbfs", ctypes.c_double),
        ("separable_share", ctypes.c_double),
        ("warnings", ctypes.c_uint),
        ("data_declared", ctypes.c_uint64),
        ("data_read", ctypes.c_uint64),
        ("chunks_left_out", ctypes.c_uint64),
        ("appended_bytes", ctypes.c_uint64),
        ("digital_silence_share", ctypes.c_double),
    ]


class WavInfo(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_uint32),
        ("state", ctypes.c_int),
        ("format", ctypes.c_char * 48),
        ("format_tag", ctypes.c_uint32),
        ("rate", ctypes.c_uint32),
        ("channels", ctypes.c_uint32),
        ("bits_per_sample", ctypes.c_uint32),
        ("block_align", ctypes.c_uint32),
        ("file_size", ctypes.c_uint64),
        ("data_offset", ctypes.c_uint64),
        ("data_size", ctypes.c_uint64),
        ("data_on_disk", ctypes.c_uint64),
        ("seconds", ctypes.c_double),
        ("declared_seconds", ctypes.c_double),
        ("recording_placeholder", ctypes.c_int),
        ("riff_size_wrong", ctypes.c_int),
        ("data_size_wrong", ctypes.c_int),
        ("repairable", ctypes.c_int),
        ("reason", ctypes.c_char * 192),
        ("repair", ctypes.c_char * 160),
        ("repair_cuts_odd_byte", ctypes.c_int),
        ("appended", ctypes.c_uint64),
    ]


class RecordEvent(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_uint32),
        ("kind", ctypes.c_int),
        ("blocks", ctypes.c_int32),
        ("peak", ctypes.c_int32),
        ("at_ms", ctypes.c_int64),
        ("system_code", ctypes.c_int),
    ]


record_function = CALL(None, ctypes.c_void_p, ctypes.POINTER(RecordEvent))


class RecordOptions(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_uint32),
        ("device", ctypes.c_char_p),
        ("block_limit", ctypes.c_int32),
        ("existing", ctypes.c_int),
        ("on_event", record_function),
        ("event_context", ctypes.c_void_p),
        ("keep_partial_second", ctypes.c_int),
    ]


class RecordResult(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_uint32),
        ("blocks", ctypes.c_int32),
        ("write_error", ctypes.c_int),
        ("finish_error", ctypes.c_int),
        ("replace_error", ctypes.c_int),
        ("removed", ctypes.c_int),
        ("frames", ctypes.c_uint64),
        ("lost_ms", ctypes.c_int64),
        ("vanished", ctypes.c_int),
    ]


def sized(record: ctypes.Structure) -> ctypes.Structure:
    """A record with its size field set, as every call expects."""
    record.struct_size = ctypes.sizeof(record)
    return record


def _load() -> ctypes.CDLL:
    # A build tree or an unusual install names the library itself.
    named = os.environ.get("TAMBERLYN_ENGINE_LIBRARY")
    if named:
        return ctypes.CDLL(named)
    candidates = ["tamberlyn-engine.dll"] if WINDOWS else ["libtamberlyn-engine.so.1"]
    found = ctypes.util.find_library("tamberlyn-engine")
    if found:
        candidates.append(found)
    failure: Optional[OSError] = None
    for name in candidates:
        try:
            return ctypes.CDLL(name)
        except OSError as e:
            failure = e
    raise ImportError(
        "the tamberlyn engine library (libtamberlyn-engine) was not found: install "
        "libtamberlyn-engine1, or name it in TAMBERLYN_ENGINE_LIBRARY") from failure


lib = _load()


def _declare(name: str, result, *arguments) -> None:
    function = getattr(lib, name)
    function.restype = result
    function.argtypes = list(arguments)


_declare("tamberlyn_version", ctypes.c_char_p)
_declare("tamberlyn_error_status", ctypes.c_int)
_declare("tamberlyn_error_message", ctypes.c_char_p)
_declare("tamberlyn_error_system_code", ctypes.c_int)
_declare("tamberlyn_error_file", ctypes.c_int)
_declare("tamberlyn_parse_threshold", ctypes.c_int, ctypes.c_char_p,
         ctypes.POINTER(ctypes.c_int32))
_declare("tamberlyn_pause_options_init", None, ctypes.POINTER(PauseOptions))
_declare("tamberlyn_shorten_options_init", None, ctypes.POINTER(ShortenOptions))
_declare("tamberlyn_shorten_file", ctypes.c_int, path_char_p, path_char_p,
         ctypes.POINTER(ShortenOptions), ctypes.POINTER(ShortenSummary))
_declare("tamberlyn_detector_create", ctypes.c_int, ctypes.c_uint32, ctypes.c_uint32,
         ctypes.POINTER(PauseOptions), cut_function, ctypes.c_void_p,
         ctypes.POINTER(ctypes.c_void_p))
_declare("tamberlyn_detector_create_for", ctypes.c_int, ctypes.c_uint32, ctypes.c_uint32,
         ctypes.c_int, ctypes.POINTER(PauseOptions), cut_function, ctypes.c_void_p,
         ctypes.POINTER(ctypes.c_void_p))
_declare("tamberlyn_detector_feed_frames", ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p,
         ctypes.c_size_t)
_declare("tamberlyn_detector_finish", ctypes.c_int, ctypes.c_void_p,
         ctypes.POINTER(ShortenSummary))
_declare("tamberlyn_detector_free", None, ctypes.c_void_p)
_declare("tamberlyn_wav_inspect", ctypes.c_int, path_char_p, ctypes.POINTER(WavInfo))
_declare("tamberlyn_wav_repair", ctypes.c_int, path_char_p, ctypes.POINTER(WavInfo))
_declare("tamberlyn_record_options_init", None, ctypes.POINTER(RecordOptions))
_declare("tamberlyn_recorder_create", ctypes.c_int, ctypes.POINTER(ctypes.c_void_p))
_declare("tamberlyn_recorder_start", ctypes.c_int, ctypes.c_void_p, path_char_p,
         ctypes.POINTER(RecordOptions))
_declare("tamberlyn_recorder_stop", ctypes.c_int, ctypes.c_void_p,
         ctypes.POINTER(RecordResult))
_declare("tamberlyn_recorder_file", path_char_p, ctypes.c_void_p)
_declare("tamberlyn_recorder_free", None, ctypes.c_void_p)


def native_path(path: PathArg):
    """A file name as the engine takes it: bytes on POSIX, text on Windows."""
    return os.fsdecode(path) if WINDOWS else os.fsencode(path)
