"""Shorten the pauses of recordings, inspect and repair WAV files, and record audio.

tamberlyn calls the tamberlyn engine library (libtamberlyn-engine), the same engine the
``tamberlyn`` program runs, so a result here is the program's result to the byte.

Shortening::

    import tamberlyn
    result = tamberlyn.shorten("talk.wav", "talk-short.wav")          # pauses told by the noise
    print(result.seconds_in, "->", result.seconds_out)
    for start, end in result.cuts:                                    # seconds of talk.wav
        print(f"cut {start:.2f}-{end:.2f}")

The same decisions over samples in memory (a numpy int16 array, frames x channels, or the
bytes of interleaved 16-bit frames)::

    cuts = tamberlyn.detect_pauses(samples, 16000)

WAV files that a crash left unfinished::

    tamberlyn.info("note.wav").state            # "unfinished recording"
    tamberlyn.repair("note.wav")                # sets its header; keeps every sample

Recording the audio input (8000 Hz, 16-bit, mono) in whole seconds::

    with tamberlyn.Recorder("note.wav", seconds=10, on_event=print) as recording:
        recording.wait()

Failures raise :class:`TamberlynError`, an :class:`OSError` that carries the system's error
number and the file's name where the failure is the system's.
"""

from __future__ import annotations

import ctypes
import os
import threading
from dataclasses import dataclass, field
from typing import Callable, List, Optional, Sequence, Tuple, Union

from . import _native
from ._native import PathArg, lib, native_path, sized

__all__ = [
    "TamberlynError",
    "ShortenResult",
    "WavInfo",
    "RepairResult",
    "BlockWritten",
    "InputLost",
    "InputBack",
    "WriteFailed",
    "LimitReached",
    "Recorder",
    "RecordResult",
    "shorten",
    "detect_pauses",
    "info",
    "repair",
    "engine_version",
]

__version__ = "1.0.0.1"

Threshold = Union[int, str]
Cut = Tuple[float, float]


class TamberlynError(OSError):
    """A failure of the engine: an OSError whose ``errno`` is the system's error number (None
    when the reason is the engine's own, such as a file that is not WAV) and whose ``filename``
    names the file concerned. ``status`` is the engine's code for what failed."""

    def __init__(self, status: int, message: str, errno: Optional[int] = None,
                 filename: Optional[str] = None) -> None:
        if filename is not None:
            super().__init__(errno, message, filename)
        else:
            super().__init__(errno, message)
        self.status = status


def _failure(status: int, names: Sequence[Optional[PathArg]] = ()) -> TamberlynError:
    """The calling thread's last failure in the engine, as an exception."""
    message = (lib.tamberlyn_error_message() or b"").decode("utf-8", "replace")
    code = lib.tamberlyn_error_system_code() or None
    which = lib.tamberlyn_error_file()
    filename = None
    if 1 <= which <= len(names) and names[which - 1] is not None:
        filename = os.fsdecode(names[which - 1])
    return TamberlynError(status, message, code, filename)


def _check(status: int, *names: Optional[PathArg]) -> None:
    if status != _native.OK:
        raise _failure(status, names)


def engine_version() -> str:
    """The version of the engine library in use, such as ``"1.0.0.1"``."""
    return lib.tamberlyn_version().decode()


def _pause_options(threshold: Threshold, keep: Optional[float],
                   pad: Optional[float]) -> _native.PauseOptions:
    options = _native.PauseOptions()
    lib.tamberlyn_pause_options_init(ctypes.byref(options))
    if isinstance(threshold, bool):
        raise TypeError("threshold: give an int, a string such as '-40dB', or 'auto'")
    if isinstance(threshold, int):
        if not 1 <= threshold <= 32768:
            raise ValueError(f"threshold {threshold}: give 1..32768")
        options.threshold = threshold
    elif isinstance(threshold, str):
        value = ctypes.c_int32()
        if lib.tamberlyn_parse_threshold(threshold.encode(), ctypes.byref(value)) != _native.OK:
            raise ValueError(f"threshold {threshold!r}: give 1..32768, decibels such as "
                             "'-40dB', or 'auto'")
        options.threshold = value.value
    else:
        raise TypeError("threshold: give an int, a string such as '-40dB', or 'auto'")
    for name, seconds in (("keep", keep), ("pad", pad)):
        if seconds is not None:
            if seconds < 0:
                raise ValueError(f"{name}: give seconds, 0 or more")
            setattr(options, name, float(seconds))
    return options


