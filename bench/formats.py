#!/usr/bin/python3
"""Times `tamberlyn silence` on the other sample formats and audio types, each against a
baseline run alternately in this same process (medians of ROUNDS, page cache warm):

- 24-bit PCM and 32-bit float WAV with --threshold auto, against the floor of the work: reading
  the input and writing what the output holds (cat IN >/dev/null; cat OUT >NEW);
- FLAC, MP3 and M4A against ffmpeg's silenceremove with the same codec and bitrate on the same
  file (ours decides in one pass over decoded samples, as ffmpeg's filter does);
- a folder of 40 one-minute dictations with -j 2 against -j 1, as WAV and as FLAC.

    bench/formats.py PROGRAM [DIR=/tmp/tamberlyn-format-bench] [ROUNDS=5] [MINUTES=20]

Needs sox and ffmpeg (bash scripts/setup-debian.sh sox ffmpeg).
"""

import os
import shutil
import statistics
import subprocess
import sys
import time


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def cat(src, dst, sync=False):
    with open(src, "rb") as i, (open(dst, "wb") if dst else open(os.devnull, "wb")) as o:
        shutil.copyfileobj(i, o, 128 * 1024)
        if sync:
            o.flush()
            os.fdatasync(o.fileno())


def timed(f):
    start = time.perf_counter()
    f()
    return time.perf_counter() - start


def compare(rounds, ours, theirs):
    """Medians of `ours` and `theirs`, run alternately."""
    a, b = [], []
    ours()  # warm the page cache and the libraries
    theirs()
    for _ in range(rounds):
        a.append(timed(ours))
        b.append(timed(theirs))
    return statistics.median(a), statistics.median(b)


def dictation(path, seconds, rate=48000, channels=2):
    """Speech-like bursts of shaped noise with pauses of faint hiss, `seconds` long."""
    pattern = path + ".pattern.wav"
    run("sox", "-n", "-r", str(rate), "-c", str(channels), "-b", "16", pattern,
        "synth", "2.5", "pinknoise", "tremolo", "4", "80", "vol", "0.3", ":",
        "synth", "1.5", "whitenoise", "vol", "0.002", ":",
        "synth", "3.0", "pinknoise", "tremolo", "3", "70", "vol", "0.25", ":",
        "synth", "2.0", "whitenoise", "vol", "0.002")
    repeats = max(1, int(seconds / 9.0)) - 1
    run("sox", pattern, path, "repeat", str(repeats))
    os.remove(pattern)


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip().splitlines()[-3].strip(), file=sys.stderr)
        return 2
    program = os.path.abspath(sys.argv[1])
    work = sys.argv[2] if len(sys.argv) > 2 else "/tmp/tamberlyn-format-bench"
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    minutes = float(sys.argv[4]) if len(sys.argv) > 4 else 20
    os.makedirs(work, exist_ok=True)
    p = lambda name: os.path.join(work, name)

    base = p("talk.wav")
    if not os.path.exists(base):
        dictation(base, minutes * 60)
    print(f"{minutes:g} minutes of 48 kHz stereo dictation, medians of {rounds}")

    # The WAV family against the read/write floor.
    for name, args in (("16-bit PCM", ["-b", "16"]), ("24-bit PCM", ["-b", "24"]),
                       ("32-bit float", ["-e", "floating-point", "-b", "32"])):
        src = p(f"talk-{args[-1]}-{args[0][1]}.wav")
        if not os.path.exists(src):
            run("sox", base, *args, src)
        out, copy = p("out.wav"), p("copy.wav")
        ours, floor = compare(
            rounds,
            lambda: run(program, "silence", "--threshold", "auto", src, out),
            lambda: (cat(src, None), cat(out, copy)))
        # The same floor with the output on disk before it counts, as ours puts it there before
        # renaming it into place.
        _, synced = compare(
            rounds,
            lambda: None,
            lambda: (cat(src, None), cat(out, copy, sync=True)))
        print(f"{name:14} WAV, auto: {ours:6.2f} s, read/write floor {floor:6.2f} s: "
              f"{ours / floor:4.2f}x; with the output synced {synced:6.2f} s: "
              f"{ours / synced:4.2f}x")

    # Other types against ffmpeg's silenceremove with the same codec and bitrate.
    remove = ("silenceremove=stop_periods=-1:stop_duration=0.3:stop_threshold=-40dB:"
              "detection=peak")
    for ext, codec in (("flac", ["-c:a", "flac"]), ("mp3", ["-c:a", "libmp3lame", "-b:a", "128k"]),
                       ("m4a", ["-c:a", "aac", "-b:a", "96k"])):
        src = p(f"talk.{ext}")
        if not os.path.exists(src):
            run("ffmpeg", "-nostdin", "-y", "-i", base, *codec, src)
        out, theirs_out = p(f"out.{ext}"), p(f"ffmpeg.{ext}")
        ours, theirs = compare(
            rounds,
            lambda: run(program, "silence", "--threshold", "auto", src, out),
            lambda: run("ffmpeg", "-nostdin", "-y", "-threads", "1", "-i", src, "-af", remove,
                        *codec, theirs_out))
        print(f"{ext:5} auto: {ours:6.2f} s, ffmpeg silenceremove {theirs:6.2f} s: "
              f"{ours / theirs:4.2f}x of ffmpeg's time")

    # A folder of 40 one-minute dictations, two at once against one at a time.
    for ext in ("wav", "flac"):
        folder = p(f"folder-{ext}")
        if not os.path.isdir(folder):
            os.makedirs(folder)
            one = p("one.wav")
            dictation(one, 60, rate=44100, channels=1)
            for i in range(40):
                target = os.path.join(folder, f"d{i:02}.{ext}")
                if ext == "wav":
                    shutil.copyfile(one, target)
                else:
                    run("ffmpeg", "-nostdin", "-y", "-i", one, target)
        inputs = sorted(os.path.join(folder, f) for f in os.listdir(folder))
        outs = p(f"short-{ext}")
        os.makedirs(outs, exist_ok=True)
        two, one_at_a_time = compare(
            rounds,
            lambda: run(program, "silence", "--threshold", "auto", *inputs, "-o", outs, "-j", "2"),
            lambda: run(program, "silence", "--threshold", "auto", *inputs, "-o", outs, "-j", "1"))
        print(f"40 {ext:4} dictations: -j 2 {two:5.2f} s, -j 1 {one_at_a_time:5.2f} s: "
              f"{one_at_a_time / two:4.2f}x as fast")
    return 0


if __name__ == "__main__":
    sys.exit(main())
