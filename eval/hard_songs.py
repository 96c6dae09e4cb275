"""The hard section of the corpus: arrangements of the kinds that trouble a beat
tracker, composed with midi_songs.compose.

Kinds (families): syncopated grooves, swing and shuffle, 3+3+2 and dotted rhythms,
fast songs (170-200 BPM), slow songs (60-70 BPM), songs without drums, 5/4 and 6/4,
tempo changes (steps and ramps) and dense arrangements. The beat: the quarter note
in 2/4, 4/4, 5/4 and 6/4, the dotted quarter in 12/8; its times come from the tempo
map. The songs' bpm is that beat's tempo.

The split into a tuning half and a held-out half is fixed by one rule: within each
family, songs sorted by name alternate tuning, heldout, tuning, ... (see half_of).
Every family has an even number of songs, so both halves hold every kind equally.

Patterns are written as step strings, one character per step of equal length, bars
separated by '|' (a string of several bars repeats every that many bars):
  drums (kit)   X loud, x normal, o soft, g ghost, . rest;
  tones (line)  0-3 a chord tone (root, third, fifth, fourth tone: octave or
                seventh), A-D the same accented, - holds, . rests;
  chords (hits) X accented, x normal, o soft, - holds, . rests.
"""

import math

from midi_songs import (CHH, CLAP, CRASH, KICK, METERS, OHH, PHH, RIDE, SIDE, SNARE)

SECONDS = 60  # about a minute of music per song

# More General MIDI drum notes.
LFTOM, HFTOM, LTOM, MTOM, HTOM = 41, 43, 45, 47, 50
TAMB, COWBELL, BELL = 54, 56, 53
HBONGO, LBONGO, MCONGA, OCONGA, LCONGA = 60, 61, 62, 63, 64
HTIMB, LTIMB, HAGOGO, LAGOGO, CABASA, MARACAS, GUIRO, CLAVES = 65, 66, 67, 68, 69, 70, 73, 75
ESNARE = 40

DRUM_VEL = {"X": 112, "x": 90, "o": 70, "g": 40}
HIT_VEL = {"X": 100, "x": 82, "o": 64}

# Chord progressions (root near C3, quality); songs move them with "key".
VAMP = [(52, "min7"), (52, "min7"), (57, "dom"), (57, "dom")]
LATIN = [(50, "min7"), (55, "dom"), (48, "maj7"), (48, "maj7")]
GOSPEL = [(48, "maj"), (52, "min"), (53, "maj"), (55, "dom")]
ANDALUSIAN = [(57, "min"), (55, "maj"), (53, "maj"), (52, "dom")]
ONE_FOUR = [(48, "maj"), (48, "maj"), (53, "maj"), (55, "dom")]
MINOR_VAMP = [(57, "min7"), (57, "min7"), (50, "min7"), (50, "min7")]
SOUL = [(53, "maj7"), (55, "dom"), (52, "min7"), (57, "min7")]


def _segments(s):
    return [seg.replace(" ", "") for seg in s.split("|")]


def _steps(bar_ticks, s):
    """(tick from the pattern's start, character, step length) for every step of a '|'-separated string."""
    out = []
    for b, seg in enumerate(_segments(s)):
        step = bar_ticks // len(seg)
        assert step * len(seg) == bar_ticks, "%d steps do not divide a bar of %d ticks" % (len(seg), bar_ticks)
        out += [(b * bar_ticks + i * step, c, step) for i, c in enumerate(seg)]
    return out


