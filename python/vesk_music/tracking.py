"""Beats of an audio file, and of audio handed over block by block."""

import os
from typing import Any, Tuple, Union

import numpy as np

from . import _native, _plugin
from .results import Beats, Features, Summary, TrackResult
from .settings import integer, make_config


def track_file(path: Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"],
               features: bool = False, **settings: Any) -> TrackResult:
    """Tracks the beats of an audio file as vesk-beat does.

    Any format vesk-beat reads (WAV, FLAC, Ogg, AIFF, ...). Settings by
    keyword, named as vesk-beat's options (vesk_music.settings.TABLE lists
    them with their ranges and help; the gate also takes None or "off"). The
    beat times are vesk-beat's on the same file and settings.

    The path may be any name the file system takes: str (with surrogate
    escapes for bytes that are not UTF-8, as os.fsdecode gives them), bytes or
    os.PathLike; summary.file is the name as given. A file holding less audio
    than its header promises is tracked as far as it goes, and
    summary.warning says so. With features=True the result's features hold
    every frame's (as Tracker.features() gives them).

    Raises ValueError for a bad setting, OSError for a file that cannot be
    read, RuntimeError when the node fails.
    """
    config = make_config(settings)
    _plugin.load()
    d = _native.track_file(path, config, features=bool(features))
    return TrackResult(Beats._from(d), Summary(**d["summary"]), config.as_dict(),
                       Features._from(d["features"]) if features else None)


def track(y: np.ndarray, sr: int, features: bool = False, **settings: Any) -> TrackResult:
    """Tracks the beats of audio held in an array, in one call.

    y: the samples as Tracker.process() takes them (float32, float64 or
    int16; 1-D mono, or 2-D (frames, channels): pass y.T for an array of
    (channels, frames)); sr: their sample rate. Settings and result as
    track_file's: the beats equal track_file's on a file holding the same
    samples. summary.file is "".
    """
    samples = np.asarray(y)
    channels = samples.shape[1] if samples.ndim == 2 else 1
    tracker = Tracker(sr, channels, features=features, **settings)
    beats = Beats._joined([tracker.process(samples), tracker.finish()])
    return TrackResult(beats, tracker.summary(), tracker.settings,
                       tracker.features() if features else None)


class Tracker:
    """Tracks the beats of live audio handed over block by block.

    Tracker(sample_rate, channels, features=False, **settings): the settings
    are track_file's. process() takes blocks of any length and returns the
    beats that fell due in them; the beats of a whole input equal those of a
    file holding the same samples. With features=True every frame's features
    are kept until features() takes them.

    Trackers share nothing: several may run at once, in threads (the GIL is
    released while audio is analysed).
    """

    def __init__(self, sample_rate: int, channels: int = 1, features: bool = False,
                 **settings: Any) -> None:
        config = make_config(settings)
        _plugin.load()
        self._native = _native.Tracker(integer("sample_rate", sample_rate),
                                       integer("channels", channels), config, bool(features))

    def __getattr__(self, name: str) -> Any:
        # Only reached when __init__ never ran (Tracker.__new__(Tracker)).
        if name == "_native":
            raise TypeError("Tracker object is not initialised: make it with Tracker(...)")
        raise AttributeError(name)

    def process(self, samples: np.ndarray) -> Beats:
        """Analyses a block and returns the beats that fell due in it.

        samples: float32 or float64 in [-1, 1], or int16 (scaled by 1/32768),
        in either byte order; 1-D for mono or interleaved channels, or 2-D
        (frames, channels). Raises TypeError for another dtype (or None, a
        string, bytes), ValueError for a shape that does not fit the channels
        or a call after finish(). Ctrl-C stops a long block with
        KeyboardInterrupt: the audio before that point stays analysed and its
        beats come with the next call; the rest of the block is dropped.
        """
        if samples is None or isinstance(samples, (str, bytes, bytearray)):
            raise TypeError(f"samples of type {type(samples).__name__}: expected an array of "
                            "float32, float64 or int16")
        return Beats._from(self._native.process(np.asarray(samples)))

    def finish(self) -> Beats:
        """The input has ended: returns the beats of its last frames."""
        return Beats._from(self._native.finish())

    def features(self) -> Features:
        """Takes the features of the frames computed since the last call.

        Empty unless the tracker was made with features=True.
        """
        return Features._from(self._native.take_features())

    def summary(self, name: str = "") -> Summary:
        """Median tempo and mean confidence of the reliable beats so far."""
        return Summary(**self._native.summary(name))

    @property
    def settings(self) -> dict:
        """The settings in use, by name."""
        return self._native.settings()

    @property
    def sample_rate(self) -> int:
        """Sample rate of the audio handed over."""
        return self._native.sample_rate

    @property
    def channels(self) -> int:
        """Channels of the audio handed over."""
        return self._native.channels

    @property
    def seconds(self) -> float:
        """Seconds of audio analysed so far."""
        return self._native.seconds

    @property
    def frame_seconds(self) -> float:
        """Seconds between frames (hop / rate)."""
        return self._native.frame_seconds

    @property
    def pattern_intervals(self) -> Tuple[int, int]:
        """Beat intervals in frames of the pattern vector's first entry and one past its last."""
        return self._native.pattern_intervals

    @property
    def finished(self) -> bool:
        """Whether finish() was called."""
        return self._native.finished
