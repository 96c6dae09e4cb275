#!/usr/bin/env bash
# Checks that two builds of vesk-beat give the same results: for every file,
# every beat (also those below the threshold) and every line of the tracker's
# diagnostic files must be byte for byte the same. Use it before and after a
# change that must not change results.
# Usage: bench/compare_builds.sh OLD_VESK_BEAT NEW_VESK_BEAT FILE... [-- OPTION...]
set -euo pipefail
old="$1"
new="$2"
shift 2
files=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do files+=("$1"); shift; done
[ "${1:-}" = "--" ] && shift
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
differing=0
for f in "${files[@]}"; do
  for side in old new; do
    tool="$old"; [ "$side" = new ] && tool="$new"
    mkdir -p "$work/$side"
    "$tool" --quiet --all-beats --format csv --log-dir "$work/$side/log" "$@" "$f" > "$work/$side/beats.csv"
  done
  if diff -rq "$work/old" "$work/new" > /dev/null; then
    echo "same $f: $(wc -l < "$work/new/beats.csv") beats"
  else
    echo "DIFFERENT $f:"
    diff -rq "$work/old" "$work/new" | head -5
    differing=$((differing + 1))
  fi
  rm -rf "$work/old" "$work/new"
done
echo "${#files[@]} files, $differing differing"
[ "$differing" -eq 0 ]
