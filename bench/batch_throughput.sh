#!/usr/bin/env bash
# Batch throughput: N generated 3-minute files (16 kHz by default, tempi and
# patterns varied) tracked by `vesk-beat -j 2`, by the Dask batch
# (`python3 -m vesk_music.batch --workers 2`, a local cluster of two worker
# processes, its start included) and by aubiotrack run two at a time on the
# same files. The three take turns round after round (the load of a shared
# machine drifts); prints the median wall time of each with files per second,
# and its processor time (what bounds throughput when other jobs share the
# cores).
# Usage: bench/batch_throughput.sh [BUILD_DIR] [FILES] [ROUNDS] [RATE]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
count="${2:-40}"
rounds="${3:-3}"
rate="${4:-16000}"
tool="$build/apps/vesk-beat/vesk-beat"
py=/usr/bin/python3
for p in aubiotrack "$tool"; do
  command -v "$p" > /dev/null || { echo "missing $p" >&2; exit 1; }
done
[ -d "$build/python/vesk_music" ] || { echo "the Python package is not built in $build" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

files=()
for i in $(seq 1 "$count"); do
  f="$work/in/music_$i.wav"
  mkdir -p "$work/in"
  "$py" "$root/bench/make_test_audio.py" "$f" --rate "$rate" --seconds 180 \
    --bpm $((84 + (i * 7) % 80)) --rng-start "$i"
  files+=("$f")
done

# Each command writes to a folder of its own, emptied first (the Dask batch
# skips files whose outputs are there).
fresh='rm -rf "$0" && mkdir -p "$0" && exec "$@"'
"$py" "$root/bench/alternating_timer.py" --runs "$rounds" --warmup 0 --json "$work/t.json" -- \
  sh -c "$fresh" "$work/j2" "$tool" --quiet -j 2 --beats "$work/j2/{}.txt" "${files[@]}" -- \
  sh -c "$fresh" "$work/dask" env PYTHONPATH="$build/python" "$py" -m vesk_music.batch \
    --quiet --workers 2 --out "$work/dask" "${files[@]}" -- \
  sh -c 'printf "%s\n" "$@" | xargs -P 2 -n 1 aubiotrack -i' sh "${files[@]}" > /dev/null

printf '%d files of 180 s at %d Hz, median of %d rounds taken in turn\n' "$count" "$rate" "$rounds"
"$py" - "$work/t.json" "$count" << 'EOF'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
count = int(sys.argv[2])
names = ["vesk-beat -j 2", "Dask batch, 2 workers", "aubiotrack, two at a time"]
aubio = results[2]
print("%-27s %8s %9s %8s %12s %8s" % ("", "wall s", "files/s", "ratio", "processor s", "ratio"))
for name, r in zip(names, results):
    print("%-27s %8.2f %9.1f %7.2fx %12.2f %7.2fx" % (
        name, r["median"], count / r["median"], aubio["median"] / r["median"],
        r["cpu_median"], aubio["cpu_median"] / r["cpu_median"]))
print("(ratio: aubiotrack's time / this one's; processor time: user + system of every process)")
EOF
