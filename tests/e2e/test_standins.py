"""The stand-in audio libraries under Wine, through their public interface: the mixing
thread's syncs, ends and stops, decoding streams, loop tags, instruments and the MIDI
reader."""
import os
import re
import subprocess
import unittest

import qbtest
import smf
from qbtest import build_path, wine_program

PROBE = os.path.join("tests", "standin_probe.exe")


def probe(*args, **env):
    status, output = wine_program(PROBE, *args, extra_env={k: str(v) for k, v in env.items()})
    return status, output


class Mixer(unittest.TestCase):
    def assert_all_passed(self, status, output):
        self.assertNotIn("FAIL", output)
        self.assertEqual(status, 0, output)

    def test_position_syncs_are_exact_for_several_request_sizes(self):
        for period in (3840, 1208, 8, 100000):
            with self.subTest(period=period):
                self.assert_all_passed(*probe("syncs", QB_FAST=1, QB_PERIOD_BYTES=period))

    def test_end_sync_rewind_plays_on_and_an_ended_stream_stops(self):
        self.assert_all_passed(*probe("rewind", QB_FAST=1, QB_PERIOD_BYTES=1208))
        self.assert_all_passed(*probe("rewind"))  # real-time pacing

    def test_stop_from_the_user_interface_thread_while_mixing(self):
        self.assert_all_passed(*probe("stop", QB_FAST=1))

    def test_the_documented_worst_cases_on_request(self):
        self.assert_all_passed(*probe("seekable", QB_FAST=1, QB_SEEKABLE=1))
        self.assert_all_passed(*probe("nowait", QB_FAST=1, QB_NO_WAIT=1))
        self.assert_all_passed(*probe("nodevice", QB_NO_DEVICE=1))

    def test_the_capture_is_a_float_wav_file_that_sox_reads_cleanly(self):
        capture = qbtest.write_file(self, b"", ".wav")
        self.assert_all_passed(*probe("syncs", QB_FAST=1, QB_CAPTURE=qbtest.windows_path(capture)))
        info = subprocess.run(["sox", capture, "-n", "stat"], capture_output=True, text=True)
        self.assertEqual(info.returncode, 0, info.stderr)
        self.assertNotIn("WARN", info.stderr)
        samples = int(re.search(r"Samples read:\s+(\d+)", info.stderr).group(1))
        # The program may end between writing a period and its sizes: the header counts
        # what was complete.
        with open(capture, "rb") as wav:
            header = wav.read(58)
        self.assertEqual(header[50:54], b"data")
        self.assertEqual(samples * 4, int.from_bytes(header[54:58], "little"))
        self.assertGreater(samples, 0)

    def test_decoding_streams_are_read_through_get_data(self):
        self.assert_all_passed(*probe("decode"))

    def test_loop_tags_come_from_the_environment(self):
        self.assert_all_passed(*probe("tags", QB_LOOP_TAGS="LOOPSTART=100|loopLength=50"))


class Instruments(unittest.TestCase):
    def test_load_query_play_and_free(self):
        status, output = probe("instruments", build_path("instruments"),
                               build_path("standin", "bass.dll"))
        self.assertNotIn("FAIL", output)
        self.assertEqual(status, 0, output)

    def test_replacing_the_instrument_while_the_mixing_thread_reads_it(self):
        status, output = probe("swap", build_path("instruments"), QB_FAST=1)
        self.assertNotIn("FAIL", output)
        self.assertEqual(status, 0, output)


class MidiFiles(unittest.TestCase):
    def write(self, data):
        return qbtest.write_file(self, data)

    def test_events_and_positions_of_a_two_track_file(self):
        conductor = [(0, smf.tempo(500000)), (960, smf.tempo(333333)), (1000, smf.text("x"))]
        notes = [(0, smf.control(0, 0, 3)), (0, smf.note_on(0, 60, 100)),
                 (480, smf.note_off(0, 60)), (960, smf.note_on(1, 64, 90)),
                 (961, b"\xf0\x03\x01\x02\xf7"), (1441, smf.control(1, 64, 127)),
                 (1441, smf.note_off(1, 64)), (100000, smf.control(1, 123, 0))]
        for running_status in (False, True):
            with self.subTest(running_status=running_status):
                path = self.write(smf.midi_file([conductor, notes], 480, running_status))
                status, output = probe("midi", qbtest.windows_path(path))
                self.assertEqual(status, 0, output)
                got = [tuple(int(v) for v in line.split()[1:])
                       for line in output.splitlines() if line.startswith("event ")]
                self.assertEqual(got, smf.expected_events([conductor, notes], 480))

    def test_missing_and_broken_files_give_no_stream(self):
        good = smf.midi_file([[(0, smf.note_on(0, 60, 1))]])
        for name, path in (("missing", os.path.join(qbtest.SESSION_DIR, "none.mid")),
                           ("truncated", self.write(good[:-6])),
                           ("not midi", self.write(b"RIFF" + good[4:]))):
            with self.subTest(name):
                status, output = probe("midi", qbtest.windows_path(path))
                self.assertEqual(status, 3, output)


if __name__ == "__main__":
    qbtest.main()
