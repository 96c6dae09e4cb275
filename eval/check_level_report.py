#!/usr/bin/python3
"""Checks that eval/level_report.py tells each kind of beat from the others, and that
its switching loss is the share of beats at an accepted level other than the one a
track held most: the figures the accuracy account quotes come from it.

    eval/check_level_report.py
"""

import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import level_report  # noqa: E402


def kinds_of(est, ref):
    # Placed as a tracker places them: 10 ms either way.
    est = np.asarray(est) + 0.01 * np.sin(1.7 * np.arange(len(est)))
    return set(level_report.beat_kinds(ref, est))


def main():
    # A drifting tempo, so that every interval is its own, from 5 s on (the
    # report skips the first 5 s, as the scores do).
    ref = np.cumsum(np.full(120, 0.5) * (1.0 + 0.05 * np.sin(np.arange(120) / 9.0)))
    ref += 5.0 - ref[0]
    mid = (ref[:-1] + ref[1:]) / 2.0
    cases = {
        "beat": ref,
        "off-beat": mid,
        "twice": np.sort(np.concatenate([ref, mid])),
        "half": ref[::2],
        "half off-beat": mid[::2],
        "ratio 2/3": np.interp(np.arange(0, 119, 2.0 / 3.0), np.arange(120), ref),
        "ratio 4/3": np.interp(np.arange(0, 119, 4.0 / 3.0), np.arange(120), ref),
    }
    failures = []
    for want, est in cases.items():
        got = kinds_of(est, ref)
        if got != {want}:
            failures.append("%s: kinds %s" % (want, sorted(got)))
    # A beat a fifth of an interval out of place is uneven, not another level.
    shaken = ref.copy()
    shaken[60] += 0.2 * (ref[61] - ref[60])
    if "uneven" not in kinds_of(shaken, ref):
        failures.append("a beat out of place: kinds %s" % sorted(kinds_of(shaken, ref)))
    # Beats 0-60 on the beat, then twice the tempo: the first beat has no kind,
    # the next 60 are on the beat, 118 at twice it; 60 of 178 are lost.
    half = len(ref) // 2
    switched = np.sort(np.concatenate([ref, mid[half:]]))
    s = level_report.shares(level_report.beat_kinds(ref, switched))
    if abs(s["switching"] - 60.0 / 178.0) > 1e-9:
        failures.append("switching %.4f, expected %.4f" % (s["switching"], 60.0 / 178.0))
    if level_report.shares(level_report.beat_kinds(ref, ref))["switching"] != 0.0:
        failures.append("beats on one level lose something to switching")
    if failures:
        print("\n".join(failures))
        return 1
    print("level_report: every kind told apart")
    return 0


if __name__ == "__main__":
    sys.exit(main())
