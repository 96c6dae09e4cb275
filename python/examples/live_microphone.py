#!/usr/bin/python3
"""Prints the beats of a microphone as they come: a sound card read with
PyAudio (Debian's python3-pyaudio), its blocks handed to vesk_music.Tracker.

    python3 python/examples/live_microphone.py [--rate 44100] [--device INDEX]

Ctrl-C stops it and prints the summary.
"""
import argparse
import sys

import numpy as np
import pyaudio

import vesk_music


def main() -> int:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--rate", type=int, default=44100, help="capture rate in Hz")
    p.add_argument("--device", type=int, default=None, help="PyAudio input device index")
    p.add_argument("--block", type=int, default=512, help="frames per read")
    args = p.parse_args()

    audio = pyaudio.PyAudio()
    stream = audio.open(format=pyaudio.paFloat32, channels=1, rate=args.rate, input=True,
                        input_device_index=args.device, frames_per_buffer=args.block)
    tracker = vesk_music.Tracker(args.rate, 1)
    try:
        while True:
            block = np.frombuffer(stream.read(args.block, exception_on_overflow=False),
                                  dtype=np.float32)
            beats = tracker.process(block)
            for time, tempo, confidence in zip(beats.time, beats.tempo, beats.confidence):
                print(f"beat at {time:9.3f} s  tempo {tempo:6.1f} bpm  "
                      f"confidence {confidence:.2f}", flush=True)
    except KeyboardInterrupt:
        pass
    finally:
        stream.stop_stream()
        stream.close()
        audio.terminate()
    tracker.finish()
    s = tracker.summary("microphone")
    print(f"{s.duration:.1f} s, {s.beats} beats, median tempo {s.median_tempo:.1f} bpm",
          file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
