#!/usr/bin/python3
"""Builds the development corpus with exact beat annotations into eval/corpus/.

Sections:
  synthetic  click tracks, drum patterns at several tempi, a tempo step and a ramp,
             a 60 s silence inside music, music in noise at 0 dB SNR (numpy);
  midi       arrangements composed by midi_songs.py, rendered with fluidsynth and the
             General MIDI soundfont from Debian; beat times from the tempo map;
  hard       harder arrangements from hard_songs.py (syncopation, swing, 3+3+2,
             fast and slow songs, no drums, 5/4 and 6/4, tempo changes, dense
             arrangements), rendered alike; each track is in the "tuning" or the
             "heldout" half (hard_songs.half_of), recorded as "half" in the index;
  performed  the midi and hard songs as played (performance.py: a drifting tempo that
             the annotations follow, notes off the grid by 8-12 ms, velocities
             varied), each rendered with one of several General MIDI soundfonts and
             put through a mix chain (mix_chain.py: EQ, reverb, compression, pink
             noise at 30, 20 or 15 dB SNR or none); halves as in hard, the midi
             songs split alike (midi_half);
  grooves    plain drum grooves (grooves.py), eight styles at 80-194 BPM, half of
             them performed, every one through a soundfont and a mix chain.

The renderer's start offset is measured first (a single side-stick at 1 s, found in
the rendered audio) and cut from the start of every render, so that the audio and
the tempo map agree. A few tracks are written at 16 kHz or 22.05 kHz, in stereo or as
FLAC. Output is the same on every run. Writes eval/corpus/index.json describing
every track.

--section builds the named sections only (into an existing corpus too) and merges
them into index.json, replacing that section's entries; --only builds the tracks
whose name contains the text, and merges them into an existing index.

--subset K builds every K-th song of the performed and grooves sections (a quick
look; the split is that of the whole corpus).

Usage: eval/make_corpus.py [--out DIR] [--force] [--only SUBSTRING] [--section NAME]... [--subset K]
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import wave

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import grooves  # noqa: E402
import hard_songs  # noqa: E402
import midi_songs  # noqa: E402
import mix_chain  # noqa: E402
import performance  # noqa: E402
import synth_tracks  # noqa: E402

SECTIONS = ("synthetic", "midi", "hard", "performed", "grooves")

RATE = 44100
RNG_START = 8161
SF2 = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
# The soundfonts music as played is rendered with, in turn (Debian's fluid-soundfont-gm,
# timgm6mb-soundfont, musescore-general-soundfont-small, opl3-soundfont).
SOUNDFONTS = (SF2, "/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3",
              "/usr/share/sounds/sf2/OPL-3_FM_128M.sf2")


def read_wav(path):
    with wave.open(path, "rb") as w:
        x = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64) / 32768.0
        return x.reshape(-1, w.getnchannels()), w.getframerate()


def write_audio(path, x, rate, channels, container, tmpdir):
    """Writes x (samples at 44.1 kHz, mono or n x 2) with sox's resampler and channel mixing."""
    if x.ndim == 1:
        x = x[:, None]
    if x.shape[1] != channels:
        x = np.repeat(x, channels, axis=1) if channels == 2 else x.mean(axis=1, keepdims=True)
    x = x * (0.89 / max(1e-9, np.max(np.abs(x))))
    tmp = os.path.join(tmpdir, "out.wav")
    with wave.open(tmp, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(np.round(x * 32767.0).astype("<i2").tobytes())
    # -D: no dither, so that resampled tracks come out the same on every run.
    cmd = ["sox", "-q", "-D", tmp, "-b", "16"] + (["-C", "8"] if container == "flac" else []) + [path]
    if rate != RATE:
        cmd += ["rate", "-v", str(rate)]
    subprocess.run(cmd, check=True)


def render(mid_path, wav_path, soundfont=SF2):
    subprocess.run(["fluidsynth", "-ni", "-q", "-F", wav_path, "-r", str(RATE), soundfont, mid_path],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def onset_time(x, rate, after=0.0, rel=0.02):
    """Time of the first sample above rel x the peak, after a given time."""
    a = np.max(np.abs(x), axis=1) if x.ndim == 2 else np.abs(x)
    i0 = int(after * rate)
    hit = np.nonzero(a[i0:] > rel * np.max(a[i0:]))[0]
    return (i0 + hit[0]) / rate


def measure_render_offset(tmpdir, soundfont=SF2):
    """Renders one side-stick and one piano note at known times; returns the mean lateness in seconds."""
    import mido
    mid = mido.MidiFile(type=0, ticks_per_beat=480)
    tr = mido.MidiTrack()
    mid.tracks.append(tr)
    tr.append(mido.MetaMessage("set_tempo", tempo=500000, time=0))
    tr.append(mido.Message("note_on", channel=9, note=37, velocity=110, time=960))  # 1.0 s
    tr.append(mido.Message("note_off", channel=9, note=37, velocity=0, time=60))
    tr.append(mido.Message("note_on", channel=0, note=60, velocity=110, time=2820))  # 4.0 s
    tr.append(mido.Message("note_off", channel=0, note=60, velocity=0, time=240))
    tr.append(mido.MetaMessage("end_of_track", time=960))
    mp, wp = os.path.join(tmpdir, "click.mid"), os.path.join(tmpdir, "click.wav")
    mid.save(mp)
    render(mp, wp, soundfont)
    x, rate = read_wav(wp)
    drum = onset_time(x[: int(3.5 * rate)], rate) - 1.0
    piano = onset_time(x, rate, after=3.5) - 4.0
    return drum, piano


def entry(section, name, audio, beats, fmt, info, music_start, duration, out):
    rel = os.path.relpath(audio, out)
    brel = os.path.splitext(rel)[0] + ".beats.txt"
    with open(os.path.join(out, brel), "w") as f:
        f.writelines("%.6f\n" % t for t in beats)
    d = {"section": section, "name": name, "audio": rel, "beats": brel, "rate": fmt[0], "channels": fmt[1],
         "format": fmt[2], "music_start": round(music_start, 6), "duration": round(duration, 3)}
    d.update(info)
    return d


def render_song(section, song, offset, out, tmp):
    """Composes, renders and writes one song; returns its index entry."""
    name = song["name"]
    song_rng = np.random.default_rng([RNG_START, len(name), sum(map(ord, name))])
    mid, beat_ticks, tempo_map = midi_songs.compose(song, song_rng)
    mid_path = os.path.join(out, section, name + ".mid")
    mid.save(mid_path)
    wav = os.path.join(tmp, "render.wav")
    render(mid_path, wav)
    x, rate = read_wav(wav)
    assert rate == RATE
    cut = int(round(offset * RATE))
    x = x[cut:]
    beats = [midi_songs.tick_seconds(t, tempo_map) for t in beat_ticks]
    end = int((beats[-1] + 2.5) * RATE)
    x = x[:end]
    fade = int(0.5 * RATE)
    x[-fade:] *= np.linspace(1, 0, fade)[:, None]
    path = os.path.join(out, section, name + "." + song["fmt"][2])
    write_audio(path, x, *song["fmt"], tmp)
    info = {"bpm": song["bpm"], "meter": song["meter"], "drums": bool(song["drums"])}
    if "ramp" in song:
        info["bpm2"] = song["ramp"][2]
    elif song.get("tempo"):
        info["bpm2"] = song["tempo"][-1][1]
    if section == "hard":
        info["family"] = song["family"]
        info["half"] = hard_songs.half_of()[name]
    print("%-40s %5.1f s %6d Hz %d ch %s" % (section + "/" + name, len(x) / RATE, *song["fmt"]))
    return entry(section, name, path, beats, song["fmt"], info, beats[0], len(x) / RATE, out)


def midi_half():
    """The midi songs split like the hard ones: sorted by name, tuning, heldout, tuning, ..."""
    names = sorted(s["name"] for s in midi_songs.SONGS)
    return {n: "tuning" if i % 2 == 0 else "heldout" for i, n in enumerate(names)}


def played_songs(section, subset):
    """(number, song, half, whether it is performed) for the performed or grooves section;
    the number (which picks the soundfont) is the song's place in the whole section."""
    if section == "performed":
        halves = dict(midi_half(), **hard_songs.half_of())
        songs = [(s, halves[s["name"]], True) for s in midi_songs.SONGS + hard_songs.SONGS]
    else:
        halves = grooves.half_of()
        # Tempi in pairs, so that each half has quantised and performed grooves.
        songs = [(s, halves[s["name"]], (i % grooves.TEMPI) // 2 % 2 == 1) for i, s in enumerate(grooves.SONGS)]
    return [(i,) + s for i, s in enumerate(songs)][::subset]


def render_played(section, number, song, half, performed, offsets, out, tmp):
    """Composes one song, plays it (performed or as written), renders it with a soundfont
    and the mix chain, and writes it; returns its index entry."""
    name = song["name"]
    rng = np.random.default_rng([RNG_START, 7, len(name), sum(map(ord, name))])
    # Track names are unique across sections (the scripts key runs by name).
    track = name + "_played" if section == "performed" else name
    mid, beat_ticks, tempo_map = midi_songs.compose(song, rng)
    info = {"bpm": song["bpm"], "meter": song["meter"], "drums": bool(song["drums"]), "half": half,
            "family": song.get("family", "midi"), "performed": performed}
    if performed:
        step = midi_songs.METERS[song["meter"]][3]
        mid, tempo_map, settings = performance.perform(mid, tempo_map, step, rng)
        info.update(settings)
    soundfont = SOUNDFONTS[number % len(SOUNDFONTS)]
    info["soundfont"] = os.path.basename(soundfont)
    mid_path = os.path.join(out, section, track + ".mid")
    mid.save(mid_path)
    wav = os.path.join(tmp, "render.wav")
    render(mid_path, wav, soundfont)
    chain = mix_chain.choose(rng)
    info["mix"] = chain
    beats = [midi_songs.tick_seconds(t, tempo_map) for t in beat_ticks]
    fmt = song["fmt"] if section == "performed" else (RATE, 2, "wav")
    e = mix_and_write(section, track, wav, soundfont, chain, rng, offsets, beats, fmt, info, out, tmp)
    print("%-40s %5.1f s %s %s" % (section + "/" + track, e["duration"], info["soundfont"], chain))
    return e


def mix_and_write(section, track, wav, soundfont, chain, rng, offsets, beats, fmt, info, out, tmp):
    """Puts a render (`wav`, of `soundfont`) through the mix chain, cuts the soundfont's
    start offset, ends it 2.5 s after the last beat with a fade, writes it in `fmt`
    into out/section and returns its index entry."""
    x, rate = mix_chain.apply(chain, wav, os.path.join(tmp, "mixed.wav"), read_wav, rng)
    assert rate == RATE
    x = x[int(round(offsets[soundfont] * RATE)):]
    x = x[:int((beats[-1] + 2.5) * RATE)]
    fade = int(0.5 * RATE)
    x[-fade:] *= np.linspace(1, 0, fade)[:, None]
    path = os.path.join(out, section, track + "." + fmt[2])
    write_audio(path, x, *fmt, tmp)
    return entry(section, track, path, beats, fmt, info, beats[0], len(x) / RATE, out)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out", default=os.path.join(HERE, "corpus"))
    ap.add_argument("--force", action="store_true", help="rebuild even if the corpus exists")
    ap.add_argument("--only", default="", help="build only tracks whose name contains this")
    ap.add_argument("--section", action="append", choices=SECTIONS, default=[],
                    help="build only this section (repeatable) and merge it into index.json")
    ap.add_argument("--subset", type=int, default=1, help="every K-th song of performed and grooves")
    args = ap.parse_args()
    index_path = os.path.join(args.out, "index.json")
    partial = bool(args.only or args.section)
    sections = args.section or list(SECTIONS)
    if os.path.exists(index_path) and not args.force and not partial:
        print("corpus exists: %s (use --force to rebuild, or --section NAME to add a section)" % index_path)
        return
    if args.force and os.path.isdir(args.out) and not partial:
        shutil.rmtree(args.out)
    if args.force and args.section and not args.only:
        for sec in args.section:
            shutil.rmtree(os.path.join(args.out, sec), ignore_errors=True)
    for sec in sections:
        os.makedirs(os.path.join(args.out, sec), exist_ok=True)
    rng = np.random.default_rng(RNG_START)
    tracks = []
    with tempfile.TemporaryDirectory() as tmp:
        drum_off, piano_off = measure_render_offset(tmp)
        offset = drum_off
        print("renderer start offset: %.2f ms (side-stick), %.2f ms (piano); cutting %.2f ms"
              % (1e3 * drum_off, 1e3 * piano_off, 1e3 * offset))

        if "synthetic" in sections:
            for name, x, beats, info, fmt in synth_tracks.tracks(rng):
                if args.only and args.only not in name:
                    continue
                path = os.path.join(args.out, "synthetic", name + "." + fmt[2])
                write_audio(path, x, fmt[0], fmt[1], fmt[2], tmp)
                tracks.append(entry("synthetic", name, path, beats, fmt, info, beats[0], len(x) / RATE, args.out))
                print("synthetic/%-26s %5.1f s %6d Hz %d ch %s" % (name, len(x) / RATE, fmt[0], fmt[1], fmt[2]))

        for section, songs in (("midi", midi_songs.SONGS), ("hard", hard_songs.SONGS)):
            if section not in sections:
                continue
            for song in songs:
                if args.only and args.only not in song["name"]:
                    continue
                tracks.append(render_song(section, song, offset, args.out, tmp))

        played = [sec for sec in ("performed", "grooves") if sec in sections]
        offsets = {sf: measure_render_offset(tmp, sf)[0] for sf in SOUNDFONTS} if played else {}
        for sf, off in offsets.items():
            print("%s: start offset %.2f ms" % (os.path.basename(sf), 1e3 * off))
        for section in played:
            for number, song, half, performed in played_songs(section, args.subset):
                if args.only and args.only not in song["name"]:
                    continue
                tracks.append(render_played(section, number, song, half, performed, offsets, args.out, tmp))

    if partial and os.path.exists(index_path):
        with open(index_path) as f:
            index = json.load(f)
        if abs(index["render_offset_s"] - offset) > 1e-4:
            print("warning: the renderer's offset changed from %.2f ms to %.2f ms"
                  % (1e3 * index["render_offset_s"], 1e3 * offset))
        # Rebuilt tracks keep their place; a rebuilt section replaces the old one whole.
        built = {(t["section"], t["name"]): t for t in tracks}
        merged = [built.pop((t["section"], t["name"]), t) for t in index["tracks"]
                  if (t["section"], t["name"]) in built or args.only or t["section"] not in args.section]
        tracks = sorted(merged + list(built.values()), key=lambda t: SECTIONS.index(t["section"]))
        offset = index["render_offset_s"]
    elif args.only:
        return  # no index to merge into: a few tracks alone are no corpus
    with open(index_path, "w") as f:
        json.dump({"render_offset_s": offset, "tracks": tracks}, f, indent=1)
    print("%d tracks, index in %s" % (len(tracks), index_path))


if __name__ == "__main__":
    main()
