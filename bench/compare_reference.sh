#!/usr/bin/env bash
# Runs the fast and the reference engine stages side by side on every file of the
# evaluation corpus (built first when missing) and reports per file whether every
# frame's interval, reliability, beat times, beat flag and tempo agree.
# Usage: bench/compare_reference.sh [BUILD_DIR] [FILE...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
shift || true
ninja -C "$build" compare-reference > /dev/null
files=("$@")
if [ "${#files[@]}" -eq 0 ]; then
  [ -f "$root/eval/corpus/index.json" ] || /usr/bin/python3 "$root/eval/make_corpus.py"
  mapfile -t files < <(find "$root/eval/corpus" -name '*.wav' -o -name '*.flac' | sort)
fi
"$build/bench/compare-reference" "${files[@]}"
