#!/usr/bin/env python3
"""Measures how late the host's notifications come after the library reports a note heard,
under a Wine session with the stand-ins, for the stand-ins' default request profile
(10 ms a request) and the device profile (100 ms a request). Prints the smallest, median
and largest lateness of 100 notes for each, as the host measures it when it posts them.

Run, after scripts/build, with the end-to-end tests' environment:
  scripts/wine_session.sh start /tmp/qb
  QB_SESSION_DIR=/tmp/qb QB_WIDTH=64 QB_BUILD_DIR=$PWD/build/win64 QB_DIST_DIR=$PWD/build/dist \\
      PYTHONPATH=tests/e2e python3 tools/watch_lateness.py
"""
import os
import re
import tempfile

import qbtest
import smf

NOTES = 100
TICKS_APART = 48  # 50 ms at division 480 and 120 beats a minute


def measure(profile):
    handle, path = tempfile.mkstemp(suffix=".mid", dir=qbtest.SESSION_DIR)
    with os.fdopen(handle, "wb") as out:
        out.write(smf.midi_file([[(TICKS_APART * (i + 1), smf.note_on(0, 40 + i % 40, 100))
                                  for i in range(NOTES)]], 480, False))
    try:
        run = qbtest.quillctl("plugin", qbtest.build_path("instruments", "qb_synth.dll"), "song",
                              qbtest.windows_path(path), "watch", "notes", "play", "wait", "5.6",
                              "quit", trace=False, extra_env=profile)
    finally:
        os.remove(path)
    late = sorted(int(m) for m in re.findall(r"^heard note: .* (-?\d+) ms late$", run.output, re.M))
    if len(late) < NOTES:
        raise SystemExit("expected %d notes, heard %d:\n%s" % (NOTES, len(late), run))
    return late


def main():
    for name, profile in (("default profile (10 ms a request)", {}),
                          ("device profile (100 ms a request)", {"QB_REQUEST_PROFILE": "device"})):
        late = measure(profile)
        print("%s-bit, %s: min %d ms, median %d ms, max %d ms" % (
            qbtest.WIDTH, name, late[0], late[len(late) // 2], late[-1]))


if __name__ == "__main__":
    main()