def _notes(bar_ticks, s, starts):
    """Bars of (tick in bar, character, duration): a note starts at a character of starts, '-' holds it."""
    steps = _steps(bar_ticks, s)
    bars = [[] for _ in _segments(s)]
    for k, (t, c, step) in enumerate(steps):
        if c not in starts:
            continue
        dur = step
        for _, c2, step2 in steps[k + 1:]:
            if c2 != "-":
                break
            dur += step2
        bars[t // bar_ticks].append((t % bar_ticks, c, dur - max(10, min(step, dur) // 8)))
    return bars


def kit(meter, lines):
    """Drum bars from {note: step string}; the pattern lasts the least common multiple of the lines' bars."""
    bar_ticks = METERS[meter][2]
    per_line = {pitch: _segments(s) for pitch, s in lines.items()}
    n = 1
    for segs in per_line.values():
        n = n * len(segs) // math.gcd(n, len(segs))
    out = []
    for b in range(n):
        events = []
        for pitch, segs in per_line.items():
            for t, c, _ in _steps(bar_ticks, segs[b % len(segs)]):
                if c in DRUM_VEL:
                    events.append((t, pitch, DRUM_VEL[c]))
        out.append(sorted(events))
    return out


def line(meter, s, vel=92):
    """Bars of chord tones (tick, tone index, duration, velocity) from a step string."""
    out = []
    for bar in _notes(METERS[meter][2], s, "0123ABCD"):
        out.append([(t, "0123ABCD".index(c) % 4, d, vel + (22 if c.isalpha() else 0)) for t, c, d in bar])
    return out


def hits(meter, s, scale=1.0):
    """Bars of chord hits (tick, duration, velocity) from a step string."""
    return [[(t, d, int(HIT_VEL[c] * scale)) for t, c, d in bar] for bar in _notes(METERS[meter][2], s, "Xxo")]


def late(bars, pitch, ticks):
    """Drum bars with one drum moved later (a laid-back snare)."""
    return [[(t + ticks if p == pitch else t, p, v) for t, p, v in bar] for bar in bars]


def drums_layer(meter, lines):
    return {"kind": "drums", "pattern": kit(meter, lines)}


def tones_layer(meter, prog, s, octave=12, vel=80):
    return {"kind": "tones", "prog": prog, "pattern": line(meter, s, vel), "octave": octave}


def chord_layer(meter, prog, s, octave=0, scale=1.0):
    return {"kind": "chord", "prog": prog, "pattern": hits(meter, s, scale), "octave": octave}


FORMATS = {"st": (44100, 2, "wav"), "stf": (44100, 2, "flac"), "mono": (44100, 1, "wav"),
           "22": (22050, 1, "wav"), "22f": (22050, 1, "flac"), "16": (16000, 1, "wav"), "16f": (16000, 1, "flac")}


def song(name, family, meter, bpm, drums, bass, bass_prog, comp, comp_prog, prog, fmt="st", melody=None, **kw):
    """A song's settings; bars default to about SECONDS of music at the first tempo."""
    num, den, bar_ticks, beat_ticks = METERS[meter]
    beats_per_bar = bar_ticks // beat_ticks
    d = dict(name=name, family=family, meter=meter, bpm=bpm, drums=drums, bass=bass, bass_prog=bass_prog, comp=comp,
             comp_prog=comp_prog, prog=prog, melody=melody, fmt=FORMATS[fmt], human=3)
    d["bars"] = int(round(SECONDS * bpm / 60.0 / beats_per_bar))
    d.update(kw)
    return d


def _syncopated():
    s = []
    s.append(song("funk_clav_96", "syncopated", "4/4", 96,
                  kit("4/4", {KICK: "X..x...x..x..x..", SNARE: "....X..g.g..X..g", CHH: "ogXgogXgogXgogXg"}),
                  line("4/4", "0-.0..3.0-..2.1."), 36, hits("4/4", "..x..x.X..x..x.X"), 7, VAMP, key=0))
    s.append(song("funk_wah_112", "syncopated", "4/4", 112,
                  kit("4/4", {KICK: "X.....x.x.x...x.", SNARE: "....X..g..g.X...", CHH: "oooXoooXoooXoooX"}),
                  line("4/4", "0.....3.0..2..1-"), 33, hits("4/4", "xoxoXoxoxoxoXoxo", 0.8), 28, VAMP, key=2, fmt="22",
                  layers=[chord_layer("4/4", 61, "......X.........|..........X-....", octave=12)]))
    s.append(song("bossa_clave_140", "syncopated", "4/4", 140,
                  kit("4/4", {SIDE: "x..x..x.|..x..x..", KICK: "o..oo..o", CHH: "gggggggg"}),
                  line("4/4", "0--2----|0--2--0-"), 32, hits("4/4", "x.xx.x.x|.xx.x.x."), 24, LATIN, key=2,
                  melody=73, fmt="mono"))
    s.append(song("samba_2-4_104", "syncopated", "2/4", 104,
                  kit("2/4", {LFTOM: "g...X...", MARACAS: "oooXoooX", HAGOGO: "x.x..x.x|.x.x..x.",
                              SNARE: "gxggxgXg"}),
                  line("2/4", "0...2..2"), 33, hits("2/4", "x.xx.x.x|.xx.x.x."), 25, LATIN, key=-2, chord_bars=2,
                  melody=71, fmt="22f"))
    s.append(song("samba_batucada_126", "syncopated", "2/4", 126,
                  kit("2/4", {LFTOM: "o...X...", HFTOM: "..o...o.", SNARE: "gXgggXgg", HAGOGO: "x.x.x..x|.x..x.x.",
                              CABASA: "xoxXxoxX", HTIMB: "...x..x.|.x..x..."}),
                  line("2/4", "0..22..0"), 32, hits("2/4", ".x.x.xx.|x.x..x.x", 0.9), 25, ONE_FOUR, key=3,
                  chord_bars=2, fmt="stf"))
    s.append(song("reggae_onedrop_72", "syncopated", "4/4", 72,
                  kit("4/4", {KICK: "........X.......", SIDE: "........X.......", CHH: "x.o.x.o.x.o.x.o."}),
                  line("4/4", "..0-.2..3-..2.0."), 33, hits("4/4", "....x.......x..."), 27, ONE_FOUR, key=-3,
                  swing=(240, 0.62), layers=[chord_layer("4/4", 16, ".x.x.x.x.x.x.x.x", scale=0.7)]))
    s.append(song("reggae_steppers_84", "syncopated", "4/4", 84,
                  kit("4/4", {KICK: "X...x...x...x...", SIDE: "........X.......", CHH: "..x...x...x...x."}),
                  line("4/4", "0.0.3.0.2.2.1.0."), 38, hits("4/4", "..X...X...X...X."), 27, MINOR_VAMP, key=0,
                  fmt="22", layers=[chord_layer("4/4", 16, ".o.o.o.o.o.o.o.o", octave=-12, scale=0.7)]))
    s.append(song("ska_upstroke_152", "syncopated", "4/4", 152,
                  kit("4/4", {KICK: "x...x...", SNARE: "..X...X.", CHH: "oXoXoXoX"}),
                  line("4/4", "0.1.2.3."), 32, hits("4/4", ".X.X.X.X"), 27, ONE_FOUR, key=5, melody=56, fmt="stf",
                  layers=[chord_layer("4/4", 0, ".x.x.x.x", octave=12)]))
    s.append(song("afrobeat_108", "syncopated", "4/4", 108,
                  kit("4/4", {KICK: "X..x..x...x.....", SNARE: "g.gXg.g.gXg.g..X", OHH: "..............x.",
                              CHH: "xoxoxoxoxoxoxo..", COWBELL: "x.x.xx.x.x.xx.x.", MARACAS: "ogogogogogogogog"}),
                  line("4/4", "0..0.3..-..2.0..|..0..0.2-...3.1."), 34, hits("4/4", ".x.x.x.x.x.x.x.x", 0.8), 28,
                  MINOR_VAMP, key=-3,
                  layers=[tones_layer("4/4", 27, "0.2.3..2.0..3.2."),
                          chord_layer("4/4", 61, "................|......X-..X.....|................|X-........X.X...",
                                      octave=12)]))
    s.append(song("son_montuno_100", "syncopated", "4/4", 100,
                  kit("4/4", {CLAVES: "x..x..x.|..x.x...", MCONGA: "g.x.g.x.", OCONGA: "......XX", GUIRO: "x.oox.oo"}),
                  line("4/4", "...2--0-"), 32, hits("4/4", ".xx.x.xx|x.xx.x.x"), 0, LATIN, key=0, melody=56,
                  mel_rhythm=[240, 480, 720, 480]))
    s.append(song("secondline_98", "syncopated", "4/4", 98,
                  kit("4/4", {KICK: "X.....X...x..x..", SNARE: "g.gXg.gxg.gXg.x.", RIDE: "....x.......x..."}),
                  line("4/4", "0...2..0..1.3..."), 58, hits("4/4", "....x..........."), 0, ONE_FOUR, key=-2,
                  swing=(480, 0.62), melody=71, fmt="22f",
                  layers=[chord_layer("4/4", 57, "..X.....|......X.", scale=0.9), chord_layer("4/4", 56, "X..x....|........", 12)]))
    s.append(song("bembe_12-8_96", "syncopated", "12/8", 96,
                  kit("12/8", {COWBELL: "x.x.xx.x.x.x", MARACAS: "oooooooooooo", OCONGA: "..x..x..X..X",
                               LCONGA: "x..x..x..x.."}),
                  line("12/8", "0-----2--.3."), 32, hits("12/8", "x.x.x.x.x.x."), 0, MINOR_VAMP, key=2,
                  crash=False, melody=73, fmt="16"))
    return s


def _swing():
    ride = {RIDE: "X..x.xX..x.x", PHH: "...x.....x..", KICK: "g..g..g..g.."}
    s = []
    s.append(song("swing_medium_116", "swing", "4/4", 116,
                  kit("4/4", {**ride, SNARE: "............|........x..."}),
                  line("4/4", "0123"), 32, hits("4/4", "x..x....|..x..x.."), 0, "jazz", key=3, swing=True, kit=32,
                  melody=66))
    s.append(song("swing_up_152", "swing", "4/4", 152,
                  kit("4/4", {**ride, SNARE: "....g.......|..g.....g..."}),
                  line("4/4", "0123|3210"), 32, hits("4/4", "..x.....|.....x.."), 0, "jazz", key=-2, swing=True,
                  kit=40, melody=65, mel_rhythm=[240, 240, 480, 720], fmt="stf"))
    s.append(song("blues_shuffle_96", "swing", "4/4", 96,
                  kit("4/4", {KICK: "x...x...", SNARE: "..X...X.", CHH: "xoxoxoxo"}),
                  line("4/4", "00112233"), 33, hits("4/4", "x.x.x.x.", 0.8), 0, "blues", key=-2, swing=True,
                  melody=22, layers=[chord_layer("4/4", 16, "x-------", scale=0.6)]))
    s.append(song("rock_shuffle_138", "swing", "4/4", 138,
                  kit("4/4", {KICK: "x...x.x.", SNARE: "..X...X.", RIDE: "xoxoxoxo"}),
                  line("4/4", "00223322"), 33, hits("4/4", "x.x.x.x."), 29, "blues", key=5, swing=True, fmt="22"))
    s.append(song("halftime_shuffle_86", "swing", "4/4", 86,
                  kit("4/4", {KICK: "X.....x...x.....", SNARE: "g.g.g..gX.g.g.gg", CHH: "xoxoxoxoxoxoxoxo"}),
                  line("4/4", "0-----3.2-...0.1"), 33, hits("4/4", "x-.....x..x-...."), 4, SOUL, key=0,
                  swing=(240, 2 / 3)))
    s.append(song("swing_brushes_100", "swing", "4/4", 100,
                  kit("4/4", {SNARE: "gogogogogogo", PHH: "...x.....x..", KICK: "g.....g....."}),
                  line("4/4", "0-2-"), 32, hits("4/4", "oxox"), 26, "jazz", key=5, swing=True, kit=40, melody=11,
                  fmt="mono"))
    return s


def _dotted():
    s = []
    s.append(song("tresillo_pop_104", "dotted", "4/4", 104,
                  kit("4/4", {KICK: "X..x..x.X..x..x.", SNARE: "....X.......X...", CHH: "x.o.x.o.x.o.x.o."}),
                  line("4/4", "0..0..2.0..0..3."), 33, hits("4/4", "x-------x-------", 0.7), 4, "pop", key=2,
                  melody=80, fmt="stf"))
    s.append(song("dembow_94", "dotted", "4/4", 94,
                  kit("4/4", {KICK: "X...X...X...X...", ESNARE: "...x..x....x..x.", CHH: "ogogogogogogogog"}),
                  line("4/4", "0..0..0.0..0..2."), 38, hits("4/4", "x---------------", 0.6), 89, "minor", key=-3,
                  kit=25, melody=84, fmt="stf"))
    s.append(song("habanera_2-4_80", "dotted", "2/4", 80, None,
                  line("2/4", "0--22-3-"), 42, hits("2/4", "..x.x...", 0.8), 0, ANDALUSIAN, key=0, chord_bars=2,
                  melody=40, layers=[chord_layer("2/4", 48, "x-------", scale=0.6)]))
    s.append(song("dancehall_100", "dotted", "4/4", 100,
                  kit("4/4", {KICK: "X..x..x.X..x..x.", CLAP: "....X.......X...", OHH: "..x...x...x...x."}),
                  line("4/4", "0..0..2.0..0..2."), 39, hits("4/4", "...x..x....x..x.", 0.8), 81, "minor", key=1,
                  kit=25, fmt="22"))
    dotted_eighths = "".join("0123"[k % 4] + ".." for k in range(16))
    dotted_quarters = "".join("0232"[k % 4] + "-----" for k in range(8))
    s.append(song("dotted_eighth_rock_124", "dotted", "4/4", 124,
                  kit("4/4", {KICK: "X......x..x.....", SNARE: "....X.......X...", CHH: "x...x...x...x..."}),
                  line("4/4", "|".join(dotted_quarters[i:i + 16] for i in (0, 16, 32))), 33,
                  hits("4/4", "x---------------", 0.6), 48, "pop", key=4,
                  layers=[tones_layer("4/4", 27, "|".join(dotted_eighths[i:i + 16] for i in (0, 16, 32)))]))
    s.append(song("ostinato_33332_126", "dotted", "4/4", 126,
                  kit("4/4", {KICK: "X..x..x..x..x.x.", CLAP: "....X.......X...", CHH: "ogooogooogooogoo"}),
                  line("4/4", "0..0..2..0..3.2."), 38, hits("4/4", "x---------------", 0.6), 89, MINOR_VAMP, key=0,
                  kit=24, fmt="16f", layers=[tones_layer("4/4", 81, "A12B12C12D12A1B1", vel=70)]))
    return s


def _fast():
    s = []
    s.append(song("dnb_174", "fast", "4/4", 174,
                  kit("4/4", {KICK: "X.........X.....", SNARE: "....X..g...gX..g", CHH: "x.x.x.x.x.x.x.x."}),
                  line("4/4", "0-------2-------|0-------3-------"), 38, hits("4/4", "x---------------", 0.6), 88,
                  "minor", key=2, fmt="stf"))
    s.append(song("jungle_170", "fast", "4/4", 170,
                  kit("4/4", {KICK: "X.X.......X.....|..X.......X.x...", SNARE: "....X..g.g..X..g|.g..X..g....X.g.",
                              CHH: "x.x.x.x.x.x.x.x.", RIDE: "x...x...x...x..."}),
                  line("4/4", "0---------------|2-------0-------"), 38, hits("4/4", "x---------------", 0.5), 49,
                  MINOR_VAMP, key=-1))
    s.append(song("punk_polka_196", "fast", "4/4", 196,
                  kit("4/4", {KICK: "x.x.x.x.", SNARE: ".X.X.X.X", CRASH: "x.x.x.x."}),
                  line("4/4", "00000000"), 34, hits("4/4", "xxxxxxxx"), 30, "pop", key=4, fmt="22f", crash=False))
    s.append(song("bebop_200", "fast", "4/4", 200,
                  kit("4/4", {RIDE: "X..x.xX..x.x", PHH: "...x.....x..", KICK: "g.....g.....",
                              SNARE: "............|.....x......|............|..x.....x..."}),
                  line("4/4", "0123|3210|0213|2310"), 32, hits("4/4", "...x....|......x.|.x......|....x..."), 0, "jazz",
                  key=-2, swing=True, kit=32, melody=65, mel_rhythm=[240, 240, 240, 480]))
    s.append(song("bluegrass_184", "fast", "4/4", 184, None,
                  line("4/4", "0-2-"), 32, hits("4/4", ".x.x"), 25, "celtic", key=0, melody=40,
                  mel_rhythm=[240, 240, 480], fmt="22",
                  layers=[tones_layer("4/4", 105, "02313023|13020231")]))
    s.append(song("thrash_188", "fast", "4/4", 188,
                  kit("4/4", {KICK: "x.xxx.xx", SNARE: "..X...X.", RIDE: "x.x.x.x."}),
                  line("4/4", "00000000"), 34, hits("4/4", "XoxoXoxoXoxoXoxo", 0.9), 30, "minor", key=-5, fmt="16"))
    return s


def _slow():
    s = []
    s.append(song("soul_ballad_64", "slow", "4/4", 64,
                  kit("4/4", {KICK: "x.....x..x..", SNARE: "...X.....X..", CHH: "xooxooxooxoo"}),
                  line("4/4", "0-----2--3--"), 33, hits("4/4", "x-----x-----"), 4, SOUL, key=0, melody=65,
                  layers=[chord_layer("4/4", 48, "x-----------", scale=0.6)]))
    s.append(song("lofi_70", "slow", "4/4", 70,
                  late(kit("4/4", {KICK: "X......x..x.....", SNARE: "....X.......X...", CHH: "xgogxgogxgogxgog"}),
                       SNARE, 25),
                  line("4/4", "0-----..2---..1-"), 33, hits("4/4", "x-------..x-----", 0.8), 4, SOUL, key=-2,
                  swing=(240, 0.62), human=6, melody=11, fmt="22"))
    s.append(song("gospel_12-8_62", "slow", "12/8", 62,
                  kit("12/8", {KICK: "x.....x.....", SNARE: "...X.....X..", CHH: "xooxooxooxoo"}),
                  line("12/8", "0--0-.2--3-."), 33, hits("12/8", "Xoo" * 4), 0, GOSPEL, key=-3, melody=52,
                  mel_rhythm=[240, 480, 720], layers=[chord_layer("12/8", 16, "x-----x-----", scale=0.6)]))
    s.append(song("slowblues_12-8_66", "slow", "12/8", 66,
                  kit("12/8", {KICK: "x.....x..x..", SNARE: "...x.....x..", RIDE: "x.xx.xx.xx.x"}),
                  line("12/8", "0..1..2..3.."), 33, hits("12/8", "x-----x-----", 0.6), 16, "blues", key=2, melody=29,
                  fmt="stf"))
    s.append(song("triphop_68", "slow", "4/4", 68,
                  kit("4/4", {KICK: "X.....x.x.......", SNARE: "....X.......X...", CHH: "x.x.x.x.x.x.x.x."}),
                  line("4/4", "0-------..2-.1--"), 38, hits("4/4", "x---------------", 0.6), 48, "minor", key=1,
                  human=4, melody=0, mel_rhythm=[480, 720, 960]))
    s.append(song("rnb_slowjam_60", "slow", "4/4", 60,
                  kit("4/4", {KICK: "X..x......x..x..", CLAP: "....X.......X...", CHH: "xgxgxgxgxgxgxgxg"}),
                  line("4/4", "0-----.0..2-----"), 38, hits("4/4", "x-------x-------", 0.7), 5, SOUL, key=3,
                  fmt="16f", layers=[chord_layer("4/4", 89, "x---------------", 12, 0.5)]))
    return s


def _no_drums():
    s = []
    s.append(song("piano_montuno_104_nodrums", "no-drums", "4/4", 104, None,
                  line("4/4", "...2--0-"), 32, hits("4/4", ".xx.x.xx|x.xx.x.x"), 0, LATIN, key=0, fmt="stf",
                  layers=[tones_layer("4/4", 0, "0.2.3.20|.3.2.0.2", octave=24, vel=72)]))
    s.append(song("guitar_arpeggio_76_nodrums", "no-drums", "4/4", 76, None,
                  line("4/4", "0-------2-------"), 24, "arp44", 24, "pop", key=-1, arp_step=120))
    s.append(song("strings_ostinato_120_nodrums", "no-drums", "4/4", 120, None,
                  line("4/4", "0-0-2-2-"), 42, hits("4/4", "x-------", 0.6), 48, "minor", key=0, fmt="22",
                  layers=[tones_layer("4/4", 48, "A.2A.2A.B.2B.2B.", vel=66)]))
    s.append(song("organ_hymn_84_nodrums", "no-drums", "4/4", 84, None,
                  line("4/4", "0---"), 19, hits("4/4", "x---x---"), 19, GOSPEL, key=2, melody=19,
                  mel_rhythm=[480, 960], fmt="16"))
    s.append(song("synth_arp_118_nodrums", "no-drums", "4/4", 118, None,
                  line("4/4", "0-------0---2---"), 38, hits("4/4", "x---------------", 0.6), 89, MINOR_VAMP, key=-4,
                  fmt="stf", layers=[tones_layer("4/4", 81, "A12B12C1A12B12C1", vel=64)]))
    s.append(song("marimba_12-8_72_nodrums", "no-drums", "12/8", 72, None,
                  line("12/8", "0--2--0--3--"), 32, hits("12/8", "x.x.x.x.x.x."), 12, "celtic", key=0, melody=11,
                  mel_rhythm=[720, 720, 1440]))
    return s


def _odd_meter():
    s = []
    s.append(song("jazz_5-4_168", "odd-meter", "5/4", 168,
                  kit("5/4", {RIDE: "X..x.xx..x.xx..", PHH: "......x........", SNARE: "...........x..x"}),
                  line("5/4", "0--2-"), 32, hits("5/4", "x..x..x..."), 0, "minor", key=-2, swing=True, kit=32,
                  melody=65))
    s.append(song("rock_5-4_132", "odd-meter", "5/4", 132,
                  kit("5/4", {KICK: "X...x.x...", SNARE: "..X.....X.", CHH: "xoxoxoxoxo"}),
                  line("5/4", "0000220022"), 33, hits("5/4", "x-x-x-x-x-"), 29, "pop", key=2, fmt="22"))
    s.append(song("funk_5-4_100", "odd-meter", "5/4", 100,
                  kit("5/4", {KICK: "X..x......x..x......", SNARE: "....X..g....X..g..g.", CHH: "xoxoxoxoxoxoxoxoxoxo"}),
                  line("5/4", "0..0..3...2.0...1.0."), 36, hits("5/4", "..x...x...x.x...x..."), 7, VAMP, key=0,
                  fmt="stf"))
    s.append(song("piano_5-4_96_nodrums", "odd-meter", "5/4", 96, None,
                  line("5/4", "0--2-"), 0, "arp44", 0, "pop", key=-3, fmt="16f"))
    s.append(song("rock_6-4_120", "odd-meter", "6/4", 120,
                  kit("6/4", {KICK: "X.x...X.x...", SNARE: "....X.....X.", CHH: "xoxoxoxoxoxo"}),
                  line("6/4", "0.0.2.0.0.2."), 33, hits("6/4", "xxxxxx"), 29, "minor", key=0))
    s.append(song("folk_6-4_108", "odd-meter", "6/4", 108,
                  kit("6/4", {TAMB: "x.o.o.x.o.o.", LTOM: "x.....x....."}),
                  line("6/4", "0--2--"), 32, hits("6/4", "Xxxxxx"), 25, "celtic", key=-1, melody=73, crash=False,
                  fmt="mono"))
    return s


def _tempo_change():
    funk = kit("4/4", {KICK: "X..x...x..x..x..", SNARE: "....X..g.g..X..g", CHH: "ogXgogXgogXgogXg"})
    swing = kit("4/4", {RIDE: "X..x.xX..x.x", PHH: "...x.....x..", KICK: "g..g..g..g.."})
    s = []
    s.append(song("stepup_pop_96_120", "tempo-change", "4/4", 96, "pop", "rootfifth", 33, "quarters", 0, "pop",
                  key=1, melody=73, tempo=[(14, 120)], bars=26))
    s.append(song("stepdown_funk_124_98", "tempo-change", "4/4", 124, funk, line("4/4", "0-.0..3.0-..2.1."), 36,
                  hits("4/4", "..x..x.X..x..x.X"), 7, VAMP, key=-2, tempo=[(16, 98)], bars=28, fmt="22"))
    s.append(song("accel_2-4_84_128", "tempo-change", "2/4", 84, kit("2/4", {KICK: "x.x.", SNARE: ".o.o"}),
                  line("2/4", "0.2."), 33, hits("2/4", ".x.x"), 21, ANDALUSIAN, key=2, chord_bars=2, melody=71,
                  ramp=(8, 48, 128), bars=56, crash=False, fmt="stf"))
    s.append(song("rit_bossa_120_92", "tempo-change", "4/4", 120, "bossa", "bossa", 32, "bossa", 24, "jazz", key=-3,
                  melody=73, ramp=(20, 28, 92), bars=30))
    s.append(song("steps_rock_110_146_110", "tempo-change", "4/4", 110, "rock", "eighths", 34, "eighths", 29, "minor",
                  key=3, tempo=[(10, 146), (22, 110)], bars=30, fmt="16f"))
    s.append(song("swing_ramp_132_176", "tempo-change", "4/4", 132, swing, "walking", 32, "charleston", 0, "jazz",
                  key=1, swing=True, kit=32, melody=66, ramp=(6, 30, 176), bars=36))
    return s


def _dense():
    s = []
    s.append(song("bigband_144", "dense", "4/4", 144,
                  kit("4/4", {RIDE: "X..x.xX..x.x", PHH: "...x.....x..", KICK: "g..g..g..g..",
                              SNARE: "............|.....x......|............|..x..X......"}),
                  line("4/4", "0123|3210"), 32, hits("4/4", "x..x....|..x..x.."), 0, "jazz", key=-2, swing=True,
                  kit=32, layers=[chord_layer("4/4", 65, "x-------|x-------", 12, 0.8),
                                  chord_layer("4/4", 56, "...x..x.|x.......|......X.|..X..X..", 12),
                                  tones_layer("4/4", 57, "0---2---|3---2---", 0, 78),
                                  chord_layer("4/4", 26, "oooo", 0, 0.8)]))
    s.append(song("salsa_184", "dense", "4/4", 184,
                  kit("4/4", {CLAVES: "..x.x...|x..x..x.", COWBELL: "X.x.X.x.", HTIMB: "x.xx.x.x|x.x.xx.x",
                              MCONGA: "g.x.g.x.", OCONGA: "......XX", GUIRO: "x.oox.oo"}),
                  line("4/4", "...2--0-"), 32, hits("4/4", ".xx.x.xx|x.xx.x.x"), 0, LATIN, key=-1, crash=False,
                  layers=[chord_layer("4/4", 56, "........|.X..X...|........|X..x..X.", 12),
                          chord_layer("4/4", 57, "........|...x..x.|........|.x..x...", 0)]))
    s.append(song("orchestral_march_2-4_112", "dense", "2/4", 112,
                  kit("2/4", {KICK: "X.......", CRASH: "....x...", SNARE: "X.xxX.x."}),
                  line("2/4", "0.2."), 58, hits("2/4", ".x.x"), 60, "pop", key=3, kit=48, melody=56, crash=False,
                  layers=[chord_layer("2/4", 48, "x-------", 12, 0.6), tones_layer("2/4", 47, "0...2...", -12, 90)]))
    s.append(song("disco_strings_120", "dense", "4/4", 120,
                  kit("4/4", {KICK: "X...x...x...x...", CLAP: "....X.......X...", OHH: "..x...x...x...x.",
                              CHH: "g.g.g.g.g.g.g.g."}),
                  line("4/4", "0.3.0.3.0.3.0.3."), 33, hits("4/4", ".x.x.x.x.x.x.x.x", 0.6), 28, "pop", key=2,
                  layers=[chord_layer("4/4", 48, "x-----x.....x-x.", 12, 0.8),
                          chord_layer("4/4", 61, "......x.........|..............x.", 12)]))
    s.append(song("funk_horns_102", "dense", "4/4", 102,
                  kit("4/4", {KICK: "X..x...x..x..x..", SNARE: "....X..g.g..X..g", CHH: "ogXgogXgogXgogXg"}),
                  line("4/4", "0..0..3.0...2.1."), 33, hits("4/4", "..x..x.X..x..x.X"), 7, VAMP, key=3, fmt="22f",
                  layers=[chord_layer("4/4", 61, "...X..X.....X...|X.....X.......x.", 12),
                          tones_layer("4/4", 66, "..0.2..3|.3.2.0..", 12, 82),
                          chord_layer("4/4", 49, "x-------", 12, 0.5),
                          drums_layer("4/4", {MCONGA: "..x...x...x...x.", OCONGA: ".......X.......X"})]))
    s.append(song("motown_strings_96", "dense", "4/4", 96,
                  kit("4/4", {SNARE: "XxXx", TAMB: ".x.x", KICK: "x.x.x..x"}),
                  line("4/4", "0..2..3.0.2..1.."), 33, hits("4/4", "xxxx", 0.8), 0, SOUL, key=-1,
                  layers=[chord_layer("4/4", 48, "x-------", 12, 0.7),
                          chord_layer("4/4", 61, "..x...x.|......x.", 12),
                          tones_layer("4/4", 67, "0...2...", -12, 80)]))
    return s


SONGS = _syncopated() + _swing() + _dotted() + _fast() + _slow() + _no_drums() + _odd_meter() + _tempo_change() + _dense()


def half_of(songs=SONGS):
    """The fixed split: in each family, songs sorted by name go tuning, heldout, tuning, ..."""
    halves = {}
    for family in sorted({s["family"] for s in songs}):
        names = sorted(s["name"] for s in songs if s["family"] == family)
        for i, name in enumerate(names):
            halves[name] = "tuning" if i % 2 == 0 else "heldout"
    return halves