@dataclass(frozen=True)
class ShortenResult:
    """What :func:`shorten` did: the stretches it cut, in seconds of the input, and the
    durations before and after."""

    cuts: List[Cut]
    seconds_in: float
    seconds_out: float
    rate: int
    channels: int
    format: str
    #: With ``threshold="auto"``: the range of the background level the pauses were told from,
    #: in dBFS above 200 Hz (None when no pause was found; minus infinity where every pause
    #: was digital silence).
    background_dbfs: Optional[Tuple[float, float]] = None

    @property
    def removed(self) -> float:
        """The share of the input that went, 0..1."""
        return 1.0 - self.seconds_out / self.seconds_in if self.seconds_in > 0 else 0.0


def _cut_collector(spans: List[Tuple[int, int]]):
    def on_cut(_context, start, end):
        spans.append((start, end))
    return _native.cut_function(on_cut)


def shorten(src: PathArg, dst: PathArg, threshold: Threshold = "auto",
            keep: Optional[float] = None, pad: Optional[float] = None,
            labels: Optional[PathArg] = None) -> ShortenResult:
    """Copies the audio file ``src`` to ``dst``, shortening every pause.

    ``src`` is a WAV file (PCM of 8 to 32 bits or float, RIFF or RF64, any rate, 1 to 8
    channels) or, where FFmpeg's libraries are installed, any audio they decode (FLAC, MP3, Ogg,
    Opus, M4A...), written back with its codec, bitrate, tags and cover art. A ``dst`` named
    with another audio extension (``.flac``, ``.wav``...) converts to that type.

    ``threshold`` is ``"auto"`` (pauses told from sound by the recording's own background
    noise), a magnitude 1..32768 (a frame is quiet when every channel is below it), or decibels
    below full scale such as ``"-40dB"``. Each pause keeps its first ``keep`` seconds and, when
    sound follows, its last ``pad`` seconds (defaults: 0.1 and 0.2 with ``"auto"``; 799
    samples at 8000 Hz and 0 with a fixed threshold). ``dst`` is written beside its target and
    renamed over it when complete; ``labels``, if given, gets the cuts as an Audacity label
    track. Raises :class:`TamberlynError` on failure."""
    pauses = _pause_options(threshold, keep, pad)
    spans: List[Tuple[int, int]] = []
    options = _native.ShortenOptions()
    lib.tamberlyn_shorten_options_init(ctypes.byref(options))
    options.pauses = ctypes.pointer(pauses)
    collector = _cut_collector(spans)
    options.on_cut = collector
    labels_name = native_path(labels) if labels is not None else None
    if labels_name is not None:
        options.labels_path = labels_name
    summary = sized(_native.ShortenSummary())
    status = lib.tamberlyn_shorten_file(native_path(src), native_path(dst),
                                        ctypes.byref(options), ctypes.byref(summary))
    _check(status, src, dst, labels)
    return _result(summary, spans)


def _result(summary: _native.ShortenSummary, spans: List[Tuple[int, int]]) -> ShortenResult:
    rate = summary.rate or 1
    background = None
    if summary.automatic and summary.cuts > 0:
        background = (summary.background_low_dbfs, summary.background_high_dbfs)
    return ShortenResult(
        cuts=[(start / rate, end / rate) for start, end in spans],
        seconds_in=summary.frames_in / rate,
        seconds_out=summary.frames_out / rate,
        rate=summary.rate,
        channels=summary.channels,
        format=summary.format.decode(),
        background_dbfs=background,
    )


