#!/usr/bin/env python3
"""Draws what the demo played: the captured waveform with every note's event marked,
and close-ups of a few notes showing that each starts exactly at its event. Also checks,
from the stand-ins' trace, that every note reached the instrument at the byte position
the demo song gives it, on every pass of the loop.

usage: plot_onsets.py CAPTURE.wav TRACE.txt OUTPUT.png [SECONDS]
Needs ImageMagick's convert for the PNG and its labels.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_demo_song  # noqa: E402
import smf  # noqa: E402
import trace_reader  # noqa: E402
import wav_onsets  # noqa: E402

RATE = 48000
WIDTH, OVERVIEW_HEIGHT, ZOOM_HEIGHT = 1200, 300, 220
BACKGROUND, WAVE, AXIS = (255, 255, 255), (70, 90, 110), (200, 200, 200)
CHANNEL_COLOURS = [(220, 60, 40), (40, 120, 220), (40, 160, 80)]
REWIND = (150, 0, 150)


def read_trace(path):
    """Note-ons handed over while playing, as (sample, channel, key, pass), and the
    samples where the loop went back."""
    with open(path) as trace:
        passes, starts = trace_reader.played_passes(trace.read().splitlines())
    notes = [((starts[number] + pos) // 8, chan, param & 0x7F, number)
             for number, events in enumerate(passes)
             for kind, param, chan, pos in events if kind == 1 and param >> 8]
    return notes, [start // 8 for start in starts[1:]]


def check_positions(notes, rewinds):
    """Compares each note's sample, counted from its pass's start, with the song."""
    expected = [(e[3] // 8, e[2], e[1] & 0x7F) for e in
                smf.expected_events(make_demo_song.demo_tracks(), make_demo_song.Q)
                if e[0] == 1 and e[1] >> 8]
    starts = [0] + rewinds
    worst, checked = 0, 0
    for number in range(len(starts)):
        played = [(s - starts[number], c, k) for s, c, k, p in notes if p == number]
        for got, want in zip(played, expected):
            if got[1:] != want[1:]:
                raise SystemExit("note out of order: %s instead of %s" % (got, want))
            worst = max(worst, abs(got[0] - want[0]))
            checked += 1
    return checked, worst


class Canvas:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.pixels = bytearray(bytes(BACKGROUND) * width * height)

    def dot(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            at = (y * self.width + x) * 3
            self.pixels[at:at + 3] = bytes(colour)

    def vline(self, x, y0, y1, colour, dashed=False):
        for y in range(min(y0, y1), max(y0, y1) + 1):
            if not dashed or (y // 4) % 2 == 0:
                self.dot(x, y, colour)

    def hline(self, x0, x1, y, colour):
        for x in range(x0, x1 + 1):
            self.dot(x, y, colour)


def draw_overview(canvas, left, seconds, notes, rewinds, labels):
    count = min(len(left), int(seconds * RATE))
    top = 52
    middle, half = top + (OVERVIEW_HEIGHT - top - 20) // 2, (OVERVIEW_HEIGHT - top - 30) // 2
    peak = max(max(abs(v) for v in left[:count]), 1e-9)
    canvas.hline(0, WIDTH - 1, middle, AXIS)
    for x in range(WIDTH):
        chunk = left[x * count // WIDTH:(x + 1) * count // WIDTH] or [0.0]
        canvas.vline(x, middle - int(max(chunk) / peak * half), middle - int(min(chunk) / peak * half), WAVE)
    for sample, channel, _key, _pass in notes:
        if sample < count:
            x = sample * WIDTH // count
            row = top - 32 + (channel % 3) * 10  # a row of ticks a channel
            for dx in (0, 1):
                canvas.vline(x + dx, row, row + 7, CHANNEL_COLOURS[channel % 3])
    for sample in rewinds:
        if sample < count:
            canvas.vline(sample * WIDTH // count, top - 34, OVERVIEW_HEIGHT - 10, REWIND, dashed=True)
            labels.append((sample * WIDTH // count + 4, OVERVIEW_HEIGHT - 14, "loop goes back to the start"))
    for second in range(int(seconds) + 1):
        x = min(second * RATE * WIDTH // count, WIDTH - 1)
        canvas.vline(x, OVERVIEW_HEIGHT - 8, OVERVIEW_HEIGHT - 2, AXIS)
        labels.append((x + 2, OVERVIEW_HEIGHT + 10, "%d s" % second))
    labels.append((6, 13, "captured output, %.1f s; ticks: note events (red melody, "
                          "blue bass, green chords)" % seconds))


def draw_zoom(canvas, left, x0, note, labels, span=96):
    """Samples from span before the note to span after, one sample every few pixels."""
    sample, channel, key, number = note
    width = WIDTH // 3 - 20
    top = OVERVIEW_HEIGHT + 30
    middle, half = top + ZOOM_HEIGHT // 2, ZOOM_HEIGHT // 2 - 10
    window = [left[i] if 0 <= i < len(left) else 0.0 for i in range(sample - span, sample + span)]
    peak = max(max(abs(v) for v in window), 1e-9)
    canvas.hline(x0, x0 + width, middle, AXIS)
    previous = None
    for i, value in enumerate(window):
        x, y = x0 + i * width // len(window), middle - int(value / peak * half)
        if previous:
            canvas.vline(x, previous[1], y, WAVE)
            for between in range(previous[0], x):
                canvas.dot(between, previous[1], WAVE)
        previous = (x, y)
    onset = x0 + span * width // len(window)
    canvas.vline(onset, top, top + ZOOM_HEIGHT, CHANNEL_COLOURS[channel % 3], dashed=True)
    labels.append((x0, top + ZOOM_HEIGHT + 14, "key %d at sample %d%s: 2 ms either side" %
                   (key, sample, ", after the loop" if number else "")))


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__.strip())
    wav, trace, output = sys.argv[1:4]
    left = wav_onsets.read_wav(wav)[2]
    seconds = float(sys.argv[4]) if len(sys.argv) == 5 else len(left) / RATE
    notes, rewinds = read_trace(trace)
    checked, worst = check_positions(notes, rewinds)
    print("%d notes played over %d pass(es); largest distance from the song's position: "
          "%d samples" % (checked, len(rewinds) + 1, worst))

    canvas = Canvas(WIDTH, OVERVIEW_HEIGHT + ZOOM_HEIGHT + 60)
    labels = []
    draw_overview(canvas, left, seconds, notes, rewinds, labels)
    # Close-ups: the song's first note, one from the middle of the first pass, and the
    # first after the loop went back.
    chosen = [notes[0], next(n for n in notes if n[0] > RATE), next((n for n in notes if n[3] == 1), notes[-1])]
    for i, note in enumerate(chosen):
        draw_zoom(canvas, left, 10 + i * WIDTH // 3, note, labels)

    ppm = b"P6 %d %d 255\n" % (canvas.width, canvas.height) + bytes(canvas.pixels)
    annotate = []
    for x, y, text in labels:
        annotate += ["-annotate", "+%d+%d" % (x, y), text]
    command = ["convert", "ppm:-", "-fill", "black", "-pointsize", "12"] + annotate + [output]
    if subprocess.run(command, input=ppm).returncode != 0:
        subprocess.run(["convert", "ppm:-", output], input=ppm, check=True)  # without labels
    print("picture: %s" % output)
    if worst != 0:
        sys.exit("some notes were not at their positions")


if __name__ == "__main__":
    main()
