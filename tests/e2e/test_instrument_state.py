"""The instrument's state, programs and parameters, MIDI sent live and editors that
resize, through quillctl and the client library under Wine."""
import array
import os
import re
import signal
import struct
import time
import unittest
import zlib

import qbtest
import smf
from qbtest import build_path, quillctl
from test_player_controls import older_libraries

SYNTH = build_path("instruments", "qb_synth.dll")
CHUNK_SYNTH = build_path("instruments", "qb_synth_chunk.dll")
GROWING_SYNTH = build_path("instruments", "qb_synth_grows.dll")
BYTES_PER_SECOND = 48000 * 8
RAW = re.compile(r"BASS_VST_ProcessEventRaw handle=\d+ event=0x([0-9a-f]+) length=(\d+) "
                 r"rendered=(\d+) at=([\d.]+) -> 1")
SONG_EVENT = re.compile(r"BASS_VST_ProcessEvent handle=\d+ chan=0 event=1 param=(\d+) "
                        r"rendered=(\d+) -> 1")


def at(seconds):
    return int(round(seconds * 960))  # division 480 at 120 beats a minute


def song(test):
    return qbtest.song_file(test, [[(0, smf.note_on(0, 60, 100)), (at(0.4), smf.note_off(0, 60)),
                                    (at(0.5), smf.note_on(0, 64, 90)), (at(0.9), smf.note_off(0, 64)),
                                    (at(1.2), smf.note_on(0, 67, 80)), (at(20), smf.note_off(0, 67))]])


def captured(path):
    """The captured audio's samples from the first one that is not silent."""
    with open(path, "rb") as audio:
        data = audio.read()
    start = data.index(b"data") + 8
    data = data[start:len(data) - (len(data) - start) % 4]
    samples = array.array("f", data)
    first = next(i for i, x in enumerate(samples) if x != 0)
    return samples[first:]


def decode_state(path):
    """The header of a state file that is whole, or None."""
    with open(path, "rb") as state:
        data = state.read()
    if len(data) < 32 or data[:4] != b"QBST":
        return None
    if zlib.crc32(data[:-4]) != struct.unpack_from("<I", data, len(data) - 4)[0]:
        return None
    return struct.unpack_from("<IIIIiI", data, 4)


