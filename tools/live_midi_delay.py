#!/usr/bin/env python3
"""Measures how long live MIDI takes from quillctl's command to the instrument, under a
Wine session with the stand-ins, for the stand-ins' default request profile (10 ms a
request) and the device profile (the playback buffer first, then one update period a
request) at the library's default latency (500 ms buffer, 100 ms period) and at the
smallest (`latency 5 5`: the device's smallest buffer plus 5 ms, 5 ms period). Prints
the smallest, median and largest delay of 20 notes for each.

Run, after scripts/build, with the end-to-end tests' environment:
  scripts/wine_session.sh start /tmp/qb
  QB_SESSION_DIR=/tmp/qb QB_WIDTH=64 QB_BUILD_DIR=$PWD/build/win64 QB_DIST_DIR=$PWD/build/dist \\
      PYTHONPATH=tests/e2e python3 tools/live_midi_delay.py
"""
import os
import re
import tempfile

import qbtest
import smf

NOTES = 20


def measure(profile, latency):
    handle, path = tempfile.mkstemp(suffix=".mid", dir=qbtest.SESSION_DIR)
    with os.fdopen(handle, "wb") as out:
        out.write(smf.midi_file([[(0, smf.note_on(0, 60, 100)), (960 * 30, smf.note_off(0, 60))]],
                                480, False))
    sends = []
    for i in range(NOTES):
        sends += ["midi", "90", "%02X" % (40 + i), "64", "wait", "0.137"]
    try:
        run = qbtest.quillctl(*latency, "plugin", qbtest.build_path("instruments", "qb_synth.dll"), "song",
                              qbtest.windows_path(path), "play", "wait", "1", *sends, "wait", "0.5",
                              "quit", extra_env=profile)
    finally:
        os.remove(path)
    sent = [float(t) for t in re.findall(r"midi: \d+ bytes sent at ([\d.]+) ms", run.output)]
    arrived = [float(m.group(1)) for m in
               (re.search(r"BASS_VST_ProcessEventRaw .* at=([\d.]+)", line) for line in run.trace) if m]
    if len(sent) != NOTES or len(arrived) != NOTES:
        raise SystemExit("expected %d notes, sent %d, arrived %d:\n%s" % (NOTES, len(sent), len(arrived), run))
    return sorted(a - s for a, s in zip(arrived, sent))


def main():
    device = {"QB_REQUEST_PROFILE": "device"}
    for name, profile, latency in (
            ("default profile (10 ms a request)", {}, ()),
            ("device profile, default latency (100 ms a request)", device, ()),
            ("device profile, smallest latency (5 ms a request)", device, ("latency", "5", "5"))):
        delays = measure(profile, latency)
        print("%s-bit, %s: min %.1f ms, median %.1f ms, max %.1f ms" % (
            qbtest.WIDTH, name, delays[0], delays[len(delays) // 2], delays[-1]))


if __name__ == "__main__":
    main()
