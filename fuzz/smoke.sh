#!/usr/bin/env bash
# Builds the fuzz targets with clang in their own build directory and runs each
# for a few seconds from its initial corpus; any crash, hang, leak or sanitizer
# report fails. Usage: fuzz/smoke.sh [seconds per target, default 10]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-10}
build=${FUZZ_BUILD_DIR:-build-fuzz}
case $build in /*) ;; *) build=$root/$build ;; esac
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVESK_BUILD_FUZZERS=ON -DVESK_BUILD_TESTS=OFF -DVESK_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target fuzzers

# The fuzzers add what they find to a scratch copy, never to the checked-in corpus.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
mkdir -p "$build/fuzz-artifacts"
for target in state_file audio_input engine_spectra node_frames; do
  mkdir -p "$work/$target"
  echo "fuzz_$target: ${seconds}s"
  if ! (cd "$work" && "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 \
      -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/" "$work/$target" \
      "$root/fuzz/corpus/$target" \
      >"$work/$target.log" 2>&1); then
    echo "fuzz_$target FAILED:"
    tail -n 60 "$work/$target.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units' "$work/$target.log" || true
  fi
done
exit $status
