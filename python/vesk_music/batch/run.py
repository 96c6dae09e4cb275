"""Tracks a batch of inputs on a Dask cluster and accounts for every one."""

import os
import sys
import time
import uuid
from typing import Any, Dict, Iterable, Optional

from .inputs import find_inputs
from .outputs import completed_summary
from .report import Report
from .task import track_to_files


def run_batch(inputs: Iterable[str], out_dir: str, client: Any,
              settings: Optional[Dict[str, Any]] = None, progress: bool = True) -> Report:
    """Tracks every input (files, folders, as find_inputs takes them) on the
    cluster of `client` (a distributed.Client), writing a beats file and a JSON
    summary per input to `out_dir`, which the workers must reach.

    Inputs whose outputs are complete (same settings) are skipped. A failing
    input is reported with its reason; a worker that dies mid-file has its
    file tracked again by another. Raises ValueError/TypeError for bad
    settings before anything runs.
    """
    from distributed import as_completed

    from ..settings import make_config

    full_settings = make_config(dict(settings or {})).as_dict()
    # Workers elsewhere share the file system, not the current directory.
    out_dir = os.path.abspath(out_dir)
    os.makedirs(out_dir, exist_ok=True)
    report = Report()
    todo = []
    for path in find_inputs(inputs):
        if completed_summary(path, out_dir, full_settings) is not None:
            report.skipped.append(path)
        else:
            todo.append(path)

    start = time.monotonic()
    run = uuid.uuid4().hex[:8]
    futures = {client.submit(track_to_files, path, out_dir, full_settings, pure=False,
                             key=f"vesk-track-{run}-{i}"): path
               for i, path in enumerate(todo)}
    bar = _progress_bar(len(futures), progress)
    # Results come with their futures: no round trip per file.
    for future, result in as_completed(futures, with_results=True, raise_errors=False):
        path = futures[future]
        if future.status != "finished":  # a task that raised, or a file that killed its workers
            error = result[1] if future.status == "error" else result
            report.failed.append((path, f"{type(error).__name__}: {error}"))
        elif result["status"] == "done":
            report.done.append(path)
            report.audio_seconds += result["duration"]
        else:
            report.failed.append((path, result["reason"]))
        future.release()
        if bar is not None:
            bar.update(1)
    if bar is not None:
        bar.close()
    report.wall_seconds = time.monotonic() - start
    return report


def _progress_bar(total: int, wanted: bool):
    if not wanted or total == 0:
        return None
    try:
        from tqdm import tqdm
    except ImportError:
        return None
    return tqdm(total=total, unit="file", file=sys.stderr, dynamic_ncols=True)