def detect_pauses(samples, rate: int, channels: Optional[int] = None,
                  threshold: Threshold = "auto", keep: Optional[float] = None,
                  pad: Optional[float] = None, sample_format: Optional[str] = None) -> List[Cut]:
    """The stretches :func:`shorten` would cut from these samples, in seconds.

    ``samples`` is a numpy array, 1-D (mono) or frames x channels, of int16, uint8 (128 the
    middle), int32, float32 or float64 (1.0 full scale); or bytes of interleaved little-endian
    frames with ``channels`` (1 when left out) and ``sample_format`` ("s16", the default, "u8",
    "s24", "s32", "f32" or "f64"). A threshold means the same fraction of full scale in every
    format."""
    data, channels, sample_format = _frames(samples, channels, sample_format)
    if not 1 <= channels <= 8:
        raise ValueError(f"channels {channels}: give 1 to 8")
    if rate <= 0:
        raise ValueError(f"rate {rate}: give samples per second")
    code, width = _native.SAMPLE_FORMATS[sample_format]
    frames = len(data) // (width * channels)
    pauses = _pause_options(threshold, keep, pad)
    spans: List[Tuple[int, int]] = []
    collector = _cut_collector(spans)
    detector = ctypes.c_void_p()
    _check(lib.tamberlyn_detector_create_for(rate, channels, code, ctypes.byref(pauses),
                                             collector, None, ctypes.byref(detector)))
    try:
        buffer = (ctypes.c_char * len(data)).from_buffer_copy(data) if data else None
        _check(lib.tamberlyn_detector_feed_frames(detector, buffer, frames))
        _check(lib.tamberlyn_detector_finish(detector, None))
    finally:
        lib.tamberlyn_detector_free(detector)
    return [(start / rate, end / rate) for start, end in spans]


# numpy's sample types and the detector's formats.
_DTYPES = {"int16": "s16", "uint8": "u8", "int32": "s32", "float32": "f32", "float64": "f64"}


def _frames(samples, channels: Optional[int],
            sample_format: Optional[str]) -> Tuple[bytes, int, str]:
    if isinstance(samples, (bytes, bytearray, memoryview)):
        fmt = sample_format or "s16"
        if fmt not in _native.SAMPLE_FORMATS:
            raise ValueError(f"sample_format {fmt!r}: give one of "
                             f"{', '.join(_native.SAMPLE_FORMATS)}")
        return bytes(samples), channels if channels is not None else 1, fmt
    try:
        import numpy
    except ImportError:  # numpy is optional: without it only bytes are taken
        raise TypeError("samples: give bytes of frames (numpy is not installed)") from None
    array = numpy.asarray(samples)
    fmt = _DTYPES.get(array.dtype.name)
    if fmt is None:
        raise TypeError(f"samples: give int16, uint8, int32, float32 or float64 samples, "
                        f"not {array.dtype}")
    if array.ndim == 1:
        found = 1
    elif array.ndim == 2:
        found = array.shape[1]
    else:
        raise ValueError("samples: give a 1-D array, or frames x channels")
    if channels is not None and channels != found:
        raise ValueError(f"channels {channels}: the array has {found}")
    little = numpy.ascontiguousarray(array, dtype=array.dtype.newbyteorder("<"))
    return little.tobytes(), found, fmt


_STATES = {
    0: "finished",
    1: "unfinished recording",
    2: "unknown length",
    3: "sizes disagree",
    4: "undecidable",
    5: "not WAV",
    6: "being recorded",
    7: "other audio",
}


