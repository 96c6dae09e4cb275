#!/usr/bin/python3
"""Where each reported beat stands against the annotations, and what moving between levels costs.

Every beat after the first 5 s is given a kind, from its interval to the beat before
(against the annotated interval there) and its place in the annotated interval:

  beat, off-beat          the annotated level, on the beat or half a beat from it
  twice                   twice the annotated tempo (either phase)
  half, half off-beat     half the annotated tempo
  ratio 2/3, 3/4, 4/3, 3/2  another ratio, held over the surrounding beats
                          (2/3: a twelve-eight followed at two of its eighths)
  uneven                  one interval off, the beats around it at an accepted level
  wandering               none of these

AMLt scores a whole track at one level: a track that spends part of its length on
the beat and part at twice the tempo is scored at the level it held most, and the
rest counts as wrong. "switching" is that loss: the share of a track's beats at an
accepted level (the first five kinds) other than its most held one.

Reads the beats a run of run_eval.py wrote (results.json, every reported beat) and
the corpus's annotations:

    eval/level_report.py [--results eval/results/results.json] [--corpus eval/corpus]
                         [--tool vesk-beat] [--only WHICH] [--list N]
"""

import argparse
import collections
import json
import os
import sys

import mir_eval
import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run_eval  # noqa: E402

ACCEPTED = ("beat", "off-beat", "twice", "half", "half off-beat")
KINDS = ACCEPTED + ("ratio 2/3", "ratio 3/4", "ratio 4/3", "ratio 3/2", "uneven", "wandering")
TOLERANCE = 0.175  # of the annotated interval, as the continuity scores take it
RATIOS = {"ratio 2/3": 2.0 / 3.0, "ratio 3/4": 0.75, "ratio 4/3": 4.0 / 3.0, "ratio 3/2": 1.5}
HELD = 0.08  # a ratio within 8 % over the surrounding beats is held


def beat_kinds(ref, est):
    """The kind of every estimated beat after the first 5 s but the first of them."""
    ref = np.asarray(ref, dtype=float)
    # The first 5 s are left out, as the scores leave them.
    est = mir_eval.beat.trim_beats(np.asarray(est, dtype=float))
    if len(ref) < 2 or len(est) < 2:
        return []
    gaps = np.diff(est)
    kinds = []
    for k in range(1, len(est)):
        i = int(np.clip(np.searchsorted(ref, est[k]), 1, len(ref) - 1))
        interval = ref[i] - ref[i - 1]
        place = (est[k] - ref[i - 1]) / interval
        place = place - 1.0 if place > 0.75 else place
        on, off = abs(place) <= TOLERANCE, abs(place - 0.5) <= TOLERANCE
        ratio = gaps[k - 1] / interval
        if abs(ratio - 1.0) <= TOLERANCE and (on or off):
            kinds.append("beat" if on else "off-beat")
            continue
        if abs(ratio - 0.5) <= TOLERANCE / 2 and (on or off):
            kinds.append("twice")
            continue
        if abs(ratio - 2.0) <= 2 * TOLERANCE and (on or off):
            kinds.append("half" if on else "half off-beat")
            continue
        around = np.median(gaps[max(0, k - 4):k + 3]) / interval
        held = [name for name, r in RATIOS.items() if abs(around / r - 1.0) <= HELD]
        if held:
            kinds.append(held[0])
        elif any(abs(around / r - 1.0) <= HELD for r in (0.5, 1.0, 2.0)):
            kinds.append("uneven")
        else:
            kinds.append("wandering")
    return kinds


def shares(kinds):
    """Each kind's share of the beats, and the switching loss."""
    counts = collections.Counter(kinds)
    n = max(1, len(kinds))
    out = {k: counts[k] / n for k in KINDS}
    accepted = [counts[k] for k in ACCEPTED]
    # The double-tempo reference holds both phases; half the tempo keeps its own.
    out["switching"] = (sum(accepted) - max(accepted)) / n if kinds else 0.0
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--results", default=os.path.join(HERE, "results", "results.json"))
    ap.add_argument("--corpus", default=os.path.join(HERE, "corpus"))
    ap.add_argument("--tool", default="vesk-beat")
    ap.add_argument("--only", default="")
    ap.add_argument("--list", type=int, default=0, help="also the N tracks that lose most to switching")
    a = ap.parse_args()
    with open(a.results) as f:
        beats = json.load(f)["beats"].get(a.tool)
    if beats is None:
        sys.exit("level_report.py: no beats of %s in %s" % (a.tool, a.results))
    _, tracks = run_eval.load_corpus(a.corpus, a.only)
    per_track = {t["name"]: (t["group"], shares(beat_kinds(t["reference"], beats[t["name"]])))
                 for t in tracks if t["name"] in beats}
    if not per_track:
        sys.exit("level_report.py: no track of %s has beats in %s" % (a.corpus, a.results))
    shown = ("switching",) + KINDS
    print("%-20s %6s " % ("group", "tracks") + " ".join("%9s" % k.replace("ratio ", "")[:9] for k in shown))
    for group in sorted({g for g, _ in per_track.values()}):
        rows = [s for g, s in per_track.values() if g == group]
        print("%-20s %6d " % (group, len(rows)) + " ".join("%9.3f" % np.mean([s[k] for s in rows]) for k in shown))
    if a.list:
        print("\nmost switching:")
        worst = sorted(per_track.items(), key=lambda kv: -kv[1][1]["switching"])[:a.list]
        for name, (group, s) in worst:
            top = sorted(((v, k) for k, v in s.items() if k != "switching" and v > 0.05), reverse=True)
            print("  %.2f  %-40s %s" % (s["switching"], name, ", ".join("%s %.2f" % (k, v) for v, k in top)))


if __name__ == "__main__":
    main()
