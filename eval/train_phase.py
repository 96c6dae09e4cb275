#!/usr/bin/python3
"""Trains the meter stage's beat-phase template and writes its weights.

    eval/train_phase.py [--corpus eval/corpus] [--extra /tmp/training-songs] [--build build] [--jobs 2]

The template tells where in the beats' interval the beat lies, from how the onsets
of four bands (all, low, high, middle) fall over the interval: twelve places per
interval, each the band's peak onset near it averaged over six intervals, scaled by
the band's running mean, as a logarithm. The beat's own place has a kick or a snare
with the hats; a swung eighth, a sixteenth or a dembow's snare have their own mix.
The template scores each of the twelve turns of that profile; a softmax over them
gives the odds that the beat lies so many twelfths after the beats placed. Its
examples come from the tuning half of the corpus only (the sections and groups the
level classifier is trained on, and with --extra the songs of eval/training_songs.py),
with the annotated beats as they are, at tempi within the tracker's default range;
the model is fitted by L-BFGS from zero with a little L2 weight decay, so the same
corpus gives the same weights. They are written to
conditioning/after_node/BeatPhaseWeights.h; rebuild after.
"""

import os
import sys

import numpy as np
from scipy.optimize import minimize

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import train_level  # noqa: E402

PLACES = 12  # per beat interval, as BeatPhase::kPlaces
REACH = 2  # frames either side of a place, as LevelClassifier's profile
BEATS = train_level.BEATS
FLOOR = train_level.FLOOR
L2 = 1e-2
STEP = 3  # beats between the first beats of two examples
HEADER = os.path.join(HERE, "..", "conditioning", "after_node", "BeatPhaseWeights.h")


def peak(x, at):
    centre = int(np.floor(at + 0.5))  # as std::lround
    lo, hi = max(0, centre - REACH), min(len(x), centre + REACH + 1)
    return x[lo:hi].max(0) if hi > lo else np.zeros(x.shape[1])


def profile(x, means, beats):
    """As LevelClassifier's: `beats` holds BEATS + 1 frames; (PLACES, bands)."""
    judged = min(len(x) - 1, int(np.floor(beats[-1] + 0.5)) + train_level.REACH)
    scale = 1.0 / (means[judged] + 1e-9)
    p = np.zeros((PLACES, x.shape[1]))
    for u, v in zip(beats[:-1], beats[1:]):
        for k in range(PLACES):
            p[k] += peak(x, u + k / PLACES * (v - u))
    return np.log(p / BEATS * scale + FLOOR)


def turns(p):
    """Each turn r of a profile, flattened: the beat r places after the first."""
    return np.stack([np.roll(p, -r, axis=0).ravel() for r in range(PLACES)])


def examples(track, x, means):
    ref = np.asarray(track["reference"])
    ref = ref[ref > 5.0]  # as scored: the first 5 s are left out
    if len(ref) < BEATS + 3 or not train_level.MIN_BPM <= 60.0 / np.median(np.diff(ref)) <= train_level.MAX_BPM:
        return []
    frames = (ref - train_level.BEAT_OFFSET) * train_level.FRAME_RATE
    frames = frames[frames < len(x) - REACH - 1]
    return [turns(profile(x, means, frames[s:s + BEATS + 1])) for s in range(0, len(frames) - BEATS - 1, STEP)]


def fit(X):
    """X: (examples, PLACES turns, features); turn 0 is the beat."""
    n, _, p = X.shape

    def loss(w):
        z = X @ w
        z -= z.max(1, keepdims=True)
        logp = z - np.log(np.exp(z).sum(1, keepdims=True))
        g = (np.exp(logp)[:, :, None] * X).sum(1) - X[:, 0]
        return -logp[:, 0].mean() + L2 * (w ** 2).sum(), g.mean(0) + 2 * L2 * w

    return minimize(loss, np.zeros(p), jac=True, method="L-BFGS-B").x


def write_header(path, w, n):
    body = ("constexpr int kPlaces = %d;\nconstexpr int kBands = %d;\n" % (PLACES, len(train_level.BANDS)))
    body += ("// Per place after the beat, a weight per band (%s) of the log onset level.\n"
             "constexpr double kTemplate[kPlaces][kBands] = {\n" % ", ".join(train_level.BANDS))
    body += "".join("    {%s},\n" % train_level.numbers(row) for row in w.reshape(PLACES, -1)) + "};\n"
    train_level.write_generated_header(path, "VESK_CONDITIONING_BEATPHASEWEIGHTS_H", "train_phase.py",
                                       "%d examples" % n, "phase_weights", body)


def main():
    a, tracks, signals = train_level.tuning_onsets(__doc__.split("\n")[0], HEADER, "train_phase.py")
    X = np.array([e for t, (x, m) in zip(tracks, signals) for e in examples(t, x, m)])
    w = fit(X)
    best = np.argmax(X @ w, 1)
    print("%d examples, %.3f of them with the beat in its place, %.3f half a beat off"
          % (len(X), (best == 0).mean(), (best == PLACES // 2).mean()))
    write_header(a.out, w, len(X))
    print("wrote", os.path.relpath(a.out))


if __name__ == "__main__":
    main()
