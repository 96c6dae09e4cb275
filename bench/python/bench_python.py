#!/usr/bin/python3
"""Speed of the Python package: the batch with 1 and 2 local workers on the
same 40 files, and track_file against vesk-beat on one 3-minute file.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/bench_python.py [--build build]
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
import wave

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from make_test_audio import render  # noqa: E402


def write_wav(path, seconds, bpm, variant, rate=44100):
    pcm = (np.clip(render(rate, seconds, bpm, variant), -1, 1) * 32767).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(pcm.tobytes())


def batch_throughput(files, workers):
    from distributed import Client

    from vesk_music.batch import run_batch
    from vesk_music.batch.cluster import local_cluster

    with local_cluster(workers) as cluster, Client(cluster) as client:
        client.run(lambda: __import__("vesk_music"))  # the plug-in loaded before the clock
        with tempfile.TemporaryDirectory() as out:
            report = run_batch(files, out, client, progress=False)
    assert len(report.done) == len(files), report.text()
    return report


def _track(path):
    # As a batch worker tracks: no reading thread, one input per core.
    from vesk_music import _native, _plugin
    from vesk_music.settings import make_config

    _plugin.load()
    return _native.track_file(path, make_config({}), read_ahead=False)["summary"]["duration"]


def pool_throughput(files, processes):
    """The same files over plain processes, without Dask: what the machine scales to."""
    from concurrent.futures import ProcessPoolExecutor

    with ProcessPoolExecutor(processes) as pool:
        list(pool.map(_track, files[:processes]))  # imported and warm before the clock
        start = time.perf_counter()
        seconds = sum(pool.map(_track, files))
        return seconds / (time.perf_counter() - start)


def median_seconds(run, repeats):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--build", default="build")
    p.add_argument("--files", type=int, default=40)
    p.add_argument("--seconds", type=float, default=180.0, help="of each batch file")
    p.add_argument("--repeats", type=int, default=7)
    p.add_argument("--batch-repeats", type=int, default=3)
    a = p.parse_args()
    tool = os.path.join(a.build, "apps", "vesk-beat", "vesk-beat")

    import vesk_music

    with tempfile.TemporaryDirectory() as work:
        song = os.path.join(work, "three-minutes.wav")
        write_wav(song, 180.0, 118.0, 7)
        tool_time = median_seconds(lambda: subprocess.run(
            [tool, "-q", song], check=True, stdout=subprocess.DEVNULL), a.repeats)
        call_time = median_seconds(lambda: vesk_music.track_file(song), a.repeats)
        process_time = median_seconds(lambda: subprocess.run(
            [sys.executable, "-c", f"import vesk_music; vesk_music.track_file({song!r})"],
            check=True), a.repeats)
        print(f"3-minute file, median of {a.repeats}: vesk-beat {tool_time:.3f} s, "
              f"track_file {call_time:.3f} s ({call_time / tool_time:.2f}x), "
              f"python3 -c 'import vesk_music; track_file()' {process_time:.3f} s")

        files = []
        for i in range(a.files):
            files.append(os.path.join(work, f"song{i:02d}.wav"))
            write_wav(files[-1], a.seconds, 90.0 + i, 100 + i)
        # Alternated, best of `--batch-repeats`: the machine's other load varies.
        runs = {1: [], 2: []}
        pools = {1: [], 2: []}
        for _ in range(a.batch_repeats):
            for n in runs:
                runs[n].append(batch_throughput(files, n))
                pools[n].append(pool_throughput(files, n))
        one, two = (max(runs[n], key=lambda r: r.throughput) for n in (1, 2))
        for n, r in ((1, one), (2, two)):
            print(f"batch of {a.files} x {a.seconds:.0f} s, {n} worker(s), best of "
                  f"{a.batch_repeats}: {r.wall_seconds:.2f} s, {r.throughput:.0f}x real time")
        print(f"2 workers / 1 worker: {two.throughput / one.throughput:.2f}x; the same files "
              f"in 2 plain processes / 1 (no Dask, no outputs): "
              f"{max(pools[2]) / max(pools[1]):.2f}x")


if __name__ == "__main__":
    main()
