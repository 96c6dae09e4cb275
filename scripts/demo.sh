#!/usr/bin/env bash
# Sets everything up on a fresh machine and tracks the bundled demo clip:
# installs the Debian packages, builds what the README uses (the tool, the
# library, the Vamp plug-in and the Python package), then prints the beats as
# they are found and a summary, and draws the plot to demo-plot.svg.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target vesk-beat vesk-music vesk-music-vamp vesk-python
build/apps/vesk-beat/vesk-beat demo/demo.flac --plot demo-plot.svg --reference demo/demo.beats.txt \
  --beats demo-beats.txt "$@"
echo "beats written to demo-beats.txt, plot to demo-plot.svg (black ticks: the exact beats, demo/demo.beats.txt)"
echo "also built: the Vamp plug-in in build/vamp, the Python package in build/python"
