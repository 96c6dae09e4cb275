"""Music as played: a composed MIDI song made to sound performed.

- the tempo drifts slowly (a few percent, over tens of beats), and the beat times
  follow it: a new tempo map with one entry per beat, the song's own steps and ramps
  kept underneath;
- every note lands off its grid by a few milliseconds (a per-song spread of 8-12 ms);
- velocities vary around the written ones.

perform() returns the new MIDI file and tempo map; the annotations are the beat ticks
read through the new map (midi_songs.tick_seconds), so they follow the drift but not
the per-note jitter, as a listener's taps would.
"""

import math

import mido

from midi_songs import TPQ


def _absolute(track):
    now, out = 0, []
    for msg in track:
        now += msg.time
        out.append((now, msg))
    return out


def _tempo_at(tempo_map, tick):
    tempo = tempo_map[0][1]
    for t, tp in tempo_map:
        if t > tick:
            break
        tempo = tp
    return tempo


def drift_curve(rng, beats, depth):
    """Tempo factor per beat: two slow sines of random period and phase, peak near depth."""
    p1, p2 = rng.uniform(24, 64), rng.uniform(8, 16)
    f1, f2 = rng.uniform(0, 2 * math.pi), rng.uniform(0, 2 * math.pi)
    return [1.0 + depth * (0.75 * math.sin(2 * math.pi * k / p1 + f1) + 0.25 * math.sin(2 * math.pi * k / p2 + f2))
            for k in range(beats)]


def perform(mid, tempo_map, beat_step, rng, depth=None, jitter_ms=None, velocity_spread=0.12):
    """(MidiFile, tempo map, settings) of the song played: beat_step is the beat in ticks."""
    depth = rng.uniform(0.03, 0.05) if depth is None else depth
    jitter_ms = rng.uniform(8.0, 12.0) if jitter_ms is None else jitter_ms
    events = [(t, m) for t, m in _absolute(mid.tracks[0]) if not (m.is_meta and m.type == "set_tempo")]
    end = max(t for t, _ in events)
    beats = end // beat_step + 2
    curve = drift_curve(rng, beats, depth)
    new_map = [(k * beat_step, int(round(_tempo_at(tempo_map, k * beat_step) / curve[k]))) for k in range(beats)]

    def ticks_per_ms(tick):
        return TPQ * 1000.0 / _tempo_at(new_map, tick)

    out, shifts = [], {}
    for t, m in events:
        if m.type == "note_on" and m.velocity > 0:
            shift = int(round(max(-2.5, min(2.5, rng.standard_normal())) * jitter_ms * ticks_per_ms(t)))
            shifts[(m.channel, m.note)] = shift
            vel = int(round(m.velocity * math.exp(velocity_spread * rng.standard_normal())))
            out.append((max(0, t + shift), 2, m.copy(velocity=max(1, min(127, vel)))))
        elif m.type == "note_off" or (m.type == "note_on" and m.velocity == 0):
            out.append((max(0, t + shifts.pop((m.channel, m.note), 0)), 1, m))
        else:
            out.append((t, 0, m))
    out += [(t, 0, mido.MetaMessage("set_tempo", tempo=tp)) for t, tp in new_map]
    played = mido.MidiFile(type=0, ticks_per_beat=mid.ticks_per_beat)
    track = mido.MidiTrack()
    played.tracks.append(track)
    now = 0
    for t, _, m in sorted(out, key=lambda e: (e[0], e[1])):
        if m.is_meta and m.type == "end_of_track":
            continue
        track.append(m.copy(time=t - now))
        now = t
    track.append(mido.MetaMessage("end_of_track", time=4 * TPQ))
    return played, new_map, {"drift": round(depth, 3), "jitter_ms": round(jitter_ms, 1)}
