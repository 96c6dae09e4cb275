#!/usr/bin/python3
"""Runs vesk-beat over a grid of processing parameters on the corpus, to choose defaults.

By default each parameter is varied on its own around a base setting (the tool's
defaults unless --base says otherwise); --full crosses the listed values instead.
--configs runs given argument sets instead of the grid, each passed to vesk-beat
as it is. For each setting: mean F-measure, AMLt, CMLt, Acc2, warm-up, beats
reported per track and tracks with no beat at all, then F, CMLt, AMLt, Acc1 and
Acc2 per section. Writes eval/results/sweep.md and sweep.json (sweep-TAG.* with
--tag).

The held-out half of the hard section is left out unless --with-heldout is given,
so that settings are chosen on the tuning half only.

Quick run on a subset: eval/sweep.py --subset 8 --params threshold
Examples:
  eval/sweep.py                                  # every parameter, whole corpus
  eval/sweep.py --subset 10 --params rate,frame  # two parameters, 10 tracks
  eval/sweep.py --set threshold=0.2,0.5 --set hop=128,256 --full
  eval/sweep.py --only hard-tuning --configs "" "--threshold 0.3" "--min-bpm 60 --max-bpm 180"
"""

import argparse
import json
import os
import shlex
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


SECTION_METRICS = ("tracks", "f_measure", "cmlt", "amlt", "acc1", "acc2")


def section_table(rows):
    """Markdown lines: F, CMLt, AMLt, Acc1, Acc2 per section (and all tracks) for every setting."""
    out = ["| options | section | tracks | F | CMLt | AMLt | Acc1 | Acc2 |", "|---|---|---:|---:|---:|---:|---:|---:|"]
    for r in rows:
        for sec, m in r["sections"].items():
            out.append("| %s | %s | %d | %.3f | %.3f | %.3f | %.2f | %.2f |" % (
                r["options"], "**all**" if sec == "all" else sec, m["tracks"], m["f_measure"], m["cmlt"], m["amlt"],
                m["acc1"], m["acc2"]))
    return out


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
    ap.add_argument("--configs", nargs="+", metavar="ARGS",
                    help="run these vesk-beat argument sets (one string each, \"\" for the defaults) instead of the grid")
    ap.add_argument("--with-heldout", action="store_true", help="also run the held-out half of the hard section")
    ap.add_argument("--tag", default="", help="write sweep-TAG.md and sweep-TAG.json")
    ap.add_argument("--subset", type=int, default=0, help="use only N tracks spread over the corpus")
    ap.add_argument("--only", default="", help="comma-separated section names (hard-tuning: one half) or parts of track names")
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
    held = [t for t in tracks if t.get("half") == "heldout"]
    if held and not args.with_heldout:
        tracks = [t for t in tracks if t.get("half") != "heldout"]
        print("leaving out the %d held-out tracks (--with-heldout runs them)" % len(held), file=sys.stderr)
    if not tracks:
        sys.exit("no tracks selected" + (" (held-out tracks run only with --with-heldout)" if held else ""))
    tracks = spread_subset(tracks, args.subset)
    if args.configs is not None:
        todo = [({"args": c}, shlex.split(c)) for c in args.configs]
    else:
        todo = [(s, options_for(s)) for s in settings(params, base, overrides, args.full)]
    print("%d settings x %d tracks" % (len(todo), len(tracks)), file=sys.stderr)

    rows = []
    for i, (s, opts) in enumerate(todo):
        start = time.monotonic()
        runs = run_eval.run_all(tracks, args.jobs, {"vesk-beat": lambda p, o=opts: trackers.run_vesk_beat(p, tool, o)})
        failed = [(t["name"], runs[("vesk-beat", t["name"])]["error"]) for t in tracks if runs[("vesk-beat", t["name"])]["error"]]
        per_track, summary = run_eval.score_all(tracks, runs, "vesk-beat")
        m = summary["all"]
        row = {"setting": s, "options": shlex.join(opts) or "(defaults)", "failed": len(failed),
               "first_failure": failed[0] if failed else None, "seconds": time.monotonic() - start}
        row.update({k: m[k] for k in ("f_measure", "precision", "recall", "cmlt", "amlt", "cemgil", "acc1", "acc2", "warmup", "beats",
                                      "no_beats", "lag_median")})
        row["sections"] = {sec: {k: v[k] for k in SECTION_METRICS} for sec, v in summary.items()}
        rows.append(row)
        print("[%d/%d] %-40s F %.3f P %.3f AMLt %.3f warm-up %s beats %.0f failed %d (%.0f s)" % (
            i + 1, len(todo), row["options"], m["f_measure"], m["precision"], m["amlt"], run_eval.fmt(m["warmup"], 1), m["beats"],
            len(failed), row["seconds"]), file=sys.stderr)

    os.makedirs(args.out, exist_ok=True)
    stem = "sweep-" + args.tag if args.tag else "sweep"
    with open(os.path.join(args.out, stem + ".json"), "w") as f:
        json.dump({"tracks": [t["name"] for t in tracks], "rows": rows}, f, indent=1)
    if args.configs is not None:
        how = "the given argument sets"
    elif args.full:
        how = "every combination of the listed values"
    else:
        how = "one parameter varied at a time around the base" + ((" " + " ".join(options_for(base))) if base else "")
    lines = ["# Parameter sweep of vesk-beat", "",
             "%d tracks%s%s; %s. Means over tracks; beats = beats reported per track; warm-up in seconds; "
             "lag in ms." % (len(tracks), " (subset)" if args.subset else "",
                             "" if args.with_heldout or not held else ", held-out half left out", how),
             "", "| options | F | precision | recall | CMLt | AMLt | Cemgil | Acc2 | warm-up | beats | no beats | lag ms | failed |",
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for r in rows:
        lines.append("| %s | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.2f | %s | %.0f | %d | %s | %d |" % (
            r["options"], r["f_measure"], r["precision"], r["recall"], r["cmlt"], r["amlt"], r["cemgil"], r["acc2"], run_eval.fmt(r["warmup"], 1),
            r["beats"], r["no_beats"], run_eval.fmt(r["lag_median"], 1, 1e3), r["failed"]))
    table = section_table(rows)
    lines += ["", "## Per section", ""] + table
    print("\n".join(table))
    failures = [r for r in rows if r["first_failure"]]
    if failures:
        lines += ["", "Failures (first per setting):", ""]
        lines += ["- %s: %s: %s" % (r["options"], *r["first_failure"]) for r in failures]
    with open(os.path.join(args.out, stem + ".md"), "w") as f:
        f.write("\n".join(lines) + "\n")
    print("sweep: %s/%s.md, %s.json" % (args.out, stem, stem))


if __name__ == "__main__":
    main()
