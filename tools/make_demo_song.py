#!/usr/bin/env python3
"""Writes the demo song: an original piece on three channels, with notes at the very
start, a bank select, the sustain pedal and a tempo change (120, then 140 beats a
minute). The whole piece is 32 beats, about 15 seconds; the demo plays its first 16
beats, about 7.4 seconds, so the loop turns at the song's end within the demo.

usage: make_demo_song.py OUTPUT.mid [BEATS]
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import smf  # noqa: E402

Q = 480  # ticks per quarter note

# Melody in C major, as (beat, key, beats held); original, written for this demo.
MELODY = [
    (0, 72, 1), (1, 76, 1), (2, 79, 1.5), (3.5, 77, 0.5), (4, 76, 1), (5, 74, 1), (6, 72, 2),
    (8, 74, 1), (9, 77, 1), (10, 81, 1.5), (11.5, 79, 0.5), (12, 77, 1), (13, 76, 1), (14, 74, 2),
    (16, 76, 1), (17, 79, 1), (18, 84, 2), (20, 83, 1), (21, 81, 1), (22, 79, 2),
    (24, 77, 1), (25, 76, 1), (26, 74, 1), (27, 71, 1), (28, 72, 4),
]
# Bass line: one note a bar.
BASS = [(0, 48), (4, 45), (8, 50), (12, 43), (16, 48), (20, 45), (24, 41), (28, 48)]
# Chords under the pedal: (beat, keys).
CHORDS = [(0, (60, 64, 67)), (4, (57, 60, 64)), (8, (62, 65, 69)), (12, (55, 59, 62)),
          (16, (60, 64, 67)), (20, (57, 60, 64)), (24, (53, 57, 60)), (28, (55, 60, 64))]


def tick(beat):
    return int(round(beat * Q))


def demo_tracks(beats=32):
    """The song's first `beats` beats (a multiple of 4), as tools/smf.py writes them, at
    Q ticks a quarter note."""
    conductor = [(0, smf.tempo(500000)), (tick(8), smf.tempo(428571))]  # 120, then 140 bpm
    melody = [(0, smf.control(0, 0, 0)), (0, smf.program(0, 0)), (0, smf.control(0, 7, 110))]
    for beat, key, held in MELODY:
        melody += [(tick(beat), smf.note_on(0, key, 100)), (tick(beat + held) - 1, smf.note_off(0, key))]
    bass = [(0, smf.control(1, 0, 1)), (0, smf.program(1, 32))]
    for beat, key in BASS:
        bass += [(tick(beat), smf.note_on(1, key, 90)), (tick(beat + 3.5), smf.note_off(1, key))]
    chords = [(0, smf.program(2, 48))]
    for beat, keys in CHORDS:
        chords.append((tick(beat), smf.control(2, 64, 127)))
        chords += [(tick(beat), smf.note_on(2, key, 60)) for key in keys]
        chords += [(tick(beat + 1), smf.note_off(2, key)) for key in keys]
        chords.append((tick(beat + 4) - 10, smf.control(2, 64, 0)))
    end = tick(beats)
    # Every channel's notes end with the song: none starts at its end, and each channel
    # playing notes hears all notes off there.
    melody.append((end, smf.control(0, 123, 0)))
    bass.append((end, smf.control(1, 123, 0)))
    chords.append((end, smf.control(2, 123, 0)))
    return [[(t, m) for t, m in track if t < end or (t == end and not starts_a_note(m))]
            for track in (conductor, melody, bass, chords)]


def starts_a_note(message):
    return message[0] & 0xF0 == 0x90 and message[2] > 0


def whole_bars(text):
    beats = int(text)
    if beats <= 0 or beats % 4 != 0:
        raise argparse.ArgumentTypeError("a whole number of 4-beat bars, such as 16 or 32")
    return beats


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("output", metavar="OUTPUT.mid", help="the MIDI file to write")
    parser.add_argument("beats", metavar="BEATS", type=whole_bars, nargs="?", default=32,
                        help="how many beats of the piece to write, from its start: a multiple "
                             "of 4 up to 32 (default 32, about 15 s; 16 is about 7.4 s)")
    args = parser.parse_args()
    with open(args.output, "wb") as out:
        out.write(smf.midi_file(demo_tracks(args.beats), Q, running_status=True))


if __name__ == "__main__":
    main()
