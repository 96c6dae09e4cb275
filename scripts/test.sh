#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
# The Python package, from the build tree, with Debian's interpreter.
if [ -d "$build/python/vesk_music" ]; then
  build_path=$(cd "$build" && pwd)
  PYTHONPATH="$build_path/python" BUILD_DIR="$build_path" /usr/bin/python3 -m pytest -q \
    -p no:cacheprovider python/tests
fi
