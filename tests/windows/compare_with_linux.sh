#!/usr/bin/env bash
# tamberlyn.exe under Wine against the Linux program, on the same inputs in folders of their own:
# the same output files, the same standard output and the same exit codes, names outside
# Latin-1 included.
#   compare_with_linux.sh LINUX_PROGRAM WINDOWS_PROGRAM WINE_RUN WORKDIR
set -euo pipefail
linux=$1
windows=$2
wine_run=$3
work=$4
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
export LANG=C.UTF-8
rm -rf "$work" && mkdir -p "$work/inputs" "$work/linux" "$work/windows"

# Inputs: the example dictation, a noisy 44.1 kHz stereo take with chunks around its data, and
# an unfinished recording (a placeholder, three blocks and a lone byte).
in=$work/inputs
cp "$source_dir/examples/dictation.wav" "$in/dictation.wav"
cp "$source_dir/examples/dictation.wav" "$in/диктовка-日本.wav"
sox -D -R -n -r 8000 -b 16 -c 1 "$work/noise.wav" synth 30 whitenoise vol 0.02
sox -D -R -m "$in/dictation.wav" "$work/noise.wav" -r 44100 -c 2 "$in/noisy.wav"
{ head -c 44 /dev/zero; head -c 48001 /dev/urandom; } > "$in/unfinished.wav"

failures=0
run_case() {
    local name=$1
    shift
    local side
    for side in linux windows; do
        rm -rf "$work/$side/$name" && cp -r "$in" "$work/$side/$name"
    done
    (cd "$work/linux/$name" && "$linux" "$@" > stdout.txt 2> stderr.txt; echo $? > status.txt) || true
    (cd "$work/windows/$name" && "$wine_run" "$windows" "$@" > stdout.txt 2> stderr.txt
     echo $? > status.txt) || true
    local differ
    differ=$(diff -r -q -x stderr.txt "$work/linux/$name" "$work/windows/$name" || true)
    if [[ -n $differ ]]; then
        echo "case $name ($*): the programs differ:" >&2
        echo "$differ" >&2
        failures=$((failures + 1))
    fi
}

run_case default silence dictation.wav short.wav
run_case names silence диктовка-日本.wav 短い-ß.wav
run_case auto silence noisy.wav out.wav --threshold auto --cuts cuts.txt
run_case pad silence noisy.wav out.wav --threshold -40dB --keep 0.05 --pad 0.1
run_case replaced silence dictation.wav noisy.wav
run_case info info dictation.wav noisy.wav unfinished.wav
run_case repair repair unfinished.wav
run_case missing silence absent.wav out.wav
run_case usage silence --bogus dictation.wav out.wav
# Standard input and output, through pipes.
mkdir -p "$work/linux/pipes" "$work/windows/pipes"
"$linux" silence - - < "$in/dictation.wav" > "$work/linux/pipes/out.wav" 2>/dev/null
"$wine_run" "$windows" silence - - < "$in/dictation.wav" > "$work/windows/pipes/out.wav" 2>/dev/null
cmp -s "$work/linux/pipes/out.wav" "$work/windows/pipes/out.wav" ||
    { echo "case pipes: the outputs differ" >&2; failures=$((failures + 1)); }

if ((failures > 0)); then
    exit 1
fi
echo "tamberlyn.exe matches the Linux program"
