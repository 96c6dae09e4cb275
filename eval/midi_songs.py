"""The MIDI section of the corpus: small arrangements composed here with mido.

A song is drums, bass, chords, an optional melody and optional extra layers over a
chord progression, with a tempo map. The beat times come from the tempo map: the
quarter note in 2/4, 3/4, 4/4, 5/4 and 6/4, the dotted quarter in 6/8 and 12/8.

Patterns (drums, bass, comping, layers) are a name from the tables below, a list of
events for one bar, or a list of such bars played in turn (a pattern over several
bars, or a fill every few bars).
"""

import mido

TPQ = 480
# Meter -> (numerator, denominator, bar ticks, beat ticks).
METERS = {"4/4": (4, 4, 1920, 480), "3/4": (3, 4, 1440, 480), "6/8": (6, 8, 1440, 720),
          "2/4": (2, 4, 960, 480), "5/4": (5, 4, 2400, 480), "6/4": (6, 4, 2880, 480),
          "12/8": (12, 8, 2880, 720)}

# General MIDI drum notes.
KICK, SIDE, SNARE, CLAP, CHH, PHH, OHH, CRASH, RIDE = 36, 37, 38, 39, 42, 44, 46, 49, 51

# Drum patterns: one bar of (tick, note, velocity).
DRUMS = {
    "rock": [(0, KICK, 110), (960, KICK, 100), (480, SNARE, 110), (1440, SNARE, 110)]
    + [(t, CHH, 80 if t % 480 == 0 else 60) for t in range(0, 1920, 240)],
    "pop": [(0, KICK, 105), (720, KICK, 85), (960, KICK, 100), (480, SNARE, 100), (1440, SNARE, 105)]
    + [(t, CHH, 75 if t % 480 == 0 else 55) for t in range(0, 1920, 240)],
    "funk": [(0, KICK, 110), (360, KICK, 85), (1080, KICK, 95), (480, SNARE, 110), (1440, SNARE, 110),
             (840, SNARE, 40), (1680, SNARE, 40)]
    + [(t, CHH, 85 if t % 480 == 0 else (65 if t % 240 == 0 else 45)) for t in range(0, 1920, 120)],
    "dance": [(t, KICK, 115) for t in range(0, 1920, 480)] + [(480, CLAP, 100), (1440, CLAP, 100)]
    + [(t + 240, OHH, 75) for t in range(0, 1920, 480)] + [(t, CHH, 40) for t in range(0, 1920, 120) if t % 240],
    "punk": [(0, KICK, 115), (960, KICK, 110), (480, SNARE, 115), (1440, SNARE, 115)]
    + [(t, CRASH if t == 0 else CHH, 90) for t in range(0, 1920, 240)],
    "hiphop": [(0, KICK, 115), (600, KICK, 90), (1080, KICK, 100), (480, SNARE, 110), (1440, SNARE, 110)]
    + [(t, CHH, 70 if t % 480 == 0 else 50) for t in range(0, 1920, 240)],
    "swing": [(t, RIDE, 85) for t in (0, 480, 960, 1440)] + [(t, RIDE, 60) for t in (800, 1760)]
    + [(480, PHH, 70), (1440, PHH, 70)] + [(t, KICK, 35) for t in (0, 480, 960, 1440)],
    "onedrop": [(960, KICK, 110), (960, SIDE, 100)] + [(t, CHH, 60) for t in range(0, 1920, 240)],
    "bossa": [(t, SIDE, 80) for t in (0, 360, 720, 1200, 1440)] + [(t, KICK, 80) for t in (0, 720, 960, 1680)]
    + [(t, CHH, 45) for t in range(0, 1920, 240)],
    "march": [(0, KICK, 100), (960, KICK, 100), (480, CRASH, 70), (1440, CRASH, 70)]
    + [(t, SNARE, 95 if t % 480 == 0 else 55) for t in range(0, 1920, 240)],
    "metal": [(t, KICK, 100) for t in range(0, 1920, 120)] + [(480, SNARE, 120), (1440, SNARE, 120)]
    + [(t, CRASH if t == 0 else RIDE, 90) for t in range(0, 1920, 480)],
    "jazzwaltz": [(t, RIDE, 80) for t in (0, 480, 960)] + [(800, RIDE, 55), (480, PHH, 60), (960, PHH, 60), (0, KICK, 50)],
    "ballad68": [(0, KICK, 100), (720, SNARE, 90)] + [(t, CHH, 70 if t % 720 == 0 else 45) for t in range(0, 1440, 240)],
}

