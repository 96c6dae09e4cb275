"""The check, before anything is submitted, that every worker can track as this process would."""

import os
import shlex
import sys
from typing import Any, Dict, List


class WorkersCannotTrack(RuntimeError):
    """Workers that cannot import vesk_music, or that have another version or settings."""


def _probe(settings: Dict[str, Any]) -> Dict[str, Any]:
    """Runs on each worker. Sent by value (this module is pickled whole), so
    it runs on a worker that cannot import vesk_music too."""
    import sys as worker_sys

    try:
        import vesk_music
        from vesk_music.settings import make_config

        return {"version": vesk_music.__version__, "executable": worker_sys.executable,
                "settings": make_config(settings).as_dict()}
    except Exception as e:  # whatever stops the package from loading there
        return {"error": f"{type(e).__name__}: {e}", "executable": worker_sys.executable}


def check_workers(client: Any, pins: Dict[str, Any]) -> None:
    """Raises WorkersCannotTrack with one message for all workers that
    cannot import vesk_music at this version, or check settings otherwise.

    Waits for a first worker when the scheduler has none yet.
    """
    import cloudpickle

    if not client.scheduler_info().get("workers"):
        print("vesk_music.batch: waiting for a worker to join the scheduler", file=sys.stderr)
        client.wait_for_workers(1)
    cloudpickle.register_pickle_by_value(sys.modules[__name__])
    try:
        answers = client.run(_probe, pins["settings"])
    finally:
        cloudpickle.unregister_pickle_by_value(sys.modules[__name__])
    problems: List[str] = []
    for address, answer in sorted(answers.items()):
        if "error" in answer:
            problems.append(f"{address} ({answer['executable']}) cannot import vesk_music: "
                            f"{answer['error']}")
        elif answer["version"] != pins["version"]:
            problems.append(f"{address} ({answer['executable']}) has vesk_music "
                            f"{answer['version']}, this process {pins['version']}")
        elif answer["settings"] != pins["settings"]:
            problems.append(f"{address} ({answer['executable']}) reads the settings as "
                            f"{answer['settings']}, this process as {pins['settings']}")
    if problems:
        address = client.scheduler.address
        path = os.environ.get("PYTHONPATH")
        interpreter = f"PYTHONPATH={shlex.quote(path)} " if path else ""
        interpreter += shlex.quote(sys.executable)
        raise WorkersCannotTrack(
            f"{len(problems)} of {len(answers)} workers cannot track as this process would; "
            f"nothing was submitted:\n  " + "\n  ".join(problems) + "\n"
            f"Start the workers with the interpreter that has vesk_music, e.g.\n"
            f"  {interpreter} -m distributed.cli.dask_worker {address} --nthreads 1")
