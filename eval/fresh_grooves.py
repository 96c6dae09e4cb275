#!/usr/bin/python3
"""Scores vesk-beat on grooves the corpus does not hold: a check, never a tuning set.

    eval/fresh_grooves.py [--out /tmp/fresh-grooves] [--styles rock,disco,halftime,shuffle]
                          [--tuning] [--jobs 2] [--vesk-args "..."] [--list]

The corpus's grooves were all heard while the meter stage was built (the held-out
half only scored, but scored often). These are made afresh, as the grooves section
is (eval/grooves.py, the same patterns, every soundfont, half of them performed,
each through a mix chain of its own), at tempi the corpus does not use: 83 BPM and
every 11 BPM above, shifted by one per style, up to 194. They are rendered into
--out once (about a minute) and scored as the corpus is (mir_eval, +-70 ms, the first
5 s left out). Prints the mean F, CMLt and AMLt, and with --list every groove.

With --tuning it renders another set instead (into --out, /tmp/tuning-grooves by
default), one to tune on: all eight styles at two slow tempi (84 and 96 BPM, shifted
by one per style) and every 7 BPM from 158 up to 199. The corpus's tuning half holds
one groove above 170 BPM per style, and its held-out half goes up to 192: this set
fills the fast end (and the slow tempi where a groove may be doubled) without a
look at the held-out grooves.
"""

import argparse
import concurrent.futures
import json
import os
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import grooves  # noqa: E402
import hard_songs  # noqa: E402
import make_corpus  # noqa: E402
import run_eval  # noqa: E402
import scoring  # noqa: E402
import trackers  # noqa: E402


def groove(prefix, style, bpm):
    s = hard_songs.song("%s_%s_%03d" % (prefix, style, bpm), style, "4/4", bpm,
                        hard_songs.kit("4/4", grooves.STYLES[style]), [], 33, [], 0, [(48, "maj")],
                        crash=False, human=0)
    s["bars"] = int(round(grooves.SECONDS * bpm / 60.0 / 4))
    return s


def fresh_songs(styles):
    return [groove("fresh", style, bpm) for si, style in enumerate(styles) for bpm in range(83 + si, 195, 11)]


def tuning_songs():
    return [groove("tune", style, bpm) for si, style in enumerate(sorted(grooves.STYLES))
            for bpm in [84 + si, 96 + si] + list(range(158 + si, 200, 7))]


def render(songs, out, jobs, half="heldout"):
    os.makedirs(os.path.join(out, "grooves"), exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        offsets = {sf: make_corpus.measure_render_offset(tmp, sf)[0] for sf in make_corpus.SOUNDFONTS}
    # The number picks the soundfont, in turn; every other groove is performed
    # (the tuning set starts elsewhere in both, so that it shares no render with this one).
    first, performed = (1, 1) if half == "heldout" else (5, 0)

    def one(i):
        with tempfile.TemporaryDirectory() as tmp:
            return make_corpus.render_played("grooves", i + first, songs[i], half, i % 2 == performed, offsets,
                                             out, tmp)

    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        entries = list(pool.map(one, range(len(songs))))
    with open(os.path.join(out, "index.json"), "w") as f:
        json.dump({"tracks": entries}, f)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--out")
    ap.add_argument("--styles", default="rock,disco,halftime,shuffle")
    ap.add_argument("--tuning", action="store_true", help="the set to tune on, of every style")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--vesk-args", default="")
    ap.add_argument("--list", action="store_true")
    a = ap.parse_args()
    tool = os.environ.get("VESK_BEAT", os.path.join(HERE, "..", "build", "apps", "vesk-beat", "vesk-beat"))
    styles = a.styles.split(",")
    unknown = [s for s in styles if s not in grooves.STYLES]
    if unknown:
        sys.exit("fresh_grooves.py: no style %s (there are %s)" % (", ".join(unknown), ", ".join(grooves.STYLES)))
    kind = "tuning" if a.tuning else "fresh"
    songs = tuning_songs() if a.tuning else fresh_songs(styles)
    a.out = a.out or os.path.join(tempfile.gettempdir(), kind + "-grooves")
    index = os.path.join(a.out, "index.json")
    names = {s["name"] for s in songs}
    if not os.path.exists(index) or {t["name"] for t in json.load(open(index))["tracks"]} != names:
        render(songs, a.out, a.jobs, "tuning" if a.tuning else "heldout")
    _, tracks = run_eval.load_corpus(a.out)
    tracks = [t for t in tracks if t["name"] in names]

    def run(t):
        r = trackers.run_vesk_beat(t["audio_path"], tool, a.vesk_args.split())
        return scoring.score_track(t["reference"], r["beats"], r["tempo"], t["music_start"], t.get("resume"))

    with concurrent.futures.ThreadPoolExecutor(a.jobs) as pool:
        scores = list(pool.map(run, tracks))
    print("%d %s grooves (%s) in %s" % (len(tracks), kind, ", ".join(sorted(grooves.STYLES) if a.tuning else styles),
                                        a.out))
    print("F %.3f  CMLt %.3f  AMLt %.3f" % tuple(np.mean([s[k] for s in scores]) for k in ("f_measure", "cmlt", "amlt")))
    if a.list:
        for t, s in sorted(zip(tracks, scores), key=lambda p: p[1]["f_measure"]):
            print("  %-24s F %.3f  CMLt %.3f  AMLt %.3f  tempo %s" % (
                t["name"], s["f_measure"], s["cmlt"], s["amlt"],
                "%.1f" % s["est_tempo"] if s.get("est_tempo") else "-"))


if __name__ == "__main__":
    main()
