#!/usr/bin/python3
"""Runs vesk-beat and the peer (aubiotrack) on every corpus track and scores both.

Writes eval/results/results.md (tables), results.json (every figure, per track) and
scores.png (mean scores per section for both trackers, and the distribution of beat
errors). The tool's path: --tool, else $VESK_BEAT, else build/apps/vesk-beat/vesk-beat.

Tracks of a section split in halves (hard) are reported per half, as the groups
"hard-tuning" and "hard-heldout", and together as "hard". --only takes a
comma-separated list of section names, group names or parts of track names:
  --only hard-tuning      the tuning half only
  --only midi,hard        two sections

Usage: eval/run_eval.py [--tool PATH] [--vesk-args "--threshold 0.5"] [--only WHICH]
                        [--peer-only] [--jobs 2] [--corpus DIR] [--out DIR]
"""

import argparse
import concurrent.futures
import json
import os
import shlex
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import scoring  # noqa: E402
import trackers  # noqa: E402

TOOLS = ("vesk-beat", "aubiotrack")


def tree_version():
    """The checked-out commit (with "+changes" when the tree differs), so figures can be traced to code."""
    try:
        head = subprocess.run(["git", "-C", HERE, "rev-parse", "--short", "HEAD"], capture_output=True, text=True,
                              timeout=10).stdout.strip()
        dirty = subprocess.run(["git", "-C", HERE, "status", "--porcelain", "--untracked-files=no"],
                               capture_output=True, text=True, timeout=10).stdout.strip()
        return (head + ("+changes" if dirty else "")) or "unknown"
    except (OSError, subprocess.TimeoutExpired):
        return "unknown"


def group_of(track):
    """The reporting group: the section, with the half appended for a split section (hard-tuning)."""
    return track["section"] + ("-" + track["half"] if track.get("half") else "")


def selected(track, only):
    """Whether a track matches --only: comma-separated section names, group names or parts of names."""
    words = [w for w in only.split(",") if w]
    return not words or any(w in (track["section"], group_of(track)) or w in track["name"] for w in words)


def load_corpus(corpus_dir, only=""):
    path = os.path.join(corpus_dir, "index.json")
    if not os.path.exists(path):
        sys.exit("no corpus at %s: run eval/make_corpus.py first" % corpus_dir)
    with open(path) as f:
        index = json.load(f)
    tracks = [t for t in index["tracks"] if selected(t, only)]
    for t in tracks:
        t["group"] = group_of(t)
        t["audio_path"] = os.path.join(corpus_dir, t["audio"])
        with open(os.path.join(corpus_dir, t["beats"])) as f:
            t["reference"] = [float(x) for x in f.read().split()]
    return index, tracks


def run_all(tracks, jobs, runners):
    """runners: name -> function(path) -> run dict. Returns {(tool, track name): run}."""
    results = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        futures = {pool.submit(fn, t["audio_path"]): (tool, t["name"]) for t in tracks for tool, fn in runners.items()}
        for fut in concurrent.futures.as_completed(futures):
            results[futures[fut]] = fut.result()
    return results


def score_all(tracks, runs, tool):
    rows = []
    for t in tracks:
        run = runs[(tool, t["name"])]
        s = scoring.score_track(t["reference"], run["beats"], run["tempo"], t["music_start"], t.get("resume"))
        s.update(name=t["name"], section=t["group"], error=run["error"], seconds=run["seconds"])
        rows.append(s)
    # Groups (a section, or one half of a split section), and a split section as a whole.
    groups = {}
    for t in tracks:
        groups.setdefault(t["group"], set()).add(t["group"])
        groups.setdefault(t["section"], set()).add(t["group"])
    groups = {g: members for g, members in groups.items() if g in members or len(members) > 1}
    summary = {g: scoring.mean_scores([r for r in rows if r["section"] in groups[g]]) for g in sorted(groups)}
    summary["all"] = scoring.mean_scores(rows)
    return rows, summary


def fmt(v, digits=3, scale=1.0):
    return "–" if v is None else "%.*f" % (digits, v * scale)


