#!/usr/bin/env bash
# Times vesk-beat (default settings, --quiet, beats to a file) against aubio's
# aubiotrack, wall and processor time, on the same generated 3-minute file at
# 16 kHz and 44.1 kHz, their runs alternating (median of several; see
# bench/alternating_timer.py), measures the peak resident memory of both, and
# times a batch of files with -j 1 against -j 2.
# Usage: bench/compare_aubio.sh [BUILD_DIR] [RUNS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
runs="${2:-7}"
tool="$build/apps/vesk-beat/vesk-beat"
ninja -C "$build" vesk-beat vesk-music > /dev/null
for p in aubiotrack /usr/bin/time; do
  command -v "$p" > /dev/null || { echo "missing $p: run scripts/install-deps.sh --eval" >&2; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
py=/usr/bin/python3

timer="$root/bench/alternating_timer.py"
median() {  # median wall time in seconds of command N of a timing JSON file (KEY: another median)
  "$py" -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][int(sys.argv[2])][sys.argv[3]])' \
    "$1" "$2" "${3:-median}"
}

printf '%-10s %12s %12s %8s %10s %10s %8s %14s %14s\n' input vesk-beat_s aubiotrack_s ratio \
  vesk_cpu_s aubio_cpu_s cpu_ratio vesk_rss_KB aubio_rss_KB
for rate in 16000 44100; do
  wav="$work/test_$rate.wav"
  "$py" "$root/bench/make_test_audio.py" "$wav" --rate "$rate" --seconds 180
  "$py" "$timer" --runs "$runs" --json "$work/h_$rate.json" \
    -- "$tool" --quiet --beats "$work/vesk_$rate.txt" "$wav" -- aubiotrack -i "$wav" > /dev/null
  tv="$(median "$work/h_$rate.json" 0)"
  ta="$(median "$work/h_$rate.json" 1)"
  cv="$(median "$work/h_$rate.json" 0 cpu_median)"
  ca="$(median "$work/h_$rate.json" 1 cpu_median)"
  rv="$( { /usr/bin/time -f %M "$tool" --quiet --beats "$work/v.txt" "$wav" > /dev/null; } 2>&1 | tail -1)"
  ra="$( { /usr/bin/time -f %M aubiotrack -i "$wav" > /dev/null; } 2>&1 | tail -1)"
  printf '%-10s %12.3f %12.3f %8.2f %10.3f %10.3f %8.2f %14s %14s\n' "$rate Hz" "$tv" "$ta" \
    "$("$py" -c "print($ta / $tv)")" "$cv" "$ca" "$("$py" -c "print($cv / $ca)")" "$rv" "$ra"
done
echo "(ratio: aubiotrack's wall time / vesk-beat's; cpu_ratio: vesk-beat's processor time"
echo " (user + system, both threads) / aubiotrack's)"

# Batch: four 60 s files at different tempi, one process, -j 1 against -j 2.
batch=()
for bpm in 92 108 124 140; do
  f="$work/batch_$bpm.wav"
  "$py" "$root/bench/make_test_audio.py" "$f" --rate 44100 --seconds 60 --bpm "$bpm"
  batch+=("$f")
done
mkdir -p "$work/out1" "$work/out2"
"$py" "$timer" --runs "$runs" --json "$work/batch.json" \
  -- "$tool" --quiet -j 1 --beats "$work/out1/{}.txt" "${batch[@]}" \
  -- "$tool" --quiet -j 2 --beats "$work/out2/{}.txt" "${batch[@]}" > /dev/null
t1="$(median "$work/batch.json" 0)"
t2="$(median "$work/batch.json" 1)"
printf 'batch of 4 x 60 s at 44.1 kHz: -j 1 %.3f s, -j 2 %.3f s, speed-up %.2f (goal close to 2)\n' \
  "$t1" "$t2" "$("$py" -c "print($t1 / $t2)")"
