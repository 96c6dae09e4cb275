import ast
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import pytest

from audio import music, write_long_silence, write_wav
from conftest import tool_run
from vesk_music.batch import inputs, run_batch
from vesk_music.batch.cluster import local_cluster
from vesk_music.batch.outputs import output_paths

distributed = pytest.importorskip("distributed")


@pytest.fixture(scope="module")
def client():
    cluster = local_cluster(2)
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


def index_lines(out_dir):
    """index.tsv by input."""
    lines = (out_dir / "index.tsv").read_bytes().decode("utf-8", "surrogateescape").splitlines()
    assert lines[0].split("\t") == ["input", "beats_file", "summary_file", "duration", "beats",
                                     "median_tempo", "status", "note"]
    return {line.split("\t")[0]: line.split("\t") for line in lines[1:]}


def assert_outputs_are_the_tools(out_dir, tool_outputs):
    index = index_lines(out_dir)
    mode = 0o666 & ~umask()
    for path, (_, summary, beats_text) in tool_outputs.items():
        beats_path, summary_path = output_paths(path, str(out_dir))
        with open(beats_path) as f:
            assert f.read() == beats_text
        with open(summary_path) as f:
            ours = json.load(f)
        assert ours["input"] == path and ours["beats"] == summary["beats"]
        for key, digits in (("duration", 3), ("median_tempo", 2), ("mean_confidence", 4)):
            assert f"{ours[key]:.{digits}f}" == f"{summary[key]:.{digits}f}"
        assert index[path][1:3] == [os.path.basename(beats_path), os.path.basename(summary_path)]
        assert index[path][4:7] == [str(summary["beats"]), f"{ours['median_tempo']:.2f}",
                                    "short" if "warning" in summary else "done"]
        assert os.stat(beats_path).st_mode & 0o777 == os.stat(summary_path).st_mode & 0o777 == mode
    # (a worker killed while writing may leave a hidden temporary file, never an output)
    assert len([p for p in out_dir.iterdir() if not p.name.startswith(".")]) == \
        2 * len(tool_outputs) + 1


def umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


def test_outputs_are_the_tools_and_a_second_run_skips_them(client, corpus, tool_outputs,
                                                           tmp_path):
    out = tmp_path / "out"
    report = run_batch([str(corpus)], str(out), client, progress=False)
    assert sorted(report.done) == sorted(tool_outputs) and not report.failed
    assert report.audio_seconds == pytest.approx(8 * 4.5, abs=0.1)
    assert_outputs_are_the_tools(out, tool_outputs)

    again = run_batch([str(corpus)], str(out), client, progress=False)
    assert sorted(again.skipped) == sorted(tool_outputs) and not again.done
    assert again.text() == "0 done, 8 skipped, 0 failed; every input's outputs were complete already"
    # Other settings are another result: nothing is skipped.
    other = run_batch([str(corpus / "b")], str(out), client, {"threshold": 0.5}, progress=False)
    assert len(other.done) == 4 and not other.skipped


def test_resume_redoes_outputs_of_other_audio_or_not_written_together(client, tmp_path):
    songs = tmp_path / "songs"
    songs.mkdir()
    for name, bpm in (("a.wav", 100), ("b.wav", 130), ("c.wav", 90)):
        write_wav(songs / name, music(bpm, 4.5, variant=bpm))
    out, other = tmp_path / "out", tmp_path / "other"
    run_batch([str(songs)], str(out), client, progress=False)
    run_batch([str(songs / "b.wav")], str(other), client, {"compress": 50}, progress=False)
    # a.wav replaced by two seconds of other audio; b.wav's beats file of other
    # settings beside its summary, as a kill between the two renames leaves them.
    write_wav(songs / "a.wav", music(120, 2.0, variant=7))
    b_beats = output_paths(str(songs / "b.wav"), str(out))[0]
    os.replace(output_paths(str(songs / "b.wav"), str(other))[0], b_beats)

    again = run_batch([str(songs)], str(out), client, progress=False)
    assert sorted(again.done) == [str(songs / "a.wav"), str(songs / "b.wav")]
    assert again.skipped == [str(songs / "c.wav")]
    with open(output_paths(str(songs / "a.wav"), str(out))[1]) as f:
        assert json.load(f)["duration"] == pytest.approx(2.0, abs=0.01)
    with open(b_beats) as f:
        assert f.read() == tool_run(songs / "b.wav")[2]


