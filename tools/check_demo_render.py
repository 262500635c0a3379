#!/usr/bin/env python3
"""Checks a rendering of the demo song: every note found in the audio itself starts at
the sample the song gives it (the check the demo makes on the trace, made on the file).

usage: check_demo_render.py RENDER.wav [BEATS [PASSES]]   (BEATS as given to make_demo_song.py)
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_demo_song  # noqa: E402
import smf  # noqa: E402
import wav_onsets  # noqa: E402


def main():
    if len(sys.argv) not in (2, 3, 4):
        print(__doc__.strip().splitlines()[-1])
        return 2
    beats = int(sys.argv[2]) if len(sys.argv) > 2 else 32
    passes = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    rate, channels, samples = wav_onsets.read_wav(sys.argv[1])
    if (rate, channels) != (48000, 2):
        print("%s: %d Hz, %d channels instead of 48000 Hz stereo" % (sys.argv[1], rate, channels))
        return 1
    events = smf.expected_events(make_demo_song.demo_tracks(beats), make_demo_song.Q)
    # Each pass starts right after the frame of the song's last event.
    pass_frames = events[-1][3] // 8 + 1
    onsets = sorted({number * pass_frames + pos // 8 for number in range(passes)
                     for kind, param, _, pos in events if kind == 1 and param >> 8})
    wrong = wav_onsets.misplaced_onsets(samples, onsets)
    for expected, found in wrong:
        print("a note due at sample %d starts at %s" % (expected, found))
    print("%s: %d note onsets found in the audio, %d of them at the song's sample"
          % (sys.argv[1], len(onsets), len(onsets) - len(wrong)))
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
