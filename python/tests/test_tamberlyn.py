"""The Python binding: its results against the program's, its types, its errors. The engine
itself is tested in C++; these check what the binding adds."""

import errno
import os
import pathlib
import shutil
import struct
import subprocess
import sys

import numpy
import pytest

import tamberlyn

PROGRAM = os.environ["TAMBERLYN_PROGRAM"]
EXAMPLE = pathlib.Path(os.environ["TAMBERLYN_EXAMPLE"])


def wav(path, samples: numpy.ndarray, rate: int) -> None:
    channels = 1 if samples.ndim == 1 else samples.shape[1]
    data = samples.astype("<i2").tobytes()
    path.write_bytes(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " +
                     struct.pack("<IHHIIHH", 16, 1, channels, rate, rate * 2 * channels,
                                 2 * channels, 16) + b"data" + struct.pack("<I", len(data)) + data)


def program(*args) -> subprocess.CompletedProcess:
    return subprocess.run([PROGRAM, *args], capture_output=True, text=True, check=False)


def noisy_speech(rate=16000, seconds=8, channels=1, seed=5) -> numpy.ndarray:
    """Bursts of a voiced tone between pauses, in quiet noise."""
    rng = numpy.random.default_rng(seed)
    t = numpy.arange(rate * seconds) / rate
    voiced = sum(numpy.sin(2 * numpy.pi * 140 * h * t) / h for h in range(1, 6))
    envelope = ((t % 2.0) > 1.2).astype(float)
    mono = 6000 * voiced * envelope + rng.normal(0, 30, t.size)
    frames = numpy.stack([mono * (1 - c / 4) for c in range(channels)], axis=1)
    return numpy.round(frames).astype(numpy.int16).reshape(-1) if channels == 1 else \
        numpy.round(frames).astype(numpy.int16)


def test_shorten_gives_the_programs_bytes_and_cuts(tmp_path):
    out, cuts = tmp_path / "py.wav", tmp_path / "cuts.txt"
    result = tamberlyn.shorten(EXAMPLE, out, threshold="auto", labels=str(cuts))
    assert program("silence", str(EXAMPLE), str(tmp_path / "cli.wav"), "--threshold", "auto",
                   "--cuts", str(tmp_path / "cli.txt")).returncode == 0
    assert out.read_bytes() == (tmp_path / "cli.wav").read_bytes()
    assert cuts.read_bytes() == (tmp_path / "cli.txt").read_bytes()
    listed = [tuple(float(x) for x in line.split("\t")[:2])
              for line in cuts.read_text().splitlines()]
    assert [(round(a, 6), round(b, 6)) for a, b in result.cuts] == listed
    assert result.seconds_in == pytest.approx(30.0)
    assert 0 < result.seconds_out < result.seconds_in
    assert result.format == "16-bit PCM" and result.rate == 8000 and result.channels == 1


def test_thresholds_are_taken_as_numbers_decibels_or_auto(tmp_path):
    by_number = tamberlyn.shorten(EXAMPLE, tmp_path / "a.wav", threshold=328)
    by_db = tamberlyn.shorten(EXAMPLE, tmp_path / "b.wav", threshold="-40dB")
    assert by_number.cuts == by_db.cuts
    assert (tmp_path / "a.wav").read_bytes() == (tmp_path / "b.wav").read_bytes()
    for bad in ("loud", 0, 40000, 1.5):
        with pytest.raises((ValueError, TypeError)):
            tamberlyn.shorten(EXAMPLE, tmp_path / "c.wav", threshold=bad)


def test_detect_pauses_over_arrays_and_bytes_cuts_as_shorten_does(tmp_path):
    stereo = noisy_speech(channels=2)
    wav(tmp_path / "in.wav", stereo, 16000)
    expected = tamberlyn.shorten(tmp_path / "in.wav", tmp_path / "out.wav").cuts
    assert expected
    assert tamberlyn.detect_pauses(stereo, 16000) == expected
    assert tamberlyn.detect_pauses(stereo.tobytes(), 16000, channels=2) == expected
    # The same fraction of full scale in float: the same cuts.
    assert tamberlyn.detect_pauses(stereo / 32768.0, 16000) == expected
    with pytest.raises(TypeError):
        tamberlyn.detect_pauses(stereo.astype(numpy.complex64), 16000)


