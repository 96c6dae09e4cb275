"""The audio files a batch tracks: given one by one, found in folders, or listed in a file."""

import os
import stat
from dataclasses import dataclass, field
from typing import Iterable, List, Tuple, Union

# What libsndfile reads, by file name extension.
AUDIO_EXTENSIONS = frozenset((
    ".wav", ".wave", ".flac", ".ogg", ".oga", ".opus", ".mp3", ".aif", ".aiff", ".aifc",
    ".au", ".snd", ".caf", ".w64", ".rf64", ".voc", ".sf", ".paf", ".iff", ".svx", ".nist",
    ".sph", ".sd2", ".mat", ".mat4", ".mat5", ".pvf", ".xi", ".htk", ".avr", ".wve"))

PathArg = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def is_audio_name(path: str) -> bool:
    """Whether the name ends in an audio file extension."""
    return os.path.splitext(path)[1].lower() in AUDIO_EXTENSIONS


def as_str(path: PathArg) -> str:
    """A path as str: bytes that are not UTF-8 become surrogate escapes (os.fsdecode)."""
    return os.fsdecode(os.fspath(path))


def kind_of(mode: int) -> str:
    """What a file that is not a regular file is, for a message."""
    for test, name in ((stat.S_ISDIR, "a folder"), (stat.S_ISFIFO, "a FIFO"),
                       (stat.S_ISCHR, "a character device"), (stat.S_ISBLK, "a block device"),
                       (stat.S_ISSOCK, "a socket")):
        if test(mode):
            return name
    return "not a regular file"


def not_regular(mode: int) -> str:
    """The reason a file that is not a regular file is not tracked."""
    return f"{kind_of(mode)}, not a regular file (only regular files are tracked)"


def listed(list_file: str) -> List[str]:
    """The paths in a list file: one per line; blank lines and lines starting with # skipped.

    A line is a file name in the file system's encoding, whatever its bytes.
    Relative paths are taken from the list file's folder.
    """
    base = os.path.dirname(os.path.abspath(list_file))
    with open(list_file, "rb") as f:
        lines = [os.fsdecode(line.rstrip(b"\r\n").strip(b" \t")) for line in f]
    return [os.path.join(base, line) for line in lines if line and not line.startswith("#")]


@dataclass
class Found:
    """The outcome of a search.

    inputs: regular files, absolute, each once, in the order given (a
    folder's files sorted, then its subfolders); ignored: (path, why) of what
    a folder search found under an audio name that is not a regular file;
    refused: (path, reason) of inputs given that cannot be tracked and of
    folders that cannot be searched.
    """

    inputs: List[str] = field(default_factory=list)
    ignored: List[Tuple[str, str]] = field(default_factory=list)
    refused: List[Tuple[str, str]] = field(default_factory=list)


def find_inputs(paths: Iterable[PathArg]) -> Found:
    """The inputs of a batch; see Found.

    A folder is searched recursively for audio names (symlinked folders
    too, each folder once, so a link loop ends). A file given by name is
    taken whatever its name, so that a bad one is reported rather than
    ignored, but only a regular file: a FIFO would hold its worker for ever.
    """
    found = Found()
    seen_files = set()
    seen_folders = set()

    def add(p: str) -> None:
        if p not in seen_files:
            seen_files.add(p)
            found.inputs.append(p)

    def search(top: str) -> None:
        pending = [top]
        while pending:
            folder = pending.pop()
            try:
                st = os.stat(folder)
                if (st.st_dev, st.st_ino) in seen_folders:
                    continue  # reached again through a link
                seen_folders.add((st.st_dev, st.st_ino))
                with os.scandir(folder) as it:
                    entries = sorted(it, key=lambda e: e.name)
            except OSError as e:
                found.refused.append((folder, f"cannot search the folder: {e.strerror}"))
                continue
            subfolders = []
            for entry in entries:
                try:
                    mode = os.stat(entry.path).st_mode
                except OSError as e:  # a dangling link, say
                    if is_audio_name(entry.name):
                        found.refused.append((entry.path, f"cannot open: {e.strerror}"))
                    continue
                if stat.S_ISDIR(mode):
                    subfolders.append(entry.path)
                elif not is_audio_name(entry.name):
                    continue
                elif stat.S_ISREG(mode):
                    add(entry.path)
                else:
                    found.ignored.append((entry.path, not_regular(mode)))
            pending.extend(reversed(subfolders))

    for given in paths:
        path = os.path.abspath(as_str(given))
        try:
            mode = os.stat(path).st_mode
        except OSError as e:
            found.refused.append((path, f"cannot open: {e.strerror}"))
            continue
        if stat.S_ISDIR(mode):
            search(path)
        elif stat.S_ISREG(mode):
            add(path)
        else:
            found.refused.append((path, not_regular(mode)))
    return found
