"""Sample-exact event timing through the whole host under Wine: every event of a real
MIDI file reaches the instrument exactly at its byte position, in file order, on every
pass of the loop, whatever size of request the mixing thread makes; loop tags set
where the loop turns and where it goes back to."""
import re
import unittest

import qbtest
import smf
import trace_reader
from qbtest import build_path, quillctl

DIVISION = 480
# Several events at position 0, a bank select (consumed, never sent), a tempo change,
# events that fall inside requests, and two at one later position.
CONDUCTOR = [(0, smf.tempo(500000)), (700, smf.tempo(437500))]
NOTES = [(0, smf.control(0, 0, 1)), (0, smf.program(0, 5)), (0, smf.note_on(0, 60, 100)),
         (0, smf.note_on(1, 64, 90)), (37, smf.note_off(0, 60)), (241, smf.note_on(0, 62, 80)),
         (241, smf.control(1, 64, 127)), (500, smf.note_off(1, 64)), (777, smf.note_off(0, 62)),
         (900, smf.control(1, 64, 0)), (1001, smf.control(0, 0, 2)),
         (1200, smf.note_on(2, 67, 70)), (1440, smf.note_off(2, 67))]
TRACKS = [CONDUCTOR, NOTES]
SENT = [e for e in smf.expected_events(TRACKS, DIVISION) if e[0] != 10]
SONG_BYTES = SENT[-1][3]

SYNC = re.compile(r"SYNC sync=\d+ handle=\d+ type=(\w+) pos=(\d+)")


def play(test, tags=None, period=3840, passes=3, seekable=False):
    song = qbtest.song_file(test, TRACKS, DIVISION, running_status=True)
    env = {"QB_FAST": "1", "QB_PLAY_LIMIT": str(SONG_BYTES * passes + 8 * 48000)}
    if period == "device":
        env["QB_REQUEST_PROFILE"] = "device"  # 500 ms, then 100 ms at a time
    else:
        env["QB_PERIOD_BYTES"] = str(period)
    if tags:
        env["QB_LOOP_TAGS"] = tags
    if seekable:
        env["QB_SEEKABLE"] = "1"
    return quillctl("plugin", build_path("instruments", "qb_synth.dll"), "song", song, "play",
                    # Time for the mixing thread to reach the play limit; one-frame
                    # requests make many more calls.
                    "wait", "8" if period == 8 else "3", "quit", extra_env=env)


def traced_calls(run, prefix):
    """The trace lines of calls starting with `prefix`, without their results."""
    return [line.rsplit(" -> ", 1)[0] for line in run.trace if line.startswith(prefix)]


def loop_syncs(run):
    """The syncs set on streams, but the one for the device's failure each stream gets."""
    return [line for line in traced_calls(run, "BASS_ChannelSetSync") if " type=0xe " not in line]


class EventTiming(unittest.TestCase):
    def assert_exact_passes(self, run, expected, at_least=3, later=None):
        """Each complete pass hands over `expected` (the first) or `later` (the rest)."""
        self.assertEqual(run.status, 0, run)
        passes, _ = trace_reader.played_passes(run.trace)
        complete, last = passes[:-1], passes[-1]
        self.assertGreaterEqual(len(complete), at_least, "passes: %d" % len(complete))
        for number, events in enumerate(complete, 1):
            self.assertEqual(events, expected if number == 1 else later or expected,
                             "pass %d" % number)
        self.assertEqual(last, (later or expected)[:len(last)], "the pass cut short by the limit")

    def test_every_event_at_its_byte_position_on_every_pass(self):
        # 10 ms requests, an odd request of 151 frames, one frame at a time, and a real
        # device's 500 ms first request followed by 100 ms ones.
        for period in (3840, 1208, 8, "device"):
            with self.subTest(period=period):
                run = play(self, period=period, passes=1 if period == 8 else 3)
                self.assert_exact_passes(run, SENT, at_least=1 if period == 8 else 3)
                lengths = [int(m.group(1)) for m in
                           (re.match(r"STREAMPROC handle=\d+ pos=\d+ length=(\d+)", line)
                            for line in run.trace) if m]
                if period == "device":
                    self.assertEqual(lengths[0], 192000)
                    self.assertEqual(max(lengths[1:]), 38400)
                else:
                    self.assertTrue(lengths and max(lengths) == period)

    def test_loop_tags_set_the_sync_position_and_the_rewind_point(self):
        run = play(self, tags="LOOPSTART=12000|LOOPLENGTH=48000", seekable=True)
        self.assertEqual(loop_syncs(run),
                         ["BASS_ChannelSetSync handle=%s type=0x40000000 param=240000" %
                          self.output_stream(run)])
        syncs = [SYNC.match(line).groups() for line in run.trace if SYNC.match(line)]
        self.assertGreaterEqual(len(syncs), 3)
        self.assertEqual(set(syncs), {("pos", "240000")})
        rewinds = [line for line in run.trace if line.startswith("BASS_ChannelSetPosition")]
        self.assertEqual(set(rewinds), {"BASS_ChannelSetPosition handle=%s pos=48000 mode=0 -> 1"
                                        % self.output_stream(run)})
        # The first pass runs from 0 to the loop end; each later one from the loop start
        # to the loop end, handing the table over again from its first event.
        self.assert_exact_passes(run, [e for e in SENT if e[3] < 240000],
                                 later=[e for e in SENT if e[3] < 240000 - 48000])

    def test_a_refused_loop_start_rewinds_to_0(self):
        # A stream with a procedure cannot seek, as with the real library.
        run = play(self, tags="loopstart=3|looplength=48000")
        stream = self.output_stream(run)
        self.assertEqual(loop_syncs(run),
                         ["BASS_ChannelSetSync handle=%s type=0x40000000 param=192012" % stream])
        rewinds = [line for line in run.trace if line.startswith("BASS_ChannelSetPosition")]
        self.assertEqual(rewinds[:2], ["BASS_ChannelSetPosition handle=%s pos=12 mode=0 -> 0" % stream,
                                       "BASS_ChannelSetPosition handle=%s pos=0 mode=0 -> 1" % stream])
        self.assert_exact_passes(run, [e for e in SENT if e[3] < 192012])

    def test_a_loop_start_alone_keeps_the_end_sync(self):
        run = play(self, tags="LOOPSTART=12000", seekable=True)
        stream = self.output_stream(run)
        self.assertEqual(loop_syncs(run),
                         ["BASS_ChannelSetSync handle=%s type=0x40000002 param=0" % stream])
        self.assertEqual(set(traced_calls(run, "BASS_ChannelSetPosition")),
                         {"BASS_ChannelSetPosition handle=%s pos=48000 mode=0" % stream})
        self.assert_exact_passes(run, SENT)

    @staticmethod
    def output_stream(run):
        line = next(line for line in run.trace if line.startswith("BASS_StreamCreate"))
        return line.rsplit(" ", 1)[1]


if __name__ == "__main__":
    qbtest.main()
