#!/usr/bin/python3
"""Checks that eval/train_level.py and eval/train_phase.py compute the level
classifier's features and the beat phase's profile as the meter stage itself does:
the weights they train are right only then.

    eval/check_level_features.py --build BUILD

A drum-like signal is written, its onsets taken by `level-features`, and windows of
beats judged twice: by `level-judge` (LevelClassifier, in C++) and by the trainer's
`features` with the weights in LevelClassifierWeights.h, and train_phase.py's
`profile` with the template in BeatPhaseWeights.h. The odds must agree.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

import numpy as np
from scipy.io import wavfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import train_level  # noqa: E402
import train_phase  # noqa: E402


def header_numbers(text, name):
    """The values of constant `name` (an array, nested or not, or a scalar) in a
    generated weights header."""
    body = re.search(r"%s(\[[^=]*)?\s*=\s*(.*?);" % name, text, re.S).group(2)
    return np.array([float(v) for v in re.findall(r"[-+0-9.eE]+", body.replace("{", " ").replace("}", " "))])


def weights(path):
    """kMean, kSpread and kWeights from the generated header."""
    text = open(path).read()
    mean, spread = header_numbers(text, "kMean"), header_numbers(text, "kSpread")
    return mean, spread, header_numbers(text, "kWeights").reshape(len(train_level.VERDICTS), len(mean) + 1)


def groove(path, rate=22050, bpm=100.0, seconds=20.0):
    """Kicks on the beats, snares on every other one, hats on the eighths, a
    little noise between, so that every band has onsets and a floor."""
    rng = np.random.default_rng(7)
    x = 0.002 * rng.standard_normal(int(seconds * rate))
    t = np.arange(int(0.2 * rate)) / rate
    kick = 0.8 * np.sin(2 * np.pi * (55 + 60 * np.exp(-t / 0.03)) * t) * np.exp(-t / 0.08)
    snare = 0.5 * rng.standard_normal(len(t)) * np.exp(-t / 0.05)
    hat = 0.2 * np.diff(rng.standard_normal(len(t) + 1)) * np.exp(-t / 0.01)
    eighth = 30.0 / bpm
    for i in range(int(seconds / eighth)):
        at = int(i * eighth * rate)
        sounds = [hat] + ([kick] if i % 2 == 0 else []) + ([snare] if i % 4 == 2 else [])
        for s in sounds:
            n = min(len(s), len(x) - at)
            x[at:at + n] += s[:n]
    wavfile.write(path, rate, (np.clip(x, -1, 1) * 32767).astype(np.int16))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", required=True)
    a = ap.parse_args()
    mean, spread, w = weights(train_level.HEADER)
    template = header_numbers(open(train_phase.HEADER).read(), "kTemplate")
    with tempfile.TemporaryDirectory() as folder:
        audio = os.path.join(folder, "groove.wav")
        groove(audio)
        x, means = train_level.onsets(os.path.join(a.build, "eval", "level-features"), audio, folder)
        onsets = os.path.join(folder, "onsets.f32")
        x.astype(np.float32).tofile(onsets)
        worst, windows = 0.0, 0
        # Beats as the stage places them: whole frames; at the beat, twice it,
        # half of it and on the off-beat, from several starts.
        for period, offset, bpm in ((60, 0, 100.0), (30, 0, 200.0), (120, 0, 50.0), (60, 30, 100.0),
                                    (61, 7, 98.4)):
            for start in range(150, len(x) - 7 * period - 10, 173):
                beats = [start + offset + k * period for k in range(train_level.BEATS + 1)]
                out = subprocess.run([os.path.join(a.build, "eval", "level-judge"), onsets, repr(bpm)] +
                                     [str(b) for b in beats], capture_output=True, text=True, check=True)
                theirs = np.array([float(v) for v in out.stdout.split()])
                f = (np.array(train_level.features(x, means, np.array(beats, float), bpm)) - mean) / spread
                z = w[:, :-1] @ f + w[:, -1]
                odds = [np.exp(z - z.max())]
                z = train_phase.turns(train_phase.profile(x, means, np.array(beats, float))) @ template
                odds.append(np.exp(z - z.max()))
                ours = np.concatenate([o / o.sum() for o in odds])
                worst = max(worst, float(np.abs(ours - theirs).max()))
                windows += 1
    print("%d windows, largest difference in the odds %.2g" % (windows, worst))
    if windows < 20 or worst > 1e-4:
        sys.exit("check_level_features.py: the trainer's features are not the classifier's")


if __name__ == "__main__":
    main()
