import threading

import numpy as np
import pytest

import vesk_music
from audio import music


def streamed(samples, block, rate=44100, **settings):
    tracker = vesk_music.Tracker(rate, samples.shape[1] if samples.ndim == 2 else 1, **settings)
    parts = [tracker.process(samples[i:i + block]) for i in range(0, len(samples), block)]
    parts.append(tracker.finish())
    return np.concatenate([p.frame for p in parts]), np.concatenate([p.time for p in parts]), \
        np.concatenate([p.tempo for p in parts])


@pytest.mark.parametrize("block", [1, 7, 160, 4096, None])
def test_any_block_size_gives_the_files_beats(song, block):
    path, samples = song
    whole = vesk_music.track_file(path)
    frames, times, tempi = streamed(samples, block or len(samples))
    assert len(frames) > 5
    assert np.array_equal(frames, whole.beats.frame)
    assert np.array_equal(times, whole.beats.time)
    assert np.array_equal(tempi, whole.beats.tempo)


def test_every_sample_layout_and_type_gives_the_same_beats(song):
    _, samples = song
    scaled = samples.astype(np.float32) / 32768
    reference = streamed(samples, 3000)
    for same in (scaled, scaled.astype(np.float64), scaled.reshape(-1),
                 np.asfortranarray(scaled)):
        tracker = vesk_music.Tracker(44100, 2)
        beats = [tracker.process(same[i:i + 6000]) for i in range(0, len(same), 6000)]
        beats.append(tracker.finish())
        assert np.array_equal(np.concatenate([b.frame for b in beats]), reference[0])


def test_bad_blocks_are_refused_and_the_tracker_stays_usable():
    tracker = vesk_music.Tracker(8000, 2)
    with pytest.raises(TypeError, match="dtype int32: expected float32, float64 or int16"):
        tracker.process(np.zeros((10, 2), np.int32))
    with pytest.raises(ValueError, match=r"shape \(10, 3\): expected \(frames, 2\)"):
        tracker.process(np.zeros((10, 3), np.float32))
    with pytest.raises(ValueError, match="not whole frames of 2 channels"):
        tracker.process(np.zeros(11, np.float32))
    with pytest.raises(ValueError, match="expected 1-D"):
        tracker.process(np.zeros((2, 2, 2), np.float32))
    tracker.process(np.full((800, 2), np.nan, np.float32))
    tracker.finish()
    assert tracker.finished and tracker.seconds == pytest.approx(0.1)
    with pytest.raises(ValueError, match="after finish"):
        tracker.process(np.zeros(2, np.float32))
    with pytest.raises(ValueError, match="channels 0"):
        vesk_music.Tracker(8000, 0)
    with pytest.raises(ValueError, match=r"channels 100000: expected 1\.\.1024"):
        vesk_music.Tracker(8000, 100000)
    with pytest.raises(ValueError, match="sample_rate 10: cannot resample from 10 Hz"):
        vesk_music.Tracker(10, 1)


def test_features_cover_every_frame(song):
    _, samples = song
    tracker = vesk_music.Tracker(44100, 2, features=True)
    tracker.process(samples[:100000])
    first = tracker.features()
    tracker.process(samples[100000:])
    tracker.finish()
    rest = tracker.features()
    frames = np.concatenate([first.frame, rest.frame])
    assert np.array_equal(frames, np.arange(len(frames))) and len(frames) > 900
    lo, hi = tracker.pattern_intervals
    assert rest.onset.shape == (len(rest), 64) and rest.chroma.shape == (len(rest), 12)
    assert rest.pattern.shape == (len(rest), hi - lo)
    assert rest.onset_strength.shape == (len(rest),) and rest.onset_strength.max() > 0
    assert rest.chroma.sum() > 0 and rest.pattern.any()
    # The tempo measured settles on the music's (124 bpm, or a multiple).
    assert rest.tempo[-1] == pytest.approx(124, rel=0.05) or \
        rest.tempo[-1] == pytest.approx(248, rel=0.05)
    assert np.all((rest.confidence >= 0) & (rest.confidence <= 1))
    assert len(tracker.features()) == 0
    assert len(vesk_music.Tracker(16000).features()) == 0


def test_trackers_in_threads_match_each_alone():
    inputs = [music(100, 8, variant=2), music(140, 8, variant=3)]
    alone = [streamed(x, 1000)[0] for x in inputs]
    results = [None, None]

    def run(i):
        results[i] = streamed(inputs[i], 1000)[0]

    threads = [threading.Thread(target=run, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert len(alone[0]) > 3 and len(alone[1]) > 3
    assert not np.array_equal(alone[0], alone[1])
    for got, expected in zip(results, alone):
        assert np.array_equal(got, expected)
