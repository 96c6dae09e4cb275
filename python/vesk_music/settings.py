"""Tracking settings by keyword, named as vesk-beat's options in snake_case."""

from numbers import Integral, Real
from typing import Any, Dict

from . import _native

#: Every setting's name and its default (vesk-beat's defaults).
DEFAULTS: Dict[str, Any] = dict(_native.DEFAULTS)
# The tool's threshold is a float: shown as its shortest decimal (0.4), the same float.
DEFAULTS["threshold"] = float(f"{DEFAULTS['threshold']:.7g}")

#: Every setting's row of the tracking library's table: key, kind, range, default, help, names.
TABLE = {row["key"]: row for row in _native.SETTINGS}

_INTEGERS = tuple(k for k, r in TABLE.items() if r["kind"] == "integer")
_NUMBERS = tuple(k for k, r in TABLE.items() if r["kind"] == "number")
_NAMES = tuple(k for k, r in TABLE.items() if r["kind"] == "name")
# Optional numbers: None is allowed (and spelt "off" where that is what it means).
_OPTIONAL = tuple(k for k, r in TABLE.items() if r["none"] is not None)
_OFF = tuple(k for k, r in TABLE.items() if r["none"] == "off")


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
        ok = value is None and name in _OPTIONAL or (
            isinstance(value, Real) and not isinstance(value, bool))
        expected = "a number or None" if name in _OPTIONAL else "a number"
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
    for name in _OFF:
        if values[name] == "off":
            values[name] = None
    for name, value in values.items():
        _check_type(name, value)
    for name in _INTEGERS:
        values[name] = int(values[name])
    return _native.TrackConfig(**{k: (float(v) if k in _NUMBERS and v is not None else v)
                                  for k, v in values.items()})
