#!/usr/bin/env bash
# Builds the .NET example with Mono's C# compiler and runs it on Linux against the library:
# shortening a file and recording through ALSA's file plugin, under names a Latin-1 code page
# could not hold.
#   check.sh LIBRARY WORKDIR
set -euo pipefail
library=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work"
mcs -nologo -warnaserror -out:"$work/tamberlyn-example.exe" "$here/Tamberlyn.cs" "$here/Program.cs"
cat > "$work/tamberlyn-example.exe.config" <<CONFIG
<configuration>
  <dllmap dll="TAMBERLYN" target="$library"/>
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
echo "dotnet example ok"
