#!/usr/bin/env python3
"""Streams music-like audio as raw s16le PCM (mono) on standard output.

Sections of drums, bass and chords at changing tempi and levels, with digital
silences, near-silent noise, clipped passages and fades between them. The
audio is made section by section and never stored whole, so an hour costs no
more memory than a minute. The same arguments always give the same bytes.

Usage: make_music.py SECONDS [RATE]    (RATE defaults to 16000)
"""

import array
import math
import random
import sys


def bar(rate, bpm, rng):
    """One bar of four beats: kick on each beat, hat between, bass and a chord."""
    beat = int(round(rate * 60.0 / bpm))
    n = 4 * beat
    root = rng.choice([55.0, 61.7, 65.4, 73.4, 82.4])
    chord = [root * 4, root * 5, root * 6]
    out = [0.0] * n
    two_pi = 2.0 * math.pi
    for i in range(n):
        t = i / rate
        out[i] = 0.12 * math.sin(two_pi * root * t) + 0.05 * sum(
            math.sin(two_pi * f * t) for f in chord)
    kick = int(0.12 * rate)
    hat = int(0.03 * rate)
    for b in range(4):
        start = b * beat
        for i in range(min(kick, n - start)):
            env = math.exp(-i / (0.03 * rate))
            out[start + i] += 0.7 * env * math.sin(two_pi * (50.0 + 60.0 * env) * i / rate)
        off = start + beat // 2
        for i in range(min(hat, n - off)):
            out[off + i] += 0.15 * math.exp(-i / (0.008 * rate)) * rng.uniform(-1.0, 1.0)
    return out


def pcm(samples, gain):
    data = array.array("h", (max(-32768, min(32767, int(s * gain * 32767))) for s in samples))
    if sys.byteorder != "little":
        data.byteswap()
    return data.tobytes()


def sections(rate, seconds, rng):
    """Yields (kind, seconds, bpm, gain) until the total is reached."""
    left = seconds
    while left > 0:
        kind = rng.choices(["music", "silence", "noise", "loud"], [0.7, 0.12, 0.08, 0.1])[0]
        length = min(left, rng.uniform(5.0, 60.0) if kind == "music" else rng.uniform(2.0, 20.0))
        bpm = rng.uniform(70.0, 170.0)
        gain = 10 ** (rng.uniform(-40.0, 0.0) / 20.0)
        if kind == "loud":
            gain = 4.0  # clipped: every peak at full scale
        yield kind, length, bpm, gain
        left -= length


def main():
    seconds = float(sys.argv[1])
    rate = int(sys.argv[2]) if len(sys.argv) > 2 else 16000
    rng = random.Random(20240501)  # fixed starting value: the same audio every run
    out = sys.stdout.buffer
    try:
        for kind, length, bpm, gain in sections(rate, seconds, rng):
            total = int(length * rate)
            if kind == "silence":
                block = bytes(2 * rate)
                unit = [block]
            elif kind == "noise":
                unit = [pcm([rng.gauss(0.0, 1.0) for _ in range(rate)], 0.001)]
            else:
                one = bar(rate, bpm, rng)
                # The first bar fades in, so level changes are not only steps.
                fade = [s * min(1.0, i / len(one)) for i, s in enumerate(one)]
                unit = [pcm(fade, gain), pcm(one, gain)]
            written = 0
            k = 0
            while written < total:
                chunk = unit[min(k, len(unit) - 1)]
                k += 1
                take = min(len(chunk), 2 * (total - written))
                out.write(chunk[:take])
                written += take // 2
        out.flush()
    except BrokenPipeError:
        pass


if __name__ == "__main__":
    main()
