import os
import pathlib

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
    (dict(rate=100), r"rate: 100 is out of range \(allowed: 4000..192000\)"),
    (dict(hop=600), r"hop: 600 exceeds the frame length 512 \(allowed: 1..512\)"),
    (dict(min_bpm=1000), "min_bpm 1000 and max_bpm 200: the maximum must exceed the minimum by "
                         "at least 2"),
    (dict(hop=400, max_bpm=1000), "max_bpm: 1000 gives a beat interval of 3 frames at rate 16000 "
                                  "and hop 400"),
    (dict(threshold=1.0000001), r"threshold: 1.0000001 is out of range \(allowed: 0..1\)"),
    (dict(threshold=float("nan")), "threshold: nan is not a number"),
    (dict(window="square"), r"window: unknown window 'square' \(allowed: .*hann"),
    (dict(front_end="loud"), "front_end: unknown front end 'loud'"),
    (dict(whiten=1.0), r"whiten: 1 is out of range \(allowed: 0..0.99999\)"),
    (dict(gate=3), r"gate: 3 is out of range \(allowed: -200..0\)"),
    (dict(after_node="late"), r"after_node: unknown stage 'late' \(allowed: none, phase, predict, meter\)"),
    (dict(after_node="phase,"), "after_node: unknown stage 'phase,'"),
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


def test_any_file_name_is_tracked_and_named_as_given_and_a_short_file_says_so(song, tmp_path):
    path, _ = song
    data = path.read_bytes()
    raw = os.fsencode(tmp_path) + b"/caf\xe9-" + b"x" * 240 + b".wav"  # not UTF-8, 250 bytes
    with open(raw, "wb") as f:
        f.write(data)
    expected = vesk_music.track_file(path).times
    as_str = os.fsdecode(raw)
    for given in (as_str, raw, pathlib.Path(as_str)):
        result = vesk_music.track_file(given)
        assert np.array_equal(result.times, expected)
        assert result.summary.file == os.fspath(given) and result.summary.warning == ""
    with pytest.raises(OSError, match="caf\udce9-x"):
        vesk_music.track_file(raw + b".missing")

    cut = tmp_path / "cut.wav"
    cut.write_bytes(data[:len(data) // 4])
    result = vesk_music.track_file(cut)
    assert result.summary.warning == \
        "cut short: its header promises 10.00 s of audio, the file holds 2.50 s"
    assert np.array_equal(result.times, expected[expected < 2.4])


def test_an_array_in_one_call_gives_the_files_beats_and_features(song):
    path, samples = song
    from_array = vesk_music.track(samples, 44100, features=True, min_bpm=70)
    from_file = vesk_music.track_file(path, features=True, min_bpm=70)
    assert len(from_array.beats) > 10
    for name in ("time", "tempo", "confidence", "frame", "reliable"):
        assert np.array_equal(getattr(from_array.beats, name), getattr(from_file.beats, name))
    assert from_array.summary.duration == from_file.summary.duration
    assert from_array.settings == from_file.settings
    assert np.array_equal(from_array.features.onset, from_file.features.onset)
    tempo = from_file.features.tempo
    assert np.array_equal(from_array.features.tempo, tempo) and len(tempo) == 1000
    # 0 until the node measures an interval, never outside the tempo range.
    assert tempo[0] == 0 and np.all((tempo == 0) | ((tempo >= 70) & (tempo <= 200)))
    assert vesk_music.track_file(path).features is None
