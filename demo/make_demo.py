#!/usr/bin/python3
"""Synthesises the demo clip: drums, bass and chords at a known tempo.

Writes demo/demo.flac (44.1 kHz, 16-bit stereo) and demo/demo.beats.txt (one
beat time in seconds per line, exact from the synthesis). Uses numpy only for
the sound; sox turns the WAV into FLAC. The output is the same on every run:
the noise generator starts from a fixed value.

Usage: demo/make_demo.py [--out-dir DIR] [--bpm 118]
"""

import argparse
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np

RATE = 44100
RNG_START = 20240518


def midi_hz(note):
    return 440.0 * 2.0 ** ((note - 69) / 12.0)


def one_pole_lowpass(x, cutoff_hz):
    """Gentle low-pass for the synth voices: two passes of a one-pole filter."""
    a = np.exp(-2.0 * np.pi * cutoff_hz / RATE)
    y = np.empty_like(x)
    for _ in range(2):
        acc = 0.0
        for i, v in enumerate(x.tolist()):
            acc = (1.0 - a) * v + a * acc
            y[i] = acc
        x = y.copy()
    return y


def highpass_noise(rng, n, strength=0.95):
    """White noise with its low end removed by a first difference mix."""
    w = rng.standard_normal(n + 1)
    return (w[1:] - strength * w[:-1]) / 2.0


def kick(rng):
    n = int(0.35 * RATE)
    t = np.arange(n) / RATE
    freq = 45.0 + 85.0 * np.exp(-t / 0.035)
    phase = 2.0 * np.pi * np.cumsum(freq) / RATE
    body = np.sin(phase) * np.exp(-t / 0.16)
    click = rng.standard_normal(n) * np.exp(-t / 0.002) * 0.3
    return 0.9 * (body + click)


def snare(rng):
    n = int(0.25 * RATE)
    t = np.arange(n) / RATE
    tone = np.sin(2 * np.pi * 185.0 * t) * np.exp(-t / 0.05)
    noise = highpass_noise(rng, n, 0.6) * np.exp(-t / 0.07)
    return 0.35 * tone + 0.6 * noise


def hihat(rng, open_hat=False):
    n = int((0.18 if open_hat else 0.06) * RATE)
    t = np.arange(n) / RATE
    decay = 0.06 if open_hat else 0.015
    return 0.22 * highpass_noise(rng, n, 0.99) * np.exp(-t / decay)


def bass_note(note, dur):
    n = int(dur * RATE)
    t = np.arange(n) / RATE
    f = midi_hz(note)
    saw = 2.0 * ((f * t) % 1.0) - 1.0
    sine = np.sin(2 * np.pi * f * t)
    env = np.minimum(1.0, t / 0.004) * np.exp(-t / 0.35)
    env[-int(0.01 * RATE):] *= np.linspace(1.0, 0.0, int(0.01 * RATE))
    return (0.35 * saw + 0.65 * sine) * env * 0.55


def chord(notes, dur):
    n = int(dur * RATE)
    t = np.arange(n) / RATE
    out = np.zeros(n)
    for note in notes:
        for detune in (-0.004, 0.004):
            f = midi_hz(note) * (1.0 + detune)
            out += 2.0 * ((f * t) % 1.0) - 1.0
    env = np.minimum(1.0, t / 0.008) * (0.35 + 0.65 * np.exp(-t / 0.25))
    rel = int(0.03 * RATE)
    env[-rel:] *= np.linspace(1.0, 0.0, rel)
    return out * env * 0.06


def place(track, sound, start_s, gain=1.0):
    i = int(round(start_s * RATE))
    j = min(len(track), i + len(sound))
    if j > i:
        track[i:j] += gain * sound[: j - i]


