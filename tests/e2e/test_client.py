"""The client library through quillctl, which is built on it: the host chosen by the
plug-in's width, the host's end explained, a time limit on a hung host, and the checks
quillctl makes before it starts a host or sends a file."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import protocol
import qbtest
import smf
import wav_onsets
from qbtest import AUTO, build_path, quillctl

OTHER = "32" if qbtest.WIDTH == "64" else "64"
SYNTH = build_path("instruments", "qb_synth.dll")


def other_width_synth():
    folder = os.path.join(os.path.dirname(qbtest.BUILD_DIR), "win" + OTHER)
    return qbtest.windows_path(os.path.join(folder, "instruments", "qb_synth.dll"))



def at(seconds):
    """Ticks of a song at division 480 and 120 beats a minute."""
    return int(round(seconds * 960))

class AutomaticWidth(unittest.TestCase):
    def chooses(self, plugin, width):
        # Both widths' libraries on the search path; Wine passes over the other width's.
        other = os.path.join(os.path.dirname(qbtest.BUILD_DIR), "win" + OTHER, "standin")
        both = qbtest.session_environment()["WINEPATH"] + ";" + qbtest.windows_path(other)
        run = quillctl("plugin", plugin, "quit", host=AUTO, extra_env={"WINEPATH": both})
        self.assertEqual(run.status, 0, run)
        self.assertIn("Quillbrook%s.exe (the plug-in is %s-bit)" % (width, width), run.output)
        self.assertEqual(run.host_window()[1], getattr(protocol, "QB_MAIN_CLASS_" + width))
        self.assertEqual(re.findall(r"^editor report: (.*)$", run.output, re.M), ["TRUE"])

    def test_a_plugin_of_this_width_chooses_this_host(self):
        self.chooses(SYNTH, qbtest.WIDTH)

    def test_a_plugin_with_its_state_chooses_the_host_as_a_plugin_alone_does(self):
        state = qbtest.windows_path(os.path.join(qbtest.SESSION_DIR, "no-such-state.qbs"))
        run = quillctl("plugin-with-state", SYNTH, state, "quit", host=AUTO)
        self.assertIn("Quillbrook%s.exe (the plug-in is %s-bit)" % (qbtest.WIDTH, qbtest.WIDTH),
                      run.output)

    def test_a_plugin_of_the_other_width_chooses_the_other_host(self):
        if not qbtest.runs_width(OTHER):
            self.skipTest(qbtest.width_cannot_run())
        self.chooses(other_width_synth(), OTHER)

    def test_a_file_that_is_no_plugin_is_named_for_what_it_is(self):
        run = quillctl("plugin", qbtest.windows_path(os.path.join(qbtest.DIST_DIR,
                                                                  "Quillbrook64.exe")),
                       "quit", host=AUTO)
        self.assertEqual(run.status, 125, run)
        self.assertIn("a 64-bit Windows program (.exe), not a plug-in library", run.errors)
        self.assertIsNone(run.host_window(), "no host was started")


class TheHostsEnd(unittest.TestCase):
    def test_each_way_of_ending_is_explained(self):
        run = quillctl("quit")
        self.assertIn("host exited: status 0: it ended normally", run.output)
        self.assertNotIn("command failed", run.output, "quit is no failure")
        run = quillctl(("--args", "v=4 pid={pid}"))
        self.assertEqual(run.host_status(), 1, run)
        self.assertIn("status 1: it refused its command line", run.output)
        run = quillctl("quit", extra_env={"WINEPATH": ""})
        self.assertEqual(run.host_status(), 0xC0000135, run)
        self.assertIn("status 0xC0000135: it could not start because a library it needs was not "
                      "found: the %s-bit builds of bass.dll" % qbtest.WIDTH, run.output)
        self.assertIn("WINEPATH=build\\win%s\\standin" % qbtest.WIDTH, run.output)

    def test_a_hung_host_meets_the_time_limit(self):
        run = quillctl(("--send-timeout", "1"), ("--end-timeout", "1"),
                       "plugin", build_path("instruments", "qb_synth_hang_editor.dll"),
                       "editor", "play")
        self.assertEqual(run.status, 124, run)
        self.assertEqual(run.output.count("did not answer"), 2, run)
        self.assertIn("command failed: the host did not answer command 6 within 1000 ms",
                      run.output)
        self.assertIn("ending it", run.output)


class TheGuidesExample(unittest.TestCase):
    def build(self, index):
        """Builds the guide's example number `index` with the client library; gives the
        program's path."""
        with open(os.path.join(qbtest.SOURCE_DIR, "docs", "protocol.md")) as guide:
            source = re.findall(r"```c\n(.*?)```", guide.read(), re.S)[index]
        folder = tempfile.mkdtemp(dir=qbtest.SESSION_DIR)
        self.addCleanup(shutil.rmtree, folder)
        with open(os.path.join(folder, "example.c"), "w") as out:
            out.write(source)
        client = os.path.join(qbtest.SOURCE_DIR, "client")
        protocol_dir = os.path.join(qbtest.SOURCE_DIR, "protocol")
        compiler = ("x86_64" if qbtest.WIDTH == "64" else "i686") + "-w64-mingw32-gcc-posix"
        subprocess.run([compiler, "-std=c99", "-Wall", "-Werror", "-municode", "-static",
                        "-I" + client, "-I" + protocol_dir, "example.c", os.path.join(client, "quillbrook_client.c"),
                        os.path.join(client, "quillbrook_controls.c"),
                        os.path.join(client, "quillbrook_instrument.c"),
                        os.path.join(client, "quillbrook_render.c"),
                        os.path.join(client, "quillbrook_events.c"),
                        os.path.join(client, "pe_width.c"), "-luser32", "-o", "example.exe"],
                       cwd=folder, check=True)
        return os.path.join(folder, "example.exe")

    def test_the_controls_example_pauses_seeks_and_fades_out(self):
        notes = [(480 * i, smf.note_on(0, 60 + i % 5, 100)) for i in range(20)]
        song = qbtest.song_file(self, [notes])
        status, output = qbtest.run_windows_program(
            self.build(1), SYNTH, song, qbtest.windows_path(qbtest.DIST_DIR))
        self.assertEqual(status, 0, output)
        output = output.replace("\r\n", "\n")
        self.assertRegex(output, r"paused at \d+ of 9500 ms\n")
        self.assertIn("sought to 4750 ms\n", output)
        self.assertIn("status after the fade: %d\n" % protocol.QB_STATUS_NO_SONG, output)

    def test_the_practice_example_plays_and_writes_at_its_speed_without_the_drums(self):
        song = qbtest.song_file(self, [[(at(0.5), smf.note_on(0, 62, 100)),
                                        (at(0.75), smf.note_on(9, 36, 100)),
                                        (at(1.0), smf.note_on(0, 64, 100)),
                                        (at(1.5), smf.note_off(0, 64))]])
        out = os.path.join(tempfile.mkdtemp(dir=qbtest.SESSION_DIR), "practice.wav")
        self.addCleanup(shutil.rmtree, os.path.dirname(out))
        status, output = qbtest.run_windows_program(
            self.build(4), SYNTH, song, qbtest.windows_path(out),
            qbtest.windows_path(qbtest.DIST_DIR))
        self.assertEqual(status, 0, output)
        output = output.replace("\r\n", "\n")
        self.assertIn("speed 750 thousandths, -2 semitones, muted 0200, channel 1 at 0.500\n",
                      output)
        self.assertIn("2000 ms long at this speed\n", output)
        _, _, samples = wav_onsets.read_wav(out)
        # Each note at its frame on the slower time line; the muted drum starts nothing.
        self.assertEqual(wav_onsets.misplaced_onsets(samples, [32000, 64000]), [])
        self.assertNotEqual(wav_onsets.onset_near(samples, 48000), 48000)

    def test_the_karaoke_example_prints_each_lyric_as_it_is_heard(self):
        song = qbtest.song_file(self, [[(0, smf.text("@KMIDI KARAOKE FILE")),
                                        (at(0.5), smf.text("\\Twin")), (at(0.75), smf.text("kle")),
                                        (at(1.0), smf.note_on(0, 60, 100))]])
        status, output = qbtest.run_windows_program(
            self.build(5), SYNTH, song, qbtest.windows_path(qbtest.DIST_DIR))
        self.assertEqual(status, 0, output)
        lines = re.findall(r"^\s*(\d+) ms, (\d+) ms late: (.*)$", output.replace("\r\n", "\n"),
                           re.M)
        self.assertEqual([(ms, text) for ms, _, text in lines], [("500", "\\Twin"),
                                                                  ("750", "kle")])
        self.assertTrue(all(int(late) <= 20 for _, late, _ in lines), lines)

    def test_the_headphones_example_goes_on_on_the_speakers_when_they_are_unplugged(self):
        song = qbtest.song_file(self, [[(at(0.25 * i), smf.note_on(0, 60, 100)) for i in range(12)]])
        headphones = "Kopfh\u00f6rer \u266b"
        status, output = qbtest.run_windows_program(
            self.build(6), SYNTH, song, headphones, qbtest.windows_path(qbtest.DIST_DIR),
            extra_env={"QB_DEVICES": "*Speakers|" + headphones, "QB_MINBUF": "30",
                       "QB_DEVICE_EVENTS": "1500 unplug 2"})
        self.assertEqual(status, 0, output)
        output = output.replace("\r\n", "\n")
        self.assertIn("on device 2: buffer 35 ms, update period 5 ms, device latency 20 ms\n",
                      output)
        self.assertRegex(output, r"device 2 lost at \d+ ms\ndevice 1 moved at \d+ ms\n"
                                 r"the song ended\n")

    def test_the_instrument_example_keeps_its_settings_between_runs(self):
        song = qbtest.song_file(self, [[(0, smf.note_on(0, 48, 100))]])
        state = os.path.join(tempfile.mkdtemp(dir=qbtest.SESSION_DIR), "synth.qbs")
        self.addCleanup(shutil.rmtree, os.path.dirname(state))
        example = self.build(2)
        outputs = []
        for _ in range(2):
            status, output = qbtest.run_windows_program(
                example, SYNTH, song, qbtest.windows_path(state), qbtest.windows_path(qbtest.DIST_DIR))
            self.assertEqual(status, 0, output)
            outputs.append(output.replace("\r\n", "\n"))
        self.assertIn("program 0 of 4: Plain\nLevel = 1.00 (100 %)\nsaved its parameters\n",
                      outputs[0])
        self.assertNotIn("state loaded", outputs[0])
        self.assertIn("state loaded\nprogram 0 of 4: Plain\nLevel = 0.50 (50 %)\n", outputs[1])

    def test_the_render_example_writes_the_song_to_a_file_with_progress(self):
        song = qbtest.song_file(self, [[(0, smf.note_on(0, 60, 100)), (960, smf.note_off(0, 60))]])
        out = os.path.join(tempfile.mkdtemp(dir=qbtest.SESSION_DIR), "song.wav")
        self.addCleanup(shutil.rmtree, os.path.dirname(out))
        status, output = qbtest.run_windows_program(
            self.build(3), SYNTH, song, qbtest.windows_path(out), qbtest.windows_path(qbtest.DIST_DIR))
        self.assertEqual(status, 0, output)
        self.assertIn("100% after", output)
        self.assertIn("rendered %s" % qbtest.windows_path(out), output)
        frames = int(subprocess.run(["sox", "--i", "-s", out], capture_output=True, text=True,
                                    check=True).stdout)
        # Two passes of a second and a frame, then the release and a tenth of a second.
        self.assertTrue(2 * 48001 + 4800 <= frames < 2 * 48001 + 4800 + 2 * 4096, frames)

    def test_it_builds_with_the_library_and_plays_a_song(self):
        song = qbtest.song_file(self, [[(0, smf.note_on(0, 60, 100))]])
        status, output = qbtest.run_windows_program(
            self.build(0), SYNTH, song, qbtest.windows_path(qbtest.DIST_DIR))
        self.assertEqual(status, 0, output)
        self.assertIn("editor: TRUE\nsong: %s\n" % song, output.replace("\r\n", "\n"))
        self.assertIn("host exit status: 0", output)