# Bass patterns: one bar of (tick, chord-tone index (0 root, 1 third, 2 fifth, 3 octave), duration).
BASS = {
    "eighths": [(t, 0, 220) for t in range(0, 1920, 240)],
    "rootfifth": [(0, 0, 900), (960, 2, 900)],
    "walking": [(0, 0, 440), (480, 1, 440), (960, 2, 440), (1440, 3, 440)],
    "funk": [(0, 0, 200), (360, 0, 100), (600, 3, 100), (960, 2, 200), (1200, 0, 100), (1560, 1, 100), (1680, 3, 200)],
    "offbeat": [(t + 240, 0, 200) for t in range(0, 1920, 480)],
    "punk": [(t, 0, 200) for t in range(0, 1920, 240)],
    "reggae": [(0, 0, 400), (600, 2, 200), (960, 3, 400), (1440, 2, 400)],
    "bossa": [(0, 0, 700), (720, 2, 220), (960, 2, 700), (1680, 0, 220)],
    "oompah": [(0, 0, 440)],
    "waltz_walk": [(0, 0, 440), (480, 2, 440), (960, 1, 440)],
    "dotted68": [(0, 0, 680), (720, 2, 680)],
    "whole": [(0, 0, 1880)],
    "tuba": [(0, 0, 440), (960, 2, 440)],
}

# Chord comping: one bar of (tick, duration).
COMP = {
    "whole": [(0, 1900)],
    "half": [(0, 940), (960, 940)],
    "quarters": [(t, 440) for t in range(0, 1920, 480)],
    "eighths": [(t, 220) for t in range(0, 1920, 240)],
    "skank": [(t + 240, 120) for t in range(0, 1920, 480)],
    "charleston": [(0, 300), (720, 200)],
    "bossa": [(0, 220), (360, 220), (720, 220), (1200, 220), (1440, 220)],
    "funk": [(240, 100), (600, 100), (1200, 100), (1680, 100)],
    "waltz23": [(480, 400), (960, 400)],
    "waltz_whole": [(0, 1420)],
    "arp68": "arp",  # arpeggio on eighths
    "arp44": "arp",
    "none": [],
}

# Chord progressions as (root, quality) with roots as MIDI notes near C3.
PROG = {
    "pop": [(48, "maj"), (55, "maj"), (57, "min"), (53, "maj")],
    "minor": [(57, "min"), (53, "maj"), (48, "maj"), (55, "maj")],
    "blues": [(50, "dom"), (50, "dom"), (55, "dom"), (50, "dom"), (57, "dom"), (55, "dom"), (50, "dom"), (57, "dom")],
    "jazz": [(50, "min7"), (55, "dom"), (48, "maj7"), (57, "dom")],
    "waltz": [(53, "maj"), (48, "dom"), (48, "dom"), (53, "maj"), (58, "maj"), (53, "maj"), (48, "dom"), (53, "maj")],
    "celtic": [(50, "maj"), (48, "maj"), (50, "maj"), (57, "maj")],
    "modal": [(52, "min"), (50, "maj"), (52, "min"), (50, "maj")],
}

QUALITY = {"maj": (0, 4, 7, 12), "min": (0, 3, 7, 12), "dom": (0, 4, 7, 10), "min7": (0, 3, 7, 10), "maj7": (0, 4, 7, 11)}
SCALE = {"maj": (0, 2, 4, 5, 7, 9, 11), "min": (0, 2, 3, 5, 7, 8, 10)}

