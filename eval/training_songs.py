#!/usr/bin/python3
"""Songs composed at random: music neither half of the corpus holds, to score and to train on.

    eval/training_songs.py [--out /tmp/training-songs] [--count 300] [--jobs 2]

The corpus's songs are written by hand, one per kind, and the learned parts (the
level classifier, the phase template, the beat activation) heard only its tuning
half: a few dozen arrangements, which they learn by heart as much as by kind. These
songs are drawn instead, each from its own seeded generator: the meter (mostly 4/4,
also 2/4, 3/4, 5/4, 6/4, 6/8 and 12/8, and shuffles), the beat's tempo (log-uniform
over 58-200 BPM, 50-125 for a dotted quarter, sometimes with a step or a ramp), a drum part of one of several
kinds (a backbeat, four on the floor, a clave and its percussion, one instrument
alone, a busy part of toms and bells, or none), a bass line that follows
the kick or the meter's strong places, the chords' rhythm (on the beats, off them,
held, pushed, arpeggiated), the instruments, swing and a melody. Each is played as
written or performed (a drifting tempo, notes off the grid), rendered with one of the
soundfonts and put through a mix chain, as the corpus's performed section is. The
annotated beat is the quarter note (the dotted quarter in 6/8 and 12/8).

Written to --out (index.json, section "training"): run_eval.py scores it with --corpus,
and the trainers take it with --extra.
"""

import argparse
import concurrent.futures
import json
import math
import os
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import hard_songs as hs  # noqa: E402
import make_corpus  # noqa: E402
import midi_songs  # noqa: E402

SECONDS = 36
# Where the draws start: the corpus's renders start elsewhere (make_corpus.RNG_START).
FIRST_DRAW = 5309

BASS_PROGS = (32, 33, 34, 35, 36, 38, 39, 43, 58, 87)
COMP_PROGS = (0, 1, 2, 4, 5, 6, 7, 11, 16, 17, 18, 19, 24, 25, 26, 27, 28, 29, 30, 46, 48, 49, 50, 52, 56, 61, 62, 80,
              81, 88, 89, 90, 104, 105)
LEAD_PROGS = (11, 12, 13, 40, 41, 56, 57, 65, 66, 68, 71, 73, 79, 80, 81)
PROGRESSIONS = list(midi_songs.PROG.values()) + [hs.VAMP, hs.LATIN, hs.GOSPEL, hs.ANDALUSIAN, hs.ONE_FOUR,
                                                   hs.MINOR_VAMP, hs.SOUL]
# The claves of Afro-Cuban music and its relatives, two bars of 4/4 in sixteenths.
CLAVES = ("..x.x...|x..x..x.", "x..x..x.|..x.x...", "x..x...x|..x.x...", "x..x..x.|...x.x..",
          "x..x..x...x.x...", "x..x..x.x..x..x.")
# Bells over a bar of 12/8 in eighths.
BELLS = ("x.x.xx.x.x.x", "x.x.x.xx.x.x", "x.xx.x.xx.x.", "x..x..x..x.x")


def _pick(rng, options):
    return options[int(rng.integers(len(options)))]


def _meter(rng):
    """(meter, beats per bar, steps per beat, whether the steps are triplets in 4/4)."""
    r = rng.random()
    if r < 0.50:
        return "4/4", 4, 4, False
    if r < 0.60:
        return "4/4", 4, 3, True  # a shuffle: triplet eighths
    if r < 0.68:
        return "2/4", 2, 4, False
    if r < 0.77:
        return "3/4", 3, 4, False
    if r < 0.86:
        return "12/8", 4, 3, False
    if r < 0.91:
        return "6/8", 2, 3, False
    if r < 0.96:
        return "5/4", 5, 4, False
    return "6/4", 6, 4, False


def _strength(step, sub):
    """How strong a place in the beat is: 3 on the beat, 2 half-way, 1 between."""
    k = step % sub
    if k == 0:
        return 3
    if sub == 4 and k == 2:
        return 2
    return 1


def _line(rng, n, probs, marks="x", hold=False):
    """A step string of n steps: a mark where a draw falls under the step's probability."""
    out = []
    for i in range(n):
        if rng.random() < probs[i]:
            out.append(marks[int(rng.integers(len(marks)))])
        else:
            out.append("-" if hold and out and out[-1] != "." else ".")
    return "".join(out)


def _metric_probs(n, sub, on_beat, half, between, downbeat=None):
    probs = [(between, half, on_beat)[_strength(i, sub) - 1] for i in range(n)]
    if downbeat is not None:
        probs[0] = downbeat
    return probs


