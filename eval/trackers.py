"""Running the beat trackers under evaluation and reading back their beats.

Each run returns a dict: beats (seconds), tempo (BPM or None), seconds (wall time),
error (None or the tool's message).
"""

import json
import os
import shlex
import subprocess
import tempfile
import time

import numpy as np

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
DEFAULT_VESK_BEAT = os.path.join(ROOT, "build", "apps", "vesk-beat", "vesk-beat")
TIMEOUT_S = 600


def vesk_beat_path(option=None):
    """The tool's path: the option, else $VESK_BEAT, else the default build tree."""
    return option or os.environ.get("VESK_BEAT") or DEFAULT_VESK_BEAT


def tempo_from_beats(beats):
    """Tempo from the median inter-beat interval, or None with fewer than two beats."""
    if len(beats) < 2:
        return None
    return 60.0 / float(np.median(np.diff(beats)))


def _json_beats(text):
    """Beat records from JSON-lines output: lines that carry a time and a tempo."""
    out = []
    for line in text.splitlines():
        line = line.strip()
        if not line.startswith("{"):
            continue
        try:
            rec = json.loads(line)
        except ValueError:
            continue
        if not isinstance(rec, dict):
            continue
        t = next((rec[k] for k in ("time", "t", "seconds", "beat") if isinstance(rec.get(k), (int, float))), None)
        bpm = next((rec[k] for k in ("tempo", "bpm") if isinstance(rec.get(k), (int, float))), None)
        if t is not None and bpm is not None:
            out.append((float(t), float(bpm), rec.get("confidence")))
    return out


def run_vesk_beat(path, tool, args=()):
    """Runs vesk-beat on one file; beats from --beats, the tempo as the median of the per-beat tempi."""
    # The tool runs in a scratch directory, so a relative path must be resolved first.
    tool = os.path.abspath(tool)
    if not os.access(tool, os.X_OK):
        raise SystemExit("vesk-beat not found at %s: build it or pass --tool" % tool)
    with tempfile.TemporaryDirectory() as tmp:
        beats_file = os.path.join(tmp, "beats.txt")
        cmd = [tool, "--quiet", "--format", "json", "--beats", beats_file] + list(args) + [path]
        start = time.monotonic()
        try:
            p = subprocess.run(cmd, capture_output=True, text=True, timeout=TIMEOUT_S, cwd=tmp)
        except (OSError, subprocess.TimeoutExpired) as e:
            return {"beats": [], "tempo": None, "seconds": None, "error": str(e)}
        seconds = time.monotonic() - start
        if p.returncode != 0:
            msg = (p.stderr.strip().splitlines() or ["exit code %d" % p.returncode])[-1]
            return {"beats": [], "tempo": None, "seconds": seconds, "error": msg, "command": shlex.join(cmd)}
        beats = []
        if os.path.exists(beats_file):
            with open(beats_file) as f:
                beats = [float(x) for x in f.read().split()]
        records = _json_beats(p.stdout)
        if not beats and records:
            beats = [r[0] for r in records]
        tempi = [r[1] for r in records if r[1] > 0]
        tempo = float(np.median(tempi)) if tempi else tempo_from_beats(beats)
        conf = [r[2] for r in records if isinstance(r[2], (int, float))]
        return {"beats": sorted(beats), "tempo": tempo, "seconds": seconds, "error": None,
                "mean_confidence": float(np.mean(conf)) if conf else None}


def run_aubiotrack(path):
    """The peer: aubio's beat tracker from Debian, with its own defaults."""
    start = time.monotonic()
    try:
        p = subprocess.run(["aubiotrack", "-i", path], capture_output=True, text=True, timeout=TIMEOUT_S)
    except (OSError, subprocess.TimeoutExpired) as e:
        return {"beats": [], "tempo": None, "seconds": None, "error": str(e)}
    seconds = time.monotonic() - start
    if p.returncode != 0:
        return {"beats": [], "tempo": None, "seconds": seconds, "error": p.stderr.strip()[-300:]}
    beats = sorted(float(x) for x in p.stdout.split())
    return {"beats": beats, "tempo": tempo_from_beats(beats), "seconds": seconds, "error": None}
