"""index.tsv in the output folder: one line per input, so that the beats of one
song are found without reading every summary.

Tab-separated, with a header line: input, beats file, summary file (names in
the output folder), duration (s), beats, median tempo (bpm), status (done,
short, failed or not finished) and a note (the warning of a short file, the
reason of a failure). Names are written as the file system holds them; a tab,
a newline or a backslash in one is written \\t, \\n, \\\\.
"""

import os
from typing import Dict, List, Optional

from .outputs import write_atomically

NAME = "index.tsv"
COLUMNS = ("input", "beats_file", "summary_file", "duration", "beats", "median_tempo",
           "status", "note")
_ESCAPES = {"\\": "\\\\", "\t": "\\t", "\n": "\\n", "\r": "\\r"}
_UNESCAPES = {"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}


def _escape(text: str) -> str:
    return "".join(_ESCAPES.get(c, c) for c in text)


def _unescape(text: str) -> str:
    out, chars = [], iter(text)
    for c in chars:
        out.append(_UNESCAPES.get(next(chars, ""), "") if c == "\\" else c)
    return "".join(out)


def entry(input_path: str, beats_path: str = "", summary_path: str = "",
          duration: Optional[float] = None, beats: Optional[int] = None,
          median_tempo: Optional[float] = None, status: str = "done",
          note: str = "") -> Dict[str, str]:
    """One line of the index, as text by column."""
    return {"input": input_path, "beats_file": os.path.basename(beats_path),
            "summary_file": os.path.basename(summary_path),
            "duration": "" if duration is None else f"{duration:.3f}",
            "beats": "" if beats is None else str(beats),
            "median_tempo": "" if median_tempo is None else f"{median_tempo:.2f}",
            "status": status, "note": note}


def read_index(out_dir: str) -> Dict[str, Dict[str, str]]:
    """The lines of an earlier index by input; empty when there is none."""
    try:
        with open(os.path.join(out_dir, NAME), "rb") as f:
            lines = f.read().decode("utf-8", "surrogateescape").split("\n")
    except OSError:
        return {}
    found = {}
    for line in lines[1:]:
        fields = [_unescape(field) for field in line.split("\t")]
        if len(fields) == len(COLUMNS):
            found[fields[0]] = dict(zip(COLUMNS, fields))
    return found


def write_index(out_dir: str, rows: List[Dict[str, str]]) -> None:
    """Rewrites the index whole, atomically, with `rows` (entry()'s)."""
    text = "\t".join(COLUMNS) + "\n" + "".join(
        "\t".join(_escape(row[c]) for c in COLUMNS) + "\n" for row in rows)
    write_atomically(os.path.join(out_dir, NAME), text)
