"""Playing with no usable instrument under Wine, in real time: the host stays near idle
instead of spinning, and an instrument loaded later plays the song from where it is."""
import os
import re
import time
import unittest

import qbtest
import smf
from qbtest import build_path

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
# Ten seconds of notes, one every 100 ms (120 bpm, 480 ticks a quarter: 96 ticks).
TRACKS = [[(i * 96, smf.note_on(0, 60 + i % 12, 100)) for i in range(100)] +
          [(i * 96 + 48, smf.note_off(0, 60 + i % 12)) for i in range(100)]]


def cpu_seconds(pid):
    with open("/proc/%s/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS  # utime + stime


def measure_cpu_share(commands, start=1.5, span=3.0):
    """Runs quillctl with `commands` in the background and gives the share of one core
    the host used from `start` to `start + span` seconds after it came up."""
    with qbtest.Background(*commands) as controller:
        pid = controller.host_pid()
        time.sleep(start)
        before = cpu_seconds(pid)
        time.sleep(span)
        share = (cpu_seconds(pid) - before) / span
    return share, controller.process.returncode, controller.output()


class NoInstrument(unittest.TestCase):
    def song(self):
        return qbtest.song_file(self, TRACKS)

    def test_playing_without_an_instrument_stays_near_idle(self):
        for name, commands in (
                ("none loaded", ["song", self.song(), "play", "wait", "6", "quit"]),
                ("load failed", ["plugin", build_path("instruments", "missing.dll"),
                                 "song", self.song(), "play", "wait", "6", "quit"])):
            with self.subTest(name):
                share, status, output = measure_cpu_share(commands)
                print("%s-bit host, %s: %.1f%% of one core" % (qbtest.WIDTH, name, share * 100))
                self.assertEqual(status, 0, output)
                # Spinning takes a whole core; a paced mixer takes a few per cent.
                self.assertLess(share, 0.25)

    def test_an_instrument_loaded_later_plays_from_the_current_position(self):
        run = qbtest.quillctl("song", self.song(), "play", "wait", "1.5",
                              "plugin", build_path("instruments", "qb_synth.dll"), "wait", "1", "quit")
        self.assertEqual(run.status, 0, run)
        played = run.trace[run.trace.index(next(l for l in run.trace if l.startswith("BASS_ChannelPlay"))):]
        sent = [tuple(int(v) for v in m.groups()) for m in
                (re.match(r"BASS_VST_ProcessEvent handle=\d+ chan=(\d+) event=(\d+) param=(\d+) "
                          r"rendered=(\d+) -> 1", line) for line in played) if m]
        # About a second's worth of notes, on and off, every 50 ms.
        self.assertGreater(len(sent), 10)
        self.assertLess(len(sent), 30)
        # They are a run from the middle of the song, each at its exact position
        # relative to the first one sent.
        expected = smf.expected_events(TRACKS)
        first = next(i for i, e in enumerate(expected)
                     if (e[0], e[1], e[2]) == (sent[0][1], sent[0][2], sent[0][0]))
        self.assertGreater(first, 0, "the song's first notes were passed over")
        for (chan, kind, param, rendered), (e_kind, e_param, e_chan, e_pos) in zip(
                sent, expected[first:]):
            self.assertEqual((kind, param, chan), (e_kind, e_param, e_chan))
            self.assertEqual(rendered - sent[0][3], e_pos - expected[first][3])


if __name__ == "__main__":
    qbtest.main()
