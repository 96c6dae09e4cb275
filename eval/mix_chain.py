"""A mix chain for rendered songs: EQ, reverb, compression (sox) and noise at an SNR.

choose() draws one chain per track from the track's own generator; apply() runs it
on a 44.1 kHz WAV and returns the samples. None of the effects delays the direct
sound, so the beat times stay where the tempo map puts them.
"""

import subprocess

import numpy as np

SNRS = (None, None, 30.0, 20.0, 15.0)  # dB of pink noise below the music; None: no noise

EQS = {
    "flat": [],
    "bright": ["bass", "-4", "treble", "+6"],
    "warm": ["bass", "+6", "treble", "-5"],
    "mid": ["equalizer", "1000", "1q", "+6", "highpass", "80"],
    "thin": ["highpass", "150", "lowpass", "8000"],
}
REVERBS = {"dry": [], "room": ["reverb", "30", "50", "40"], "hall": ["reverb", "60", "40", "90", "100", "20"]}
COMPRESSIONS = {
    "none": [],
    "gentle": ["compand", "0.02,0.25", "6:-70,-60,-30,-20,0,-12", "-3", "-90", "0"],
    "hard": ["compand", "0.005,0.08", "3:-70,-70,-40,-16,0,-8", "0", "-90", "0"],
}


def choose(rng):
    """A chain: names of the EQ, reverb and compression, and the SNR (None: no noise)."""
    pick = lambda d: sorted(d)[int(rng.integers(len(d)))]  # noqa: E731
    return {"eq": pick(EQS), "reverb": pick(REVERBS), "compression": pick(COMPRESSIONS),
            "snr_db": SNRS[int(rng.integers(len(SNRS)))]}


def pink_noise(rng, n):
    spec = np.fft.rfft(rng.standard_normal(n))
    f = np.arange(len(spec), dtype=np.float64)
    f[0] = 1.0
    return np.fft.irfft(spec / np.sqrt(f), n)


def apply(chain, wav_in, wav_out, read_wav, rng):
    """Runs the chain on wav_in (sox effects into wav_out, then noise); returns (samples, rate)."""
    effects = EQS[chain["eq"]] + REVERBS[chain["reverb"]] + COMPRESSIONS[chain["compression"]]
    subprocess.run(["sox", "-q", "-D", wav_in, wav_out, "gain", "-6"] + effects + ["gain", "-n", "-3"], check=True)
    x, rate = read_wav(wav_out)
    if chain["snr_db"] is not None:
        mono = x.mean(axis=1)
        noise = pink_noise(rng, len(x))
        loud = np.mean(mono[np.abs(mono) > 1e-4] ** 2) if np.any(np.abs(mono) > 1e-4) else 1e-8
        x = x + (noise * np.sqrt(loud / (np.mean(noise ** 2) * 10 ** (chain["snr_db"] / 10.0))))[:, None]
    return x, rate
