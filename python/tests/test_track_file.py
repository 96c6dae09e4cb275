import numpy as np
import pytest

import vesk_music
from conftest import tool_run

# Settings by keyword, and the same as vesk-beat's options.
CASES = [
    ({}, []),
    (dict(after_node="phase"), ["--after-node", "phase"]),
    (dict(rate=22050, frame=1024, hop=200, window="blackman-harris", min_bpm=70, max_bpm=180,
          threshold=0.3, front_end="whiten", whiten=0.99, low_pass=4000, gate=None,
          after_node="none", all_beats=True),
     ["--rate", "22050", "--frame", "1024", "--hop", "200", "--window", "blackman-harris",
      "--min-bpm", "70", "--max-bpm", "180", "--threshold", "0.3", "--front-end", "whiten",
      "--whiten", "0.99", "--low-pass", "4000", "--gate", "off", "--after-node", "none",
      "--all-beats"]),
]


@pytest.mark.parametrize("settings, options", CASES)
def test_beats_and_summary_are_the_tools(song, settings, options):
    path, _ = song
    result = vesk_music.track_file(path, **settings)
    beats, summary, beats_text = tool_run(path, *options)

    assert len(result.beats) == len(beats) > 5
    assert [f"{t:.3f}" for t in result.beats.time] == [f"{b['time']:.3f}" for b in beats]
    assert list(result.beats.frame) == [b["frame"] for b in beats]
    assert [f"{t:.2f}" for t in result.beats.tempo] == [f"{b['tempo']:.2f}" for b in beats]
    assert [f"{c:.4f}" for c in result.beats.confidence] == [f"{b['confidence']:.4f}"
                                                              for b in beats]
    assert list(result.beats.reliable) == [b["reliable"] for b in beats]
    # The beats file holds the reliable beats, to the microsecond.
    reliable = result.beats.time[result.beats.reliable]
    assert "".join(f"{t:.6f}\n" for t in reliable) == beats_text

    s = result.summary
    assert (f"{s.duration:.3f}", s.beats, f"{s.median_tempo:.2f}", f"{s.mean_confidence:.4f}") == (
        f"{summary['duration']:.3f}", summary["beats"], f"{summary['median_tempo']:.2f}",
        f"{summary['mean_confidence']:.4f}")
    assert result.settings["all_beats"] == bool(settings.get("all_beats"))


def test_gate_off_is_no_gate(song):
    path, _ = song
    a = vesk_music.track_file(path, gate="off", front_end="none")
    b = vesk_music.track_file(path, gate=None, front_end="none")
    assert np.array_equal(a.times, b.times) and a.settings["gate"] is None


@pytest.mark.parametrize("settings, message", [
    (dict(rate=100), "rate 100: expected 4000..192000"),
    (dict(hop=600), "hop 600: expected 1..512"),
    (dict(max_bpm=81), "max_bpm 81: expected 82..1000"),
    (dict(hop=400, max_bpm=1000), "max_bpm 1000: its beat interval of 3 frames is shorter"),
    (dict(threshold=1.5), "threshold"),
    (dict(threshold=float("nan")), "threshold"),
    (dict(window="square"), "window 'square': unknown \\(allowed: .*hann"),
    (dict(front_end="loud"), "loud"),
    (dict(whiten=1.0), "whiten 1: expected 0..0.99999"),
    (dict(gate=3), "gate 3: expected -200..0"),
    (dict(after_node="late"), "after_node 'late': unknown \\(allowed: none, phase, predict, meter\\)"),
    (dict(after_node="phase,"), "after_node 'phase,': unknown"),
])
def test_bad_setting_is_a_value_error_naming_it(song, settings, message):
    with pytest.raises(ValueError, match=message):
        vesk_music.track_file(song[0], **settings)
    with pytest.raises(ValueError, match=message):
        vesk_music.Tracker(44100, 2, **settings)


def test_unknown_keyword_or_wrong_type_is_a_type_error(song):
    with pytest.raises(TypeError, match="unknown settings max_tempo, speed"):
        vesk_music.track_file(song[0], speed=2, max_tempo=3)
    with pytest.raises(TypeError, match="rate '16000': expected an integer"):
        vesk_music.Tracker(16000, 1, rate="16000")
    with pytest.raises(TypeError, match="all_beats 1: expected True or False"):
        vesk_music.track_file(song[0], all_beats=1)


def test_unreadable_file_is_an_os_error(tmp_path):
    junk = tmp_path / "junk.wav"
    junk.write_bytes(b"RIFF\x10\x00\x00\x00WAVEjunk" * 50)
    empty = tmp_path / "empty.flac"
    empty.write_bytes(b"")
    for path in (tmp_path / "missing.wav", tmp_path, junk, empty):
        with pytest.raises(OSError, match=str(path.name)):
            vesk_music.track_file(path)
