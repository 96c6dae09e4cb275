#!/usr/bin/python3
"""Latency of vesk-beat on JACK input, and a long run for xruns.

Starts a private JACK server with the dummy backend (no sound card), plays a
click track into vesk-beat's port from bench's jack-click-feeder, and for each
click reported as a beat measures the time from the click's first sample
entering the port (the feeder's JACK frame time) to the beat line on
vesk-beat's standard output and to the robot datagram on 127.0.0.1. With
--ahead MS the beats are announced ahead: the lead is the click's time less
the time of its announcement.

  bench/jack_latency.py [--build build] [--realtime] [--seconds 60] [--period 256]
                        [--ahead 100] [--tool OTHER_VESK_BEAT]
  bench/jack_latency.py --soak 600 --channels 2 --burn --realtime   # xruns under load

Overruns are the periods vesk-beat dropped (the tracker fell behind); xruns
are the server's, as vesk-beat and the feeder heard of them. The results are
in bench/README.md.
"""
import argparse
import os
import re
import signal
import socket
import statistics
import subprocess
import sys
import threading
import time

SERVER = "vesk-bench-latency"  # one fixed name: JACK reuses a dead server's place only by name


def percentile(values, p):
    v = sorted(values)
    if not v:
        return float("nan")
    k = (len(v) - 1) * p / 100.0
    lo = int(k)
    hi = min(lo + 1, len(v) - 1)
    return v[lo] + (v[hi] - v[lo]) * (k - lo)


def stamped_lines(stream, into):
    for line in iter(stream.readline, b""):
        into.append((time.monotonic_ns(), line.decode(errors="replace").rstrip("\n")))


def stamped_datagrams(sock, into, stop):
    sock.settimeout(0.2)
    while not stop.is_set():
        try:
            data = sock.recv(256)
        except socket.timeout:
            continue
        into.append((time.monotonic_ns(), data.decode(errors="replace")))


def match(reported, clicks_ns, lead_s):
    """Pairs each (wall ns, beat time s) with its click (mono ns): the click
    nearest to the wall time plus the lead asked for (0 when due), within a
    quarter second (half a beat at 120 BPM). A beat is kept only when its own
    time agrees with that click within 70 ms, against the tool's clock as its
    neighbours place it (the tool counts the samples it got, which drift from
    JACK's clock when the server runs late)."""
    if not reported or not clicks_ns:
        return []
    pairs = []
    for wall, t in reported:
        target = wall / 1e9 + lead_s
        c = min(clicks_ns, key=lambda x: abs(x / 1e9 - target))
        if abs(c / 1e9 - target) <= 0.25:
            pairs.append((wall, t, c))
    kept = []
    for i, (wall, t, c) in enumerate(pairs):
        near = pairs[max(0, i - 10):i + 11]
        offset = statistics.median(x[2] / 1e9 - x[1] for x in near)
        if abs(c / 1e9 - (t + offset)) <= 0.07:
            kept.append((wall, c))
    return kept


