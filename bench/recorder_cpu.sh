#!/usr/bin/env bash
# CPU time of `tamberlyn record` against arecord, a plain ALSA capture program, each recording
# the same private PulseAudio server (a null sink playing a tone) for the same seconds, in turn.
#
#   bench/recorder_cpu.sh [TAMBERLYN=build/default/tools/tamberlyn] [SECONDS=30] [ROUNDS=2]
# Needs pulseaudio, pulseaudio-utils, libasound2-plugins, alsa-utils and time.
set -euo pipefail
program=$(realpath "${1:-build/default/tools/tamberlyn}")
seconds=${2:-30}
rounds=${3:-2}

dir=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"' EXIT
mkdir "$dir/run"
echo "autospawn = no" > "$dir/client.conf"
printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' > "$dir/alsa.conf"
export PULSE_SERVER=unix:$dir/run/native PULSE_CLIENTCONFIG=$dir/client.conf HOME=$dir
export PULSE_RUNTIME_PATH=$dir/run XDG_RUNTIME_DIR=$dir/run ALSA_CONFIG_PATH=$dir/alsa.conf

pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=false --log-level=error \
    -L "module-null-sink sink_name=tone rate=8000 channels=1 format=s16le" \
    -L "module-native-protocol-unix socket=$dir/run/native auth-anonymous=1" &
for _ in $(seq 100); do [[ -S $dir/run/native ]] && break; sleep 0.05; done
# A steady signal, endlessly.
head -c 16000 /dev/zero | tr '\0' '\1' > "$dir/second.raw"
(while cat "$dir/second.raw"; do :; done) |
    pacat --playback --rate=8000 --channels=1 --format=s16le --device=tone --latency-msec=100 &
sleep 1

cpu() {  # user+sys seconds of a command
    /usr/bin/time -f "%U %S" -o "$dir/time" "$@" >/dev/null 2>&1 || true
    awk '{printf "%.3f", $1 + $2}' "$dir/time"
}
for round in $(seq "$rounds"); do
    rm -f "$dir/t.wav" "$dir/a.wav"
    t=$(cpu "$program" record "$dir/t.wav" --seconds "$seconds")
    a=$(cpu arecord -q -D default -f S16_LE -r 8000 -c 1 -d "$seconds" "$dir/a.wav")
    echo "round $round: tamberlyn record ${t} s, arecord ${a} s CPU over ${seconds} s;" \
         "ratio $(awk -v t="$t" -v a="$a" 'BEGIN { printf "%.2f", t / a }') (target <= 1.5)"
done
