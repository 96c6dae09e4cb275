#!/usr/bin/python3
"""Trains the meter stage's level classifier and writes its weights.

    eval/train_level.py [--corpus eval/corpus] [--extra /tmp/training-songs] [--build build] [--jobs 2]

The classifier tells, from how the onsets of four bands fall on the beats the stage
places (on them, half-way between them, at the quarters, on every other one) and the
tempo, whether those beats are right, twice too slow, twice too fast or on the
off-beat. Its examples come from the tuning half of the corpus only (the hard,
performed and grooves sections' tuning songs and the midi section; never a held-out
song; with --extra, every song of eval/training_songs.py's folders as well), with
the annotated beats placed as a tracker might have placed them: as they are, every
other one (either phase), with the half-way points added, and half a beat late. Each
example is a window of six beat intervals, at tempi within the tracker's default
range (the stage judges beats only there). The onsets are the stage's
own, written per frame by `level-features` (built with the benchmarks); the model is
a multinomial logistic regression with a little L2 weight decay, fitted by L-BFGS
from zero, so the same corpus gives the same weights. They are written to
conditioning/after_node/LevelClassifierWeights.h; rebuild after.
"""

import argparse
import concurrent.futures
import os
import subprocess
import sys
import tempfile

import numpy as np
from scipy.optimize import minimize
from scipy.signal import lfilter

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run_eval  # noqa: E402

FRAME_RATE = 100.0
# The time of a frame's beat, as the stage reports it, less the frame's own time.
BEAT_OFFSET = -0.003
BEATS = 6  # beat intervals per example, as LevelClassifier::kBeats
REACH = 3  # frames either side where an onset counts as on time, as LevelClassifier
FLOOR = 0.05  # added to each mean onset, in running means
MEAN_SECONDS = 10.0
MIN_BPM, MAX_BPM = 80.0, 200.0
TRAIN_GROUPS = ("hard-tuning", "performed-tuning", "grooves-tuning", "midi")
VERDICTS = ("right", "faster", "slower", "off-beat")
BANDS = ("all", "low", "high", "mid")
RATIOS = ("half/beat", "quarter/beat", "weaker/stronger beat")
L2 = 1e-2
HEADER = os.path.join(HERE, "..", "conditioning", "after_node", "LevelClassifierWeights.h")


def onsets(tool, audio, folder):
    out = os.path.join(folder, os.path.basename(audio) + ".f32")
    subprocess.run([tool, audio, out], check=True)
    x = np.fromfile(out, dtype=np.float32).reshape(-1, 4).astype(np.float64)
    os.remove(out)
    decay = np.exp(-1.0 / (MEAN_SECONDS * FRAME_RATE))
    means = lfilter([1.0 - decay], [1.0, -decay], x, axis=0)
    # as if the mean had always run: its first seconds would weigh too little
    means /= (1.0 - decay ** np.arange(1, len(x) + 1))[:, None]
    return x, means


def per_track(build, jobs, tracks, read, caller):
    """read(tool, audio, folder) for each track, `jobs` at a time: the stage's own
    values per frame, written by `level-features` into a scratch folder."""
    tool = os.path.join(build, "eval", "level-features")
    if not os.access(tool, os.X_OK):
        sys.exit("%s: %s is missing: build with the benchmarks (the default)" % (caller, tool))
    with tempfile.TemporaryDirectory() as folder, \
            concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        return list(pool.map(lambda t: read(tool, t["audio_path"], folder), tracks))


def peak(signal, at):
    centre = int(np.floor(at + 0.5))  # as std::lround, not round-half-even
    lo, hi = max(0, centre - REACH), min(len(signal), centre + REACH + 1)
    return signal[lo:hi].max() if hi > lo else 0.0


def features(x, means, beats, bpm):
    """As LevelClassifier::judge: `beats` holds BEATS + 1 frames."""
    f = []
    for b in range(len(BANDS)):
        s = x[:, b]
        # the mean as the classifier has it when it judges: REACH frames after the last beat
        scale = 1.0 / (means[min(len(x) - 1, int(np.floor(beats[-1] + 0.5)) + REACH), b] + 1e-9)
        on = [peak(s, t) for t in beats]
        beat = np.mean(on) * scale + FLOOR
        half = np.mean([peak(s, 0.5 * (u + v)) for u, v in zip(beats[:-1], beats[1:])]) * scale + FLOOR
        quarter = np.mean([peak(s, u + q * (v - u)) for u, v in zip(beats[:-1], beats[1:])
                           for q in (0.25, 0.75)]) * scale + FLOOR
        even, odd = np.mean(on[0::2]) * scale + FLOOR, np.mean(on[1::2]) * scale + FLOOR
        f += [np.log(half / beat), np.log(quarter / beat), np.log(min(even, odd) / max(even, odd))]
    t = np.log2(bpm / 120.0)
    return f + [t, t * t]


