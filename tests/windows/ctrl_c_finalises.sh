#!/usr/bin/env bash
# Ctrl-C ends `tamberlyn.exe record` in good order: Wine hands the program's console control
# handler an interrupt (SIGINT); the recording stops with every sample up to it, its header
# counts them, exit 0.
#   ctrl_c_finalises.sh WINDOWS_PROGRAM WINE_RUN WORKDIR ALSA_CONFIG
set -euo pipefail
program=$1
wine_run=$2
work=$3
export LANG=C.UTF-8 ALSA_CONFIG_PATH=$4
rm -rf "$work" && mkdir -p "$work" && cd "$work"
"$wine_run" "$program" record rec.wav > out.txt 2> err.txt &
runner=$!
for _ in $(seq 1 300); do
    [[ -f rec.wav && $(stat -c %s rec.wav) -ge $((44 + 16000)) ]] && break
    sleep 0.1
done
pkill -INT -f "tamberlyn.exe record rec.wav"
status=0
wait "$runner" || status=$?
[[ $status == 0 ]] || { echo "record ended with $status" >&2; cat err.txt >&2; exit 1; }
size=$(stat -c %s rec.wav)
data=$(od -An -tu4 -j40 -N4 rec.wav | tr -d ' ')
[[ $(head -c 4 rec.wav) == RIFF && $data == $((size - 44)) && $((data % 2)) == 0 && $data -gt 0 ]] ||
    { echo "the header does not count the samples: $data of $size" >&2; exit 1; }
if ((data % 16000 == 0)); then
    seconds="$((data / 16000)) s"
else
    seconds=$(awk -v d="$data" 'BEGIN { printf "%.2f s", d / 16000 }')
fi
grep -q "recorded $seconds to rec.wav" err.txt
echo "Ctrl-C finalised a recording of $seconds"
