#!/usr/bin/env bash
# Builds the Debian packages, installs them with apt (so that their dependencies resolve), checks
# the program, its manual page and completion, the Python package in a fresh shell, builds
# consumers of both libraries against the development package with pkg-config and with CMake,
# runs lintian, and purges the packages again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(python3-tamberlyn tamberlyn libtamberlyn-dev libtamberlyn-engine1 libtamberlyn1)
for p in "${packages[@]}"; do
    if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        echo "check-packages: $p is installed already; remove it first" >&2
        exit 1
    fi
done

rm -rf build/deb
cmake --workflow --preset deb
debs=(build/deb/libtamberlyn1_*.deb build/deb/libtamberlyn-engine1_*.deb
      build/deb/libtamberlyn-dev_*.deb build/deb/tamberlyn_*.deb build/deb/python3-tamberlyn_*.deb)

echo "--- lintian"
lintian --fail-on error "${debs[@]}"

scratch=$(mktemp -d)
purge() {
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${packages[@]}" </dev/null >/dev/null || true
    rm -rf "$scratch"
}
trap purge EXIT

echo "--- install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${debs[@]/#/./}" </dev/null
for p in "${packages[@]}"; do dpkg -L "$p" | grep -v '^/\.$' | sed "s|^|$p: |"; done

echo "--- program, manual page, completion"
tamberlyn --version
man -w tamberlyn
MANWIDTH=80 man --warnings tamberlyn 2>&1 >/dev/null | (! grep .)
bash -c 'source /usr/share/bash-completion/completions/tamberlyn
         COMP_WORDS=(tamberlyn si); COMP_CWORD=1; _tamberlyn; [[ ${COMPREPLY[*]} == silence ]]
         COMP_WORDS=(tamberlyn silence --th); COMP_CWORD=2; _tamberlyn; [[ ${COMPREPLY[*]} == --threshold ]]'
tamberlyn silence examples/dictation.wav "$scratch/short.wav"

echo "--- the Python package, in a fresh shell"
env -i PATH=/usr/bin:/bin HOME="$scratch" /usr/bin/python3 -c '
import sys, tamberlyn
r = tamberlyn.shorten(sys.argv[1], sys.argv[2] + "/py.wav")
assert r.seconds_in == 30.0 and r.cuts, r
print("import tamberlyn:", tamberlyn.engine_version(), r.seconds_out, "s")' \
    examples/dictation.wav "$scratch"
cmp "$scratch/py.wav" <(tamberlyn silence examples/dictation.wav - --threshold auto 2>/dev/null)

echo "--- consumers of the development package"
cc tests/consumer/consumer.c $(pkg-config --cflags --libs tamberlyn) -o "$scratch/pc-consumer"
"$scratch/pc-consumer"
cc tests/consumer/engine_consumer.c $(pkg-config --cflags --libs tamberlyn-engine) \
    -o "$scratch/pc-engine-consumer"
(cd "$scratch" && ./pc-engine-consumer)
cmake -S tests/consumer -B "$scratch/cmake-consumer" >/dev/null
cmake --build "$scratch/cmake-consumer" >/dev/null
"$scratch/cmake-consumer/consumer"
(cd "$scratch" && cmake-consumer/engine_consumer)

echo "--- purge"
purge
trap - EXIT
for p in "${packages[@]}"; do
    if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "installed"; then
        echo "check-packages: $p is still installed" >&2
        exit 1
    fi
done
[[ ! -e /usr/bin/tamberlyn && ! -e /usr/lib/python3/dist-packages/tamberlyn ]]
echo "packages built, installed, used and removed"