class StateFiles(unittest.TestCase):
    def play_captured(self, *commands):
        capture = qbtest.write_file(self, b"", ".wav")
        run = quillctl(*commands, "song", song(self), "play", "wait", "2", "quit",
                       extra_env={"QB_CAPTURE": qbtest.windows_path(capture), "QB_FAST": "1"})
        self.assertEqual(run.status, 0, run)
        return run, captured(capture)

    def test_saved_state_comes_back_in_a_new_host(self):
        for plugin, kind in ((CHUNK_SYNTH, "the plug-in's chunk"), (SYNTH, "every parameter's value")):
            with self.subTest(plugin=plugin):
                state = qbtest.write_file(self, b"", ".qbs")
                saved, before = self.play_captured(
                    "plugin", plugin, "program", "2", "param", "0", "0.3", "save-state",
                    qbtest.windows_path(state))
                self.assertIn("saved state: %s\n" % kind, saved.output)
                loaded, after = self.play_captured(
                    "plugin-with-state", plugin, qbtest.windows_path(state), "programs", "params")
                self.assertIn("plug-in loaded with its state (editor: yes)\n", loaded.output)
                self.assertIn("* 2 High\n", loaded.output)
                self.assertIn("0 Level = 0.300000 (30 %)\n", loaded.output)
                _, plain = self.play_captured("plugin", plugin)
                length = min(len(before), len(after), BYTES_PER_SECOND // 4)
                self.assertGreater(length, BYTES_PER_SECOND // 8)
                self.assertEqual(before[:length], after[:length], "the same sound after the load")
                self.assertNotEqual(before[:length], plain[:length], "the state changes the sound")

    def test_beside_a_library_without_the_chunk_functions_the_parameters_are_saved(self):
        state = qbtest.write_file(self, b"", ".qbs")
        older = older_libraries(self, ["BASS_VST_GetChunk", "BASS_VST_SetChunk"])
        run = quillctl("capabilities", "plugin", CHUNK_SYNTH, "program", "3", "save-state",
                       qbtest.windows_path(state), "quit", extra_env={"WINEPATH": older})
        self.assertEqual(run.status, 0, run)
        self.assertNotIn(" chunks", run.output)
        self.assertIn("saved state: every parameter's value\n", run.output)
        run = quillctl("plugin", CHUNK_SYNTH, "load-state", qbtest.windows_path(state), "programs",
                       "quit")
        self.assertIn("loaded state: every parameter's value\n", run.output)
        self.assertIn("* 3 Low\n", run.output)

    def test_a_file_of_another_plugin_or_a_damaged_one_is_refused_and_changes_nothing(self):
        state = qbtest.write_file(self, b"", ".qbs")
        run = quillctl("plugin", CHUNK_SYNTH, "save-state", qbtest.windows_path(state), "quit")
        self.assertEqual(run.status, 0, run)
        with open(state, "rb") as good:
            data = good.read()
        damaged = qbtest.write_file(self, data[:-1] + bytes([data[-1] ^ 1]), ".qbs")
        truncated = qbtest.write_file(self, data[:40], ".qbs")
        newer = qbtest.write_file(self, data[:4] + b"\x02" + data[5:], ".qbs")
        run = quillctl("plugin", SYNTH, "program", "1", "param", "1", "0.25",
                       "load-state", qbtest.windows_path(state),
                       "load-state", qbtest.windows_path(damaged),
                       "load-state", qbtest.windows_path(truncated),
                       "plugin", CHUNK_SYNTH, "load-state", qbtest.windows_path(newer),
                       "load-state", qbtest.windows_path(truncated), "programs",
                       "plugin", SYNTH, "program", "1", "param", "1", "0.25",
                       "load-state", qbtest.windows_path(damaged), "programs", "params", "quit")
        self.assertEqual(run.status, 0, run)
        failures = re.findall(r"command failed: load state: (.*)", run.output)
        self.assertEqual(failures, ["the state file is another plug-in's",
                                    "the state file is damaged or not a state file",
                                    "the state file is damaged or not a state file",
                                    "the state file has a format version this host does not know",
                                    "the state file is damaged or not a state file",
                                    "the state file is damaged or not a state file"])
        self.assertIn("* 0 Plain\n", run.output, "the chunk instrument kept its first state")
        self.assertIn("* 1 Soft\n", run.output)
        self.assertIn("1 Tuning = 0.250000 (-6 semitones)\n", run.output)

    def test_a_file_whose_program_the_plugin_lacks_is_refused_and_changes_nothing(self):
        for plugin in (SYNTH, CHUNK_SYNTH):
            with self.subTest(plugin=plugin):
                state = qbtest.write_file(self, b"", ".qbs")
                run = quillctl("plugin", plugin, "program", "2", "param", "0", "0.3",
                               "save-state", qbtest.windows_path(state), "quit")
                self.assertEqual(run.status, 0, run)
                with open(state, "rb") as good:
                    data = bytearray(good.read()[:-4])
                struct.pack_into("<i", data, 20, 99)  # the program, after magic and four fields
                data += struct.pack("<I", zlib.crc32(data))
                other = qbtest.write_file(self, bytes(data), ".qbs")
                run = quillctl("plugin", plugin, "program", "1", "param", "1", "0.25",
                               "load-state", qbtest.windows_path(other), "programs", "params",
                               "quit")
                self.assertEqual(re.findall(r"command failed: load state: (.*)", run.output),
                                 ["the state file is another plug-in's"], run)
                self.assertIn("* 1 Soft\n", run.output)
                self.assertIn("1 Tuning = 0.250000 (-6 semitones)\n", run.output)
                self.assertNotIn("0 Level = 0.300000", run.output)

    def test_a_save_killed_half_way_leaves_the_old_file_whole(self):
        state = qbtest.write_file(self, b"", ".qbs")
        path = qbtest.windows_path(state)
        pad = {"QB_SYNTH_CHUNK_PAD": str(24 << 20)}
        run = quillctl("plugin", CHUNK_SYNTH, "save-state", path, "quit", extra_env=pad)
        self.assertEqual(run.status, 0, run)
        good = decode_state(state)
        self.assertIsNotNone(good)
        folder = os.path.dirname(state)
        for seconds in (1.0, 1.5):
            # Read while the saves go on, then kill the host: the file is whole throughout.
            saves = ["save-state", path] * 100
            with qbtest.Background("plugin", CHUNK_SYNTH, *saves, "quit", extra_env=pad) as controller:
                pid = controller.host_pid()
                deadline = time.time() + seconds
                while time.time() < deadline:
                    self.assertEqual(decode_state(state), good, "read during the saves")
                os.kill(pid, signal.SIGKILL)
            self.assertEqual(decode_state(state), good, "killed after %s s" % seconds)
        for name in os.listdir(folder):
            if name.startswith(os.path.basename(state) + ".qbtmp-"):
                os.remove(os.path.join(folder, name))


class NoDeadlock(unittest.TestCase):
    def test_state_calls_meet_no_render_call_blocked_on_the_interface_thread(self):
        # This instrument's render calls wait for its open editor, on the host's
        # user-interface thread, while the library's state calls wait for the render.
        state = qbtest.windows_path(qbtest.write_file(self, b"", ".qbs"))
        calls = []
        for i in range(10):
            calls += ["param", "0", "0.%d" % i, "program", str(i % 4), "params", "save-state", state,
                      "load-state", state]
        run = quillctl(("--send-timeout", "10"), "plugin", build_path("instruments", "qb_synth_slow_sends.dll"),
                       "editor", "song", song(self), "play", "wait", "0.3", *calls, "quit")
        self.assertEqual(run.status, 0, run)
        self.assertNotIn("command failed", run.output)
        self.assertEqual(run.output.count("loaded state: every parameter's value"), 10)


class Refusals(unittest.TestCase):
    def test_say_why(self):
        song = qbtest.song_file(self, [[(0, smf.note_on(0, 60, 100)), (960, smf.note_off(0, 60))]])
        missing = qbtest.windows_path(os.path.join(qbtest.SESSION_DIR, "no-such-folder",
                                                   "out.wav"))
        run = quillctl("plugin", SYNTH, "song", song, "play", "program", "99", "param", "999",
                       "0.5", "midi", "90", "3C", "render", song, missing, "quit", trace=False)
        self.assertEqual(run.status, 0, run)
        failed = re.findall(r"^command failed: (.*)$", run.output, re.M)
        self.assertEqual(len(failed), 4, run)
        self.assertRegex(failed[0], r"^program 99 is out of range: the plug-in has \d+ \(from 0\)$")
        self.assertRegex(failed[1], r"^parameter 999 is out of range: the plug-in has \d+")
        self.assertIn("MIDI: the bytes are not complete messages", failed[2])  # two of three
        self.assertEqual(failed[3], "render: the folder of %s does not exist" % missing)


class LiveMidi(unittest.TestCase):
    def test_live_messages_arrive_in_order_at_the_next_pull_beside_the_songs_events(self):
        sends = []
        for key in (48, 50, 52, 53):
            sends += ["midi", "90", "%02X" % key, "64", "wait", "0.1"]
        run = quillctl("plugin", SYNTH, "song", song(self), "play", "wait", "0.3", *sends,
                       "midi", "F0", "7E", "7F", "09", "01", "F7", "B0", "40", "7F", "80", "30", "00",
                       "wait", "1.2", "quit")
        self.assertEqual(run.status, 0, run)
        live = [m.groups() for m in map(RAW.match, run.trace) if m]
        self.assertEqual([(int(e, 16), int(n)) for e, n, _, _ in live],
                         [(0x903064, 0), (0x903264, 0), (0x903464, 0), (0x903564, 0),
                          (0xF0, 6), (0xB0407F, 0), (0x803000, 0)])
        sent = [float(t) for t in re.findall(r"midi: \d+ bytes sent at ([\d.]+) ms", run.output)]
        self.assertEqual(len(sent), 5, run.output)
        arrived = [float(t) for _, _, _, t in live]
        delays = [arrived[i] - sent[i] for i in range(4)] + [arrived[4] - sent[4]]
        print("live MIDI delay, ms: " + " ".join("%.1f" % d for d in delays))
        # The next pull comes within one period of the mixer: nothing waits for a song event.
        self.assertTrue(all(-5 < d < 1000 for d in delays), delays)
        song_events = [(int(p), int(r)) for p, r in
                       (m.groups() for m in map(SONG_EVENT.match, run.trace) if m)]
        self.assertIn((67 | 80 << 8, int(1.2 * BYTES_PER_SECOND)), song_events,
                      "the song's events keep their samples")

    def test_a_malformed_message_is_refused(self):
        run = quillctl("plugin", SYNTH, "midi", "90", "3C", "midi", "3C", "40", "midi", "F0", "01",
                       "quit")
        self.assertEqual(run.status, 0, run)
        self.assertEqual(run.output.count("MIDI: the bytes are not complete messages"), 3,
                         run.output)


    def test_live_midi_while_no_song_plays_is_refused(self):
        run = quillctl("plugin", SYNTH, "midi", "90", "3C", "64", "song", song(self),
                       "midi", "90", "3C", "64", "play", "wait", "0.3", "pause",
                       "midi", "90", "3C", "64", "resume", "wait", "0.5", "quit")
        self.assertEqual(run.status, 0, run)
        self.assertEqual(run.output.count("command failed: MIDI: the song is not playing"), 3,
                         run.output)
        self.assertEqual([line for line in run.trace if RAW.match(line)], [],
                         "nothing sounds later either")


class EditorSize(unittest.TestCase):
    def test_the_editor_window_follows_the_plugins_resize_and_keeps_its_corner(self):
        run = quillctl("plugin", GROWING_SYNTH, "editor", "windows", "wait", "1", "windows", "quit")
        self.assertEqual(run.status, 0, run)
        sizes = re.findall(r"editor window: .* client=(\d+)x(\d+) at=(-?\d+),(-?\d+)", run.output)
        self.assertEqual(len(sizes), 2, run.output)
        self.assertEqual(sizes[0][:2], ("400", "300"))
        self.assertEqual(sizes[1][:2], ("560", "390"))
        self.assertEqual(sizes[0][2:], sizes[1][2:], "the corner stays where it was")
        self.assertTrue(any("EDITOR" in line and "resized to 560x390" in line for line in run.trace))


if __name__ == "__main__":
    qbtest.main()