def test_info_and_repair_return_what_the_commands_say(tmp_path):
    unfinished = tmp_path / "note.wav"
    unfinished.write_bytes(bytes(44) + EXAMPLE.read_bytes()[44:44 + 50000])
    found = tamberlyn.info(unfinished)
    assert isinstance(found, tamberlyn.WavInfo)
    assert found.state == "unfinished recording" and found.repairable
    said = program("repair", "--dry-run", str(unfinished)).stdout
    assert said.endswith(f"would set {found.repair}\n")
    assert tamberlyn.repair(unfinished, dry_run=True).what == found.repair
    assert tamberlyn.repair(unfinished).changed
    assert tamberlyn.info(unfinished).finished
    assert not tamberlyn.repair(unfinished).changed


@pytest.mark.skipif(shutil.which("ffmpeg") is None, reason="needs ffmpeg to make the file")
def test_other_audio_types_are_shortened_and_described(tmp_path):
    wav(tmp_path / "talk.wav", noisy_speech(rate=44100), 44100)
    memo = tmp_path / "memo.m4a"
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-i", str(tmp_path / "talk.wav"),
                    "-b:a", "64k", str(memo)], check=True)
    found = tamberlyn.info(memo)
    assert found.state == "other audio" and found.format == "aac" and found.rate == 44100
    result = tamberlyn.shorten(memo, tmp_path / "short.flac", threshold="auto")
    assert result.format == "aac" and 0 < result.seconds_out < result.seconds_in - 2
    assert tamberlyn.info(tmp_path / "short.flac").format == "flac"


def test_failures_are_oserrors_with_the_errno_and_the_file(tmp_path):
    missing = tmp_path / "missing.wav"
    with pytest.raises(tamberlyn.TamberlynError) as failure:
        tamberlyn.shorten(missing, tmp_path / "out.wav")
    assert isinstance(failure.value, OSError)
    assert failure.value.errno == errno.ENOENT
    assert failure.value.filename == str(missing)
    text = tmp_path / "text.wav"
    text.write_bytes(b"not audio at all, only text" * 10)
    with pytest.raises(tamberlyn.TamberlynError) as refused:
        tamberlyn.shorten(text, tmp_path / "out.wav")
    assert refused.value.errno is None and refused.value.filename == str(text)
    assert "RIFF" in refused.value.strerror
    assert not (tmp_path / "out.wav").exists()


@pytest.mark.skipif(sys.platform == "win32", reason="ALSA's file plugin")
def test_recorder_records_through_alsa_with_events(tmp_path, monkeypatch):
    raw = tmp_path / "in.raw"
    raw.write_bytes(numpy.arange(3 * 8000, dtype=numpy.int16).tobytes())
    config = tmp_path / "alsa.conf"
    config.write_text('pcm.!default { type file slave.pcm { type null } '
                      f'infile "{raw}" file "/dev/null" }}\n')
    monkeypatch.setenv("ALSA_CONFIG_PATH", str(config))
    events = []
    with tamberlyn.Recorder(tmp_path / "rec.wav", seconds=2, on_event=events.append) as rec:
        assert rec.wait(timeout=20)
    assert rec.result == tamberlyn.RecordResult(2, str(tmp_path / "rec.wav"))
    assert events[:3] == [tamberlyn.BlockWritten(1, 7999), tamberlyn.BlockWritten(2, 16000 - 1),
                          tamberlyn.LimitReached(2)]
    assert tamberlyn.info(tmp_path / "rec.wav").seconds == 2.0
    with pytest.raises(tamberlyn.TamberlynError) as exists:
        tamberlyn.Recorder(tmp_path / "rec.wav").start()
    assert exists.value.status == 13 and exists.value.filename == str(tmp_path / "rec.wav")


EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"


def corpus(tmp_path, count=4):
    folder = tmp_path / "corpus"
    folder.mkdir()
    for i in range(count):
        shutil.copy(EXAMPLE, folder / f"take-{i}.wav")
    return folder


@pytest.mark.parametrize("example", ["shorten_folder.py", "shorten_folder_dask.py"])
def test_batch_examples_shorten_a_folder(tmp_path, example):
    folder = corpus(tmp_path)
    out = tmp_path / "short"
    run = subprocess.run([sys.executable, str(EXAMPLES / example), str(folder), str(out),
                          "--workers", "2"], capture_output=True, text=True, check=False)
    assert run.returncode == 0, run.stderr
    expected = tamberlyn.shorten(EXAMPLE, tmp_path / "one.wav").seconds_out
    for i in range(4):
        assert tamberlyn.info(out / f"take-{i}.wav").seconds == pytest.approx(expected)
    assert "4 files" in run.stdout
