"""The grooves section: plain drum grooves of about 30 s at 80-194 BPM, drums only.

Styles (4/4, the quarter note is the beat): rock (kick on 1 and 3, snare on 2 and 4,
closed hat on the off-beats only), disco (four on the floor, open hat on the
off-beats), half-time (snare on 3), shuffle (triplet hats), house (kick on the
beats, open hat on the off-beats, nothing else), motown (snare on every beat),
funk (16th hats, ghost snares, a syncopated kick) and dembow (kick on the beats,
snare 3+3+2). Each style is played at ten tempi spread over 80-194 BPM.

The split is fixed like the hard section's: within a style, grooves sorted by name
go tuning, heldout, tuning, ... (half_of).
"""

from hard_songs import CLAP, CHH, KICK, OHH, SNARE, kit, song

SECONDS = 30
TEMPI = 10

STYLES = {
    "rock": {KICK: "x.......x.......", SNARE: "....X.......X...", CHH: "..x...x...x...x."},
    "disco": {KICK: "X...x...x...x...", CLAP: "....x.......x...", OHH: "..x...x...x...x.",
              CHH: "o...o...o...o..."},
    "halftime": {KICK: "X.........x.....", SNARE: "........X.......", CHH: "x.x.x.x.x.x.x.x."},
    "shuffle": {KICK: "X.....x.....", SNARE: "...X.....X..", CHH: "x.ox.ox.ox.o"},
    "house": {KICK: "X...x...x...x...", OHH: "..x...x...x...x."},
    "motown": {KICK: "x.......x.x.....", SNARE: "x...x...x...x...", CHH: "..o...o...o...o."},
    "funk": {KICK: "X.....x...x..x..", SNARE: "....X..g.g..X..g", CHH: "xoxoxoxoxoxoxoxo"},
    "dembow": {KICK: "X...x...x...x...", SNARE: "...x..x....x..x."},
}


def _tempo(style_index, k):
    """Ten tempi over 80-194 BPM, shifted a little per style so that styles do not share them."""
    return int(round(80 + (194 - 80) * (k + 0.37 * (style_index % 3) / 3.0) / (TEMPI - 1 + 0.37)))


def _songs():
    out = []
    for si, (style, lines) in enumerate(sorted(STYLES.items())):
        for k in range(TEMPI):
            bpm = _tempo(si, k)
            s = song("groove_%s_%03d" % (style, bpm), style, "4/4", bpm, kit("4/4", lines), [], 33, [], 0,
                     [(48, "maj")], crash=False, human=0)
            s["bars"] = int(round(SECONDS * bpm / 60.0 / 4))
            out.append(s)
    return out


SONGS = _songs()


def half_of(songs=SONGS):
    halves = {}
    for family in sorted({s["family"] for s in songs}):
        for i, name in enumerate(sorted(s["name"] for s in songs if s["family"] == family)):
            halves[name] = "tuning" if i % 2 == 0 else "heldout"
    return halves
