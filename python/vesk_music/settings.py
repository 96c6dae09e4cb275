"""Tracking settings by keyword, named as vesk-beat's options in snake_case."""

from numbers import Integral, Real
from typing import Any, Dict

from . import _native

#: Every setting's name and its default (vesk-beat's defaults).
DEFAULTS: Dict[str, Any] = dict(_native.DEFAULTS)
# The tool's threshold is a float: shown as its shortest decimal (0.4), the same float.
DEFAULTS["threshold"] = float(f"{DEFAULTS['threshold']:.7g}")

_INTEGERS = ("rate", "frame", "hop", "min_bpm", "max_bpm")
_NUMBERS = ("threshold", "compress", "whiten", "low_pass", "gate")
_NAMES = ("window", "front_end", "after_node")


def integer(name: str, value: Any) -> int:
    """value as an int: any integer type (int, numpy.int64, ...), not a bool; else TypeError."""
    if isinstance(value, bool) or not isinstance(value, Integral):
        raise TypeError(f"{name} {value!r}: expected an integer")
    return int(value)


def _check_type(name: str, value: Any) -> None:
    if name in _INTEGERS:
        ok = isinstance(value, Integral) and not isinstance(value, bool)
        expected = "an integer"
    elif name in _NUMBERS:
        ok = value is None and name != "threshold" or (
            isinstance(value, Real) and not isinstance(value, bool))
        expected = "a number" if name == "threshold" else "a number or None"
    elif name in _NAMES:
        ok, expected = isinstance(value, str), "a name"
    else:
        ok, expected = isinstance(value, bool), "True or False"
    if not ok:
        raise TypeError(f"{name} {value!r}: expected {expected}")


def make_config(settings: Dict[str, Any]) -> "_native.TrackConfig":
    """Checked settings from keywords; the others keep vesk-beat's defaults.

    Raises TypeError for an unknown keyword or a value of the wrong type, and
    ValueError (with vesk-beat's range) for a value out of range.
    """
    unknown = sorted(set(settings) - set(DEFAULTS))
    if unknown:
        raise TypeError(f"unknown setting{'s' if len(unknown) > 1 else ''} "
                        f"{', '.join(unknown)} (allowed: {', '.join(DEFAULTS)})")
    values = dict(DEFAULTS)
    values.update(settings)
    if values["gate"] == "off":
        values["gate"] = None
    for name, value in values.items():
        _check_type(name, value)
    for name in _INTEGERS:
        values[name] = int(values[name])
    return _native.TrackConfig(**{k: (float(v) if k in _NUMBERS and v is not None else v)
                                  for k, v in values.items()})