@dataclass(frozen=True)
class WavInfo:
    """What a WAV file is and what state it is in, as ``tamberlyn info`` says.

    ``state`` is one of "finished", "unfinished recording", "unknown length",
    "sizes disagree", "undecidable", "not WAV", "being recorded" (by another process, now)
    or "other audio" (FLAC, MP3, M4A... that :func:`shorten` reads: ``format`` is its codec,
    ``reason`` its container); ``repair`` says what :func:`repair` would set, and ``reason`` why
    a file cannot be repaired or told apart."""

    path: str
    state: str
    format: str
    rate: int
    channels: int
    bits_per_sample: int
    seconds: float
    declared_seconds: float
    repairable: bool
    reason: str
    repair: str

    @property
    def finished(self) -> bool:
        return self.state == "finished"


def _info(path: PathArg, raw: _native.WavInfo) -> WavInfo:
    return WavInfo(
        path=os.fsdecode(path),
        state=_STATES.get(raw.state, "not WAV"),
        format=raw.format.decode(),
        rate=raw.rate,
        channels=raw.channels,
        bits_per_sample=raw.bits_per_sample,
        seconds=raw.seconds,
        declared_seconds=raw.declared_seconds,
        repairable=bool(raw.repairable),
        reason=raw.reason.decode("utf-8", "replace"),
        repair=raw.repair.decode("utf-8", "replace"),
    )


def info(path: PathArg) -> WavInfo:
    """Judges the regular file ``path`` without writing to it. A file that is not WAV gives
    state "not WAV"; a file that cannot be opened or read raises :class:`TamberlynError`."""
    raw = sized(_native.WavInfo())
    _check(lib.tamberlyn_wav_inspect(native_path(path), ctypes.byref(raw)), path)
    return _info(path, raw)


@dataclass(frozen=True)
class RepairResult:
    """What :func:`repair` did (or would do): ``changed`` is false for a finished file,
    ``what`` says what was set ("the header of a recording of 3.12 s")."""

    changed: bool
    what: str
    before: WavInfo


def repair(path: PathArg, dry_run: bool = False) -> RepairResult:
    """Makes an unfinished recording, or a WAV file whose sizes disagree with its length,
    readable in place, keeping every sample. With ``dry_run`` only says what it would set.
    A file that cannot be told apart, or is not WAV, raises :class:`TamberlynError` and is left
    as it is."""
    if dry_run:
        before = info(path)
        if before.state == "not WAV":
            raise TamberlynError(_native.E_NOT_WAV, before.reason, None, os.fsdecode(path))
        if not before.finished and not before.repairable:
            raise TamberlynError(_native.E_UNDECIDABLE,
                                 before.reason or "it cannot be repaired", None,
                                 os.fsdecode(path))
        return RepairResult(changed=False, what=before.repair, before=before)
    raw = sized(_native.WavInfo())
    _check(lib.tamberlyn_wav_repair(native_path(path), ctypes.byref(raw)), path)
    before = _info(path, raw)
    return RepairResult(changed=not before.finished, what=before.repair, before=before)


# Recording events, as the recorder reports them on its capture thread.

@dataclass(frozen=True)
class BlockWritten:
    """A second of audio is in the file; ``peak`` is its loudest sample (0..32768)."""
    blocks: int
    peak: int


@dataclass(frozen=True)
class InputLost:
    """No audio has come since ``at`` (seconds of the system's monotonic clock)."""
    blocks: int
    at: float


@dataclass(frozen=True)
class InputBack:
    """Audio comes again from ``at``."""
    blocks: int
    at: float


@dataclass(frozen=True)
class WriteFailed:
    """A second could not be written (``errno``); no further one will be."""
    blocks: int
    errno: int


@dataclass(frozen=True)
class LimitReached:
    """The seconds asked for are in the file."""
    blocks: int


Event = Union[BlockWritten, InputLost, InputBack, WriteFailed, LimitReached]


def _event(raw: _native.RecordEvent) -> Optional[Event]:
    kind = raw.kind
    if kind == 1:
        return BlockWritten(raw.blocks, raw.peak)
    if kind == 2:
        return InputLost(raw.blocks, raw.at_ms / 1000.0)
    if kind == 3:
        return InputBack(raw.blocks, raw.at_ms / 1000.0)
    if kind == 4:
        return WriteFailed(raw.blocks, raw.system_code)
    if kind == 5:
        return LimitReached(raw.blocks)
    return None


