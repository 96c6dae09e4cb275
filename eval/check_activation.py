#!/usr/bin/python3
"""Checks that eval/train_activation.py computes the beat activation as the meter stage
does: the weights it trains are right only then.

    eval/check_activation.py --build BUILD

A drum-like signal is written (eval/check_level_features.py's), and
`level-features --activation` gives each frame's inputs and the activation the stage computed from them. The trainer's
features and forward pass, with the weights in BeatActivationWeights.h, must give the
same activation.
"""

import argparse
import os
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_level_features  # noqa: E402
import train_activation  # noqa: E402


def weights(path):
    """The trainer's parameters and the features' means and spreads, from the header."""
    text = open(path).read()
    numbers = lambda name: check_level_features.header_numbers(text, name)  # noqa: E731
    mean, spread = numbers("kMean"), numbers("kSpread")
    W1 = numbers("kHiddenWeights").reshape(len(mean), -1)
    return (W1, numbers("kHiddenBias"), numbers("kOutputWeights"), numbers("kOutputBias")[0]), mean, spread


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", required=True)
    a = ap.parse_args()
    params, mean, spread = weights(train_activation.HEADER)
    with tempfile.TemporaryDirectory() as folder:
        audio = os.path.join(folder, "groove.wav")
        check_level_features.groove(audio)  # 100 BPM: a kick every 60 frames, hats on the eighths
        x, theirs = train_activation.inputs(os.path.join(a.build, "eval", "level-features"), audio, folder)
    ours = train_activation.forward(params, (train_activation.features(x) - mean) / spread)
    worst = float(np.abs(ours - theirs).max())
    print("%d frames, largest difference in the activation %.2g" % (len(x), worst))
    if len(x) < 1000 or worst > 1e-3:
        sys.exit("check_activation.py: the trainer's activation is not the stage's")


if __name__ == "__main__":
    main()
