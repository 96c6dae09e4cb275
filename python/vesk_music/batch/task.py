"""What a worker does with one input: track it and write its outputs."""

import json
import os
from typing import Any, Dict

from .outputs import beats_text, output_paths, write_atomically


def track_to_files(input_path: str, out_dir: str, settings: Dict[str, Any]) -> Dict[str, Any]:
    """Tracks one input and writes its beats file, then its summary.

    Returns {"input", "status": "done", "duration", "beats"}, or
    {"input", "status": "failed", "reason"} when the input cannot be tracked
    (nothing is written then). Runs on a worker.
    """
    # Imported here: the worker loads the plug-in, not the process that submits.
    from .. import _native, _plugin
    from ..settings import make_config

    try:
        config = make_config(settings)
        _plugin.load()
        # One input per core: the reading thread would only compete with another input.
        d = _native.track_file(input_path, config, read_ahead=False)
    except (OSError, ValueError, RuntimeError) as e:
        return {"input": input_path, "status": "failed", "reason": str(e)}
    beats_path, summary_path = output_paths(input_path, out_dir)
    reliable = d["time"][d["reliable"]]
    write_atomically(beats_path, beats_text(reliable))
    summary = dict(d["summary"])
    summary.update(input=os.path.abspath(input_path), beats_file=os.path.basename(beats_path),
                   settings=config.as_dict())
    summary["beats"] = int(len(reliable))
    write_atomically(summary_path, json.dumps(summary, indent=1) + "\n")
    return {"input": input_path, "status": "done", "duration": summary["duration"],
            "beats": summary["beats"]}
