#!/usr/bin/env bash
# Runs the fast and the reference engine stages side by side on every file of the
# evaluation corpus (built first when missing) and reports per file whether every
# frame's interval, reliability, beat times, beat flag and tempo agree. The
# settings are the tool's defaults (80 ... 200 BPM, threshold 0.4) unless given.
# Usage: bench/compare_reference.sh [BUILD_DIR] [--bpm MIN MAX] [--threshold T] [FILE...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
shift || true
options=()
while [ $# -gt 0 ]; do
  case "$1" in
    --bpm) options+=("$1" "$2" "$3"); shift 3 ;;
    --threshold) options+=("$1" "$2"); shift 2 ;;
    *) break ;;
  esac
done
ninja -C "$build" compare-reference > /dev/null
files=("$@")
if [ "${#files[@]}" -eq 0 ]; then
  [ -f "$root/eval/corpus/index.json" ] || /usr/bin/python3 "$root/eval/make_corpus.py"
  mapfile -t files < <(find "$root/eval/corpus" -name '*.wav' -o -name '*.flac' | sort)
fi
"$build/bench/compare-reference" "${options[@]}" "${files[@]}"