# The songs: name -> settings. bpm is the beat's tempo (dotted quarter in 6/8 and 12/8);
# "tempo" may give a list of (bar, bpm) steps; "ramp" a gradual change (bar_from, bar_to, bpm_to).
# Optional settings (absent in the songs below): "swing" (True: the second eighth of
# each beat at two thirds of it, or (pair ticks, fraction): the second note of each
# pair moved to that fraction of the pair), "human" (timing jitter scale, default 1),
# "key" (transposition in semitones), "chord_bars" (bars per chord), "kit" (drum kit
# program), "crash" (False: no crash every 8 bars), "drum_accent" (velocity added on
# the downbeat, default 12), "bass_vel", "comp_vel", "mel_vel", "arp_step",
# "mel_rhythm" (note lengths the melody picks from), "layers" (extra parts, see
# compose), and "prog" may be a progression itself.
SONGS = [
    dict(name="rock_120", meter="4/4", bpm=120, bars=20, drums="rock", bass="eighths", bass_prog=33, comp="eighths",
         comp_prog=30, prog="pop", melody=None, fmt=(44100, 2, "wav")),
    dict(name="pop_100", meter="4/4", bpm=100, bars=16, drums="pop", bass="rootfifth", bass_prog=33, comp="quarters",
         comp_prog=0, prog="pop", melody=73, fmt=(22050, 1, "wav")),
    dict(name="funk_104", meter="4/4", bpm=104, bars=17, drums="funk", bass="funk", bass_prog=36, comp="funk",
         comp_prog=7, prog="modal", melody=None, fmt=(44100, 1, "wav")),
    dict(name="dance_128", meter="4/4", bpm=128, bars=22, drums="dance", bass="offbeat", bass_prog=38, comp="whole",
         comp_prog=89, prog="minor", melody=81, fmt=(44100, 2, "flac")),
    dict(name="punk_180", meter="4/4", bpm=180, bars=28, drums="punk", bass="punk", bass_prog=34, comp="eighths",
         comp_prog=30, prog="pop", melody=None, fmt=(16000, 1, "wav")),
    dict(name="hiphop_88", meter="4/4", bpm=88, bars=15, drums="hiphop", bass="rootfifth", bass_prog=38, comp="half",
         comp_prog=4, prog="minor", melody=None, fmt=(44100, 1, "wav")),
    dict(name="swing_140", meter="4/4", bpm=140, bars=24, drums="swing", bass="walking", bass_prog=32, comp="charleston",
         comp_prog=0, prog="jazz", melody=65, swing=True, fmt=(44100, 1, "wav")),
    dict(name="reggae_76", meter="4/4", bpm=76, bars=13, drums="onedrop", bass="reggae", bass_prog=33, comp="skank",
         comp_prog=27, prog="pop", melody=None, fmt=(22050, 1, "flac")),
    dict(name="bossa_132", meter="4/4", bpm=132, bars=22, drums="bossa", bass="bossa", bass_prog=32, comp="bossa",
         comp_prog=24, prog="jazz", melody=73, fmt=(44100, 2, "wav")),
    dict(name="march_112", meter="4/4", bpm=112, bars=19, drums="march", bass="tuba", bass_prog=58, comp="quarters",
         comp_prog=61, prog="pop", melody=56, fmt=(44100, 1, "wav")),
    dict(name="metal_160", meter="4/4", bpm=160, bars=26, drums="metal", bass="eighths", bass_prog=33, comp="eighths",
         comp_prog=30, prog="minor", melody=None, fmt=(44100, 1, "wav")),
    dict(name="rock_rit_110", meter="4/4", bpm=110, bars=20, drums="rock", bass="eighths", bass_prog=33, comp="quarters",
         comp_prog=29, prog="minor", melody=None, ramp=(12, 20, 82), fmt=(44100, 1, "wav")),
    dict(name="waltz_strings_90_nodrums", meter="3/4", bpm=90, bars=20, drums=None, bass="oompah", bass_prog=42,
         comp="waltz23", comp_prog=48, prog="waltz", melody=40, fmt=(44100, 1, "wav")),
    dict(name="waltz_piano_165_nodrums", meter="3/4", bpm=165, bars=36, drums=None, bass="oompah", bass_prog=0,
         comp="waltz23", comp_prog=0, prog="waltz", melody=0, fmt=(16000, 2, "flac")),
    dict(name="jazzwaltz_120", meter="3/4", bpm=120, bars=26, drums="jazzwaltz", bass="waltz_walk", bass_prog=32,
         comp="waltz23", comp_prog=0, prog="jazz", melody=66, fmt=(44100, 1, "wav")),
    dict(name="ballad_6-8_60", meter="6/8", bpm=60, bars=18, drums="ballad68", bass="dotted68", bass_prog=33,
         comp="arp68", comp_prog=0, prog="pop", melody=None, fmt=(44100, 1, "wav")),
    dict(name="jig_6-8_112_nodrums", meter="6/8", bpm=112, bars=32, drums=None, bass="dotted68", bass_prog=32,
         comp="arp68", comp_prog=21, prog="celtic", melody=40, fmt=(22050, 1, "wav")),
    dict(name="piano_ballad_64_nodrums", meter="4/4", bpm=64, bars=10, drums=None, bass="rootfifth", bass_prog=0,
         comp="arp44", comp_prog=0, prog="pop", melody=None, fmt=(44100, 1, "wav")),
    dict(name="chorale_72_nodrums", meter="4/4", bpm=72, bars=12, drums=None, bass="walking", bass_prog=19,
         comp="quarters", comp_prog=19, prog="pop", melody=None, fmt=(44100, 1, "flac")),
    dict(name="ambient_70_nodrums", meter="4/4", bpm=70, bars=12, drums=None, bass="whole", bass_prog=89,
         comp="whole", comp_prog=91, prog="modal", melody=11, fmt=(44100, 2, "wav")),
]


