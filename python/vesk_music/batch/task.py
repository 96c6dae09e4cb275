"""What a worker does with one input: track it and write its outputs."""

import json
import os
import stat
from typing import Any, Dict

from .inputs import not_regular
from .outputs import beats_text, digest, input_identity, output_paths, write_atomically


def track_to_files(input_path: str, out_dir: str, pins: Dict[str, Any]) -> Dict[str, Any]:
    """Tracks one input and writes its beats file, then its summary.

    `pins` holds the settings and the version that the summary records.
    Returns {"input", "status": "done", "duration", "beats", "median_tempo",
    "warning"} (a warning when the file was cut short), or {"input",
    "status": "failed", "reason"} when the input cannot be tracked (nothing
    is written then). Runs on a worker.
    """
    # Imported here: the worker loads the plug-in, not the process that submits.
    from .. import _native, _plugin
    from ..settings import make_config

    try:
        # Taken before reading: a file changed meanwhile is tracked again next time.
        st = os.stat(input_path)
        if not stat.S_ISREG(st.st_mode):  # it was replaced since the search
            return {"input": input_path, "status": "failed", "reason": not_regular(st.st_mode)}
        config = make_config(pins["settings"])
        _plugin.load()
        # One input per core: the reading thread would only compete with another input.
        d = _native.track_file(input_path, config, read_ahead=False)
    except (OSError, ValueError, RuntimeError) as e:
        return {"input": input_path, "status": "failed", "reason": str(e)}
    beats_path, summary_path = output_paths(input_path, out_dir)
    reliable = d["time"][d["reliable"]]
    beats = beats_text(reliable).encode("ascii")
    write_atomically(beats_path, beats)
    summary = dict(d["summary"])
    if not summary["warning"]:
        del summary["warning"]
    summary.update(pins, input=os.path.abspath(input_path),
                   beats_file=os.path.basename(beats_path), beats_sha256=digest(beats),
                   **input_identity(st))
    summary["beats"] = int(len(reliable))
    write_atomically(summary_path, json.dumps(summary, indent=1) + "\n")
    return {"input": input_path, "status": "done", "duration": summary["duration"],
            "beats": summary["beats"], "median_tempo": summary["median_tempo"],
            "warning": summary.get("warning", "")}
