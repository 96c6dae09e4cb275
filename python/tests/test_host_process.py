"""The tracker lives in someone else's process: it must leave that process's
current directory and standard output alone."""
import os
import threading

import numpy as np

import vesk_music


def test_a_thread_writing_relative_files_while_trackers_start_loses_nothing(song, tmp_path,
                                                                            monkeypatch):
    path, samples = song
    monkeypatch.chdir(tmp_path)
    written = []
    stop = threading.Event()

    def writer():
        while not stop.is_set():
            name = f"result-{len(written)}.txt"
            with open(name, "w") as f:
                f.write("kept\n")
            written.append(name)

    thread = threading.Thread(target=writer)
    thread.start()
    try:
        for _ in range(10):
            vesk_music.track_file(path)
            tracker = vesk_music.Tracker(44100, 2)
            tracker.process(samples[:44100])
            tracker.finish()
    finally:
        stop.set()
        thread.join()
    assert written
    missing = [n for n in written if not (tmp_path / n).is_file()]
    assert missing == []
    assert os.getcwd() == str(tmp_path)
    assert not (tmp_path / "bt_quendabt.dat").exists()


def test_the_node_prints_nothing_on_standard_output(song, capfd):
    path, samples = song
    vesk_music.track_file(path)
    tracker = vesk_music.Tracker(44100, 2)
    tracker.process(np.ascontiguousarray(samples[:88200]))
    tracker.finish()
    out, _ = capfd.readouterr()
    assert out == ""
