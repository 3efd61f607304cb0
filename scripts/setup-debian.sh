#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need (as root), only when missing.
set -euo pipefail

packages=(cmake make g++ pkg-config libgtest-dev libbenchmark-dev libasound2-dev)
# A private sound server for the recording tests, reached through the ALSA pulse plugin.
packages+=(pulseaudio pulseaudio-utils libasound2-plugins)
# The Python package's tests: Debian's python3 with pytest, numpy and dask.distributed.
packages+=(python3 python3-pytest python3-numpy python3-distributed)
# Other audio types through FFmpeg's libraries; its command-line tools make the tests' files.
packages+=(libavformat-dev libavcodec-dev libavutil-dev libswresample-dev ffmpeg)
# Further packages named as arguments; `bench` names what the pause benchmark needs: espeak-ng
# and sox for its corpus, Asterisk's recorded prompts for its real voices, Node.js for WebRTC's
# and Silero's detectors.
for a in "$@"; do
    if [[ $a == bench ]]; then
        packages+=(espeak-ng sox nodejs asterisk-core-sounds-en-g722)
        command -v npm >/dev/null || packages+=(npm)  # some Node.js builds bring their own
        packages+=(asterisk-core-sounds-{es,fr,it,ru}-wav)
    else
        packages+=("$a")
    fi
done

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
