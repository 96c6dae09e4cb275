"""The final account of a batch: every input done, skipped, failed or not finished."""

from dataclasses import dataclass, field
from typing import List, Tuple


@dataclass
class Report:
    """What became of every input.

    done: tracked in this run; short: those of them cut short, with the
    warning; skipped: outputs complete and current from an earlier run;
    ignored: what a folder search found under an audio name that is not a
    regular file, with why; failed: with the reason (unreadable folders
    too); not_finished: inputs not tracked when the batch was interrupted.
    """

    done: List[str] = field(default_factory=list)
    short: List[Tuple[str, str]] = field(default_factory=list)  # (input, warning)
    skipped: List[str] = field(default_factory=list)
    ignored: List[Tuple[str, str]] = field(default_factory=list)  # (path, why)
    failed: List[Tuple[str, str]] = field(default_factory=list)  # (input, reason)
    not_finished: List[str] = field(default_factory=list)
    interrupted: bool = False
    audio_seconds: float = 0.0  # of the inputs tracked in this run
    wall_seconds: float = 0.0

    @property
    def throughput(self) -> float:
        """Seconds of audio tracked per second of wall time."""
        return self.audio_seconds / self.wall_seconds if self.wall_seconds > 0 else 0.0

    def text(self) -> str:
        """One line per input that needs a look (skipped as not a file, short,
        failed), then the totals."""
        lines = [f"skipped: {path}: {why}" for path, why in self.ignored]
        lines += [f"short: {path}: {warning}" for path, warning in self.short]
        lines += [f"failed: {path}: {reason}" for path, reason in self.failed]
        done = f"{len(self.done)} done" + (f" ({len(self.short)} short)" if self.short else "")
        totals = (f"{done}, {len(self.skipped) + len(self.ignored)} skipped, "
                  f"{len(self.failed)} failed")
        if self.interrupted:
            lines.append(f"interrupted: {totals}, {len(self.not_finished)} not finished; "
                         f"run the same command again to resume")
        elif self.done:
            lines.append(f"{totals}; {self.audio_seconds / 3600:.3f} h of audio in "
                         f"{self.wall_seconds:.1f} s ({self.throughput:.1f}x real time)")
        elif self.skipped and not self.failed:
            lines.append(f"{totals}; every input's outputs were complete already")
        else:
            lines.append(totals)
        return "\n".join(lines)
