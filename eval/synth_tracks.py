"""The synthetic section of the corpus: click tracks, drum patterns, a tempo change,
a long silence inside music and music in noise, all with exact beat times.

Every track is synthesised at 44.1 kHz from a list of beat times; the sounds come
from the demo's synthesiser so the two stay alike.
"""

import os
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "demo"))
import make_demo as voice  # noqa: E402  (the demo's drum, bass and chord voices)

RATE = voice.RATE


def grid(start, bpm, count):
    return [start + k * 60.0 / bpm for k in range(count)]


def ramp(start, bpm_from, bpm_to, count):
    """Beat times whose tempo moves linearly from bpm_from to bpm_to."""
    times = [start]
    for k in range(1, count):
        bpm = bpm_from + (bpm_to - bpm_from) * (k - 1) / max(1, count - 2)
        times.append(times[-1] + 60.0 / bpm)
    return times


def click_track(beats, per_bar, length):
    """Tone-burst clicks, the downbeat higher and louder."""
    out = np.zeros(int(length * RATE))
    n = int(0.02 * RATE)
    t = np.arange(n) / RATE
    for k, b in enumerate(beats):
        f, g = (1500.0, 1.0) if k % per_bar == 0 else (1000.0, 0.6)
        voice.place(out, np.sin(2 * np.pi * f * t) * np.exp(-t / 0.004), b, g)
    return out


def band(beats, per_bar, length, rng, style="rock", bass=True, chords=True):
    """Drums (and optionally bass and chords) placed on the beats and the half-beats between them."""
    n = int(length * RATE)
    drums, low, harm = np.zeros(n), np.zeros(n), np.zeros(n)
    kick, snare = voice.kick(rng), voice.snare(rng)
    hats = [voice.hihat(rng) for _ in range(4)]
    progression = [(57, [57, 60, 64]), (53, [53, 57, 60]), (48, [55, 60, 64]), (55, [55, 59, 62])]
    for k, b in enumerate(beats):
        nxt = beats[k + 1] if k + 1 < len(beats) else b + (b - beats[k - 1])
        half = (b + nxt) / 2.0
        pos = k % per_bar
        bar = k // per_bar
        root, triad = progression[bar % 4]
        if style == "rock":
            if pos in (0, 2):
                voice.place(drums, kick, b)
            if pos in (1, 3):
                voice.place(drums, snare, b)
        elif style == "break":
            # Syncopated: kick on 1 and the "and" of 2, snare on 2 and 4.
            if pos == 0:
                voice.place(drums, kick, b)
            if pos == 1:
                voice.place(drums, kick, half, 0.8)
            if pos in (1, 3):
                voice.place(drums, snare, b)
        elif style == "halftime":
            if pos == 0:
                voice.place(drums, kick, b)
            if pos == 2:
                voice.place(drums, snare, b)
            if pos == 3:
                voice.place(drums, kick, half, 0.6)
        elif style == "four":
            voice.place(drums, kick, b)
            if pos in (1, 3):
                voice.place(drums, snare, b, 0.7)
        voice.place(drums, hats[k % 4], b, 0.9)
        voice.place(drums, hats[(k + 1) % 4], half, 0.5)
        if bass:
            voice.place(low, voice.bass_note(root - 12, 0.45 * (nxt - b)), b, 1.0)
            voice.place(low, voice.bass_note(root - 12 + (12 if pos % 2 else 0), 0.45 * (nxt - b)), half, 0.7)
        if chords and pos == 0:
            span = beats[min(k + per_bar, len(beats) - 1)] - b if k + per_bar < len(beats) else per_bar * (nxt - b)
            voice.place(harm, voice.chord(triad, 0.9 * span), b)
    if bass:
        low = voice.one_pole_lowpass(low, 700.0)
    if chords:
        harm = voice.one_pole_lowpass(harm, 1800.0)
    return drums + low + harm


