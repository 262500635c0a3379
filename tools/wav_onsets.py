"""Reads a WAV file of our own (32-bit float or 16-bit PCM, plain or extensible) and
finds where notes start in the audio itself, for checking that a rendered song's notes
sit at the samples its MIDI file gives them.

A test instrument's note is a sine that starts at phase 0, so it adds nothing at its
first sample and a step of its slope right after: the second difference of the signal
has a lone spike exactly there (a note one sample early or late leaves almost nothing
there), while sounding notes change it only slowly. `onset_near` looks for that spike
where a note is expected."""
import array
import struct
import sys


def read_wav(path):
    """(sample rate, channels, the first channel's samples as floats in -1..1)."""
    with open(path, "rb") as wav:
        data = wav.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError("%s is not a WAV file" % path)
    at, fmt, samples = 12, None, None
    while at + 8 <= len(data):
        kind, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        body = data[at + 8:at + 8 + size]
        if kind == b"fmt ":
            fmt = list(struct.unpack("<HHIIHH", body[:16]))
            if fmt[0] == 0xFFFE and len(body) >= 26:  # extensible: the sub-format's code
                fmt[0] = struct.unpack("<H", body[24:26])[0]
        elif kind == b"data":
            samples = body
        at += 8 + size + (size & 1)
    if fmt is None or samples is None:
        raise ValueError("%s has no format or no data" % path)
    code, channels, rate, _, _, bits = fmt
    if code == 3 and bits == 32:
        values = array.array("f", samples[:len(samples) // 4 * 4])
        scale = 1.0
    elif code == 1 and bits == 16:
        values = array.array("h", samples[:len(samples) // 2 * 2])
        scale = 1.0 / 32768
    else:
        raise ValueError("%s: format %d with %d bits is not read here" % (path, code, bits))
    if sys.byteorder != "little":
        values.byteswap()
    return rate, channels, [v * scale for v in values[::channels]]


def second_difference(samples, index):
    """Before the file's start there is silence."""
    if index < 0 or index + 1 >= len(samples):
        return 0.0
    return samples[index + 1] - 2 * samples[index] + (samples[index - 1] if index else 0.0)


def onset_near(samples, frame, window=96, margin=3.0, also=()):
    """The sample within `window` of `frame` where a note starts: `frame` itself when its
    second difference stands out `margin` times above every other there (but for its
    neighbours and those of the onsets in `also`, which may start notes too), else the
    sample whose second difference is largest; None in silence."""
    low, high = max(0, frame - window), min(len(samples) - 1, frame + window + 1)
    near = {f + d for f in set(also) | {frame} for d in (-1, 0, 1)}
    others = [abs(second_difference(samples, i)) for i in range(low, high) if i not in near]
    here = abs(second_difference(samples, frame))
    if here > 0 and here > margin * max(others, default=0.0):
        return frame
    spikes = [(abs(second_difference(samples, i)), i) for i in range(low, high)]
    best = max(spikes, default=(0.0, None))
    return best[1] if best[0] > 0 else None


def misplaced_onsets(samples, frames, window=96):
    """The (expected frame, found frame or None) of each note that does not start
    exactly at its frame."""
    expected = sorted(set(frames))
    return [(frame, found) for frame in expected
            for found in [onset_near(samples, frame, window,
                                     also=[f for f in expected if abs(f - frame) <= window + 1])]
            if found != frame]


def main():
    if len(sys.argv) < 3:
        print("usage: wav_onsets.py FILE.wav FRAME...  (prints where each note starts)")
        return 2
    _, _, samples = read_wav(sys.argv[1])
    for frame in map(int, sys.argv[2:]):
        print(frame, onset_near(samples, frame))
    return 0


if __name__ == "__main__":
    sys.exit(main())
