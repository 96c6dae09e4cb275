#!/usr/bin/env bash
# Leak check of vesk-beat under valgrind memcheck: streams SECONDS (default 120)
# of generated music through the tool's standard input, and fails on any
# definite or indirect leak and on any memory error.
# Usage: bench/soak/leak_check.sh VESK_BEAT [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tool=${1:?usage: leak_check.sh VESK_BEAT [SECONDS]}
seconds=${2:-120}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
python3 "$here/make_music.py" "$seconds" |
  valgrind --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=99 --log-file="$log" \
    "$tool" --raw s16le:16000:1 --format csv - >/dev/null 2>&1 || status=$?
grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|still reachable|All heap blocks" "$log" |
  sed 's/^==[0-9]*== *//'
if [ "$status" -ne 0 ]; then
  echo "leak check FAILED (exit status $status):"
  cat "$log"
  exit 1
fi
echo "leak check passed: $seconds s of audio, no leaks, no memory errors"
