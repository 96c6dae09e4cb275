"""What tracking returns: beats, per-file summaries and per-frame features."""

from dataclasses import dataclass, field
from typing import Any, Dict, Optional, Union

import numpy as np


@dataclass(frozen=True)
class Beats:
    """Beats, one array entry per beat, in time order.

    time: seconds from the start of the input (as vesk-beat reports them);
    tempo: beats per minute (0 for a beat below the threshold, with all_beats);
    confidence: the reliability of the beat interval, 0..1;
    frame: the frame on which the node signalled the beat;
    reliable: whether the beat reached the threshold.
    """

    time: np.ndarray
    tempo: np.ndarray
    confidence: np.ndarray
    frame: np.ndarray
    reliable: np.ndarray

    @classmethod
    def _from(cls, d: Dict[str, Any]) -> "Beats":
        return cls(d["time"], d["tempo"], d["confidence"], d["frame"], d["reliable"])

    @classmethod
    def _joined(cls, parts: "list[Beats]") -> "Beats":
        return cls(*(np.concatenate([getattr(p, n) for p in parts])
                     for n in ("time", "tempo", "confidence", "frame", "reliable")))

    def __len__(self) -> int:
        return len(self.time)


@dataclass(frozen=True)
class Summary:
    """Figures of a whole input, as vesk-beat's summary line gives them.

    duration: seconds of audio; beats: reliable beats; median_tempo: of the
    reliable beats (bpm); mean_confidence: over the reliable beats; file: the
    name as given (str or bytes); warning: why the file is suspect ("cut short:
    ..." when it held less audio than its header promised), empty when it is not.
    """

    file: Union[str, bytes]
    duration: float
    beats: int
    median_tempo: float
    mean_confidence: float
    warning: str = ""

    def as_dict(self) -> Dict[str, Any]:
        """The figures by name, as in vesk-beat's JSON summary (a warning only when there is one)."""
        d = {"file": self.file, "duration": self.duration, "beats": self.beats,
             "median_tempo": self.median_tempo, "mean_confidence": self.mean_confidence}
        if self.warning:
            d["warning"] = self.warning
        return d


@dataclass(frozen=True)
class TrackResult:
    """The beats of one input, its summary, and with features=True every frame's features."""

    beats: Beats
    summary: Summary
    settings: Dict[str, Any] = field(default_factory=dict)
    features: Optional["Features"] = None  # every frame's, when asked for

    @property
    def times(self) -> np.ndarray:
        """Beat times in seconds (shortcut for beats.time)."""
        return self.beats.time


@dataclass(frozen=True)
class Features:
    """What the node measured, one row per frame.

    frame, time (seconds: the start of the frame's newest hop), confidence
    (0..1), tempo (bpm of the interval measured, reliable or not; 0 until the
    node has measured one within the tempo range), onset (n x 64 bands), pattern (n x one score per beat interval, see
    Tracker.pattern_intervals), chroma (n x 12 bins).
    """

    frame: np.ndarray
    time: np.ndarray
    confidence: np.ndarray
    tempo: np.ndarray
    onset: np.ndarray
    pattern: np.ndarray
    chroma: np.ndarray

    @classmethod
    def _from(cls, d: Dict[str, Any]) -> "Features":
        return cls(d["frame"], d["time"], d["confidence"], d["tempo"], d["onset"], d["pattern"],
                   d["chroma"])

    def __len__(self) -> int:
        return len(self.frame)

    @property
    def onset_strength(self) -> np.ndarray:
        """Per frame, the sum of the 64 onset bands (what vesk-beat --plot draws)."""
        return self.onset.sum(axis=1)