def examples(track, x, means, step=4):
    ref = np.asarray(track["reference"])
    ref = ref[ref > 5.0]  # as scored: the first 5 s are left out
    if len(ref) < 2 * BEATS + 2:
        return []
    period = np.median(np.diff(ref))
    frames = (ref - BEAT_OFFSET) * FRAME_RATE
    frames = frames[frames < len(x) - REACH - 1]
    halves = np.sort(np.concatenate([frames, 0.5 * (frames[:-1] + frames[1:])]))
    placings = [(0, frames, 60.0 / period),
                (1, frames[0::2], 30.0 / period), (1, frames[1::2], 30.0 / period),
                (2, halves, 120.0 / period),
                (3, 0.5 * (frames[:-1] + frames[1:]), 60.0 / period)]
    out = []
    for verdict, beats, bpm in placings:
        if not MIN_BPM <= bpm <= MAX_BPM:
            continue
        for s in range(0, len(beats) - BEATS - 1, step):
            out.append((features(x, means, beats[s:s + BEATS + 1], bpm), verdict))
    return out


def fit(X, y):
    n, p = X.shape
    k = len(VERDICTS)

    def loss(w):
        W = w.reshape(k, p + 1)
        z = X @ W[:, :p].T + W[:, p]
        z -= z.max(1, keepdims=True)
        logp = z - np.log(np.exp(z).sum(1, keepdims=True))
        value = -logp[np.arange(n), y].mean() + L2 * (W[:, :p] ** 2).sum()
        g = np.exp(logp)
        g[np.arange(n), y] -= 1.0
        grad = np.zeros_like(W)
        grad[:, :p] = g.T @ X / n + 2 * L2 * W[:, :p]
        grad[:, p] = g.mean(0)
        return value, grad.ravel()

    return minimize(loss, np.zeros(k * (p + 1)), jac=True, method="L-BFGS-B").x.reshape(k, p + 1)


def numbers(values):
    """Values as the generated weights headers write them."""
    return ", ".join("%.9g" % v for v in values)


def write_generated_header(path, guard, script, examples, namespace, body):
    """A generated weights header: what made it and from what, its include guard
    and namespaces around `body` (C++ text), kept from clang-format."""
    with open(path, "w") as f:
        f.write("// Generated by eval/%s from the tuning half of eval/corpus\n"
                "// (%s): do not edit.\n" % (script, examples))
        f.write("#ifndef %s\n#define %s\n\n// clang-format off\n"
                "namespace vesk_conditioning {\nnamespace %s {\n\n" % (guard, guard, namespace))
        f.write(body)
        f.write("\n}  // namespace %s\n}  // namespace vesk_conditioning\n"
                "// clang-format on\n\n#endif\n" % namespace)


def write_header(path, W, mean, spread, n):
    names = ["%s %s" % (b, r) for b in BANDS for r in RATIOS] + ["log2(bpm / 120)", "its square"]
    body = "constexpr int kFeatures = %d;\n" % len(names)
    body += "// %s.\nconstexpr int kVerdicts = %d;\n" % (", ".join(VERDICTS), len(VERDICTS))
    body += "// The features' means and spreads over the examples: %s.\n" % ", ".join(names)
    body += "constexpr double kMean[kFeatures] = {%s};\n" % numbers(mean)
    body += "constexpr double kSpread[kFeatures] = {%s};\n" % numbers(spread)
    body += ("// Per verdict: a weight per standardised feature, then the bias.\n"
             "constexpr double kWeights[kVerdicts][kFeatures + 1] = {\n")
    body += "".join("    {%s},\n" % numbers(row) for row in W) + "};\n"
    write_generated_header(path, "VESK_CONDITIONING_LEVELCLASSIFIERWEIGHTS_H", "train_level.py",
                           "%d examples" % n, "level_weights", body)


def tuning_onsets(description, header, caller):
    """The command line of a trainer on the stage's onsets (--corpus, --build, --jobs,
    --out, written to `header` by default), and the training tracks with their onsets
    and running means."""
    ap = argparse.ArgumentParser(description=description)
    ap.add_argument("--corpus", default=os.path.join(HERE, "corpus"))
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--out", default=header)
    ap.add_argument("--extra", action="append", default=[],
                    help="a folder of eval/training_songs.py's songs, all of them trained on too")
    a = ap.parse_args()
    tracks = training_tracks(a.corpus, a.extra)
    return a, tracks, per_track(a.build, a.jobs, tracks, onsets, caller)


def training_tracks(corpus, extra, groups=TRAIN_GROUPS):
    """The corpus's tracks of `groups` and every track of the `extra` folders."""
    _, tracks = run_eval.load_corpus(corpus)
    tracks = [t for t in tracks if run_eval.group_of(t) in groups]
    for folder in extra:
        tracks += run_eval.load_corpus(folder)[1]
    return tracks


def main():
    a, tracks, signals = tuning_onsets(__doc__.split("\n")[0], HEADER, "train_level.py")
    data = [e for t, (x, m) in zip(tracks, signals) for e in examples(t, x, m)]
    X = np.array([e[0] for e in data])
    y = np.array([e[1] for e in data])
    mean, spread = X.mean(0), X.std(0) + 1e-9
    W = fit((X - mean) / spread, y)
    predicted = np.argmax((X - mean) / spread @ W[:, :-1].T + W[:, -1], 1)
    for k, name in enumerate(VERDICTS):
        print("%-8s %5d examples, %.3f of them judged so" % (name, (y == k).sum(), (predicted[y == k] == k).mean()))
    write_header(a.out, W, mean, spread, len(y))
    print("wrote", os.path.relpath(a.out))


if __name__ == "__main__":
    main()