def chord_notes(root, quality):
    return [root + 12 + i for i in QUALITY[quality][:3]] + ([root + 12 + QUALITY[quality][3]] if quality in ("dom", "min7", "maj7") else [])


def bar_pattern(table, value, bar):
    """The events of one bar: value is a name in table, a bar's events, or a list of bars played in turn."""
    if isinstance(value, str):
        return table[value]
    if value and isinstance(value[0], (list, str)):
        return bar_pattern(table, value[bar % len(value)], bar)
    return value


def compose(song, rng):
    """Returns (MidiFile, beat ticks, tempo map [(tick, microseconds per quarter)]).

    "layers" is a list of extra parts, each a dict with "kind" ("drums": events
    (tick, note, velocity) on the drum channel; "tones": (tick, chord-tone index,
    duration[, velocity]) on a channel of its own; "chord": (tick, duration[,
    velocity]) playing the whole chord), "pattern", and for pitched parts "prog",
    "octave" (semitones added) and "vel".
    """
    _, _, bar_ticks, beat_ticks = METERS[song["meter"]]
    bars = song["bars"]
    lead = beat_ticks  # one beat of rest before the music
    per_quarter = beat_ticks / 480  # beat tempo -> quarter-note tempo
    quarter_bpm = song["bpm"] * per_quarter
    tempo_map = [(0, mido.bpm2tempo(quarter_bpm))]
    if "ramp" in song:
        b0, b1, bpm_to = song["ramp"]
        ramp_from = quarter_bpm
        for bar, bpm in song.get("tempo", []):
            if bar <= b0:
                ramp_from = bpm * per_quarter
        to_q = bpm_to * per_quarter
        steps = (b1 - b0) * (bar_ticks // beat_ticks)
        for s in range(steps):
            bpm = ramp_from + (to_q - ramp_from) * (s + 1) / steps
            tempo_map.append((lead + b0 * bar_ticks + s * beat_ticks, mido.bpm2tempo(bpm)))
    for bar, bpm in song.get("tempo", []):
        tempo_map.append((lead + bar * bar_ticks, mido.bpm2tempo(bpm * per_quarter)))
    tempo_map.sort(key=lambda e: e[0])
    events = []  # (tick, order, message)
    for tick, tempo in tempo_map:
        events.append((tick, 0, mido.MetaMessage("set_tempo", tempo=tempo)))
    num, den = METERS[song["meter"]][:2]
    events.append((0, 0, mido.MetaMessage("time_signature", numerator=num, denominator=den)))

    def note(ch, tick, pitch, vel, dur, jitter=0):
        tick = max(0, tick + (int(rng.integers(-jitter, jitter + 1)) if jitter else 0))
        vel = int(min(127, max(1, vel + rng.integers(-6, 7))))
        events.append((tick, 2, mido.Message("note_on", channel=ch, note=pitch, velocity=vel)))
        events.append((tick + dur, 1, mido.Message("note_off", channel=ch, note=pitch, velocity=0)))

    def swung(t):
        # Swing: the second eighth of each beat moves to two thirds of the beat.
        sw = song.get("swing")
        if sw is True or not sw:
            return t - (t % 480) + 320 if sw and t % 480 == 240 else t
        pair, fraction = sw
        return t - (t % pair) + int(round(pair * fraction)) if t % pair == pair // 2 else t

    human = song.get("human", 1)
    layers = song.get("layers", [])
    # Pitched layers take channels 3.. (the drum channel 9 skipped).
    layer_progs = [x["prog"] for x in layers if x["kind"] != "drums"]
    layer_ch = [3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15][:len(layer_progs)]
    progs = [(0, song["bass_prog"]), (1, song["comp_prog"])] + ([(2, song["melody"])] if song["melody"] is not None else [])
    progs += list(zip(layer_ch, layer_progs))
    if "kit" in song:
        progs.append((9, song["kit"]))
    for ch, program in progs:
        events.append((0, 0, mido.Message("program_change", channel=ch, program=program)))
    events.append((0, 0, mido.Message("control_change", channel=1, control=7, value=80)))

    prog = PROG[song["prog"]] if isinstance(song["prog"], str) else song["prog"]
    key = song.get("key", 0)
    bass_vel, comp_vel, mel_vel = song.get("bass_vel", 95), song.get("comp_vel", 78), song.get("mel_vel", 88)
    mel_rhythm = song.get("mel_rhythm", [240, 480, 480, 720, 960])
    scale = SCALE["min" if prog[0][1] in ("min", "min7") else "maj"]
    mel_index = 7  # scale steps above the key note, an octave up to start
    for bar in range(bars):
        start = lead + bar * bar_ticks
        root, quality = prog[(bar // song.get("chord_bars", 1)) % len(prog)]
        root += key
        tones = QUALITY[quality]
        if song["drums"]:
            pattern = bar_pattern(DRUMS, song["drums"], bar)
            for t, pitch, vel in pattern:
                if t < bar_ticks:
                    note(9, start + swung(t), pitch, vel + (song.get("drum_accent", 12) if t == 0 else 0), 60,
                         jitter=human)
            if bar % 8 == 0 and song.get("crash", True):
                note(9, start, CRASH, 90, 60)
        for t, idx, dur, *vel in bar_pattern(BASS, song["bass"], bar):
            if t < bar_ticks:
                note(0, start + swung(t), root - 12 + tones[idx], vel[0] if vel else bass_vel, dur, jitter=2 * human)
        comp = COMP[song["comp"]] if isinstance(song["comp"], str) else bar_pattern(COMP, song["comp"], bar)
        notes = chord_notes(root, quality)
        if comp == "arp":
            step = song.get("arp_step", 240)
            order = notes + [notes[1] + 12, notes[2], notes[1]]
            for i, t in enumerate(range(0, bar_ticks, step)):
                note(1, start + t, order[i % len(order)], 80 if t % (beat_ticks) == 0 else 62, step * 2, jitter=2 * human)
        else:
            for t, dur, *vel in comp:
                if t < bar_ticks:
                    for p in notes:
                        note(1, start + swung(t), p, vel[0] if vel else comp_vel, dur, jitter=2 * human)
        if song["melody"] is not None and bar % 4 != 3:
            t = 0
            while t < bar_ticks:
                dur = int(rng.choice(mel_rhythm))
                dur = min(dur, bar_ticks - t)
                mel_index = min(max(mel_index + int(rng.choice([-2, -1, -1, 0, 1, 1, 2])), 3), 16)
                mel_pitch = prog[0][0] + key + 12 + scale[mel_index % 7] + 12 * (mel_index // 7)
                note(2, start + swung(t), mel_pitch, mel_vel, max(60, dur - 30), jitter=3 * human)
                t += dur
        pitched = iter(layer_ch)
        for layer in layers:
            events_bar = bar_pattern({}, layer["pattern"], bar)
            if layer["kind"] == "drums":
                for t, pitch, vel in events_bar:
                    if t < bar_ticks:
                        note(9, start + swung(t), pitch, vel, 60, jitter=human)
                continue
            ch, octave, lvel = next(pitched), layer.get("octave", 0), layer.get("vel", 80)
            for ev in events_bar:
                if ev[0] >= bar_ticks:
                    continue
                if layer["kind"] == "tones":
                    t, idx, dur, *vel = ev
                    pitches = [root + octave + tones[idx]]
                else:
                    t, dur, *vel = ev
                    pitches = [p + octave for p in notes]
                for p in pitches:
                    note(ch, start + swung(t), p, vel[0] if vel else lvel, dur, jitter=2 * human)
    end = lead + bars * bar_ticks
    # Final chord on the downbeat after the last bar.
    root, quality = prog[0]
    root += key
    for p in chord_notes(root, quality):
        note(1, end, p, 85, 2 * beat_ticks)
    note(0, end, root - 12, 95, 2 * beat_ticks)
    if song["drums"]:
        note(9, end, KICK, 110, 60)
        note(9, end, CRASH, 100, 60)

    mid = mido.MidiFile(type=0, ticks_per_beat=TPQ)
    track = mido.MidiTrack()
    mid.tracks.append(track)
    now = 0
    for tick, _, msg in sorted(events, key=lambda e: (e[0], e[1])):
        track.append(msg.copy(time=tick - now))
        now = tick
    track.append(mido.MetaMessage("end_of_track", time=4 * TPQ))
    beat_ticks_list = list(range(lead, end + 1, beat_ticks))
    return mid, beat_ticks_list, tempo_map


def tick_seconds(tick, tempo_map):
    """Seconds at a tick under a tempo map of (tick, microseconds per quarter), sorted."""
    sec, last_tick, tempo = 0.0, 0, tempo_map[0][1]
    for t, tp in tempo_map:
        if t >= tick:
            break
        sec += (t - last_tick) * tempo / 1e6 / TPQ
        last_tick, tempo = t, tp
    return sec + (tick - last_tick) * tempo / 1e6 / TPQ