@dataclass(frozen=True)
class RecordResult:
    """A finished recording: ``seconds`` of audio are in ``path`` (whole seconds, and the part
    of the last one with ``keep_partial_second``); ``lost`` seconds of audio never reached it
    (a sound server that was gone, an overrun)."""
    seconds: float
    path: str
    lost: float = 0.0


@dataclass
class Recorder:
    """Records the audio input (8000 Hz, 16-bit, mono) into ``path`` in whole seconds, as a
    context manager: recording starts on entry and the file is finished on exit.

    ``seconds`` stops writing after that many; ``device`` names the input (an ALSA PCM name,
    a Windows device name), the default input otherwise; ``replace`` lets an existing file be
    replaced once the new recording holds a second; ``keep_partial_second`` keeps what was
    captured of the second under way at the stop, so the file ends where the stop came. ``on_event`` is called with
    :class:`BlockWritten`, :class:`InputLost`, :class:`InputBack`, :class:`WriteFailed` and
    :class:`LimitReached` as they happen, on the recorder's own thread: keep it quick."""

    path: PathArg
    seconds: Optional[int] = None
    device: Optional[str] = None
    on_event: Optional[Callable[[Event], None]] = None
    replace: bool = False
    keep_partial_second: bool = True
    result: Optional[RecordResult] = field(default=None, init=False)

    def __post_init__(self) -> None:
        self._handle = ctypes.c_void_p()
        self._ended = threading.Event()
        self._callback = None  # kept alive while the engine may call it

    def _on_event(self, _context, raw) -> None:
        event = _event(raw.contents)
        if isinstance(event, (LimitReached, WriteFailed)):
            self._ended.set()
        if event is not None and self.on_event is not None:
            self.on_event(event)

    def start(self) -> "Recorder":
        """Creates the file and starts recording."""
        if self.seconds is not None and not 1 <= self.seconds <= 268435:
            raise ValueError(f"seconds {self.seconds}: give 1 to 268435")
        options = sized(_native.RecordOptions())
        lib.tamberlyn_record_options_init(ctypes.byref(options))
        options.block_limit = self.seconds or 0
        options.existing = _native.RECORD_REPLACE if self.replace else _native.RECORD_NEW_FILE
        options.keep_partial_second = int(self.keep_partial_second)
        if self.device is not None:
            options.device = self.device.encode()
        self._callback = _native.record_function(self._on_event)
        options.on_event = self._callback
        _check(lib.tamberlyn_recorder_create(ctypes.byref(self._handle)))
        status = lib.tamberlyn_recorder_start(self._handle, native_path(self.path),
                                              ctypes.byref(options))
        if status != _native.OK:
            error = _failure(status, (None, self.path))
            self._free()
            raise error
        return self

    def wait(self, timeout: Optional[float] = None) -> bool:
        """Waits until the seconds asked for are in the file or a write failed; true then."""
        return self._ended.wait(timeout)

    def stop(self) -> RecordResult:
        """Stops recording and finishes the file; a recording that holds nothing is removed.
        Raises :class:`TamberlynError` when a second or the finish could not be written."""
        if self.result is not None:
            return self.result
        raw = sized(_native.RecordResult())
        status = lib.tamberlyn_recorder_stop(self._handle, ctypes.byref(raw))
        where = lib.tamberlyn_recorder_file(self._handle)
        failure = _failure(status, (None, self.path)) if status != _native.OK else None
        self._free()
        self.result = RecordResult(raw.frames / 8000, os.fsdecode(where) if where else "",
                                   raw.lost_ms / 1000)
        if failure is not None:
            raise failure
        return self.result

    def _free(self) -> None:
        if self._handle:
            lib.tamberlyn_recorder_free(self._handle)
            self._handle = ctypes.c_void_p()

    def __enter__(self) -> "Recorder":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()

    def __del__(self) -> None:
        self._free()
