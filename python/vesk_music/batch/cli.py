"""python3 -m vesk_music.batch: the command line of a batch."""

import argparse
import logging
import os
import sys
from typing import List, Optional

from ..settings import DEFAULTS, TABLE, make_config
from .cluster import DASHBOARD_ADDRESS, local_cluster
from .inputs import listed
from .interrupts import ctrl_c_taken_by
from .run import BatchInterrupted, run_batch
from .workers import WorkersCannotTrack



def _number_or_off(text: str):
    """A number, or None for "off"."""
    return None if text == "off" else float(text)


class _Parser(argparse.ArgumentParser):
    def error(self, message: str):
        """A bad call: one line, exit 2."""
        self.exit(2, f"vesk_music.batch: {message} (see --help)\n")


def _workers(text: str) -> int:
    try:
        n = int(text)
    except ValueError:
        n = 0
    if n < 1:
        raise argparse.ArgumentTypeError(f"expected a whole number of 1 or more, not '{text}'")
    return n


def parser() -> argparse.ArgumentParser:
    """The options: inputs, where to run, and vesk-beat's tracking options."""
    p = _Parser(
        prog="vesk-batch" if os.path.basename(sys.argv[0]) == "vesk-batch"
        else "python3 -m vesk_music.batch",
        description="Tracks the beats of many audio files on a Dask cluster: one beats file "
                    "(one time in seconds per line) and one JSON summary per input in --out, "
                    "and index.tsv there, one line per input. Inputs whose outputs are "
                    "complete and current are skipped, so an interrupted batch is resumed by "
                    "running it again. Exit status: 0 every input done or skipped, 1 an input "
                    "or folder failed, 2 a bad call, 130 interrupted.")
    p.add_argument("inputs", nargs="*", metavar="INPUT",
                   help="audio files, or folders (searched recursively for audio files)")
    p.add_argument("--list", action="append", default=[], metavar="FILE",
                   help="a file listing inputs, one per line")
    p.add_argument("--out", required=True, metavar="DIR", help="folder of the outputs")
    where = p.add_mutually_exclusive_group()
    where.add_argument("--scheduler", metavar="tcp://HOST:PORT",
                       help="run on this Dask scheduler (default: $DASK_SCHEDULER_ADDRESS, "
                            "else a local cluster)")
    where.add_argument("--scheduler-file", metavar="FILE",
                       help="run on the Dask scheduler this file describes")
    p.add_argument("--workers", type=_workers, default=os.cpu_count() or 1, metavar="N",
                   help="worker processes of the local cluster (default: one per core)")
    p.add_argument("--dashboard", action="store_true",
                   help=f"serve the local cluster's dashboard on {DASHBOARD_ADDRESS}")
    p.add_argument("-q", "--quiet", action="store_true", help="no progress bar")
    group = p.add_argument_group("tracking settings (vesk-beat's options and defaults)")
    for name, row in TABLE.items():
        option = "--" + name.replace("_", "-")
        if row["kind"] == "flag":
            group.add_argument(option, action="store_true", help="(no effect on the outputs)")
            continue
        kind = {"integer": int, "number": float, "name": str}[row["kind"]]
        default = DEFAULTS[name]
        metavar = row["metavar"] + ("|off" if row["none"] == "off" else "")
        help_text = row["help"].replace("%", "%%")
        if row["names"]:
            help_text += f"; one of {', '.join(row['names'])}"
        help_text += f" (default: {default if default is not None else row['none']})"
        group.add_argument(option, type=_number_or_off if row["none"] == "off" else kind,
                           default=default, metavar=metavar, help=help_text)
    return p


class _BadCall(Exception):
    """A command line that cannot run; the message is the line to print."""


