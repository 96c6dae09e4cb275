import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("BUILD_DIR", ROOT / "build"))
if not BUILD.is_absolute():
    BUILD = ROOT / BUILD
sys.path.insert(0, str(Path(__file__).parent))
if not os.environ.get("PYTHONPATH"):
    # The package of the build tree, for the workers of a local cluster too.
    os.environ["PYTHONPATH"] = str(BUILD / "python")
    sys.path.insert(0, os.environ["PYTHONPATH"])

from audio import music, write_wav  # noqa: E402

TOOL = os.environ.get("VESK_BEAT", str(BUILD / "apps" / "vesk-beat" / "vesk-beat"))


def tool_run(path, *options):
    """vesk-beat's JSON beats and summary, and its --beats file, for one input."""
    beats_file = Path(str(path) + ".tool-beats.txt")
    out = subprocess.run([TOOL, "-q", "--format", "json", "--beats", str(beats_file), *options,
                          str(path)], check=True, capture_output=True, text=True).stdout
    records = [json.loads(line) for line in out.splitlines()]
    beats = [r for r in records if r["type"] == "beat"]
    summary = next(r for r in records if r["type"] == "summary")
    text = beats_file.read_text()
    beats_file.unlink()
    return beats, summary, text


@pytest.fixture(scope="session")
def song(tmp_path_factory):
    """Ten seconds of stereo music at 44.1 kHz: the file and its samples."""
    samples = music(124, 10.0)
    path = tmp_path_factory.mktemp("audio") / "song.wav"
    write_wav(path, samples)
    return path, samples