def write_markdown(path, tools, per_tool, tracks, meta):
    lines = ["# Beat-tracking evaluation", ""]
    lines.append("Corpus: %d tracks (eval/make_corpus.py), renderer offset cut %.2f ms. "
                 "Scores ignore the first 5 s; F-measure window ±70 ms (P, R: its precision and recall); tempo Acc1 within 4 %%, "
                 "Acc2 also at ×2, ×½, ×3, ×⅓. Warm-up: seconds from the start of the music to the first "
                 "reported beat. Lag: median of (estimate − nearest annotation) over beats within ±70 ms." %
                 (len(tracks), 1e3 * meta["render_offset_s"]))
    lines.append("")
    lines.append("Source tree: %s. Reproduce with `eval/run.sh`." % meta["tree"])
    lines.append("")
    for tool in tools:
        lines.append("- %s: `%s`" % (tool, meta["commands"][tool]))
    lines.append("")
    lines.append("## Means per section")
    lines.append("")
    lines.append("| section | tracker | tracks | F | P | R | CMLt | AMLt | Cemgil | Acc1 | Acc2 | warm-up s | lag ms | no beats |")
    lines.append("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for sec in list(per_tool[tools[0]][1].keys()):
        for tool in tools:
            m = per_tool[tool][1][sec]
            lines.append("| %s | %s | %d | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %d |" % (
                "**all**" if sec == "all" else sec, tool, m["tracks"], fmt(m["f_measure"]), fmt(m["precision"]),
                fmt(m["recall"]), fmt(m["cmlt"]),
                fmt(m["amlt"]), fmt(m["cemgil"]), fmt(m["acc1"], 2), fmt(m["acc2"], 2), fmt(m["warmup"], 1),
                fmt(m["lag_median"], 1, 1e3), m["no_beats"]))
    lines.append("")
    lines.append("## Per track")
    lines.append("")
    head = "| track | ref BPM |"
    rule = "|---|---:|"
    for tool in tools:
        head += " %s F | AMLt | BPM | warm-up s |" % tool
        rule += "---:|---:|---:|---:|"
    lines += [head, rule]
    rows = {tool: {r["name"]: r for r in per_tool[tool][0]} for tool in tools}
    for t in tracks:
        r0 = rows[tools[0]][t["name"]]
        line = "| %s/%s | %.1f |" % (t["group"], t["name"], r0["ref_tempo"])
        for tool in tools:
            r = rows[tool][t["name"]]
            if r["error"]:
                line += " error | | | |"
                continue
            line += " %s | %s | %s | %s |" % (fmt(r["f_measure"]), fmt(r["amlt"]), fmt(r["est_tempo"], 1),
                                               fmt(r["warmup"], 1))
        lines.append(line)
    extra = [t for t in tracks if t.get("resume") is not None]
    if extra:
        lines.append("")
        for t in extra:
            lines.append("Recovery after the silence in %s (seconds from the music's return to the first beat): %s" % (
                t["name"], ", ".join("%s %s" % (tool, fmt(rows[tool][t["name"]].get("recovery"), 1)) for tool in tools)))
    errors = [(tool, r["name"], r["error"]) for tool in tools for r in per_tool[tool][0] if r["error"]]
    if errors:
        lines += ["", "## Failed runs", ""] + ["- %s on %s: %s" % e for e in errors]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def write_plot(path, tools, per_tool):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np

    sections = list(per_tool[tools[0]][1].keys())
    metrics = [("f_measure", "F"), ("cmlt", "CMLt"), ("amlt", "AMLt"), ("acc2", "Acc2")]
    fig, axes = plt.subplots(1, 2, figsize=(13, 4.6), gridspec_kw={"width_ratios": [2.2, 1]})
    ax = axes[0]
    width = 0.8 / (len(tools) * len(metrics))
    colours = {"vesk-beat": "tab:blue", "aubiotrack": "tab:orange"}
    x = np.arange(len(sections))
    for ti, tool in enumerate(tools):
        for mi, (key, label) in enumerate(metrics):
            k = ti * len(metrics) + mi
            vals = [per_tool[tool][1][s][key] or 0.0 for s in sections]
            ax.bar(x - 0.4 + width * (k + 0.5), vals, width, color=colours.get(tool, "grey"),
                   alpha=0.45 + 0.55 * (mi + 1) / len(metrics), edgecolor="black", linewidth=0.3,
                   label="%s %s" % (tool, label))
    ax.set_xticks(x)
    ax.set_xticklabels(sections)
    ax.set_ylim(0, 1)
    ax.set_ylabel("mean score")
    ax.set_title("Mean scores per section (F, CMLt, AMLt, Acc2 from light to dark)")
    ax.legend(fontsize=7, ncol=2, loc="upper right")
    ax = axes[1]
    bins = np.linspace(-150, 150, 61)
    for tool in tools:
        errs = [1e3 * e for r in per_tool[tool][0] for e in r["errors"]]
        if errs:
            ax.hist(errs, bins=bins, histtype="step", linewidth=1.5, color=colours.get(tool, "grey"),
                    label="%s (median of hits %s ms)" % (tool, fmt(per_tool[tool][1]["all"]["lag_median"], 1, 1e3)))
    ax.axvline(0, color="black", linewidth=0.5)
    ax.axvspan(-70, 70, color="green", alpha=0.07)
    ax.set_xlabel("beat error: estimate − nearest annotation (ms)")
    ax.set_ylabel("beats")
    ax.set_title("Distribution of beat errors")
    ax.legend(fontsize=7)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--tool", default=None, help="path of vesk-beat (default $VESK_BEAT or the build tree)")
    ap.add_argument("--vesk-args", default="", help="extra options for vesk-beat, as one string")
    ap.add_argument("--peer-only", action="store_true", help="score only aubiotrack")
    ap.add_argument("--only", default="", help="comma-separated section names (hard-tuning: one half) or parts of track names")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--corpus", default=os.path.join(HERE, "corpus"))
    ap.add_argument("--out", default=os.path.join(HERE, "results"))
    args = ap.parse_args()

    index, tracks = load_corpus(args.corpus, args.only)
    tool = trackers.vesk_beat_path(args.tool)
    vesk_args = shlex.split(args.vesk_args)
    runners = {"aubiotrack": trackers.run_aubiotrack}
    commands = {"aubiotrack": "aubiotrack -i FILE"}
    if not args.peer_only:
        if not os.access(tool, os.X_OK):
            sys.exit("vesk-beat not found at %s (build it, set VESK_BEAT, pass --tool, or use --peer-only)" % tool)
        runners = {"vesk-beat": lambda p: trackers.run_vesk_beat(p, tool, vesk_args), **runners}
        commands["vesk-beat"] = shlex.join(["vesk-beat", "--quiet", "--format", "json", "--beats", "OUT"] + vesk_args + ["FILE"])
    tools = [t for t in TOOLS if t in runners]
    print("running %s on %d tracks with %d workers" % (", ".join(tools), len(tracks), args.jobs), file=sys.stderr)
    runs = run_all(tracks, args.jobs, runners)
    per_tool = {t: score_all(tracks, runs, t) for t in tools}

    os.makedirs(args.out, exist_ok=True)
    meta = {"render_offset_s": index["render_offset_s"], "commands": commands, "tree": tree_version()}
    write_markdown(os.path.join(args.out, "results.md"), tools, per_tool, tracks, meta)
    with open(os.path.join(args.out, "results.json"), "w") as f:
        json.dump({"meta": meta, "summary": {t: per_tool[t][1] for t in tools},
                   "tracks": {t: per_tool[t][0] for t in tools},
                   "beats": {t: {n: r["beats"] for (tt, n), r in runs.items() if tt == t} for t in tools}}, f, indent=1)
    write_plot(os.path.join(args.out, "scores.png"), tools, per_tool)
    for t in tools:
        m = per_tool[t][1]["all"]
        print("%-10s F %.3f  CMLt %.3f  AMLt %.3f  Cemgil %.3f  Acc1 %.2f  Acc2 %.2f  warm-up %s s  lag %s ms" % (
            t, m["f_measure"], m["cmlt"], m["amlt"], m["cemgil"], m["acc1"], m["acc2"], fmt(m["warmup"], 1),
            fmt(m["lag_median"], 1, 1e3)))
    print("results: %s/results.md, results.json, scores.png" % args.out)


if __name__ == "__main__":
    main()