def _drums(rng, kind, beats, sub):
    """{drum note: step string} of one bar (or two, '|'-separated) for a kind of drum part."""
    n = beats * sub
    beat_steps = [b * sub for b in range(beats)]
    blank = ["."] * n

    def at(steps, mark="x"):
        s = list(blank)
        for i in steps:
            s[i % n] = mark
        return "".join(s)

    def hats():
        choice = rng.integers(4)
        if choice == 0:  # every step
            return _line(rng, n, [1.0] * n, "xo")
        if choice == 1 and sub == 4:  # eighths
            return at(range(0, n, 2))
        if choice == 2:  # the off-beats only
            return at([b + 2 for b in beat_steps])
        return at(beat_steps)

    backbeats = [b for k, b in enumerate(beat_steps) if k % 2 == 1] or beat_steps[-1:]
    if kind == "backbeat":
        kick = _line(rng, n, _metric_probs(n, sub, 0.3, 0.25, 0.08, downbeat=1.0), "Xx")
        if beats == 4 and rng.random() < 0.6:
            kick = kick[:2 * sub] + "x" + kick[2 * sub + 1:]
        if rng.random() < 0.25 and beats == 4:  # half time: the snare on three
            backbeats = [2 * sub]
        lines = {hs.KICK: kick, _pick(rng, [hs.SNARE, hs.CLAP, hs.ESNARE]): at(backbeats, "X"),
                 _pick(rng, [hs.CHH, hs.CHH, hs.RIDE, hs.OHH]): hats()}
        if rng.random() < 0.4:
            ghosts = _line(rng, n, [0.15] * n, "g")
            lines[hs.SNARE] = "".join(a if a != "." else g for a, g in zip(lines.get(hs.SNARE, "." * n), ghosts))
        return lines
    if kind == "floor":
        lines = {hs.KICK: at(beat_steps, "X")}
        if rng.random() < 0.7:
            lines[_pick(rng, [hs.CLAP, hs.SNARE])] = at(backbeats)
        if sub == 4:
            lines[hs.OHH] = at([b + 2 for b in beat_steps])
        if rng.random() < 0.5:
            lines[hs.CHH] = _line(rng, n, [0.8] * n, "og")
        return lines
    if kind == "clave":
        if sub == 3:
            lines = {hs.COWBELL: _pick(rng, BELLS) * (n // 12)} if n % 12 == 0 else \
                {hs.COWBELL: at(range(0, n, 2))}
        elif n == 16:
            lines = {hs.CLAVES: _pick(rng, CLAVES)}
        else:
            lines = {hs.CLAVES: _line(rng, n, _metric_probs(n, sub, 0.4, 0.3, 0.2, downbeat=1.0))}
        lines[hs.MARACAS] = _line(rng, n, [1.0] * n, "og")
        lines[_pick(rng, [hs.OCONGA, hs.HBONGO])] = _line(rng, n, _metric_probs(n, sub, 0.3, 0.4, 0.3), "xX")
        if rng.random() < 0.5:
            lines[hs.KICK] = at([0] + ([n // 2] if rng.random() < 0.5 else []), "o")
        return lines
    if kind == "sparse":
        drum = _pick(rng, [hs.SIDE, hs.TAMB, hs.RIDE, hs.SNARE, hs.LTOM])
        return {drum: _line(rng, n, _metric_probs(n, sub, 0.7, 0.35, 0.1, downbeat=1.0), "xo")}
    # busy: toms, bells and hand drums over every step, the beats a little louder
    lines = {}
    for drum in rng.choice([hs.LFTOM, hs.HTOM, hs.MTOM, hs.HAGOGO, hs.LAGOGO, hs.HTIMB, hs.MCONGA, hs.CABASA],
                           size=3, replace=False):
        lines[int(drum)] = _line(rng, n, _metric_probs(n, sub, 0.6, 0.45, 0.35), "xog")
    return lines


def _bass(rng, drums, beats, sub):
    n = beats * sub
    kick = drums.get(hs.KICK, "")
    if kick and "|" not in kick and rng.random() < 0.45:
        starts = [c != "." for c in kick]
        return "".join(("0" if i == 0 else str(int(rng.integers(4)))) if on else "." for i, on in enumerate(starts))
    probs = _metric_probs(n, sub, *rng.choice([(0.6, 0.2, 0.05), (0.9, 0.3, 0.1), (0.35, 0.45, 0.25)]),
                          downbeat=0.95)
    s = _line(rng, n, probs, "0123", hold=rng.random() < 0.5)
    return s if s.strip(".-") else "0" + s[1:]


def _comp(rng, beats, sub):
    n = beats * sub
    kind = rng.integers(5)
    if kind == 0:  # on the beats
        return "".join("x" if i % sub == 0 else "." for i in range(n))
    if kind == 1 and sub == 4:  # off the beats
        return "".join("x" if i % sub == 2 else "." for i in range(n))
    if kind == 2:  # held
        return "x" + "-" * (n - 1)
    if kind == 3:
        return "arp44"
    return _line(rng, n, _metric_probs(n, sub, 0.45, 0.35, 0.2, downbeat=0.8), "Xxo", hold=True)


def compose(index):
    """One song's settings (hard_songs.song), drawn from a generator of its own."""
    rng = np.random.default_rng([FIRST_DRAW, index])
    meter, beats, sub, triplets = _meter(rng)
    compound = meter in ("6/8", "12/8")
    low, high = (50, 125) if compound else (58, 200)
    bpm = int(round(math.exp(rng.uniform(math.log(low), math.log(high)))))
    kind = rng.choice(["backbeat", "backbeat", "floor", "clave", "sparse", "busy", "none"])
    if kind == "floor" and (sub != 4 or beats not in (2, 4)):
        kind = "backbeat"
    drums = _drums(rng, kind, beats, sub) if kind != "none" else None
    bass = _bass(rng, drums or {}, beats, sub)
    comp = _comp(rng, beats, sub)
    prog = PROGRESSIONS[int(rng.integers(len(PROGRESSIONS)))]
    name = "train_%03d_%s_%s_%d" % (index, kind, meter.replace("/", "-") + ("sh" if triplets else ""), bpm)
    kw = dict(key=int(rng.integers(-5, 7)), human=int(rng.integers(1, 6)), crash=bool(rng.random() < 0.5))
    if sub == 4 and not compound and rng.random() < 0.25:
        kw["swing"] = True if rng.random() < 0.5 else (240, float(rng.uniform(0.56, 0.67)))
    if rng.random() < 0.5:
        kw["melody"] = int(rng.choice(LEAD_PROGS))
    if comp == "arp44":
        kw["arp_step"] = int(midi_songs.METERS[meter][3] // (2 if rng.random() < 0.5 else 4 if sub == 4 else 3))
    layers = []
    if rng.random() < 0.35:
        layers.append(hs.tones_layer(meter, int(rng.choice(COMP_PROGS)),
                                     _line(rng, beats * sub, [0.55] * (beats * sub), "0123AB"), octave=12, vel=70))
    if layers:
        kw["layers"] = layers
    s = hs.song(name, "training-" + kind, meter, bpm, hs.kit(meter, drums) if drums else None,
                hs.line(meter, bass), int(rng.choice(BASS_PROGS)),
                comp if comp == "arp44" else hs.hits(meter, comp, float(rng.uniform(0.6, 1.0))),
                int(rng.choice(COMP_PROGS)), prog, **kw)
    bar_seconds = 60.0 / bpm * beats
    s["bars"] = max(8, int(round(SECONDS / bar_seconds)))
    change = rng.random()
    if change < 0.1:
        s["tempo"] = [(s["bars"] // 2, int(round(bpm * rng.choice([0.8, 0.9, 1.15, 1.3]))))]
    elif change < 0.18:
        s["ramp"] = (s["bars"] // 4, 3 * s["bars"] // 4, int(round(bpm * rng.choice([0.8, 1.25]))))
    return s


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--out", default="/tmp/training-songs")
    ap.add_argument("--count", type=int, default=300)
    ap.add_argument("--jobs", type=int, default=2)
    a = ap.parse_args()
    os.makedirs(os.path.join(a.out, "training"), exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        offsets = {sf: make_corpus.measure_render_offset(tmp, sf)[0] for sf in make_corpus.SOUNDFONTS}

    def one(i):
        song = compose(i)
        with tempfile.TemporaryDirectory() as tmp:
            return make_corpus.render_played("training", i, song, None, i % 3 != 0, offsets, a.out, tmp)

    with concurrent.futures.ThreadPoolExecutor(a.jobs) as pool:
        entries = list(pool.map(one, range(a.count)))
    with open(os.path.join(a.out, "index.json"), "w") as f:
        json.dump({"render_offset_s": offsets[make_corpus.SF2], "tracks": entries}, f)


if __name__ == "__main__":
    main()
