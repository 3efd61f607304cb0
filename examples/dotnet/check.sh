#!/usr/bin/env bash
# Builds the .NET example with Mono's C# compiler and runs it on Linux against the library:
# shortening a file and recording through ALSA's file plugin, under names a Latin-1 code page
# could not hold.
# The engine's interface is checked the same way: shortening, the detector, inspection, the
# recorder with its events and a failure's exception; and its documentation comments.
#   check.sh LIBRARY ENGINE_LIBRARY WORKDIR
set -euo pipefail
library=$1
engine=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work"
mcs -nologo -warnaserror -doc:"$work/tamberlyn.xml" -out:"$work/tamberlyn-example.exe" \
    "$here/Tamberlyn.cs" "$here/TamberlynEngine.cs" "$here/Program.cs"
grep -q '<member name="M:Tamberlyn.Engine.Shorten' "$work/tamberlyn.xml"
cat > "$work/tamberlyn-example.exe.config" <<CONFIG
<configuration>
  <dllmap dll="TAMBERLYN" target="$library"/>
  <dllmap dll="tamberlyn-engine" target="$engine"/>
</configuration>
CONFIG
printf 'pcm.!default { type file slave.pcm { type null } infile "/dev/zero" file "/dev/null" }\n' \
    > "$work/zeros.conf"
export LANG=C.UTF-8 ALSA_CONFIG_PATH="$work/zeros.conf"
cd "$work"
cp "$here/../dictation.wav" "диктовка.wav"
mono tamberlyn-example.exe silence "диктовка.wav" "短い-ß.wav"
[[ $(stat -c %s "短い-ß.wav") -lt $(stat -c %s "диктовка.wav") ]]
# The file plugin delivers zeros as fast as they are read: a few hundredths of a second will do.
mono tamberlyn-example.exe record "запись-録音.wav" 0.02
[[ $(stat -c %s "запись-録音.wav") -ge $((44 + 16000)) ]]
[[ $(head -c 4 "запись-録音.wav") == RIFF ]]

# The engine: the same cuts from the file and from its samples in memory.
shortened=$(mono tamberlyn-example.exe shorten "диктовка.wav" "auto-短い.wav")
detected=$(mono tamberlyn-example.exe detect "диктовка.wav")
[[ ${shortened##* in } == "${detected#detected }" ]]
mono tamberlyn-example.exe info "auto-短い.wav" | grep -q "16-bit PCM, 8000 Hz, state 0"
[[ $(mono tamberlyn-example.exe listen "engine-録音.wav" 2) == "listened 2 s, 2 block events" ]]
if mono tamberlyn-example.exe shorten "no-such.wav" "x.wav" 2> failure.txt; then exit 1; fi
grep -q "^'no-such.wav': .*(status 3, system 2)$" failure.txt
echo "dotnet example ok"