def run(args):
    build = args.build
    tool = args.tool or os.path.join(build, "apps/vesk-beat/vesk-beat")
    feeder_bin = os.path.join(build, "bench/jack-click-feeder")
    env = dict(os.environ, JACK_NO_AUDIO_RESERVATION="1", JACK_DEFAULT_SERVER=SERVER)
    scheduling = ["--realtime"] if args.realtime else ["--no-realtime"]
    jackd = subprocess.Popen(
        ["jackd"] + scheduling + ["-n", SERVER, "-d", "dummy", "-r", "48000", "-p", str(args.period)],
        env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    procs = [jackd]
    burner = None
    try:
        feeder = None
        for _ in range(100):
            time.sleep(0.1)
            feeder = subprocess.Popen([feeder_bin, SERVER, str(args.seconds), str(args.bpm)],
                                      stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
            if feeder.stdout.readline().startswith(b"ready"):
                break
            feeder.wait()
            feeder = None
        if feeder is None:
            sys.exit("the JACK server did not start")
        procs.append(feeder)
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind(("127.0.0.1", 0))
        port = sock.getsockname()[1]
        command = [tool, "--jack", "--channels", str(args.channels), "--robot", f"127.0.0.1:{port}"]
        for _ in range(args.channels):
            command += ["--connect", "clicks:out"]
        if args.ahead is not None:
            command += ["--ahead", str(args.ahead)]
        if args.burn:
            burner = subprocess.Popen(["sha256sum", "/dev/zero"], stdout=subprocess.DEVNULL)
            procs.append(burner)
        beat = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        procs.append(beat)
        lines, errors, datagrams = [], [], []
        stop = threading.Event()
        readers = [threading.Thread(target=stamped_lines, args=(beat.stdout, lines)),
                   threading.Thread(target=stamped_lines, args=(beat.stderr, errors)),
                   threading.Thread(target=stamped_datagrams, args=(sock, datagrams, stop))]
        for r in readers:
            r.start()
        feeder_out = feeder.communicate(timeout=args.seconds + 60)[0].decode()
        beat.send_signal(signal.SIGINT)
        beat.wait(timeout=10)
        stop.set()
        for r in readers:
            r.join()
    finally:
        for p in reversed(procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()

    clock = re.search(r"^clock (\d+) (\d+)$", feeder_out, re.M)
    jack_to_mono = int(clock.group(2)) - int(clock.group(1)) * 1000
    clicks = [int(m.group(1)) * 1000 + jack_to_mono
              for m in re.finditer(r"^click \d+ (\d+)$", feeder_out, re.M)]
    beat_lines = []
    for wall, line in lines:
        m = re.match(r"beat at\s+([0-9.]+) s\s+tempo", line)
        if m:
            beat_lines.append((wall, float(m.group(1))))
    robot = []
    for wall, data in datagrams:
        m = re.match(r"a,([-0-9.e+]+),", data)
        if m:
            robot.append((wall, float(m.group(1))))
    print(f"JACK dummy 48000 Hz, period {args.period} frames ({args.period / 48.0:.2f} ms), "
          f"{args.channels} channel(s), {args.seconds:g} s of {args.bpm:g} BPM clicks"
          + (f", --ahead {args.ahead}" if args.ahead is not None else "")
          + (", one core burnt" if args.burn else "")
          + (", real-time server" if args.realtime else ", server not real-time"))
    xruns = re.search(r"^xruns (\d+) (\d+)$", feeder_out, re.M)
    print(f"server xruns: {xruns.group(1)}, {xruns.group(2)} of them after the first click")
    print(f"clicks {len(clicks)}, beat lines {len(beat_lines)}, robot messages {len(robot)}")
    for name, reported in (("beat line", beat_lines), ("robot datagram", robot)):
        pairs = match(reported, clicks, (args.ahead or 0) / 1000.0)
        ms = [(wall - c) / 1e6 for wall, c in pairs]
        if args.ahead is not None:
            leads = [-v for v in ms]
            print(f"{name}: {len(pairs)} on clicks, lead median {statistics.median(leads):.1f} ms, "
                  f"p1 {percentile(leads, 1):.1f} ms, p99 {percentile(leads, 99):.1f} ms"
                  if leads else f"{name}: none on clicks")
        else:
            print(f"{name}: {len(pairs)} on clicks, latency median {statistics.median(ms):.1f} ms, "
                  f"p99 {percentile(ms, 99):.1f} ms, max {max(ms):.1f} ms"
                  if ms else f"{name}: none on clicks")
    summary = [line for _, line in lines if not line.startswith("beat at")]
    for line in summary + [line for _, line in errors]:
        print("vesk-beat:", line)
    said = " ".join(line for _, line in errors)
    dropped = re.search(r"(\d+) period\(s\) dropped", said)
    late = re.search(r"(\d+) xrun\(s\)", said)
    print(f"overruns (periods vesk-beat dropped): {dropped.group(1) if dropped else 0}, "
          f"server xruns vesk-beat heard of: {late.group(1) if late else 0}")


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", default="build")
    p.add_argument("--tool", help="another vesk-beat to measure (default: the build's)")
    p.add_argument("--seconds", type=float, default=60.0)
    # Just off 120: at exactly 120 BPM every click falls at the same place in
    # the tracker's 10 ms frames, so a run's median moves by up to a frame
    # with where the first one falls; at 119.9 they move through five frames.
    p.add_argument("--bpm", type=float, default=119.9)
    p.add_argument("--period", type=int, default=256)
    p.add_argument("--channels", type=int, default=1)
    p.add_argument("--ahead", type=int)
    p.add_argument("--soak", type=float, help="seconds of a long run (sets --seconds)")
    p.add_argument("--realtime", action="store_true",
                   help="run the server (and so the clients' process threads) with real-time "
                        "scheduling, as a real set-up would; needs the right to it (root)")
    p.add_argument("--burn", action="store_true", help="keep one core busy meanwhile")
    args = p.parse_args()
    if args.soak:
        args.seconds = args.soak
    run(args)


if __name__ == "__main__":
    main()
