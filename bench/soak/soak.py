#!/usr/bin/env python3
"""Soak run of vesk-beat: streams generated music through the tool's standard
input and samples the tool's resident memory while it works.

Reports the resident set size (VmRSS) at the start and the end of the run, its
growth over the second half, the frames processed, the beats reported and every
line the tool wrote on standard error, and writes them to a Markdown file.

Usage: soak.py --tool PATH [--seconds 3600] [--interval 2] [--results RESULTS.md]
"""

import argparse
import os
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
RATE = 16000
HOP = 160  # the tool's default hop: 100 frames per second


def rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def slope_per_hour(points):
    """Least-squares slope of (seconds of audio, KiB), in KiB per hour of audio."""
    if len(points) < 2:
        return 0.0
    n = len(points)
    mx = sum(p[0] for p in points) / n
    my = sum(p[1] for p in points) / n
    sxx = sum((p[0] - mx) ** 2 for p in points)
    if sxx == 0:
        return 0.0
    return sum((p[0] - mx) * (p[1] - my) for p in points) / sxx * 3600.0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--seconds", type=float, default=3600.0)
    ap.add_argument("--interval", type=float, default=2.0)
    ap.add_argument("--results", default=os.path.join(HERE, "RESULTS.md"))
    args = ap.parse_args()

    gen = subprocess.Popen([sys.executable, os.path.join(HERE, "make_music.py"),
                            str(args.seconds), str(RATE)], stdout=subprocess.PIPE)
    # Counts the bytes on their way to the tool, to know how far the audio got.
    tool = subprocess.Popen([args.tool, "--raw", f"s16le:{RATE}:1", "--format", "csv", "-"],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    fed = [0]

    def feed():
        try:
            while True:
                chunk = gen.stdout.read(65536)
                if not chunk:
                    break
                tool.stdin.write(chunk)
                fed[0] += len(chunk)
        except BrokenPipeError:
            pass
        finally:
            try:
                tool.stdin.close()
            except BrokenPipeError:
                pass

    beats = [0]

    def count_beats():
        for line in tool.stdout:
            if line.strip() and not line.startswith(b"file,"):
                beats[0] += 1

    errors = []

    def read_errors():
        for line in tool.stderr:
            errors.append(line.decode(errors="replace").rstrip())

    threads = [threading.Thread(target=f, daemon=True) for f in (feed, count_beats, read_errors)]
    for t in threads:
        t.start()
    start = time.monotonic()
    samples = []  # (seconds of audio fed, seconds of wall time, KiB)
    while tool.poll() is None:
        kib = rss_kib(tool.pid)
        if kib is not None:
            samples.append((fed[0] / 2 / RATE, time.monotonic() - start, kib))
        time.sleep(args.interval)
    wall = time.monotonic() - start
    for t in threads:
        t.join()
    gen.wait()

    audio_seconds = fed[0] / 2 / RATE
    frames = -(-int(fed[0] / 2) // HOP)
    # The start is the first sample after the first minute of audio, once the
    # engine's histories are allocated and filled; the end is the last sample.
    settled = [s for s in samples if s[0] >= 60.0] or samples
    first, last = settled[0], settled[-1]
    half = [(s[0], s[2]) for s in settled if s[0] >= audio_seconds / 2]
    peak = max(s[2] for s in samples)
    summary = [line for line in errors if line.strip()]

    lines = [
        "# Soak run of vesk-beat",
        "",
        f"Command: `make_music.py {args.seconds:g} | vesk-beat --raw s16le:{RATE}:1 --format csv -`",
        "(music-like audio: drums, bass and chords at 70-170 BPM and changing levels, with",
        "digital silences, near-silent noise, clipped passages and fades; bench/soak/soak.py).",
        "",
        "| Figure | Value |",
        "|---|---|",
        f"| audio streamed | {audio_seconds:.0f} s ({audio_seconds / 3600:.2f} h) |",
        f"| frames processed (hop {HOP} at {RATE} Hz) | {frames} |",
        f"| wall time | {wall:.0f} s ({audio_seconds / wall:.0f}x real time) |",
        f"| exit status | {tool.returncode} |",
        f"| beats reported | {beats[0]} |",
        f"| RSS samples (every {args.interval:g} s) | {len(samples)} |",
        f"| RSS at start (first sample after 60 s of audio, at {first[0]:.0f} s) | {first[2]} KiB |",
        f"| RSS at end (at {last[0]:.0f} s of audio) | {last[2]} KiB |",
        f"| growth start to end | {last[2] - first[2]:+d} KiB |",
        f"| trend over the second half (least squares) | {slope_per_hour(half):+.0f} KiB per hour |",
        f"| peak RSS | {peak} KiB |",
        "",
        "Standard error of the tool (warnings, summary):",
        "",
        "```",
        *(summary if summary else ["(nothing)"]),
        "```",
        "",
        "RSS over the run (seconds of audio, KiB), every tenth sample:",
        "",
        "```",
        *[f"{s[0]:7.0f} {s[2]}" for s in samples[::10]],
        "```",
    ]
    text = "\n".join(lines) + "\n"
    with open(args.results, "w") as f:
        f.write(text)
    print(text)
    return 0 if tool.returncode == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
