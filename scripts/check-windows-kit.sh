#!/usr/bin/env bash
# The Windows kit as a developer gets it: made by cpack from the `windows` build, unpacked
# elsewhere, checked for its files, and used alone: a C program built against it with MinGW (once
# with each import library) and run under Wine, and the program it carries.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows
(cd "$build" && cpack >/dev/null)
kit=$(mktemp -d)
trap 'rm -rf "$kit"' EXIT
unzip -q "$build"/tamberlyn-*-win64.zip -d "$kit"
root=$(echo "$kit"/tamberlyn-*-win64)
for file in bin/TAMBERLYN.dll bin/tamberlyn-engine.dll bin/tamberlyn.exe include/tamberlyn.h \
            include/tamberlyn_engine.h lib/TAMBERLYN.def lib/libTAMBERLYN.dll.a lib/TAMBERLYN.lib \
            lib/tamberlyn-engine.def lib/libtamberlyn-engine.dll.a lib/tamberlyn-engine.lib \
            dotnet/TamberlynEngine.cs README.md copyright; do
    [[ -f $root/$file ]] || { echo "the kit lacks $file" >&2; exit 1; }
done
llvm-nm "$root/lib/TAMBERLYN.lib" | grep -q ' T WAVSilence$' ||
    { echo "TAMBERLYN.lib does not import WAVSilence" >&2; exit 1; }
llvm-nm "$root/lib/tamberlyn-engine.lib" | grep -q ' T tamberlyn_shorten_file$' ||
    { echo "tamberlyn-engine.lib does not import tamberlyn_shorten_file" >&2; exit 1; }

cc=x86_64-w64-mingw32-gcc-posix
$cc -std=c99 -Wall -Wextra -Werror -I "$root/include" tests/consumer/consumer.c \
    -L "$root/lib" -lTAMBERLYN -o "$kit/consumer.exe"
$cc -std=c99 -Wall -Wextra -Werror -I "$root/include" tests/consumer/consumer.c \
    "$root/lib/TAMBERLYN.lib" -o "$kit/consumer-lib.exe"
$cc -std=c89 -pedantic -Wall -Wextra -Werror -I "$root/include" tests/consumer/engine_consumer.c \
    "$root/lib/tamberlyn-engine.lib" -o "$kit/engine-consumer.exe"
cp "$root/bin/TAMBERLYN.dll" "$root/bin/tamberlyn-engine.dll" "$kit/"
export WINEPREFIX=$PWD/$build/wineprefix
for program in consumer.exe consumer-lib.exe; do
    [[ $(scripts/wine-run "$kit/$program" | tr -d '\r') == "consumer ok" ]] ||
        { echo "$program failed under Wine" >&2; exit 1; }
done
# It makes its input and output in the folder it runs in.
repo=$PWD
[[ $(cd "$kit" && "$repo"/scripts/wine-run ./engine-consumer.exe | tr -d '\r') == \
   "engine consumer ok"* ]] || { echo "engine-consumer.exe failed under Wine" >&2; exit 1; }
[[ $(scripts/wine-run "$root/bin/tamberlyn.exe" --version | tr -d '\r') == "tamberlyn "* ]]
echo "windows kit ok: $(basename "$build"/tamberlyn-*-win64.zip)"
