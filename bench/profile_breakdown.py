#!/usr/bin/python3
"""Where the processor time of a command goes, in milliseconds per run.

Samples the command (run RUNS times) with perf's cpu-clock event every 0.2 ms of
processor time, with call chains, and puts each sample in the group of the
innermost frame that a rule names (a memmove is counted where it was called
from; a page fault with the code that touched the page). Sampling with call
chains slows the command down, so the shares are applied to its processor time
measured without perf (median of RUNS more runs). Prints one line per group:
milliseconds per run, of which in the kernel (an upper bound: perf's own cost
falls there), and the share.

Usage: bench/profile_breakdown.py [--runs N] -- COMMAND...
"""
import argparse
import collections
import os
import statistics
import subprocess
import sys
import tempfile

PERIOD_NS = 200_000

# (group, substrings of a frame's symbol or library); the first frame from the
# innermost outwards that matches any rule decides, rules in this order.
RULES = [
    ("engine (beat_tracker::)", ["beat_tracker::"]),
    ("front end (spectrum conditioning, before the node)", ["SpectrumConditioner"]),
    ("stage after the node (onset energy, beat predictor)", ["vesk_conditioning::"]),
    ("framing and FFT", ["FrameMaker::", "libfftw3", "fftw_"]),
    ("decoding and resampling", ["libsndfile", "libsoxr", "Resampler::", "readChunk",
                                 "SndfileReader", "PcmStreamReader", "libFLAC", "sf_read"]),
    ("hand-over between the threads", ["BlockQueue::", "InputPipeline::next", "futex",
                                       "pthread_cond", "schedule"]),
    ("the node (signal, spectrum, magnitudes, beat queue)",
     ["update_signal", "update_fftsignal", "Magnitudes", "BeatTracker::analyse",
      "TakeDueBeat", "QueueComingBeat", "checkFrames"]),
    ("the framework's per-frame objects and the source node",
     ["RL::", "librill-core", "AudioSourceNode::", "MatrixRecycler", "storeOutputs",
      "NodeSession::", "BeatTracker::calculate", "BeatTracker::getOutput"]),
    ("tool: tracking core and writing beats", ["TrackingCore::", "vesk_beat::", "BeatWriter"]),
    ("process start and plug-in load", ["_dl_", "dl_main", "ld-linux", "loadPlugin", "dlopen",
                                        "_GLOBAL__sub_I", "__libc_csu_init", "_init",
                                        "do_execve", "exec_binprm", "libc_start_main"]),
    ("exit and teardown", ["exit", "_fini", "__run_exit_handlers", "do_group_exit", "munmap"]),
    # Leaf functions perf could not unwind from; callgrind names their callers.
    ("engine (beat_tracker::)", ["__memcmp"]),  # its checks of kept rows and tables
    ("decoding and resampling", ["vfs_read"]),  # the input file, from the page cache
    ("kernel clearing fresh heap pages", ["clear_page", "do_huge_pmd_anonymous_page"]),
    ("memcpy, memset, malloc and free, callers not unwound",
     ["__memcpy", "__memmove", "__memset", "malloc", "_int_free", "__libc_free", "tcache"]),
]
OTHER = "other"


def classify(frames):
    for sym in frames:
        for group, keys in RULES:
            if any(k in sym for k in keys):
                return group
    return OTHER


def samples(script_text):
    """Yields (in_kernel, frames) per sample of `perf script` output."""
    frames = []
    header = False
    for line in script_text.splitlines():
        if not line.strip():
            if header:
                yield (bool(frames) and "kernel" in frames[0]), frames
            frames, header = [], False
        elif not line[0].isspace():
            frames, header = [], True
        else:
            parts = line.strip().split(None, 1)
            frames.append(parts[1] if len(parts) > 1 else parts[0])
    if header:
        yield (bool(frames) and "kernel" in frames[0]), frames


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--show-other", action="store_true", help="list the unclassified stacks")
    ap.add_argument("command", nargs=argparse.REMAINDER)
    a = ap.parse_args()
    cmd = a.command[1:] if a.command and a.command[0] == "--" else a.command
    if not cmd:
        ap.error("no command")
    with tempfile.TemporaryDirectory() as work:
        data = os.path.join(work, "perf.data")
        loop = "; ".join(["\"$@\" > /dev/null"] * a.runs)
        subprocess.run(["perf", "record", "-q", "-e", "cpu-clock", "-c", str(PERIOD_NS),
                        "--call-graph", "dwarf,16384", "-o", data, "--", "sh", "-c", loop, "sh"]
                       + cmd, check=True, stderr=subprocess.DEVNULL)
        text = subprocess.run(["perf", "script", "-i", data, "--comm", os.path.basename(cmd[0]),
                               "-F", "comm,tid,ip,sym,dso"], check=True, capture_output=True,
                              text=True).stdout
    plain = []
    for _ in range(a.runs):
        child = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, _, usage = os.wait4(child.pid, 0)
        plain.append((usage.ru_utime + usage.ru_stime) * 1e3)
    processor_ms = statistics.median(plain)
    total = collections.Counter()
    others = collections.Counter()
    kernel = collections.Counter()
    for in_kernel, frames in samples(text):
        g = classify(frames)
        if g == OTHER and a.show_other:
            others[" < ".join(f.split(" (")[0] for f in frames[:4])] += 1
        total[g] += 1
        kernel[g] += in_kernel
    for stack, c in others.most_common(25):
        print(c, stack, file=sys.stderr)
    n = sum(total.values())
    k = sum(kernel.values())
    # Taking call chains slows the command (mostly in the kernel, where the
    # stacks are copied), so the shares are applied to the processor time of
    # runs without perf; the kernel column still holds some of perf's cost.
    scale = processor_ms / n
    rows = [(g, total[g] * scale, kernel[g] * scale) for g in total]
    rows.sort(key=lambda r: -r[1])
    print("| group | ms per run | of which kernel | share |")
    print("|---|---:|---:|---:|")
    for g, ms, in_kernel in rows:
        print(f"| {g} | {ms:.1f} | {in_kernel:.1f} | {100.0 * ms / processor_ms:.0f} % |")
    print(f"| **total** (processor time without perf, median of {a.runs}) | **{processor_ms:.1f}** "
          f"| {k * scale:.1f} | |")
    print(f"({n} samples, {k} in the kernel; with perf a run took {n * PERIOD_NS / 1e6 / a.runs:.1f} ms)")


if __name__ == "__main__":
    sys.exit(main())
