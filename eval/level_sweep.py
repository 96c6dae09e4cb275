#!/usr/bin/python3
"""How the tracker's scores depend on the input's level.

    eval/level_sweep.py [--only GROUPS] [--gains DB,...] [--jobs 2] [--vesk-args "..."]

The corpus is rendered peak-normalised (-1 dBFS); a live microphone or a quiet
recording is not. Each track of the chosen groups is played through a gain
(sox, written as 32-bit float; gains above 0 dB clip the corpus) and scored as the corpus
is (mir_eval, +-70 ms, the first 5 s left out). Prints the mean F, CMLt and
AMLt per gain. The gained copies are made in a temporary folder. The held-out
halves by default: on the tuning halves, where the settings were chosen, any
change of the input undoes part of that fit, whatever the change.
"""

import argparse
import concurrent.futures
import os
import subprocess
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run_eval  # noqa: E402
import scoring  # noqa: E402
import trackers  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--corpus", default=os.path.join(HERE, "corpus"))
    ap.add_argument("--only", default="hard-heldout,performed-heldout,grooves-heldout")
    ap.add_argument("--gains", default="0,-10,-20,-30")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--vesk-args", default="")
    a = ap.parse_args()
    tool = os.environ.get("VESK_BEAT", os.path.join(HERE, "..", "build", "apps", "vesk-beat", "vesk-beat"))
    gains = [float(g) for g in a.gains.split(",")]
    _, tracks = run_eval.load_corpus(a.corpus, a.only)
    if not tracks:
        sys.exit("level_sweep.py: no track in %s matches %r" % (a.corpus, a.only))

    with tempfile.TemporaryDirectory() as folder:
        def run(job):
            track, gain = job
            path = track["audio_path"]
            if gain != 0.0:
                path = os.path.join(folder, "%s_%+g.wav" % (track["name"], gain))
                subprocess.run(["sox", "-q", track["audio_path"], "-e", "floating-point", "-b", "32", path,
                                "vol", "%g" % gain, "dB"], check=True)
            r = trackers.run_vesk_beat(path, tool, a.vesk_args.split())
            if gain != 0.0:
                os.remove(path)
            return scoring.score_track(track["reference"], r["beats"], r["tempo"], track["music_start"],
                                       track.get("resume"))

        jobs = [(t, g) for g in gains for t in tracks]
        with concurrent.futures.ThreadPoolExecutor(a.jobs) as pool:
            scores = list(pool.map(run, jobs))
    print("%d tracks (%s)" % (len(tracks), a.only))
    print("| gain dB | F | CMLt | AMLt |\n|---:|---:|---:|---:|")
    for g in gains:
        rows = [s for (t, gg), s in zip(jobs, scores) if gg == g]
        print("| %+g | %.3f | %.3f | %.3f |" % (g, np.mean([s["f_measure"] for s in rows]),
                                                np.mean([s["cmlt"] for s in rows]), np.mean([s["amlt"] for s in rows])))


if __name__ == "__main__":
    main()
