"""Beat tracking of audio: the vesk-beat tracker as a Python package.

track_file(path, **settings) tracks an audio file as vesk-beat does;
track(y, sr, **settings) the samples of an array;
Tracker(sample_rate, channels, **settings) tracks audio handed over block by
block. python3 -m vesk_music.batch tracks many files on a Dask cluster.
"""

from . import _native, _plugin
from .results import Beats, Features, Summary, TrackResult
from .settings import DEFAULTS
from .tracking import Tracker, track, track_file

__version__ = _native.VERSION
__all__ = ["track", "track_file", "Tracker", "TrackResult", "Beats", "Summary", "Features", "DEFAULTS"]

_plugin.load()
