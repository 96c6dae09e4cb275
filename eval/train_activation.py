#!/usr/bin/python3
"""Trains the meter stage's beat activation and writes its weights.

    eval/train_activation.py [--corpus eval/corpus] [--factors /tmp/performance-factors]
                             [--extra /tmp/training-songs] [--build build] [--jobs 2]

The activation tells, frame by frame, how likely a beat is to fall there, from how
the sound rises in fifteen bands and in the stage's own onsets (all bands, low,
middle, high), each as it is and against its mean over the last 3 s, over the frame
and the four before it (BeatActivation). Its examples are every frame of the tuning
half of the corpus (the hard, performed and grooves sections' tuning songs, the midi
and synthetic sections; never a held-out song; with --extra, the songs of
eval/training_songs.py's folders too) and, with --factors, of the tuning
songs rendered one performance factor at a time by eval/performance_factors.py (its
`all` renders are the corpus's own performed tracks and are left out). A frame is a
beat where an annotated beat falls on it (its neighbours count half). The inputs are
the stage's own, written per frame by `level-features --activation` (built with the
benchmarks); the model is one hidden layer of 12 tanh units and a logistic output,
fitted by L-BFGS from a seeded start on every eighth frame, so the same tracks give
the same weights. They are written to conditioning/after_node/BeatActivationWeights.h;
rebuild after.
"""

import argparse
import os
import subprocess
import sys

import numpy as np
from scipy.optimize import minimize
from scipy.signal import lfilter

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run_eval  # noqa: E402
from train_level import numbers, per_track, training_tracks as tuning_tracks, write_generated_header  # noqa: E402

FRAME_RATE = 100.0
# The frame an annotated beat's onset rises on: a hop and a quarter window after it.
ONSET_LAG = 0.018
INPUTS = 19  # BeatActivation::kInputs
FRAMES = 5  # this frame and the four before it
HIDDEN = 12
MEAN_SECONDS = 3.0
L2 = 1e-3
EVERY = 8  # every how many frames is fitted on
ITERATIONS = 120
TRAIN_GROUPS = ("hard-tuning", "performed-tuning", "grooves-tuning", "midi", "synthetic")
HEADER = os.path.join(HERE, "..", "conditioning", "after_node", "BeatActivationWeights.h")


def inputs(tool, audio, folder):
    """The activation's inputs per frame, and the activation the stage computed."""
    out = os.path.join(folder, os.path.basename(audio) + ".f32")
    subprocess.run([tool, "--activation", audio, out], check=True)
    x = np.fromfile(out, dtype=np.float32).reshape(-1, INPUTS + 1).astype(np.float64)
    os.remove(out)
    return x[:, :INPUTS], x[:, INPUTS]


def features(x):
    """As BeatActivation::process: per frame, the inputs and their share of their
    running mean, through log1p, for this frame and the FRAMES - 1 before it."""
    decay = np.exp(-1.0 / (MEAN_SECONDS * FRAME_RATE))
    mean = lfilter([1.0 - decay], [1.0, -decay], x, axis=0)
    f = np.log1p(np.concatenate([x, x / (mean + 1e-3)], axis=1))
    frames = [f]
    for k in range(1, FRAMES):
        earlier = np.zeros_like(f)
        earlier[k:] = f[:-k]
        frames.append(earlier)
    return np.concatenate(frames, axis=1)


def targets(reference, n):
    y = np.zeros(n)
    for t in reference:
        f = int(round((t + ONSET_LAG) * FRAME_RATE))
        for d, v in ((-1, 0.5), (0, 1.0), (1, 0.5)):
            if 0 <= f + d < n:
                y[f + d] = max(y[f + d], v)
    return y


def unpack(p, d):
    return (p[:d * HIDDEN].reshape(d, HIDDEN), p[d * HIDDEN:d * HIDDEN + HIDDEN],
            p[d * HIDDEN + HIDDEN:d * HIDDEN + 2 * HIDDEN], p[-1])


def forward(params, X):
    W1, b1, w2, b2 = params
    return 1.0 / (1.0 + np.exp(-(np.tanh(X @ W1 + b1) @ w2 + b2)))