class QuillctlChecks(unittest.TestCase):
    def test_every_command_is_checked_before_the_host_starts(self):
        for words, complaint in ((["plugin", SYNTH, "paly", "quit"], "unknown command"),
                                 (["wait", "soon"], "wait wants seconds"),
                                 (["song"], "missing value after song"),
                                 (["midi"] + ["F0"] + ["00"] * 340 + ["F7"],
                                  "too many values: at most 341 fit")):
            with self.subTest(words=words):
                run = quillctl(*words)
                self.assertEqual(run.status, 125, run)
                self.assertIn(complaint, run.errors)
                self.assertIsNone(run.host_window(), "no host was started")
                self.assertEqual(run.trace, [])

    def test_files_the_host_will_not_load_are_warned_of_and_still_sent(self):
        not_midi = qbtest.windows_path(qbtest.write_file(self, b"RIFF....", ".mid"))
        missing = qbtest.windows_path(os.path.join(qbtest.SESSION_DIR, "missing.mid"))
        song = qbtest.song_file(self, [[(0, smf.note_on(0, 60, 1))]])
        run = quillctl("song", missing, "song", not_midi, "song", song, "plugin", song,
                       "plugin", other_width_synth(), "plugin", SYNTH, "quit")
        self.assertEqual(run.status, 0, run)
        warnings = re.findall(r"^quillctl: warning: (.*)$", run.errors, re.M)
        self.assertEqual(len(warnings), 4, run)
        self.assertIn("missing.mid cannot be opened", warnings[0])
        self.assertIn("does not start like a Standard MIDI File", warnings[1])
        self.assertIn("not a Windows program or library", warnings[2])
        self.assertIn("is %s-bit, the host %s-bit: use Quillbrook%s.exe" % (OTHER, qbtest.WIDTH,
                                                                           OTHER), warnings[3])
        self.assertEqual(len(re.findall(r"^(song|editor) report: ", run.output, re.M)), 6,
                         "every file was sent all the same")

    def test_help_waiting_and_plain_line_ends(self):
        for flag in ("-h", "--help"):
            run = quillctl(flag, host=AUTO)
            self.assertIn("usage: quillctl", run.output)
        run = quillctl(("--end-timeout", "0.5"), "wait", "0.1")
        self.assertIn("waiting for the host to end (no quit was given", run.output)
        self.assertNotIn("\r", run.output)


if __name__ == "__main__":
    qbtest.main()
