#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
# The Python package, from the build tree, with Debian's interpreter. It is
# built whenever pybind11 is there (install-deps.sh installs it), so a missing
# package is a failure, not a reason to skip its tests.
case " $* " in *" -DVESK_BUILD_PYTHON=OFF "*) exit 0 ;; esac
if [ ! -d "$build/python/vesk_music" ]; then
  echo "test.sh: the Python package was not built ($build/python/vesk_music missing)" >&2
  exit 1
fi
build_path=$(cd "$build" && pwd)
PYTHONPATH="$build_path/python" BUILD_DIR="$build_path" /usr/bin/python3 -m pytest -q \
  -p no:cacheprovider python/tests