def fit(X, y):
    d = X.shape[1]
    weight = np.where(y > 0, (len(y) - y.sum()) / y.sum() / 4, 1.0)  # beats are rare

    def loss(p):
        W1, b1, w2, b2 = unpack(p, d)
        h = np.tanh(X @ W1 + b1)
        pr = 1.0 / (1.0 + np.exp(-(h @ w2 + b2)))
        value = -(weight * (y * np.log(pr + 1e-9) + (1 - y) * np.log(1 - pr + 1e-9))).sum() / len(y)
        value += L2 * ((W1 ** 2).sum() + (w2 ** 2).sum())
        g = weight * (pr - y) / len(y)
        gh = np.outer(g, w2) * (1 - h ** 2)
        grad = np.concatenate([(X.T @ gh + 2 * L2 * W1).ravel(), gh.sum(0), h.T @ g + 2 * L2 * w2, [g.sum()]])
        return value, grad

    start = np.random.default_rng(0).normal(0.0, 0.1, d * HIDDEN + 2 * HIDDEN + 1)
    p = minimize(loss, start, jac=True, method="L-BFGS-B", options={"maxiter": ITERATIONS}).x
    return unpack(p, d)


def write_header(path, params, mean, spread, frames, tracks):
    W1, b1, w2, b2 = params
    body = "constexpr int kInputs = %d;\nconstexpr int kFrames = %d;\n" % (INPUTS, FRAMES)
    body += "constexpr int kFeatures = %d;  // per frame: the inputs, then their shares of their means\n" % len(mean)
    body += "constexpr int kHidden = %d;\n" % HIDDEN
    body += ("// Per frame, of each input's running mean (%g s at %g frames per second).\n"
             "constexpr double kMeanDecay = %.17g;\n"
             % (MEAN_SECONDS, FRAME_RATE, np.exp(-1.0 / (MEAN_SECONDS * FRAME_RATE))))
    body += "// The features' means and spreads over the frames.\n"
    body += "constexpr double kMean[kFeatures] = {%s};\n" % numbers(mean)
    body += "constexpr double kSpread[kFeatures] = {%s};\n" % numbers(spread)
    body += ("// Per standardised feature, a weight per hidden unit.\n"
             "constexpr double kHiddenWeights[kFeatures][kHidden] = {\n")
    body += "".join("    {%s},\n" % numbers(row) for row in W1) + "};\n"
    body += "constexpr double kHiddenBias[kHidden] = {%s};\n" % numbers(b1)
    body += "constexpr double kOutputWeights[kHidden] = {%s};\n" % numbers(w2)
    body += "constexpr double kOutputBias = %.9g;\n" % b2
    write_generated_header(path, "VESK_CONDITIONING_BEATACTIVATIONWEIGHTS_H", "train_activation.py",
                           "%d tracks, %d frames" % (tracks, frames), "activation_weights", body)


def training_tracks(corpus, factors, extra):
    tracks = tuning_tracks(corpus, extra, TRAIN_GROUPS)
    if factors:
        _, renders = run_eval.load_corpus(factors)
        tracks += [t for t in renders if t.get("factor") != "all" and t.get("half", "tuning") == "tuning"]
    return tracks


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--corpus", default=os.path.join(HERE, "corpus"))
    ap.add_argument("--factors", default="", help="a folder of eval/performance_factors.py's renders")
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--out", default=HEADER)
    ap.add_argument("--extra", action="append", default=[],
                    help="a folder of eval/training_songs.py's songs, all of them trained on too")
    a = ap.parse_args()
    tracks = training_tracks(a.corpus, a.factors, a.extra)
    signals = per_track(a.build, a.jobs, tracks, lambda *args: inputs(*args)[0], "train_activation.py")
    X = np.concatenate([features(x) for x in signals])
    y = np.concatenate([targets(t["reference"], len(x)) for t, x in zip(tracks, signals)])
    mean, spread = X.mean(0), X.std(0) + 1e-6
    X = (X - mean) / spread
    print("%d tracks, %d frames, %d of them beats" % (len(tracks), len(X), (y == 1).sum()))
    params = fit(X[::EVERY], y[::EVERY])
    write_header(a.out, params, mean, spread, len(X), len(tracks))
    print("wrote", os.path.relpath(a.out))


if __name__ == "__main__":
    main()
