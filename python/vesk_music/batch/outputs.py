"""A batch's output files: names that cannot collide, written whole or not at all,
and a summary that pins what produced them."""

import functools
import hashlib
import json
import os
import uuid
from typing import Any, Dict, Optional, Tuple, Union

_SUFFIXES = (".beats.txt", ".json")
_DIGEST_LENGTH = 12


@functools.lru_cache(maxsize=None)
def _name_max(out_dir: str) -> int:
    try:
        return os.pathconf(out_dir, "PC_NAME_MAX")
    except (OSError, ValueError):
        return 255


def _shortened(name: str, limit: int) -> str:
    """`name` cut to at most `limit` bytes, not inside a UTF-8 character."""
    raw = os.fsencode(name)
    if len(raw) <= limit:
        return name
    raw = raw[:limit]
    while raw and raw[-1] & 0xC0 == 0x80:  # continuation bytes of a cut character
        raw = raw[:-1]
    if raw and raw[-1] >= 0xC0:  # its lead byte
        raw = raw[:-1]
    return os.fsdecode(raw)


def output_paths(input_path: str, out_dir: str) -> Tuple[str, str]:
    """The beats file and the JSON summary of an input.

    The file name plus a digest of the input's absolute path: two folders
    holding files of the same name get different outputs. A name too long
    for the output folder's file system is shortened; the digest keeps it
    apart from others.
    """
    absolute = os.path.abspath(input_path)
    digest = hashlib.sha1(os.fsencode(absolute)).hexdigest()[:_DIGEST_LENGTH]
    room = _name_max(out_dir) - len(f".{digest}") - max(map(len, _SUFFIXES))
    stem = os.path.join(out_dir, f"{_shortened(os.path.basename(absolute), room)}.{digest}")
    return stem + _SUFFIXES[0], stem + _SUFFIXES[1]


def write_atomically(path: str, data: Union[str, bytes]) -> None:
    """Writes `data` to a temporary file beside `path`, then renames it over `path`.

    The file is created with the process's umask, as any other. No fsync: it
    would cost more than tracking a short file, and an output cut short by a
    power failure fails completed_summary()'s check and is tracked again.
    """
    if isinstance(data, str):
        data = data.encode("utf-8", "surrogateescape")
    temporary = os.path.join(os.path.dirname(path) or ".", f".partial-{uuid.uuid4().hex}.tmp")
    fd = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o666)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except FileNotFoundError:
            pass
        raise


def beats_text(times) -> str:
    """One beat time per line, as vesk-beat's --beats writes them."""
    return "".join(f"{t:.6f}\n" for t in times)


def digest(data: bytes) -> str:
    """The digest of a beats file that its summary records."""
    return hashlib.sha256(data).hexdigest()


def input_identity(st: os.stat_result) -> Dict[str, int]:
    """What the summary records of the input it was made from."""
    return {"input_size": st.st_size, "input_mtime_ns": st.st_mtime_ns}


def completed_summary(input_path: str, out_dir: str, pins: Dict[str, Any],
                      st: Optional[os.stat_result] = None) -> Optional[Dict[str, Any]]:
    """The summary of an input whose outputs are complete and current; None
    when it must be tracked (again).

    `pins` are the settings and version a summary must record. Current means
    made from this input as it is now (size and modification time), with the
    same pins; complete means the beats file beside it is the one it was
    written with (its digest), so two outputs of different runs are never
    taken for a pair.
    """
    beats_path, summary_path = output_paths(input_path, out_dir)
    try:
        if st is None:
            st = os.stat(input_path)
        with open(summary_path, "rb") as f:
            summary = json.loads(f.read())
        with open(beats_path, "rb") as f:
            beats = f.read()
    except (OSError, ValueError):
        return None
    expected = dict(pins, input=os.path.abspath(input_path), beats_sha256=digest(beats),
                    **input_identity(st))
    if not isinstance(summary, dict) or any(summary.get(k) != v for k, v in expected.items()):
        return None
    return summary
