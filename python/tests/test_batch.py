import json
import os
import signal
import subprocess
import sys
import threading
import time

import pytest

from audio import music, write_wav
from conftest import tool_run
from vesk_music.batch import run_batch
from vesk_music.batch.outputs import output_paths

distributed = pytest.importorskip("distributed")


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       host="127.0.0.1", dashboard_address=None)
    c = distributed.Client(cluster)
    yield c
    c.close()
    cluster.close()


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    """Eight short songs; two folders hold a file of the same name."""
    root = tmp_path_factory.mktemp("corpus")
    for i in range(8):
        folder = root / ("a" if i < 4 else "b") / ("deep" if i % 2 else "")
        folder.mkdir(parents=True, exist_ok=True)
        name = "same.wav" if i in (0, 4) else f"song{i}.wav"
        write_wav(folder / name, music(90 + 10 * i, 4.5, channels=1 + i % 2, variant=i))
    (root / "a" / "notes.txt").write_text("not audio\n")
    return root


@pytest.fixture(scope="module")
def tool_outputs(corpus):
    return {str(p): tool_run(p) for p in sorted(corpus.rglob("*.wav"))}


def assert_outputs_are_the_tools(out_dir, tool_outputs):
    for path, (_, summary, beats_text) in tool_outputs.items():
        beats_path, summary_path = output_paths(path, str(out_dir))
        with open(beats_path) as f:
            assert f.read() == beats_text
        with open(summary_path) as f:
            ours = json.load(f)
        assert ours["input"] == path and ours["beats"] == summary["beats"]
        for key, digits in (("duration", 3), ("median_tempo", 2), ("mean_confidence", 4)):
            assert f"{ours[key]:.{digits}f}" == f"{summary[key]:.{digits}f}"
    # (a worker killed while writing may leave a hidden temporary file, never an output)
    assert len([p for p in out_dir.iterdir() if not p.name.startswith(".")]) == \
        2 * len(tool_outputs)


def test_outputs_are_the_tools_and_a_second_run_skips_them(client, corpus, tool_outputs,
                                                           tmp_path):
    out = tmp_path / "out"
    report = run_batch([str(corpus)], str(out), client, progress=False)
    assert sorted(report.done) == sorted(tool_outputs) and not report.failed
    assert report.audio_seconds == pytest.approx(8 * 4.5, abs=0.1)
    assert_outputs_are_the_tools(out, tool_outputs)

    again = run_batch([str(corpus)], str(out), client, progress=False)
    assert sorted(again.skipped) == sorted(tool_outputs) and not again.done
    # Other settings are another result: nothing is skipped.
    other = run_batch([str(corpus / "b")], str(out), client, {"threshold": 0.5}, progress=False)
    assert len(other.done) == 4 and not other.skipped


def test_bad_files_fail_with_their_reason_while_the_rest_completes(client, corpus, tool_outputs,
                                                                  tmp_path):
    bad = tmp_path / "bad"
    bad.mkdir()
    (bad / "corrupt.wav").write_bytes(b"RIFF" + os.urandom(3000))
    (bad / "empty.flac").write_bytes(b"")
    listing = tmp_path / "list.txt"
    listing.write_text("# inputs\n" + "".join(f"{p}\n" for p in tool_outputs))
    out = tmp_path / "out"
    # A good file whose output cannot be written: the task raises.
    write_wav(bad / "blocked.wav", music(100, 3))
    os.makedirs(output_paths(str(bad / "blocked.wav"), str(out))[0])
    cli = subprocess.run(
        [sys.executable, "-m", "vesk_music.batch", "-q", "--scheduler",
         client.scheduler.address, "--out", str(out), "--list", str(listing), str(bad)],
        capture_output=True, text=True, timeout=300)
    assert cli.returncode == 1, cli.stderr
    lines = cli.stdout.splitlines()
    assert lines[-1].startswith("8 done, 0 skipped, 3 failed;")
    failed = sorted(line for line in lines if line.startswith("failed: "))
    assert failed[0].startswith(f"failed: {bad / 'blocked.wav'}: IsADirectoryError")
    assert failed[1].startswith(f"failed: {bad / 'corrupt.wav'}: ") and "corrupt.wav" in failed[1][8:]
    assert failed[2].startswith(f"failed: {bad / 'empty.flac'}: ")
    os.rmdir(output_paths(str(bad / "blocked.wav"), str(out))[0])
    assert_outputs_are_the_tools(out, tool_outputs)


def wait_until_dead(pid):
    """Until every thread of the process has exited. The main thread turns
    zombie first; another may still hold the FIFO open for a moment."""
    while True:
        try:
            tids = os.listdir(f"/proc/{pid}/task")
        except (FileNotFoundError, ProcessLookupError):
            return
        states = []
        for tid in tids:
            try:
                with open(f"/proc/{pid}/task/{tid}/stat") as f:
                    states.append(f.read().rsplit(")", 1)[1].split()[0])
            except (FileNotFoundError, ProcessLookupError):  # that thread is gone
                pass
        if all(s in "ZX" for s in states):
            return
        time.sleep(0.01)


def test_a_worker_killed_mid_file_loses_nothing(client, corpus, tool_outputs, tmp_path):
    # The last input is a FIFO: its worker waits for the audio, and is killed then.
    fifo = tmp_path / "live.wav"
    os.mkfifo(fifo)
    song = music(110, 6, variant=9)
    write_wav(tmp_path / "regular.wav", song)
    expected = dict(tool_outputs)
    expected[str(fifo)] = tool_run(tmp_path / "regular.wav")
    out = tmp_path / "out"
    result = {}
    batch = threading.Thread(target=lambda: result.update(
        report=run_batch([str(corpus), str(fifo)], str(out), client, progress=False)))
    batch.start()
    # Once every song's outputs are there and one task is left, it is the FIFO's.
    while True:
        busy = {w: keys for w, keys in client.processing().items() if keys}
        if len(list(out.glob("*.json"))) == len(tool_outputs) and \
                sum(len(keys) for keys in busy.values()) == 1:
            break
        time.sleep(0.01)
    pid = client.run(os.getpid)[next(iter(busy))]
    os.kill(pid, signal.SIGKILL)
    wait_until_dead(pid)
    write_wav(fifo, song)  # to the worker that tracks the file again
    batch.join(timeout=300)
    report = result["report"]
    assert sorted(report.done) == sorted(expected) and not report.failed
    assert_outputs_are_the_tools(out, expected)
