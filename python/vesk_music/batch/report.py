"""The final account of a batch: every input done, skipped or failed."""

from dataclasses import dataclass, field
from typing import List, Tuple


@dataclass
class Report:
    """Inputs done, skipped (outputs already complete) and failed (with the reason)."""

    done: List[str] = field(default_factory=list)
    skipped: List[str] = field(default_factory=list)
    failed: List[Tuple[str, str]] = field(default_factory=list)  # (input, reason)
    audio_seconds: float = 0.0  # of the inputs tracked in this run
    wall_seconds: float = 0.0

    @property
    def throughput(self) -> float:
        """Seconds of audio tracked per second of wall time."""
        return self.audio_seconds / self.wall_seconds if self.wall_seconds > 0 else 0.0

    def text(self) -> str:
        """One line per failed input, then the totals."""
        lines = [f"failed: {path}: {reason}" for path, reason in self.failed]
        lines.append(
            f"{len(self.done)} done, {len(self.skipped)} skipped, {len(self.failed)} failed; "
            f"{self.audio_seconds / 3600:.3f} h of audio in {self.wall_seconds:.1f} s "
            f"({self.throughput:.1f}x real time)")
        return "\n".join(lines)
