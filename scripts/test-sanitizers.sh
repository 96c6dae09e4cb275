#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer in its
# own build directory and runs the whole test suite there; any report fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${BUILD_DIR:-build-asan}
# The install check links an outside program against the library, which an
# instrumented library would need instrumented too; it runs in the plain build.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESK_SANITIZE=ON \
  -DVESK_BUILD_BENCHMARKS=OFF -DVESK_BUILD_PYTHON=OFF "-DVESK_TEST_AREAS=host;node;engine;voice_cancel;messages;conditioning;tracking;app;vamp"
cmake --build "$build"
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
