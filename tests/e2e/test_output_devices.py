"""The output devices under Wine: the list, a song moved between devices, the default
followed as it changes, an unplug met by each policy, and the playback latency."""
import re
import unittest

import qbtest
import smf
from qbtest import quillctl
from test_player_controls import BYTES_PER_SECOND, SYNTH, at, sent_events

DEVICES = {"QB_DEVICES": "*Speakers|Headset"}
PERIOD_BYTES = BYTES_PER_SECOND // 100  # 10 ms


def quarter_notes(test, count):
    """A song of `count` notes a quarter of a second apart, from 0.25 s."""
    return qbtest.song_file(test, [[(at(0.25 * i), smf.note_on(0, 40 + i, 100))
                                    for i in range(1, count + 1)]])


def notes_heard(run):
    """(key, rendered byte) of each note the instrument took, in order."""
    return [(e[2] & 0x7F, e[3]) for e in sent_events(run.trace) if e[1] == 1]


def with_events(events):
    env = dict(DEVICES)
    env["QB_DEVICE_EVENTS"] = events
    return env


class OutputDevices(unittest.TestCase):
    def test_the_devices_come_back_with_their_names_intact_and_which_is_in_use(self):
        names = "Lautsprecher (Realtek\u00ae)|*Kopfh\u00f6rer \u00d8 \u266b|!Alt"
        run = quillctl("devices", "quit", extra_env={"QB_DEVICES": names})
        self.assertEqual(run.status, 0, run)
        self.assertIn("device 0: No sound ()\n"
                      "device 1: Lautsprecher (Realtek\u00ae) (standin1.drv)\n"
                      "device 2: Kopfh\u00f6rer \u00d8 \u266b (standin2.drv), the default, in use\n"
                      "device 3: Alt (standin3.drv), disabled\n", run.output)

    def test_a_song_moved_to_another_device_goes_on_from_the_same_position(self):
        song = qbtest.song_file(self, [[(at(0.25 * i), smf.note_on(0, 60 + i, 100))
                                        for i in range(1, 9)]])
        run = quillctl("plugin", SYNTH, "song", song, "play", "wait", "0.6", "device",
                       "Kopfh\u00f6rer", "wait", "0.5", "device", "default", "device", "Alt",
                       "wait", "1.5", "quit",
                       extra_env={"QB_DEVICES": "*Speakers|Kopfh\u00f6rer|!Alt"})
        self.assertEqual(run.status, 0, run)
        self.assertIn("device: 2\n", run.output)
        self.assertIn("device: 1\n", run.output)
        self.assertIn("command failed: device: the host did not take", run.output,
                      "a disabled device is refused")
        moves = [line for line in run.trace if line.startswith("BASS_ChannelSetDevice")]
        self.assertEqual(len(moves), 2, moves)
        self.assertEqual(len({line.split()[1] for line in moves}), 1, "the same stream")
        # Every note once, at its own byte, across both moves.
        notes = [(e[2] & 0x7F, e[3]) for e in sent_events(run.trace) if e[1] == 1]
        start = notes[0][1] - BYTES_PER_SECOND // 4
        self.assertEqual(notes[:8], [(60 + i, start + BYTES_PER_SECOND * i // 4)
                                     for i in range(1, 9)])

    def test_the_default_device_follows_the_systems_default_as_it_changes(self):
        song = quarter_notes(self, 12)
        run = quillctl("plugin", SYNTH, "song", song, "play", "wait", "3.5", "devices", "quit",
                       extra_env=with_events("1500 default 2"))
        self.assertEqual(run.status, 0, run)
        self.assertIn("device 2: Headset (standin2.drv), the default, in use\n", run.output)
        self.assertTrue(any(line.startswith("MOVED") and "device=2" in line for line in run.trace),
                        "the playing song went with the default")
        notes = notes_heard(run)
        self.assertEqual(notes[:12], [(40 + i, BYTES_PER_SECOND * i // 4) for i in range(1, 13)])


class DeviceLoss(unittest.TestCase):
    def test_with_wait_the_song_waits_for_its_device_and_commands_go_on_meanwhile(self):
        song = quarter_notes(self, 24)
        run = quillctl("plugin", SYNTH, "song", song, "device", "Headset", "watch", "device-events",
                       "play", "wait", "2.5", "status", "position", "volume", "0.5", "devices",
                       "latency", "200", "seek", "3", "status", "wait", "3", "status", "quit",
                       extra_env=with_events("1500 unplug 2|4000 plug 2"))
        self.assertEqual(run.status, 0, run)
        self.assertEqual(re.findall(r"status: (.*)", run.output),
                         ["device paused", "device paused", "playing"], run.output)
        self.assertIn("device 2: Headset (standin2.drv), disabled, in use\n", run.output)
        self.assertIn("seek: 0:03.000", run.output)
        told = re.findall(r"device (\d+) (lost|back|moved)", run.output)
        self.assertEqual(told, [("2", "lost"), ("2", "back")], run.output)
        # Each note once until the unplug; after the seek, from the note at 3 s on, each
        # once, once the device is back.
        keys = [key for key, _ in notes_heard(run)]
        after = keys.index(40 + 12)
        self.assertEqual(keys[:after], list(range(41, 41 + after)))
        self.assertGreaterEqual(len(keys) - after, 4, keys)
        self.assertEqual(keys[after:], list(range(40 + 12, 40 + 12 + len(keys) - after)))

    def test_with_default_the_song_goes_on_on_the_default_from_where_it_was(self):
        song = quarter_notes(self, 16)
        run = quillctl("plugin", SYNTH, "song", song, "device-policy", "default", "device",
                       "Headset", "watch", "device-events", "play", "wait", "3", "status", "wait", "1.5",
                       "quit", extra_env=with_events("1500 unplug 2"))
        self.assertEqual(run.status, 0, run)
        self.assertIn("status: playing\n", run.output)
        self.assertEqual(re.findall(r"device (\d+) (lost|back|moved)", run.output),
                         [("2", "lost"), ("1", "moved")], run.output)
        self.assertTrue(any(line.startswith("MOVED") and "device=1" in line for line in run.trace))
        self.assertEqual(notes_heard(run)[:16],
                         [(40 + i, BYTES_PER_SECOND * i // 4) for i in range(1, 17)],
                         "every note once, at its own byte")


class Latency(unittest.TestCase):
    def test_the_settings_reach_the_library_and_the_requests_shrink_with_them(self):
        song = quarter_notes(self, 4)
        run = quillctl("latency", "5", "10", "status", "plugin", SYNTH, "song", song, "play",
                       "wait", "1", "quit",
                       extra_env={"QB_REQUEST_PROFILE": "device", "QB_MINBUF": "30"})
        self.assertEqual(run.status, 0, run)
        self.assertIn("latency: buffer 40 ms from the next stream", run.output,
                      "raised to the smallest buffer and one update period")
        self.assertIn("device: 1, buffer 40 ms, update period 10 ms, smallest buffer 30 ms, "
                      "device latency 0 ms\n", run.output, "opened at start-up, not measured")
        self.assertIn("BASS_SetConfig option=1 value=10 -> 1", run.trace)
        self.assertIn("BASS_SetConfig option=0 value=40 -> 1", run.trace)
        # Live MIDI waits for the next request: one update period, not 100 ms.
        lengths = [int(n) for n in re.findall(r"^STREAMPROC handle=\d+ pos=\d+ length=(\d+)",
                                              "\n".join(run.trace), re.M)]
        self.assertEqual(lengths[0], 40 * BYTES_PER_SECOND // 1000)
        self.assertEqual(max(lengths[1:]), PERIOD_BYTES)

    def test_out_of_range_settings_are_refused(self):
        run = quillctl("send-text", "140", "0", "send-text", "140", "6000", "send-text", "140",
                       "100 4", "send-text", "140", "100 101", "send-text", "142", "later", "quit")
        self.assertEqual(run.status, 0, run)
        self.assertEqual(re.findall(r"answered (-?\d+)", run.output), ["-2"] * 5, run.output)


if __name__ == "__main__":
    qbtest.main()