def pink_noise(rng, n):
    spec = np.fft.rfft(rng.standard_normal(n))
    f = np.arange(len(spec))
    spec[1:] /= np.sqrt(f[1:])
    spec[0] = 0.0
    return np.fft.irfft(spec, n)


def at_snr(signal, noise, snr_db):
    ps = np.mean(signal ** 2)
    pn = np.mean(noise ** 2)
    return signal + noise * np.sqrt(ps / (pn * 10 ** (snr_db / 10.0)))


def tracks(rng):
    """Yields (name, samples at 44.1 kHz (mono or n x 2), beat times, info, output format)."""
    # Output format: (rate, channels, container)
    b = grid(0.5, 100, 66)
    yield "click_100", click_track(b, 4, 40.5), b, {"bpm": 100, "meter": "4/4"}, (44100, 1, "wav")
    b = grid(0.3, 150, 100)
    yield "click_150_16k", click_track(b, 4, 40.5), b, {"bpm": 150, "meter": "4/4"}, (16000, 1, "wav")
    b = grid(0.4, 72, 45)
    yield "click_72_3-4", click_track(b, 3, 38.5), b, {"bpm": 72, "meter": "3/4"}, (22050, 1, "wav")

    b = grid(0.5, 90, 64)
    x = band(b, 4, 44.0, rng, "rock")
    yield "drums_rock_90", np.stack([x, 0.9 * x], 1), b, {"bpm": 90, "meter": "4/4"}, (44100, 2, "flac")
    b = grid(0.25, 128, 88)
    yield "drums_four_128", band(b, 4, 42.0, rng, "four", chords=False), b, {"bpm": 128, "meter": "4/4"}, (44100, 1, "wav")
    b = grid(0.6, 170, 112)
    yield "drums_break_170", band(b, 4, 41.0, rng, "break", chords=False), b, {"bpm": 170, "meter": "4/4"}, (22050, 1, "wav")
    b = grid(0.3, 65, 44)
    x = band(b, 4, 42.0, rng, "halftime")
    yield "drums_halftime_65", np.stack([x, x], 1), b, {"bpm": 65, "meter": "4/4"}, (16000, 2, "flac")

    b = grid(0.5, 100, 40)
    b += grid(b[-1] + 60.0 / 132, 132, 56)
    yield "tempo_step_100_132", band(b, 4, b[-1] + 1.5, rng, "rock"), b, {"bpm": 100, "bpm2": 132, "meter": "4/4"}, (44100, 1, "wav")
    b = ramp(0.5, 88, 124, 84)
    yield "tempo_ramp_88_124", band(b, 4, b[-1] + 1.5, rng, "rock"), b, {"bpm": 88, "bpm2": 124, "meter": "4/4"}, (44100, 1, "wav")

    # 20 s of music, 60 s of silence, 20 s of music on a new phase.
    first = grid(0.5, 110, 36)
    second = grid(first[-1] + 60.0 / 110 + 60.0 + 0.21, 110, 36)
    length = second[-1] + 1.5
    x = band(first + second, 4, length, rng, "rock")
    gap_from = first[-1] + 60.0 / 110
    i0, i1 = int(gap_from * RATE), int(second[0] * RATE)
    x[i0:i1] = 0.0
    x[i0 - int(0.05 * RATE):i0] *= np.linspace(1, 0, int(0.05 * RATE))
    yield "silence_gap_110", x, first + second, {"bpm": 110, "meter": "4/4", "resume": second[0]}, (44100, 1, "wav")

    b = grid(0.5, 120, 80)
    x = band(b, 4, 41.0, rng, "rock")
    yield "noise_pink_0db_120", at_snr(x, pink_noise(rng, len(x)), 0.0), b, {"bpm": 120, "meter": "4/4", "snr_db": 0}, (44100, 1, "wav")
    b = grid(0.4, 140, 92)
    x = band(b, 4, 40.5, rng, "four")
    yield "noise_white_0db_140", at_snr(x, rng.standard_normal(len(x)), 0.0), b, {"bpm": 140, "meter": "4/4", "snr_db": 0}, (22050, 1, "flac")
