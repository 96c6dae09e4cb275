"""A batch's output files: names that cannot collide, written whole or not at all."""

import hashlib
import json
import os
import tempfile
from typing import Any, Dict, Optional, Tuple


def output_paths(input_path: str, out_dir: str) -> Tuple[str, str]:
    """The beats file and the JSON summary of an input.

    The file name plus a digest of the input's absolute path: two folders
    holding files of the same name get different outputs.
    """
    absolute = os.path.abspath(input_path)
    digest = hashlib.sha1(absolute.encode("utf-8", "surrogateescape")).hexdigest()[:12]
    stem = os.path.join(out_dir, f"{os.path.basename(absolute)}.{digest}")
    return stem + ".beats.txt", stem + ".json"


def write_atomically(path: str, text: str) -> None:
    """Writes `text` to a temporary file beside `path`, then renames it over `path`.

    No fsync: it would cost more than tracking a short file, and an output
    cut short by a power failure fails completed_summary()'s check and is
    tracked again.
    """
    folder = os.path.dirname(path) or "."
    fd, temporary = tempfile.mkstemp(dir=folder, prefix=".partial-", suffix=".tmp")
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            f.write(text)
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except FileNotFoundError:
            pass
        raise


def beats_text(times) -> str:
    """One beat time per line, as vesk-beat's --beats writes them."""
    return "".join(f"{t:.6f}\n" for t in times)


def completed_summary(input_path: str, out_dir: str,
                      settings: Dict[str, Any]) -> Optional[Dict[str, Any]]:
    """The summary of an input tracked before with the same settings, if both
    of its outputs are complete; None when it must be tracked (again).

    The summary is written last and records how many beats the beats file
    holds, so an interrupted batch never passes for a finished one.
    """
    beats_path, summary_path = output_paths(input_path, out_dir)
    try:
        with open(summary_path, encoding="utf-8") as f:
            summary = json.load(f)
        with open(beats_path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except (OSError, ValueError):
        return None
    if not isinstance(summary, dict) or summary.get("settings") != settings \
            or summary.get("input") != os.path.abspath(input_path) \
            or summary.get("beats") != len(lines):
        return None
    return summary
