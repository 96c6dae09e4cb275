"""Tracks a batch of inputs on a Dask cluster and accounts for every one."""

import os
import sys
import time
import uuid
from typing import Any, Dict, Iterable, Optional

from .index import entry, read_index, write_index
from .inputs import PathArg, as_str, find_inputs
from .outputs import completed_summary, output_paths
from .report import Report
from .task import track_to_files
from .workers import check_workers

# The index is rewritten after a completed file at most this often (seconds):
# rewriting it after each of many short files would cost more than tracking them.
INDEX_INTERVAL = 2.0


class BatchInterrupted(KeyboardInterrupt):
    """Ctrl-C during a batch; `report` accounts for what was done until then."""

    def __init__(self, report: Report) -> None:
        super().__init__("batch interrupted")
        self.report = report


class _Index:
    """The index's lines by input, earlier runs' included; written whole."""

    def __init__(self, out_dir: str) -> None:
        self.out_dir = out_dir
        self.rows = read_index(out_dir)
        self.written = time.monotonic()

    def set(self, row: Dict[str, str]) -> None:
        self.rows.pop(row["input"], None)  # to the end, in this run's order
        self.rows[row["input"]] = row

    def write(self, now: bool = True) -> None:
        if now or time.monotonic() - self.written >= INDEX_INTERVAL:
            write_index(self.out_dir, list(self.rows.values()))
            self.written = time.monotonic()


def _done_row(path: str, out_dir: str, result: Dict[str, Any]) -> Dict[str, str]:
    beats_path, summary_path = output_paths(path, out_dir)
    warning = result.get("warning", "")
    return entry(path, beats_path, summary_path, result["duration"], result["beats"],
                 result["median_tempo"], "short" if warning else "done", warning)


def run_batch(inputs: Iterable[PathArg], out_dir: PathArg, client: Any,
              settings: Optional[Dict[str, Any]] = None, progress: bool = True) -> Report:
    """Tracks every input (files, folders, as find_inputs takes them) on the
    cluster of `client` (a distributed.Client), writing a beats file and a JSON
    summary per input to `out_dir`, which the workers must reach, and the
    index of them all (index.tsv).

    Inputs whose outputs are complete and current (same input, settings and
    version) are skipped. A failing input is reported with its reason; a
    worker that dies mid-file has its file tracked again by another. Raises
    ValueError/TypeError for bad settings and WorkersCannotTrack for workers
    without this vesk_music, before anything is submitted; BatchInterrupted
    (a KeyboardInterrupt, with the report so far) on Ctrl-C.
    """
    from distributed import as_completed

    from .. import _native
    from ..settings import make_config

    pins = {"settings": make_config(dict(settings or {})).as_dict(), "version": _native.VERSION}
    # Workers elsewhere share the file system, not the current directory.
    out_dir = os.path.abspath(as_str(out_dir))
    os.makedirs(out_dir, exist_ok=True)
    report = Report()
    index = _Index(out_dir)
    todo = []
    futures: Dict[Any, str] = {}
    finished = set()
    bar = None
    start = time.monotonic()
    try:
        found = find_inputs(inputs)
        report.ignored = found.ignored
        for path, reason in found.refused:
            report.failed.append((path, reason))
            index.set(entry(path, status="failed", note=reason))
        for path in found.inputs:
            summary = completed_summary(path, out_dir, pins)
            if summary is None:
                todo.append(path)
                continue
            report.skipped.append(path)
            index.set(_done_row(path, out_dir, summary))
        if todo:
            check_workers(client, pins)

        start = time.monotonic()
        run = uuid.uuid4().hex[:8]
        futures = {client.submit(track_to_files, path, out_dir, pins, pure=False,
                                 key=f"vesk-track-{run}-{i}"): path
                   for i, path in enumerate(todo)}
        bar = _progress_bar(len(futures), progress)
        # Results come with their futures: no round trip per file.
        for future, result in as_completed(futures, with_results=True, raise_errors=False):
            path = futures[future]
            finished.add(path)
            if future.status != "finished":  # a task that raised, or a file that killed its workers
                error = result[1] if future.status == "error" else result
                reason = f"{type(error).__name__}: {error}"
            elif result["status"] == "done":
                report.done.append(path)
                if result["warning"]:
                    report.short.append((path, result["warning"]))
                report.audio_seconds += result["duration"]
                reason = None
                index.set(_done_row(path, out_dir, result))
            else:
                reason = result["reason"]
            if reason is not None:
                report.failed.append((path, reason))
                index.set(entry(path, status="failed", note=reason))
            future.release()
            index.write(now=False)
            if bar is not None:
                bar.update(1)
    except KeyboardInterrupt:
        if bar is not None:
            bar.close()
        report.interrupted = True
        report.not_finished = [path for path in todo if path not in finished]
        for path in report.not_finished:
            index.set(entry(path, status="not finished"))
        try:
            client.cancel([f for f in futures if not f.done()])
        except Exception:  # the cluster may be going down with the same Ctrl-C
            pass
        report.wall_seconds = time.monotonic() - start
        index.write()
        raise BatchInterrupted(report) from None
    if bar is not None:
        bar.close()
    report.wall_seconds = time.monotonic() - start
    index.write()
    return report


def _progress_bar(total: int, wanted: bool):
    if not wanted or total == 0:
        return None
    try:
        from tqdm import tqdm
    except ImportError:
        return None
    return tqdm(total=total, unit="file", file=sys.stderr, dynamic_ncols=True)
