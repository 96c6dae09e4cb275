#!/usr/bin/env bash
# Resident memory of vesk-beat on an endless stream: a generated 3-minute
# 16 kHz file's samples, repeated REPEATS times (200: 10 hours of audio), go
# through a pipe into `vesk-beat --raw s16le:16000:1 -` as fast as it takes
# them; its VmRSS is read every 0.2 s. Prints the first after one second
# (start-up over), the last and the largest.
# Usage: bench/stream_memory.sh [BUILD_DIR] [REPEATS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
repeats="${2:-200}"
tool="$build/apps/vesk-beat/vesk-beat"
py=/usr/bin/python3
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$py" "$root/bench/make_test_audio.py" "$work/music.wav" --rate 16000 --seconds 180
mkfifo "$work/pipe"
"$py" -c '
import sys
samples = open(sys.argv[1], "rb").read()[44:]  # the generator writes a 44-byte header
with open(sys.argv[2], "wb") as out:
    for _ in range(int(sys.argv[3])):
        out.write(samples)
' "$work/music.wav" "$work/pipe" "$repeats" &
feeder=$!
"$tool" --quiet --raw s16le:16000:1 - < "$work/pipe" > "$work/beats.txt" &
pid=$!
rss=()
while kill -0 "$pid" 2> /dev/null; do
  r="$(awk '/VmRSS/ {print $2}' "/proc/$pid/status" 2> /dev/null || true)"
  [ -n "$r" ] && rss+=("$r")
  sleep 0.2
done
wait "$pid"
wait "$feeder"
rss=("${rss[@]:5}")
printf '%d x 180 s streamed (%d beats), %d samples of VmRSS after the first second: first %s KB, last %s KB, peak %s KB\n' \
  "$repeats" "$(grep -c '^beat' "$work/beats.txt")" "${#rss[@]}" "${rss[0]}" "${rss[-1]}" \
  "$(printf '%s\n' "${rss[@]}" | sort -n | tail -1)"
