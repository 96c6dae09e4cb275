#!/usr/bin/env python3
"""Writes the initial corpus of every fuzz target into fuzz/corpus/<target>/.

Small, valid-looking inputs that get each fuzzer past the first checks; the
fuzzers grow their own corpus from there. Run from anywhere; it overwrites
the files it writes and nothing else."""

import io
import math
import os
import struct
import wave

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def state_file(nfft, stored, bins, scale=1.0):
    out = struct.pack("<ii", nfft, stored)
    for k in range(bins):
        out += struct.pack("<dd", scale, scale * 0.5)
        for j in range(stored):
            out += struct.pack("<dd", 0.01 * (k + 1), -0.01 * j)
    return out


def state_corpus():
    # Shape bytes: byte 0 picks nfft 8 (index 5) with stride 1; byte 1 holds
    # taps_begin + 2 in its low and taps_end + 2 in its high nibble.
    write("state_file", "nfft8-taps4", bytes([5, 0x66]) + state_file(8, 4, 5))
    write("state_file", "nfft8-taps6to3", bytes([5, 0x58]) + state_file(8, 4, 5))
    write("state_file", "nfft16-taps2", bytes([6, 0x44]) + state_file(16, 2, 9, 2.0))
    write("state_file", "truncated", bytes([5, 0x66]) + state_file(8, 4, 5)[:37])
    write("state_file", "foreign-nfft", bytes([5, 0x66]) + state_file(512, 4, 5))
    write("state_file", "negative-count", bytes([5, 0x66]) + struct.pack("<ii", 8, -3))


def tone(rate, seconds, channels, scale):
    n = int(rate * seconds)
    frames = []
    for i in range(n):
        click = 1.0 if i % (rate // 2) < 40 else 0.0
        v = scale * (0.3 * math.sin(2 * math.pi * 440 * i / rate) + 0.5 * click)
        frames.append([v] * channels)
    return frames


def wav_pcm16(rate, channels, frames):
    buf = io.BytesIO()
    with wave.open(buf, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<" + "h" * channels,
                                           *[int(max(-1, min(1, s)) * 32767) for s in f])
                               for f in frames))
    return buf.getvalue()


def wav_float(rate, channels, frames):
    data = b"".join(struct.pack("<" + "f" * channels, *f) for f in frames)
    fmt = struct.pack("<HHIIHH", 3, channels, rate, rate * 4 * channels, 4 * channels, 32)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def au_ulaw(rate, channels, frames):
    # An AU header (big-endian) with a data size of all ones, as a writer to
    # a pipe leaves it, and mu-law samples (any bytes are valid ones).
    data = bytes((int(f[0] * 100) + 128) & 0xFF for f in frames for _ in range(channels))
    return b".snd" + struct.pack(">IIIII", 24, 0xFFFFFFFF, 1, rate, channels) + data


def audio_corpus():
    # Byte 0: high bit clear reads a file through libsndfile; set reads a
    # stream (bits 0-1 sample format, 2-3 rate, 4-5 channels - 1, bit 6 no
    # raw layout given).
    short = tone(16000, 0.05, 1, 1.0)
    write("audio_input", "file-wav16-mono", bytes([0]) + wav_pcm16(16000, 1, short))
    write("audio_input", "file-wav-float-stereo-8k",
          bytes([0]) + wav_float(8000, 2, tone(8000, 0.05, 2, 1.0)))
    write("audio_input", "stream-wav16", bytes([0x80]) + wav_pcm16(16000, 1, short))
    raw = b"".join(struct.pack("<h", int(f[0] * 30000)) for f in short)
    # s16le at 16000 Hz, one channel: format 0, rate index 1.
    write("audio_input", "stream-raw-s16", bytes([0x80 | 0x04]) + raw)
    write("audio_input", "stream-raw-f32-44k-stereo",
          bytes([0x80 | 0x03 | 0x08 | 0x10]) +
          b"".join(struct.pack("<ff", f[0], -f[0]) for f in tone(44100, 0.02, 1, 1.0)))
    write("audio_input", "stream-au-ulaw-stereo", bytes([0xC0]) + au_ulaw(8000, 2, short))
    write("audio_input", "empty-file", bytes([0]))


def engine_corpus():
    # Byte 0 frames (200 + 12 b), byte 1 segment length - 1, byte 2 pattern
    # step; then material (its top two bits choose each segment's source).
    write("engine_spectra", "clicks", bytes([0, 99, 1]) + bytes([0xC0 | i for i in range(32)]))
    write("engine_spectra", "specials",
          bytes([2, 9, 3]) + bytes([0x40 | (i % 16) | ((i * 7) & 0x30) for i in range(64)]))
    doubles = [0.0, float("nan"), float("inf"), -1.0, 1e300, 5e-324, 1.0, 2.0]
    write("engine_spectra", "raw-doubles",
          bytes([1, 19, 5]) + b"".join(struct.pack("<d", d) for d in doubles))
    write("engine_spectra", "silence-then-clicks",
          bytes([3, 49, 0]) + bytes([0x80, 0xC1, 0x80, 0xC2]))


def node_corpus():
    # Byte 0 parameter set, byte 1 width (bits 0-2), channels - 1 (bits 3-4)
    # and VECTOR_FLAG (bit 5), byte 2 frames (1 + 2 b), byte 3 threshold.
    quiet = bytes(range(1, 120))
    write("node_frames", "clean-8k", bytes([0, 5, 60, 40]) + quiet)
    write("node_frames", "vectors-stereo", bytes([1, 6 | 8 | 0x20, 30, 0]) + quiet)
    write("node_frames", "bad-shapes", bytes([0, 5, 40, 20]) + bytes([0xF0 | i for i in range(16)]) * 3)
    write("node_frames", "absurd-parameters", bytes([9, 5, 10, 100]) + quiet)
    write("node_frames", "narrow-frames", bytes([2, 0, 20, 20]) + quiet)


if __name__ == "__main__":
    state_corpus()
    audio_corpus()
    engine_corpus()
    node_corpus()
