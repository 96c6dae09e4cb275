"""Beat tracking of many audio files on a Dask cluster.

python3 -m vesk_music.batch --out DIR INPUT... (see --help). run_batch() is
the same from Python, with a distributed.Client of your own.
"""

from .report import Report
from .run import BatchInterrupted, run_batch
from .workers import WorkersCannotTrack

__all__ = ["run_batch", "Report", "BatchInterrupted", "WorkersCannotTrack"]
