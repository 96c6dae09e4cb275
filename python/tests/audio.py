"""Test audio: drums and bass at a steady tempo, written as 16-bit WAV."""

import wave

import numpy as np


def music(bpm: float, seconds: float, rate: int = 44100, channels: int = 2,
          variant: int = 1) -> np.ndarray:
    """int16 samples (frames, channels): a kick and a noise snare on the beats, a bass."""
    rng = np.random.default_rng(variant)
    n = int(seconds * rate)
    t = np.arange(n) / rate
    x = np.zeros(n)
    beat = 60.0 / bpm
    for k, start in enumerate(np.arange(0.3, seconds - 0.2, beat)):
        i = int(start * rate)
        m = min(n - i, int(0.25 * rate))
        tt = np.arange(m) / rate
        if k % 2 == 0:
            x[i:i + m] += 0.8 * np.sin(2 * np.pi * (50 + 60 * np.exp(-tt * 30)) * tt) \
                * np.exp(-tt * 12)
        else:
            x[i:i + m] += 0.4 * rng.standard_normal(m) * np.exp(-tt * 25)
    x += 0.15 * np.sin(2 * np.pi * 55 * t) * (0.5 + 0.5 * np.cos(2 * np.pi * t / beat))
    x /= max(1.0, np.abs(x).max() * 1.05)
    pan = np.linspace(1.0, 0.6, channels)
    return np.round(np.outer(x, pan) * 32767).astype(np.int16)


def write_wav(path, samples: np.ndarray, rate: int = 44100) -> None:
    with wave.open(str(path), "wb") as w:
        w.setnchannels(samples.shape[1])
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(np.ascontiguousarray(samples).tobytes())


def write_long_silence(path, data_bytes: int = 2**31, rate: int = 44100) -> None:
    """A 16-bit mono WAV of `data_bytes` of silence (hours of audio), sparse on disk."""
    write_wav(path, np.zeros((0, 1), np.int16), rate)
    with open(path, "r+b") as f:
        f.seek(4)
        f.write((36 + data_bytes).to_bytes(4, "little"))
        f.seek(40)
        f.write(data_bytes.to_bytes(4, "little"))
        f.truncate(44 + data_bytes)
