#!/usr/bin/python3
"""Writes a music-like test file: kick, snare and hi-hat over a bass line and
chords, at a steady tempo, as 16-bit PCM WAV (mono or stereo)."""
import argparse
import wave

import numpy as np


def render(rate, seconds, bpm, rng_start):
    rng = np.random.default_rng(rng_start)
    n = int(rate * seconds)
    out = np.zeros(n)
    beat = 60.0 / bpm
    t_kick = np.arange(int(0.25 * rate)) / rate
    kick = np.sin(2 * np.pi * (50 + 100 * np.exp(-t_kick * 30)) * t_kick) * np.exp(-t_kick * 12)
    t_sn = np.arange(int(0.2 * rate)) / rate
    snare = (rng.standard_normal(t_sn.size) * 0.6 + np.sin(2 * np.pi * 190 * t_sn)) * np.exp(-t_sn * 20)
    t_hh = np.arange(int(0.05 * rate)) / rate
    hat = rng.standard_normal(t_hh.size) * np.exp(-t_hh * 80) * 0.3
    chords = [(220.0, 277.2, 329.6), (196.0, 246.9, 293.7), (174.6, 220.0, 261.6), (196.0, 246.9, 311.1)]
    bass = [55.0, 49.0, 43.65, 49.0]

    def add(sample, start):
        s = int(start * rate)
        if s >= n:
            return
        e = min(n, s + sample.size)
        out[s:e] += sample[: e - s]

    b = 0
    while b * beat < seconds:
        t0 = b * beat
        add(kick if b % 2 == 0 else snare, t0)
        add(hat, t0 + beat / 2)
        if b % 4 == 0:
            bar = (b // 4) % 4
            t_c = np.arange(int(4 * beat * rate)) / rate
            env = np.exp(-t_c * 0.8) * 0.08
            tone = sum(np.sin(2 * np.pi * f * t_c) for f in chords[bar]) * env
            tone += np.sin(2 * np.pi * bass[bar] * t_c) * np.exp(-t_c * 1.5) * 0.25
            add(tone, t0)
        b += 1
    return out / (np.max(np.abs(out)) * 1.1)


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("output")
    p.add_argument("--rate", type=int, default=44100)
    p.add_argument("--seconds", type=float, default=180.0)
    p.add_argument("--bpm", type=float, default=118.0)
    p.add_argument("--channels", type=int, default=1)
    p.add_argument("--rng-start", type=int, default=7)
    a = p.parse_args()
    x = render(a.rate, a.seconds, a.bpm, a.rng_start)
    pcm = (np.clip(x, -1, 1) * 32767).astype("<i2")
    if a.channels > 1:
        pcm = np.repeat(pcm[:, None], a.channels, axis=1)
    with wave.open(a.output, "wb") as w:
        w.setnchannels(a.channels)
        w.setsampwidth(2)
        w.setframerate(a.rate)
        w.writeframes(pcm.tobytes())


if __name__ == "__main__":
    main()
