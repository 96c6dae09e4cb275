"""Loads the plug-in library that provides the node, once per process."""

import glob
import os

from . import _native

_loaded = None


def plugin_path() -> str:
    """The plug-in to load: $VESK_MUSIC_PLUGIN, else the one beside the extension."""
    given = os.environ.get("VESK_MUSIC_PLUGIN")
    if given:
        return given
    here = os.path.dirname(os.path.abspath(_native.__file__))
    found = sorted(glob.glob(os.path.join(here, "libvesk-music.so*")))
    if not found:
        raise ImportError(f"vesk_music: no plug-in libvesk-music.so beside {_native.__file__}")
    return found[0]


def load() -> str:
    """Loads the plug-in unless it is loaded already; returns its path."""
    global _loaded
    if _loaded is None:
        _loaded = _native.load_plugin(plugin_path())
    return _loaded