def synthesise(bpm, bars, intro_bars, lead_in):
    rng = np.random.default_rng(RNG_START)
    beat = 60.0 / bpm
    total_beats = 4 * bars
    length = lead_in + total_beats * beat + 1.5
    n = int(length * RATE)
    drums = np.zeros(n)
    bass = np.zeros(n)
    chords_l = np.zeros(n)
    chords_r = np.zeros(n)
    hats = np.zeros(n)

    # Am - F - C - G, two bars each in the second half for variety.
    progression = [(57, [57, 60, 64]), (53, [53, 57, 60]), (48, [55, 60, 64]), (55, [55, 59, 62])]
    kick_s = kick(rng)
    snare_s = snare(rng)
    # A few hat variants so the pattern is not a loop of one sample.
    hat_set = [hihat(rng) for _ in range(4)]
    open_hat = hihat(rng, open_hat=True)

    beats = [lead_in + k * beat for k in range(total_beats)]
    for bar in range(bars):
        bar_t = lead_in + 4 * bar * beat
        root, triad = progression[bar % 4]
        # Chords: on the downbeat (held) and a push on the "and" of beat 3.
        c1 = chord(triad, 2.4 * beat)
        c2 = chord([x + 12 for x in triad], 1.4 * beat)
        place(chords_l, c1, bar_t, 1.0)
        place(chords_r, c1, bar_t, 0.8)
        place(chords_l, c2, bar_t + 2.5 * beat, 0.6)
        place(chords_r, c2, bar_t + 2.5 * beat, 0.9)
        if bar < intro_bars:
            # Intro: chords and a quiet bass on the beats only.
            for b in range(4):
                place(bass, bass_note(root - 12, 0.9 * beat), bar_t + b * beat, 0.7)
            continue
        # Bass: eighth notes with an octave jump, accent on the beat.
        for e in range(8):
            note = root - 12 + (12 if e in (3, 7) else 0)
            gain = 1.0 if e % 2 == 0 else 0.7
            place(bass, bass_note(note, 0.45 * beat), bar_t + e * beat / 2, gain)
        # Drums: kick on 1 and 3 (plus a pickup), snare on 2 and 4, hats on eighths.
        place(drums, kick_s, bar_t)
        place(drums, kick_s, bar_t + 2 * beat)
        if bar % 2 == 1:
            place(drums, kick_s, bar_t + 3.5 * beat, 0.7)
        place(drums, snare_s, bar_t + beat)
        place(drums, snare_s, bar_t + 3 * beat)
        for e in range(8):
            if bar % 4 == 3 and e == 7:
                place(hats, open_hat, bar_t + e * beat / 2, 0.8)
            else:
                place(hats, hat_set[(bar + e) % 4], bar_t + e * beat / 2, 1.0 if e % 2 == 0 else 0.6)

    # The voices are filtered as whole tracks (the filter is linear, so this equals filtering each note).
    bass = one_pole_lowpass(bass, 700.0)
    chords_l = one_pole_lowpass(chords_l, 1800.0)
    chords_r = one_pole_lowpass(chords_r, 1800.0)
    left = drums + bass + 1.0 * chords_l + 0.8 * hats
    right = drums + bass + 1.0 * chords_r + 1.0 * hats
    # Ending: one last kick and chord on the downbeat after the final bar.
    end_t = lead_in + total_beats * beat
    place(left, kick_s, end_t)
    place(right, kick_s, end_t)
    stereo = np.stack([left, right], axis=1)
    fade = int(1.0 * RATE)
    stereo[-fade:] *= np.linspace(1.0, 0.0, fade)[:, None]
    stereo *= 0.89 / np.max(np.abs(stereo))
    return stereo, beats + [end_t]


def write_wav(path, stereo):
    pcm = np.round(stereo * 32767.0).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(stereo.shape[1])
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out-dir", default=here)
    ap.add_argument("--bpm", type=float, default=118.0)
    ap.add_argument("--bars", type=int, default=11)
    ap.add_argument("--intro-bars", type=int, default=1)
    ap.add_argument("--lead-in", type=float, default=0.25, help="seconds of silence before the first beat")
    args = ap.parse_args()

    stereo, beats = synthesise(args.bpm, args.bars, args.intro_bars, args.lead_in)
    os.makedirs(args.out_dir, exist_ok=True)
    flac = os.path.join(args.out_dir, "demo.flac")
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "demo.wav")
        write_wav(wav, stereo)
        subprocess.run(["sox", "-q", wav, "-C", "8", flac], check=True)
    with open(os.path.join(args.out_dir, "demo.beats.txt"), "w") as f:
        for t in beats:
            f.write("%.6f\n" % t)
    print("wrote %s (%.1f s, %d beats at %g BPM)" % (flac, len(stereo) / RATE, len(beats), args.bpm), file=sys.stderr)


if __name__ == "__main__":
    main()
