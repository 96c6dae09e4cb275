"""The package inside someone else's process: exit, fork, Ctrl-C, misuse, limits."""

import os
import signal
import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest

import vesk_music
from vesk_music import _native


def child(code, *args, **popen):
    return subprocess.Popen([sys.executable, "-c", textwrap.dedent(code), *map(str, args)],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **popen)


def test_daemon_threads_still_tracking_at_exit_do_not_abort_it(song):
    code = """
        import sys, threading, time
        import numpy as np, vesk_music
        block = np.zeros(44100, np.float32)
        def files():
            while True: vesk_music.track_file(sys.argv[1])
        def blocks():
            t = vesk_music.Tracker(44100, 1)
            while True: t.process(block)
        def trackers():
            while True: vesk_music.Tracker(44100, 1).process(block[:5000])
        for f in (files, blocks, trackers):
            threading.Thread(target=f, daemon=True).start()
        time.sleep(float(sys.argv[2]))
    """
    for delay in (0.2, 0.5, 0.9):
        p = child(code, song[0], delay)
        out, err = p.communicate(timeout=60)
        assert p.returncode == 0, err


def test_a_child_forked_while_another_thread_tracks_can_track(song):
    shared = vesk_music.Tracker(44100, 2)
    block = song[1][:44100]
    shared.process(block)
    stop = threading.Event()

    def busy():  # trackers made, run and ended, as well as one fed
        while not stop.is_set():
            shared.process(block)
            vesk_music.track_file(song[0])

    thread = threading.Thread(target=busy)
    thread.start()
    try:
        for _ in range(5):
            time.sleep(0.03)
            pid = os.fork()
            if pid == 0:
                status = 1
                try:
                    try:
                        shared.process(block)  # may have been taken by the thread at the fork
                    except RuntimeError as e:
                        assert "in use in another thread when the process forked" in str(e)
                    status = 0 if len(vesk_music.track_file(song[0]).beats) > 5 else 2
                finally:
                    os._exit(status)
            deadline = time.monotonic() + 30
            while True:
                done, status = os.waitpid(pid, os.WNOHANG)
                if done:
                    break
                if time.monotonic() > deadline:
                    os.kill(pid, signal.SIGKILL)
                    os.waitpid(pid, 0)
                    pytest.fail("the forked child hung")
                time.sleep(0.01)
            assert os.waitstatus_to_exitcode(status) == 0
        # multiprocessing's default start method on Linux.
        import multiprocessing
        with multiprocessing.get_context("fork").Pool(2) as pool:
            counts = pool.map(_beat_count, [str(song[0])] * 2, chunksize=1)
        assert counts[0] == counts[1] > 5
    finally:
        stop.set()
        thread.join()


def _beat_count(path):
    return len(vesk_music.track_file(path).beats)


INTERRUPTED = """
    import os, sys, numpy as np, vesk_music
    what = sys.argv[1]
    work = (lambda: vesk_music.Tracker(16000).process(np.zeros(16000 * 60 * 20, np.float32))) \\
        if what == "block" else (lambda: vesk_music.track_file(what))
    print("ready", flush=True)
    try:
        work()
    except KeyboardInterrupt:
        sys.exit(3)
"""


@pytest.mark.parametrize("case", ["20 minutes in one block", "FIFO without writer",
                                  "FIFO with an idle writer"])
def test_ctrl_c_is_a_keyboard_interrupt_at_once(tmp_path, case):
    fifo = tmp_path / "live.wav"
    os.mkfifo(fifo)
    p = child(INTERRUPTED, "block" if "block" in case else fifo)
    writer = None
    try:
        assert p.stdout.readline() == "ready\n"
        if "idle" in case:
            writer = os.open(fifo, os.O_WRONLY)  # opened, nothing written
        time.sleep(0.3)
        start = time.monotonic()
        p.send_signal(signal.SIGINT)
        _, err = p.communicate(timeout=20)
        elapsed = time.monotonic() - start
    finally:
        if writer is not None:
            os.close(writer)
        p.kill()
    assert p.returncode == 3, err
    assert elapsed < 2.0  # the work would take ten seconds, or for ever


def test_objects_never_initialised_are_type_errors(song):
    blank = _native.Tracker.__new__(_native.Tracker)
    config = _native.TrackConfig.__new__(_native.TrackConfig)
    for misuse in (lambda: blank.process(np.zeros(10, np.float32)), lambda: blank.finish(),
                   lambda: blank.finished, lambda: blank.sample_rate, config.as_dict,
                   lambda: _native.track_file(str(song[0]), config),
                   lambda: _native.Tracker(16000, 1, config, False),
                   lambda: vesk_music.Tracker.__new__(vesk_music.Tracker).process([0.0])):
        with pytest.raises(TypeError, match="not initialised"):
            misuse()
    with pytest.raises(TypeError, match="expected a Tracker, not int"):
        _native.Tracker.process(42, np.zeros(10, np.float32))


def test_settings_and_samples_are_checked_as_the_tool_checks_them(song):
    with pytest.raises(ValueError, match=r"^threshold: 1\.0000001 is out of range \(allowed: 0\.\.1\)$"):
        vesk_music.Tracker(16000, threshold=1.0000001)
    with pytest.raises(ValueError, match="^min_bpm 1000 and max_bpm 200: the maximum must exceed "
                                         "the minimum by at least 2$"):
        vesk_music.Tracker(16000, min_bpm=1000)
    # numpy integers wherever ints are taken.
    tracker = vesk_music.Tracker(np.int64(44100), np.int32(2), hop=np.int16(441),
                                 min_bpm=np.uint8(70))
    assert tracker.sample_rate == 44100 and tracker.settings["min_bpm"] == 70
    for wrong in (None, "0.1 0.2", b"\x00\x00"):
        with pytest.raises(TypeError, match="samples of type .*: expected an array"):
            tracker.process(wrong)
    # A big-endian block is converted: the same beats.
    little = song[1].astype(np.float32) / 32768
    big = little.astype(">f4")
    beats = []
    for samples in (little, big):
        t = vesk_music.Tracker(44100, 2)
        beats.append(np.concatenate([t.process(samples).time, t.finish().time]))
    assert len(beats[0]) > 5 and np.array_equal(beats[0], beats[1])


def test_out_of_descriptors_the_message_names_the_limit(song, tmp_path):
    fifo = tmp_path / "live.wav"
    os.mkfifo(fifo)
    code = """
        import os, resource, sys, vesk_music
        resource.setrlimit(resource.RLIMIT_NOFILE, (64, 64))
        try:
            while True:
                os.open(os.devnull, os.O_RDONLY)
        except OSError:
            pass
        for path in sys.argv[1:]:
            try:
                vesk_music.track_file(path)
            except OSError as e:
                print(e)
    """
    p = child(code, song[0], fifo)
    out, err = p.communicate(timeout=60)
    assert p.returncode == 0, err
    assert out.splitlines() == [f"cannot open '{song[0]}': too many open files: raise ulimit -n",
                                f"cannot open '{fifo}': too many open files: raise ulimit -n"]