def _checked_out(out: str) -> str:
    """The output folder, made if missing; _BadCall unless it can be written."""
    if os.path.exists(out) and not os.path.isdir(out):
        raise _BadCall(f"--out: '{out}' is not a folder")
    try:
        os.makedirs(out, exist_ok=True)
    except OSError as e:
        raise _BadCall(f"--out: cannot create '{out}': {e.strerror}") from None
    if not os.access(out, os.W_OK | os.X_OK):
        raise _BadCall(f"--out: cannot write into '{out}'")
    return out


def _scheduler(args) -> Optional[dict]:
    """How to reach the scheduler, as Client's keywords; None for a local cluster."""
    if args.scheduler_file:
        if not os.path.isfile(args.scheduler_file):
            raise _BadCall(f"--scheduler-file: '{args.scheduler_file}' is not a file")
        return {"scheduler_file": args.scheduler_file}
    import dask

    # $DASK_SCHEDULER_ADDRESS, or the same in Dask's configuration.
    address = args.scheduler or dask.config.get("scheduler-address", None)
    return {"address": address} if address else None


def main(argv: Optional[List[str]] = None) -> int:
    """Runs a batch; 0 when every input is done or skipped, 1 when one failed,
    2 for a bad call, 130 when interrupted."""
    # File names that are not UTF-8 are printed as the file system holds them.
    for stream in (sys.stdout, sys.stderr):
        stream.reconfigure(errors="surrogateescape")
    try:
        return _run(parser().parse_args(argv))
    except _BadCall as e:
        print(f"vesk_music.batch: {e}", file=sys.stderr)
        return 2
    except BatchInterrupted as e:
        print(e.report.text())
        return 130
    except KeyboardInterrupt:
        print("vesk_music.batch: interrupted before any input was submitted; "
              "run the same command again", file=sys.stderr)
        return 130


def _silence_shutdown_noise() -> None:
    """Busy workers are killed and connections cut as the cluster closes:
    the account says what happened, the libraries' shutdown noise (killed
    workers, cancelled gathers, closed comms) would only hide it."""
    for name in ("distributed", "distributed.client", "distributed.scheduler",
                 "distributed.nanny", "tornado", "tornado.application", "asyncio"):
        logging.getLogger(name).setLevel(logging.CRITICAL + 1)


def _interrupted(signum, frame):
    """Ctrl-C silences the libraries' logs at once, before the batch cancels
    its tasks: the scheduler runs in a thread of this process and would log
    the gathers that the cancel cuts short while the account is written."""
    _silence_shutdown_noise()
    raise KeyboardInterrupt


def _run(args) -> int:
    inputs = list(args.inputs)
    for list_file in args.list:
        try:
            inputs += listed(list_file)
        except OSError as e:
            raise _BadCall(f"--list: cannot read '{list_file}': {e.strerror}") from None
    if not inputs:
        raise _BadCall("no inputs: give audio files or folders, or --list FILE")
    settings = {name: getattr(args, name) for name in DEFAULTS}
    try:
        make_config(settings)
    except (TypeError, ValueError) as e:
        raise _BadCall(str(e)) from None
    out = _checked_out(args.out)
    where = _scheduler(args)

    from distributed import Client

    cluster = None
    try:
        if where is None:
            cluster = local_cluster(args.workers, args.dashboard)
            client = Client(cluster)
        else:
            client = Client(**where)
    except ValueError as e:  # an address Dask cannot parse
        if where is None:
            raise
        option = "--scheduler-file" if "scheduler_file" in where else "--scheduler"
        raise _BadCall(f"{option}: {e}") from None
    except (OSError, TimeoutError) as e:
        if where is None:
            raise
        print(f"vesk_music.batch: cannot reach the scheduler "
              f"{where.get('address') or where.get('scheduler_file')}: {e}", file=sys.stderr)
        return 1
    try:
        with ctrl_c_taken_by(_interrupted):
            report = run_batch(inputs, out, client, settings, progress=not args.quiet)
    except WorkersCannotTrack as e:
        print(f"vesk_music.batch: {e}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        _silence_shutdown_noise()  # off the main thread, Python's own handler took it
        raise
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    print(report.text())
    return 1 if report.failed else 0
