#!/usr/bin/python3
"""Runs vesk-beat over a grid of processing parameters on the corpus, to choose defaults.

By default each parameter is varied on its own around a base setting (the tool's
defaults unless --base says otherwise); --full crosses the listed values instead.
For each setting: mean F-measure, AMLt, CMLt, Acc2, warm-up, beats reported per
track and tracks with no beat at all. Writes eval/results/sweep.md and sweep.json.

Quick run on a subset: eval/sweep.py --subset 8 --params threshold
Examples:
  eval/sweep.py                                  # every parameter, whole corpus
  eval/sweep.py --subset 10 --params rate,frame  # two parameters, 10 tracks
  eval/sweep.py --set threshold=0.2,0.5 --set hop=128,256 --full
"""

import argparse
import json
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run_eval  # noqa: E402
import scoring  # noqa: E402
import trackers  # noqa: E402

# Values tried per option. Hops are in samples at the processing rate.
GRID = {
    "rate": ["16000", "22050", "44100"],
    "frame": ["512", "1024", "2048"],
    "hop": ["128", "160", "256", "441", "512"],
    "window": ["hann", "hamming", "blackman", "rectangular"],
    "bpm": ["60-180", "50-200", "70-160", "80-200", "40-240"],
    "threshold": ["0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9"],
}


def options_for(setting):
    """Command-line options of a setting {name: value}."""
    opts = []
    for name, value in setting.items():
        if name == "bpm":
            lo, hi = value.split("-")
            opts += ["--min-bpm", lo, "--max-bpm", hi]
        else:
            opts += ["--" + name, value]
    return opts


def spread_subset(tracks, n):
    """n tracks spread evenly over the corpus order (which interleaves styles and sections)."""
    if n <= 0 or n >= len(tracks):
        return tracks
    step = len(tracks) / n
    return [tracks[int(i * step)] for i in range(n)]


def settings(params, base, overrides, full):
    grid = {p: overrides.get(p, GRID[p]) for p in params}
    if full:
        out = [dict(base)]
        for p in params:
            out = [dict(s, **{p: v}) for s in out for v in grid[p]]
        return out
    out, seen = [], set()
    for p in params:
        for v in grid[p]:
            s = dict(base, **{p: v})
            key = tuple(sorted(s.items()))
            if key not in seen:
                seen.add(key)
                out.append(s)
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--tool", default=None, help="path of vesk-beat (default $VESK_BEAT or the build tree)")
    ap.add_argument("--params", default=",".join(GRID), help="parameters to vary (%s)" % ",".join(GRID))
    ap.add_argument("--set", action="append", default=[], metavar="NAME=V1,V2", help="values to try for a parameter")
    ap.add_argument("--base", action="append", default=[], metavar="NAME=V", help="fixed value for the base setting")
    ap.add_argument("--full", action="store_true", help="cross all listed values instead of one at a time")
    ap.add_argument("--subset", type=int, default=0, help="use only N tracks spread over the corpus")
    ap.add_argument("--only", default="", help="tracks whose name contains this, or a section name")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--corpus", default=os.path.join(HERE, "corpus"))
    ap.add_argument("--out", default=os.path.join(HERE, "results"))
    args = ap.parse_args()

    params = [p for p in args.params.split(",") if p]
    for p in params:
        if p not in GRID:
            sys.exit("unknown parameter '%s' (allowed: %s)" % (p, ", ".join(GRID)))
    overrides = {}
    for s in args.set:
        name, _, values = s.partition("=")
        if name not in GRID or not values:
            sys.exit("--set: expected NAME=V1,V2 with NAME one of %s, got '%s'" % (", ".join(GRID), s))
        overrides[name] = values.split(",")
        if name not in params:
            params.append(name)
    base = {}
    for b in args.base:
        name, _, value = b.partition("=")
        if name not in GRID or not value:
            sys.exit("--base: expected NAME=VALUE with NAME one of %s, got '%s'" % (", ".join(GRID), b))
        base[name] = value

    tool = trackers.vesk_beat_path(args.tool)
    if not os.access(tool, os.X_OK):
        sys.exit("vesk-beat not found at %s (build it, set VESK_BEAT or pass --tool)" % tool)
    _, tracks = run_eval.load_corpus(args.corpus, args.only)
    tracks = spread_subset(tracks, args.subset)
    todo = settings(params, base, overrides, args.full)
    print("%d settings x %d tracks" % (len(todo), len(tracks)), file=sys.stderr)

    rows = []
    for i, s in enumerate(todo):
        opts = options_for(s)
        start = time.monotonic()
        runs = run_eval.run_all(tracks, args.jobs, {"vesk-beat": lambda p, o=opts: trackers.run_vesk_beat(p, tool, o)})
        failed = [(t["name"], runs[("vesk-beat", t["name"])]["error"]) for t in tracks if runs[("vesk-beat", t["name"])]["error"]]
        per_track, summary = run_eval.score_all(tracks, runs, "vesk-beat")
        m = summary["all"]
        row = {"setting": s, "options": " ".join(opts) or "(defaults)", "failed": len(failed),
               "first_failure": failed[0] if failed else None, "seconds": time.monotonic() - start}
        row.update({k: m[k] for k in ("f_measure", "precision", "recall", "cmlt", "amlt", "cemgil", "acc1", "acc2", "warmup", "beats",
                                      "no_beats", "lag_median")})
        row["sections"] = {k: {"f_measure": v["f_measure"], "amlt": v["amlt"]} for k, v in summary.items() if k != "all"}
        rows.append(row)
        print("[%d/%d] %-40s F %.3f P %.3f AMLt %.3f warm-up %s beats %.0f failed %d (%.0f s)" % (
            i + 1, len(todo), row["options"], m["f_measure"], m["precision"], m["amlt"], run_eval.fmt(m["warmup"], 1), m["beats"],
            len(failed), row["seconds"]), file=sys.stderr)

    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "sweep.json"), "w") as f:
        json.dump({"tracks": [t["name"] for t in tracks], "rows": rows}, f, indent=1)
    lines = ["# Parameter sweep of vesk-beat", "",
             "%d tracks%s; one parameter varied at a time around the base%s. Means over tracks; beats = beats "
             "reported per track; warm-up in seconds; lag in ms." % (
                 len(tracks), " (subset)" if args.subset else "", (" " + " ".join(options_for(base))) if base else ""),
             "", "| options | F | precision | recall | CMLt | AMLt | Cemgil | Acc2 | warm-up | beats | no beats | lag ms | failed |",
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for r in rows:
        lines.append("| %s | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.2f | %s | %.0f | %d | %s | %d |" % (
            r["options"], r["f_measure"], r["precision"], r["recall"], r["cmlt"], r["amlt"], r["cemgil"], r["acc2"], run_eval.fmt(r["warmup"], 1),
            r["beats"], r["no_beats"], run_eval.fmt(r["lag_median"], 1, 1e3), r["failed"]))
    failures = [r for r in rows if r["first_failure"]]
    if failures:
        lines += ["", "Failures (first per setting):", ""]
        lines += ["- %s: %s: %s" % (r["options"], *r["first_failure"]) for r in failures]
    with open(os.path.join(args.out, "sweep.md"), "w") as f:
        f.write("\n".join(lines) + "\n")
    print("sweep: %s/sweep.md, sweep.json" % args.out)


if __name__ == "__main__":
    main()
