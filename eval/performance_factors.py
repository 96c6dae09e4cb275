#!/usr/bin/python3
"""What each part of a performance costs: the performed songs of the tuning half, each
rendered once per factor, scored per factor.

    eval/performance_factors.py [--out /tmp/performance-factors] [--half tuning]
                                [--factors written,drift,timing,soundfont,mix,all]
                                [--jobs 2] [--vesk-args "..."] [--list]

The performed section renders every song with all of these at once: a drifting
tempo, notes off the grid and of varied velocity, one of four soundfonts and a mix
chain (eval/performance.py, eval/mix_chain.py). Here each song is rendered as written
(the first soundfont, no effects) and then with one factor alone, at the very
settings its performed version draws: `drift` (the tempo's drift, the annotations
following it), `timing` (each note's timing and velocity), `soundfont`, `mix`; `all`
is the performed version itself. The tracks go to --out once (about three minutes for
the 40 tuning songs) and are scored as the corpus is; the table shows what each
factor takes from the songs as written. The held-out half is there to be scored, not
to be studied: keep to the tuning half (the default) when looking for a cause.
"""

import argparse
import concurrent.futures
import copy
import json
import os
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_corpus  # noqa: E402
import midi_songs  # noqa: E402
import mix_chain  # noqa: E402
import performance  # noqa: E402
import run_eval  # noqa: E402
import scoring  # noqa: E402
import trackers  # noqa: E402

FACTORS = ("written", "drift", "timing", "soundfont", "mix", "all")
DRY = {"eq": "flat", "reverb": "dry", "compression": "none", "snr_db": None}


def render_factor(number, song, half, factor, offsets, out, tmp):
    """One song with one factor of its performance (or none, or all); its index entry."""
    if factor == "all":
        entry = make_corpus.render_played("performed", number, song, half, True, offsets, out, tmp)
        entry["factor"] = factor
        return entry
    name = song["name"]
    # The song's own generator, as the performed section seeds it: the same notes,
    # and (drawn on a copy) the same performance settings and mix chain.
    rng = np.random.default_rng([make_corpus.RNG_START, 7, len(name), sum(map(ord, name))])
    mid, beat_ticks, tempo_map = midi_songs.compose(song, rng)
    step = midi_songs.METERS[song["meter"]][3]
    drawn = copy.deepcopy(rng)
    _, _, settings = performance.perform(copy.deepcopy(mid), list(tempo_map), step, drawn)
    chain = mix_chain.choose(drawn)
    if factor == "drift":
        mid, tempo_map, _ = performance.perform(mid, tempo_map, step, rng, depth=settings["drift"], jitter_ms=0.0,
                                                velocity_spread=0.0)
    elif factor == "timing":
        mid, tempo_map, _ = performance.perform(mid, tempo_map, step, rng, depth=0.0, jitter_ms=settings["jitter_ms"])
    soundfont = make_corpus.SOUNDFONTS[number % len(make_corpus.SOUNDFONTS)] if factor == "soundfont" \
        else make_corpus.SF2
    track = "%s_%s" % (name, factor)
    mid_path = os.path.join(tmp, "song.mid")
    mid.save(mid_path)
    wav = os.path.join(tmp, "render.wav")
    make_corpus.render(mid_path, wav, soundfont)
    beats = [midi_songs.tick_seconds(t, tempo_map) for t in beat_ticks]
    info = {"bpm": song["bpm"], "meter": song["meter"], "drums": bool(song["drums"]), "half": half,
            "performed": True, "factor": factor}
    return make_corpus.mix_and_write("performed", track, wav, soundfont, chain if factor == "mix" else DRY, rng,
                                     offsets, beats, song["fmt"], info, out, tmp)


def song_of(entry):
    """The song's name from a track's index entry."""
    cut = len("_played") if entry["factor"] == "all" else len(entry["factor"]) + 1
    return entry["name"][:-cut]


def render(songs, factors, out, jobs, held):
    """Renders every song with every factor; the index keeps the other tracks held."""
    os.makedirs(os.path.join(out, "performed"), exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        offsets = {sf: make_corpus.measure_render_offset(tmp, sf)[0] for sf in make_corpus.SOUNDFONTS}

    def one(job):
        (number, song, half, _), factor = job
        with tempfile.TemporaryDirectory() as tmp:
            return render_factor(number, song, half, factor, offsets, out, tmp)

    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        entries = list(pool.map(one, [(s, f) for s in songs for f in factors]))
    made = {(song_of(t), t["factor"]) for t in entries}
    entries += [t for t in held if "factor" in t and (song_of(t), t["factor"]) not in made]
    with open(os.path.join(out, "index.json"), "w") as f:
        json.dump({"tracks": entries}, f)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--out", default=os.path.join(tempfile.gettempdir(), "performance-factors"))
    ap.add_argument("--half", default="tuning", choices=("tuning", "heldout"))
    ap.add_argument("--factors", default=",".join(FACTORS))
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--vesk-args", default="")
    ap.add_argument("--list", action="store_true", help="also the songs each factor costs most")
    a = ap.parse_args()
    tool = os.environ.get("VESK_BEAT", os.path.join(HERE, "..", "build", "apps", "vesk-beat", "vesk-beat"))
    factors = a.factors.split(",")
    unknown = [f for f in factors if f not in FACTORS]
    if unknown:
        sys.exit("performance_factors.py: no factor %s (there are %s)" % (", ".join(unknown), ", ".join(FACTORS)))
    if "written" not in factors:
        factors.insert(0, "written")  # what the others are measured against
    songs = [s for s in make_corpus.played_songs("performed", 1) if s[2] == a.half]
    wanted = {(s[1]["name"], f) for s in songs for f in factors}
    index = os.path.join(a.out, "index.json")
    held = json.load(open(index))["tracks"] if os.path.exists(index) else []
    if not wanted <= {(song_of(t), t["factor"]) for t in held if "factor" in t}:
        render(songs, factors, a.out, a.jobs, held)
    _, tracks = run_eval.load_corpus(a.out)
    tracks = [t for t in tracks if (song_of(t), t["factor"]) in wanted]

    def run(t):
        r = trackers.run_vesk_beat(t["audio_path"], tool, a.vesk_args.split())
        return scoring.score_track(t["reference"], r["beats"], r["tempo"], t["music_start"], t.get("resume"))

    with concurrent.futures.ThreadPoolExecutor(a.jobs) as pool:
        scores = list(pool.map(run, tracks))
    by = {f: {} for f in factors}
    for t, s in zip(tracks, scores):
        by[t["factor"]][song_of(t)] = s
    keys = ("f_measure", "cmlt", "amlt")
    base = {k: np.mean([s[k] for s in by["written"].values()]) for k in keys}
    print("%d %s songs in %s" % (len(songs), a.half, a.out))
    print("| factor | F | CMLt | AMLt | F lost | AMLt lost |\n|---|---:|---:|---:|---:|---:|")
    for f in factors:
        m = {k: np.mean([s[k] for s in by[f].values()]) for k in keys}
        print("| %s | %.3f | %.3f | %.3f | %+.3f | %+.3f |" % (f, m["f_measure"], m["cmlt"], m["amlt"],
                                                          m["f_measure"] - base["f_measure"], m["amlt"] - base["amlt"]))
    if a.list:
        for f in factors[1:]:
            lost = sorted((by[f][n]["amlt"] - by["written"][n]["amlt"], n) for n in by[f])
            print("%s: %s" % (f, ", ".join("%s %+.2f" % (n, d) for d, n in lost[:6])))


if __name__ == "__main__":
    main()
