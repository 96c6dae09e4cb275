#!/usr/bin/env python3
"""Times commands in turn: one run of each, then the next round.

On a machine shared with other jobs the load drifts over seconds; timing all
runs of one command and then all runs of the other puts each in a different
stretch of that drift, and their ratio swings with it. Alternating puts every
command in every stretch alike. Each command runs without a shell, its output
discarded; a failing run stops the timing.

Usage: alternating_timer.py [--runs N] [--warmup N] [--json FILE] -- PROG ARG... -- PROG ARG...
(each command its words as they are, commands separated by a lone --).
Prints one line per command: median, minimum and mean wall time in seconds;
with --cpu, the processor time (user + system, all threads) instead, which is
what counts when every core is busy.
"""

import argparse
import json
import os
import shlex
import statistics
import subprocess
import sys
import time


def run_once(argv):
    """Wall time and processor time (user + system, the command and the
    processes it waited for) of one run, in seconds."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit("alternating_timer: exit status %d from: %s" % (child.returncode, shlex.join(argv)))
    return elapsed, usage.ru_utime + usage.ru_stime


def main():
    args = sys.argv[1:]
    if "--" not in args:
        sys.exit(__doc__)
    split = args.index("--")
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--warmup", type=int, default=1)
    parser.add_argument("--json")
    parser.add_argument("--cpu", action="store_true", help="processor time, not wall time")
    options = parser.parse_args(args[:split])
    commands, current = [], []
    for word in args[split + 1:] + ["--"]:
        if word == "--":
            if current:
                commands.append(current)
            current = []
        else:
            current.append(word)
    if not commands or options.runs < 1 or options.warmup < 0:
        sys.exit(__doc__)
    for _ in range(options.warmup):
        for argv in commands:
            run_once(argv)
    times = [[] for _ in commands]
    other = [[] for _ in commands]
    for _ in range(options.runs):
        for k, argv in enumerate(commands):
            wall, cpu = run_once(argv)
            times[k].append(cpu if options.cpu else wall)
            other[k].append(wall if options.cpu else cpu)
    results = []
    for argv, t, o in zip(commands, times, other):
        results.append({"command": shlex.join(argv), "median": statistics.median(t),
                        "min": min(t), "mean": statistics.fmean(t), "times": t,
                        "wall" if options.cpu else "cpu": o,
                        ("wall" if options.cpu else "cpu") + "_median": statistics.median(o)})
        print("%8.3f median %8.3f min %8.3f mean  %s" % (results[-1]["median"], min(t),
                                                       results[-1]["mean"], results[-1]["command"]))
    if options.json:
        with open(options.json, "w") as f:
            json.dump({"results": results}, f, indent=1)


if __name__ == "__main__":
    main()
