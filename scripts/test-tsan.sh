#!/usr/bin/env bash
# Builds the engine and node tests with ThreadSanitizer in their own build
# directory and runs them there; any report of a race fails. The engine and the
# node are what a host runs in several threads at once.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${BUILD_DIR:-build-tsan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESK_TSAN=ON \
  -DVESK_BUILD_BENCHMARKS=OFF -DVESK_BUILD_PYTHON=OFF "-DVESK_TEST_AREAS=engine;node"
cmake --build "$build"
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