def test_every_input_is_accounted_for_whatever_its_kind_or_name(client, corpus, tool_outputs,
                                                                tmp_path):
    bad, names, listed = tmp_path / "bad", tmp_path / "names", tmp_path / "listed"
    for folder in (bad, names, listed):
        folder.mkdir()
    (bad / "corrupt.wav").write_bytes(b"RIFF" + os.urandom(3000))
    (bad / "empty.flac").write_bytes(b"")
    os.mkfifo(bad / "live.wav")  # found by the search: skipped, never waited for
    os.mkfifo(tmp_path / "given.wav")  # given by name: refused
    song = music(105, 4.0, variant=3)
    write_wav(tmp_path / "song.wav", song)
    data = (tmp_path / "song.wav").read_bytes()
    (bad / "short.wav").write_bytes(data[:len(data) // 2])
    # A linked folder, a loop back, names that are not UTF-8 or are 250 bytes long.
    os.symlink(names, bad / "linked")
    os.symlink(bad, names / "loop")
    odd = [os.fsencode(names) + b"/caf\xe9.wav", os.fsencode(names) + b"/" + b"n" * 246 + b".wav",
           os.fsencode(listed) + b"/\xe9t\xe9.wav"]
    for name in odd:
        with open(name, "wb") as f:
            f.write(data)
    listing = tmp_path / "list.txt"
    listing.write_bytes(b"# inputs\n" + "".join(f"{p}\n" for p in tool_outputs).encode() +
                        b"listed/\xe9t\xe9.wav\n")  # Latin-1, relative to the list
    out = tmp_path / "out"
    # A good file whose output cannot be written: the task raises.
    write_wav(bad / "blocked.wav", music(100, 3))
    os.makedirs(output_paths(str(bad / "blocked.wav"), str(out))[0])
    cli = subprocess.run(
        [sys.executable, "-m", "vesk_music.batch", "-q", "--scheduler",
         client.scheduler.address, "--out", str(out), "--list", str(listing),
         str(bad), str(tmp_path / "given.wav")], capture_output=True, timeout=300)
    stdout = cli.stdout.decode("utf-8", "surrogateescape")
    assert cli.returncode == 1, cli.stderr
    lines = stdout.splitlines()
    assert lines[-1].startswith("12 done (1 short), 1 skipped, 4 failed;"), stdout
    assert f"skipped: {bad / 'live.wav'}: a FIFO, not a regular file" in stdout
    assert f"short: {bad / 'short.wav'}: cut short: its header promises 4.00 s of audio, " \
           f"the file holds 2.00 s" in stdout
    failed = sorted(line for line in lines if line.startswith("failed: "))
    assert failed[0].startswith(f"failed: {bad / 'blocked.wav'}: IsADirectoryError")
    assert failed[1].startswith(f"failed: {bad / 'corrupt.wav'}: ") and "corrupt.wav" in failed[1][8:]
    assert failed[2].startswith(f"failed: {bad / 'empty.flac'}: ")
    assert failed[3].startswith(f"failed: {tmp_path / 'given.wav'}: a FIFO, not a regular file")
    os.rmdir(output_paths(str(bad / "blocked.wav"), str(out))[0])

    expected = dict(tool_outputs)
    expected[str(bad / "short.wav")] = tool_run(bad / "short.wav")
    found_by = [bad / "linked" / os.path.basename(os.fsdecode(odd[0])),
                bad / "linked" / os.path.basename(os.fsdecode(odd[1])), os.fsdecode(odd[2])]
    for path in found_by:
        expected[str(path)] = tool_run(tmp_path / "song.wav")
        assert all(len(os.fsencode(os.path.basename(p))) <= 255
                   for p in output_paths(str(path), str(out)))
    assert_outputs_are_the_tools(out, expected)
    assert index_lines(out)[str(tmp_path / "given.wav")][6:] == \
        ["failed", "a FIFO, not a regular file (only regular files are tracked)"]


def test_a_worker_killed_mid_file_loses_nothing(client, corpus, tool_outputs, tmp_path):
    # The last input is hours of silence: its worker is killed while it tracks
    # them, and the file is replaced by a song that another worker tracks.
    long = tmp_path / "long.wav"
    write_long_silence(long)
    write_wav(tmp_path / "regular.wav", music(110, 6, variant=9))
    expected = dict(tool_outputs)
    expected[str(long)] = tool_run(tmp_path / "regular.wav")
    out = tmp_path / "out"
    result = {}
    batch = threading.Thread(target=lambda: result.update(
        report=run_batch([str(corpus), str(long)], str(out), client, progress=False)))
    batch.start()
    # Once every song's outputs are there and one task is left, it is the long file's.
    while True:
        busy = {w: keys for w, keys in client.processing().items() if keys}
        if len(list(out.glob("*.json"))) == len(tool_outputs) and \
                sum(len(keys) for keys in busy.values()) == 1:
            break
        time.sleep(0.01)
    # The worker reads on from the file it opened; the one that takes over opens the song.
    os.replace(tmp_path / "regular.wav", long)
    os.kill(client.run(os.getpid)[next(iter(busy))], signal.SIGKILL)
    batch.join(timeout=300)
    report = result["report"]
    assert sorted(report.done) == sorted(expected) and not report.failed
    assert_outputs_are_the_tools(out, expected)


def test_an_unreadable_folder_is_a_failure_with_its_reason():
    # Run as nobody when the tests run as root, whom no permission stops.
    top = tempfile.mkdtemp(prefix="vesk-unreadable-")
    try:
        os.chmod(top, 0o755)
        for folder in ("open", "locked"):
            os.mkdir(os.path.join(top, folder))
            with open(os.path.join(top, folder, "song.wav"), "wb"):
                pass
        os.chmod(os.path.join(top, "locked"), 0)
        code = ("import importlib.util, sys; "
                "spec = importlib.util.spec_from_file_location('inputs', sys.argv[1]); "
                "m = importlib.util.module_from_spec(spec); spec.loader.exec_module(m); "
                "f = m.find_inputs([sys.argv[2]]); print(repr((f.inputs, f.refused)))")
        run = subprocess.run([sys.executable, "-c", code, inputs.__file__, top],
                             user=65534 if os.geteuid() == 0 else None,
                             capture_output=True, text=True, check=True)
    finally:
        os.chmod(os.path.join(top, "locked"), 0o755)
        shutil.rmtree(top)
    assert ast.literal_eval(run.stdout) == (
        [os.path.join(top, "open", "song.wav")],
        [(os.path.join(top, "locked"), "cannot search the folder: Permission denied")])


def test_workers_without_the_package_stop_the_batch_with_one_message(song, tmp_path):
    cluster = distributed.LocalCluster(n_workers=0, host="127.0.0.1",
                                       dashboard_address="127.0.0.1:0",
                                       scheduler_kwargs={"dashboard": False})
    # A worker of an interpreter that does not find vesk_music.
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    worker = subprocess.Popen([sys.executable, "-m", "distributed.cli.dask_worker",
                               cluster.scheduler_address, "--nthreads", "1", "--no-dashboard"],
                              env=env, cwd=tmp_path, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        with distributed.Client(cluster) as c:
            c.wait_for_workers(1, timeout=60)
        cli = subprocess.run(
            [sys.executable, "-m", "vesk_music.batch", "-q", "--scheduler",
             cluster.scheduler_address, "--out", str(tmp_path / "out"), str(song[0])],
            capture_output=True, text=True, timeout=120)
    finally:
        worker.terminate()
        worker.wait(timeout=60)
        cluster.close()
    assert cli.returncode == 1 and cli.stdout == "" and "Traceback" not in cli.stderr
    assert "1 of 1 workers cannot track as this process would; nothing was submitted" in cli.stderr
    assert "cannot import vesk_music: ModuleNotFoundError: No module named 'vesk_music'" \
        in cli.stderr
    assert f"PYTHONPATH={os.environ['PYTHONPATH']} {sys.executable} -m " \
           f"distributed.cli.dask_worker {cluster.scheduler_address}" in cli.stderr
    assert os.listdir(tmp_path / "out") == []


def test_bad_calls_are_one_line_and_ctrl_c_ends_with_an_account(tmp_path):
    batch = [sys.executable, "-m", "vesk_music.batch", "-q"]
    (tmp_path / "file").write_text("")
    for call, message in (
            (["--out", str(tmp_path / "file"), "x.wav"], f"--out: '{tmp_path / 'file'}' is not a folder"),
            (["--out", str(tmp_path), "--rate", "5", "x.wav"], "rate: 5 is out of range (allowed: 4000..192000)"),
            (["--out", str(tmp_path), "--list", str(tmp_path / "none")],
             f"--list: cannot read '{tmp_path / 'none'}': No such file or directory")):
        run = subprocess.run(batch + call, capture_output=True, text=True, timeout=60)
        assert (run.returncode, run.stdout, run.stderr) == (2, "", f"vesk_music.batch: {message}\n")

    songs, out = tmp_path / "songs", tmp_path / "out"
    songs.mkdir()
    write_wav(songs / "a.wav", music(120, 3))
    write_long_silence(songs / "z.wav")
    blocker = socket.socket()  # the dashboard's port, taken: no warning about it
    try:
        blocker.bind(("127.0.0.1", 8787))
        blocker.listen()
    except OSError:  # taken already
        pass
    with blocker:
        cli = subprocess.Popen(batch + ["--workers", "1", "--out", str(out), str(songs)],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        while not list(out.glob("a.wav.*.json")) and cli.poll() is None:
            time.sleep(0.01)
        cli.send_signal(signal.SIGINT)
        stdout, stderr = cli.communicate(timeout=120)
    assert (cli.returncode, stderr) == (130, "")
    # The song's result may come after the signal: it is then not finished.
    done, not_finished = map(int, re.fullmatch(
        r"interrupted: (\d) done, 0 skipped, 0 failed, (\d) not finished; "
        r"run the same command again to resume\n", stdout).groups())
    assert done + not_finished == 2
    assert index_lines(out)[str(songs / "z.wav")][6] == "not finished"
