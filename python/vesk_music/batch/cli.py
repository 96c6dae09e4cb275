"""python3 -m vesk_music.batch: the command line of a batch."""

import argparse
import os
import sys
from typing import List, Optional

from ..settings import DEFAULTS, TABLE
from .cluster import local_cluster
from .inputs import listed
from .run import run_batch



def _number_or_off(text: str):
    """A number, or None for "off"."""
    return None if text == "off" else float(text)


def parser() -> argparse.ArgumentParser:
    """The options: inputs, where to run, and vesk-beat's tracking options."""
    p = argparse.ArgumentParser(
        prog="python3 -m vesk_music.batch",
        description="Tracks the beats of many audio files on a Dask cluster: one beats file "
                    "(one time in seconds per line) and one JSON summary per input in --out. "
                    "Inputs whose outputs are complete are skipped, so an interrupted batch "
                    "is resumed by running it again.")
    p.add_argument("inputs", nargs="*", metavar="INPUT",
                   help="audio files, or folders (searched recursively for audio files)")
    p.add_argument("--list", action="append", default=[], metavar="FILE",
                   help="a file listing inputs, one per line")
    p.add_argument("--out", required=True, metavar="DIR", help="folder of the outputs")
    p.add_argument("--scheduler", metavar="tcp://HOST:PORT",
                   help="run on this Dask scheduler (default: a local cluster)")
    p.add_argument("--workers", type=int, default=os.cpu_count() or 1, metavar="N",
                   help="worker processes of the local cluster (default: one per core)")
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


def main(argv: Optional[List[str]] = None) -> int:
    """Runs a batch; 0 when every input is done or skipped, 1 when one failed, 2 for a bad call."""
    args = parser().parse_args(argv)
    inputs = list(args.inputs)
    try:
        for list_file in args.list:
            inputs += listed(list_file)
    except OSError as e:
        print(f"vesk_music.batch: {e}", file=sys.stderr)
        return 2
    if not inputs:
        print("vesk_music.batch: no inputs", file=sys.stderr)
        return 2
    settings = {name: getattr(args, name) for name in DEFAULTS}

    from distributed import Client

    if args.scheduler:
        client = Client(args.scheduler)
        cluster = None
    else:
        cluster = local_cluster(args.workers)
        client = Client(cluster)
    try:
        report = run_batch(inputs, args.out, client, settings, progress=not args.quiet)
    except (TypeError, ValueError) as e:
        print(f"vesk_music.batch: {e}", file=sys.stderr)
        return 2
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    print(report.text())
    return 1 if report.failed else 0
