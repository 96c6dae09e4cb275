#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and evaluates with.
# Run as root (or through sudo). Pass --eval to add the evaluation tools,
# --screenshot for what scripts/vamp-screenshot.sh needs.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  exec sudo "$0" "$@"
fi
packages=(build-essential cmake ninja-build pkg-config
  libboost-system-dev libboost-thread-dev libfftw3-dev libsndfile1-dev libsoxr-dev
  libasound2-dev alsa-utils jackd2 libjack-jackd2-dev
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev python3
  vamp-plugin-sdk vamp-examples help2man libcli11-dev libutfcpp-dev
  python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-setuptools
  python3-pip python3-wheel python3-venv python3-dask python3-distributed python3-tqdm
  python3-pyaudio python3-scipy)
if [ "${1:-}" = "--eval" ]; then
  packages+=(fluidsynth fluid-soundfont-gm timgm6mb-soundfont musescore-general-soundfont-small
    opl3-soundfont aubio-tools python3-mir-eval python3-numpy
    python3-scipy python3-matplotlib python3-mido hyperfine sox valgrind time)
fi
if [ "${1:-}" = "--screenshot" ]; then
  packages+=(sonic-visualiser xvfb xauth imagemagick)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
