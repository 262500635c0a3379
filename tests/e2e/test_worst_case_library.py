"""The host under Wine against stand-ins that play what the real audio libraries may
do: Stop and the frees return while a render call is still running, there is no
output device, the MIDI file has a second port. Also Play while the song plays."""
import re
import unittest

import qbtest
import smf
import trace_reader
from qbtest import build_path, quillctl

SLOW = build_path("instruments", "qb_synth_slow.dll")
SYNTH = build_path("instruments", "qb_synth.dll")
RESETS = (15, 17, 18)
EVENT = re.compile(r"BASS_VST_ProcessEvent handle=(\d+) chan=(\d+) event=(\d+) param=(\d+) ")
PULL = re.compile(r"BASS_ChannelGetData handle=(\d+) ")


def big_song(test, channel, low_key):
    """60,000 notes on one channel, a millisecond apart: a table of 1.2 MB, which the
    system gives back when it is released, so reading it afterwards faults."""
    notes = [(i, smf.note_on(channel, low_key + i % 30, 100 if i % 2 == 0 else 0))
             for i in range(60000)]
    return qbtest.song_file(test, [notes], division=500)  # a tick a millisecond


def sent(trace):
    """(line index, instrument, channel, event) of every event handed over."""
    return [(i, m.group(1), int(m.group(2)), int(m.group(3)))
            for i, m in ((i, EVENT.match(line)) for i, line in enumerate(trace)) if m]


class ALibraryThatDoesNotWait(unittest.TestCase):
    def test_commands_landing_inside_render_calls(self):
        first, second = big_song(self, 0, 30), big_song(self, 1, 70)
        rounds = []
        for _ in range(5):
            rounds += ["song", second, "play", "wait", "0.15", "song", first, "play",
                       "wait", "0.15", "stop", "song", second, "play", "wait", "0.1",
                       "plugin", SLOW, "wait", "0.1"]
        run = quillctl("plugin", SLOW, "song", first, "play", "wait", "0.2", *rounds, "quit",
                       extra_env={"QB_NO_WAIT": "1"})
        self.assertEqual(run.status, 0, run)
        self.assertEqual(len(re.findall(r"^song report: ", run.output, re.M)), 16)

        # Once LoadSong has returned (its last channel reset sent), only the new song's
        # channel is played, starting from its first note.
        events = sent(run.trace)
        loads = [i for i, line in enumerate(run.trace) if line.startswith("BASS_StreamCreate")]
        self.assertEqual(len(loads), 16)
        song_channels = [0] + [1, 0, 1] * 5
        for number, (created, channel) in enumerate(zip(loads, song_channels)):
            resets = [e for e in events if e[0] > created][:48]
            self.assertEqual([e[3] for e in resets], [15, 18, 17] * 16)
            until = loads[number + 1] if number + 1 < len(loads) else len(run.trace)
            played = [e for e in events if resets[-1][0] < e[0] < until and e[3] not in RESETS]
            self.assertTrue(played, "song %d played" % number)
            self.assertEqual({e[2] for e in played}, {channel}, "song %d" % number)
            key = int(run.trace[played[0][0]].split(" param=")[1].split()[0]) & 0x7F
            self.assertEqual(key, 30 if channel == 0 else 70, "song %d from its first note" % number)

        # A freed instrument is never pulled nor handed an event again.
        for i, line in enumerate(run.trace):
            freed = re.match(r"BASS_VST_ChannelFree handle=(\d+) -> 1", line)
            if freed and freed.group(1) != "0":
                later = [l for l in run.trace[i:] if (EVENT.match(l) or PULL.match(l)) and
                         (EVENT.match(l) or PULL.match(l)).group(1) == freed.group(1)]
                self.assertEqual(later, [], line)


class PlayingAgain(unittest.TestCase):
    def test_play_while_playing_starts_again_from_the_first_event(self):
        notes = [(i * 120, smf.note_on(i % 3, 60 + i % 12, 90)) for i in range(40)]
        notes += [(i * 120 + 60, smf.note_off(i % 3, 60 + i % 12)) for i in range(40)]
        song = qbtest.song_file(self, [notes])
        expected = smf.expected_events([notes])
        run = quillctl("plugin", SYNTH, "song", song, "play", "wait", "1.2", "play", "wait", "0.4",
                       "play", "wait", "1.5", "quit", extra_env={"QB_PERIOD_BYTES": "1208"})
        self.assertEqual(run.status, 0, run)
        passes, _ = trace_reader.played_passes(run.trace)
        # The mixing thread may call the stream being replaced once more after the host
        # has unpublished it: that call gives silence and ends it, and its end sync (which
        # does nothing) starts a pass without events in the trace.
        passes = [p for p in ([e for e in p if e[0] not in RESETS] for p in passes) if p]
        self.assertEqual(len(passes), 3, "one pass for each Play")
        for number, events in enumerate(passes):
            self.assertTrue(events)
            self.assertEqual(events, expected[:len(events)], "pass %d" % number)
        calls = [line.split(" ", 1)[0] for line in run.trace if line.startswith("BASS_Stream")]
        self.assertEqual(calls[-4:], ["BASS_StreamFree", "BASS_StreamCreate"] * 2,
                         "each restart plays a fresh stream")


class Devices(unittest.TestCase):
    def test_no_output_device_still_loads_plugins_editors_and_songs(self):
        song = qbtest.song_file(self, [[(0, smf.note_on(0, 60, 100))]])
        run = quillctl("plugin", SYNTH, "song", song, "play", "editor", "windows", "wait", "0.3",
                       "quit", extra_env={"QB_NO_DEVICE": "1"})
        self.assertEqual(run.status, 0, run)
        self.assertEqual(re.findall(r"^(song|editor) report: (.*)$", run.output, re.M),
                         [("editor", "TRUE"), ("song", song)])
        self.assertIn("editor window: handle=", run.output)
        self.assertRegex(run.trace[0], r"^BASS_Init device=-1 .* -> 0$")
        self.assertRegex(run.trace[1], r"^BASS_Init device=0 .* -> 1$")
        self.assertTrue([l for l in run.trace if re.match(r"BASS_MIDI_StreamCreateFile .* -> [1-9]", l)])
        self.assertTrue([l for l in run.trace if re.match(r"BASS_StreamCreate .* -> 0$", l)])
        self.assertFalse([l for l in run.trace if l.startswith("BASS_ChannelPlay")], "silent")


class Ports(unittest.TestCase):
    def test_channels_of_a_second_port_are_not_sent(self):
        first = [(0, smf.note_on(0, 60, 100)), (240, smf.note_off(0, 60)),
                 (480, smf.note_on(5, 64, 100)), (720, smf.note_off(5, 64))]
        second = [(0, smf.port(1)), (120, smf.note_on(0, 50, 100)), (360, smf.note_off(0, 50)),
                  (600, smf.note_on(15, 52, 100))]
        tracks = [first, second]
        song = qbtest.song_file(self, tracks)
        run = quillctl("plugin", SYNTH, "song", song, "play", "wait", "1.5", "quit",
                       extra_env={"QB_FAST": "1", "QB_PLAY_LIMIT": "1000000"})
        self.assertEqual(run.status, 0, run)
        expected = smf.expected_events(tracks)
        self.assertEqual(sorted({e[2] for e in expected}), [0, 5, 16, 31])
        passes, _ = trace_reader.played_passes(run.trace)
        self.assertGreaterEqual(len(passes), 2)
        self.assertEqual(passes[0], [e for e in expected if e[2] < 16])


if __name__ == "__main__":
    qbtest.main()
