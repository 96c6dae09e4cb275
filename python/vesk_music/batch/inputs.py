"""The audio files a batch tracks: given one by one, found in folders, or listed in a file."""

import os
from typing import Iterable, List

# What libsndfile reads, by file name extension.
AUDIO_EXTENSIONS = frozenset((
    ".wav", ".wave", ".flac", ".ogg", ".oga", ".opus", ".mp3", ".aif", ".aiff", ".aifc",
    ".au", ".snd", ".caf", ".w64", ".rf64", ".voc", ".sf", ".paf", ".iff", ".svx", ".nist",
    ".sph", ".sd2", ".mat", ".mat4", ".mat5", ".pvf", ".xi", ".htk", ".avr", ".wve"))


def is_audio_name(path: str) -> bool:
    """Whether the name ends in an audio file extension."""
    return os.path.splitext(path)[1].lower() in AUDIO_EXTENSIONS


def listed(list_file: str) -> List[str]:
    """The paths in a list file: one per line; blank lines and lines starting with # skipped.

    Relative paths are taken from the list file's folder.
    """
    base = os.path.dirname(os.path.abspath(list_file))
    with open(list_file, encoding="utf-8") as f:
        lines = [line.strip() for line in f]
    return [os.path.join(base, line) for line in lines if line and not line.startswith("#")]


def find_inputs(paths: Iterable[str]) -> List[str]:
    """Absolute paths of the inputs, each once, in the order given.

    A folder gives its audio files (recursively, by extension, sorted); a
    file is taken whatever its name, so that a bad one is reported rather
    than ignored.
    """
    found: List[str] = []
    seen = set()

    def add(p: str) -> None:
        p = os.path.abspath(p)
        if p not in seen:
            seen.add(p)
            found.append(p)

    for path in paths:
        if os.path.isdir(path):
            for folder, dirs, files in os.walk(path):
                dirs.sort()
                for name in sorted(files):
                    if is_audio_name(name):
                        add(os.path.join(folder, name))
        else:
            add(path)
    return found
