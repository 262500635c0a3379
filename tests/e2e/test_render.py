"""Rendering a song to a WAV file under Wine: every note starts at the sample the song
gives it, found in the audio itself (not the trace), with and without an instrument's
initial delay and over several passes; 16-bit output against the float output; a render
in real time that is asked about, refused to, cancelled or ended by a new song meanwhile
and leaves no file; a crash in the render ends the host; live playback that goes on
afterwards where it was."""
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
from qbtest import build_path, quillctl

SYNTH = build_path("instruments", "qb_synth.dll")
DELAYED = build_path("instruments", "qb_synth_delayed.dll")
SLOW_THREAD_END = build_path("instruments", "qb_synth_slow_thread_end.dll")
TICKS_PER_SECOND = 960  # division 480 at 120 beats a minute


def at(seconds):
    return int(round(seconds * TICKS_PER_SECOND))


# Notes on two channels that overlap and meet in a chord, then a lone one near the end.
TRACKS = [[(at(0.25), smf.note_on(0, 60, 100)), (at(0.75), smf.note_off(0, 60)),
           (at(0.5), smf.note_on(1, 67, 90)), (at(1.0), smf.note_off(1, 67)),
           (at(1.0), smf.note_on(0, 64, 110)), (at(1.0), smf.note_on(1, 55, 80)),
           (at(1.6), smf.note_off(0, 64)), (at(1.6), smf.note_off(1, 55)),
           (at(1.9003), smf.note_on(0, 72, 100)), (at(2.2), smf.note_off(0, 72))]]
EVENTS = smf.expected_events(TRACKS)
PASS_FRAMES = EVENTS[-1][3] // 8 + 1  # up to and including the last event's frame
ONSETS = [pos // 8 for event, param, _, pos in EVENTS if event == 1 and param >> 8]


class Render(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(dir=qbtest.SESSION_DIR)
        self.addCleanup(shutil.rmtree, self.folder)
        self.song = qbtest.song_file(self, TRACKS)

    def out(self, name):
        return os.path.join(self.folder, name)

    def render(self, plugin, name, *options, extra_env=None):
        run = quillctl("plugin", plugin, "render", self.song, qbtest.windows_path(self.out(name)),
                       *options, "quit", extra_env=extra_env, trace=False)
        self.assertEqual(run.status, 0, run)
        self.assertIn("written in", run.output, run)
        return wav_onsets.read_wav(self.out(name))

    def sox_frames(self, name):
        return int(subprocess.run(["sox", "--i", "-s", self.out(name)], capture_output=True,
                                  text=True, check=True).stdout)

    def test_every_note_starts_at_its_sample_in_every_pass_despite_an_initial_delay(self):
        for plugin, env in ((SYNTH, None), (DELAYED, None), (SYNTH, {"QB_NO_DEVICE": "1"})):
            with self.subTest(plugin=plugin, env=env):
                rate, channels, samples = self.render(plugin, "song.wav", "passes=2", "tail=500",
                                                      extra_env=env)
                self.assertEqual((rate, channels), (48000, 2))
                self.assertEqual(len(samples), 2 * PASS_FRAMES + 24000)
                self.assertEqual(self.sox_frames("song.wav"), len(samples))
                expected = ONSETS + [PASS_FRAMES + frame for frame in ONSETS]
                self.assertEqual(wav_onsets.misplaced_onsets(samples, expected), [])
                # The last note rings into the tail and has died away by its end.
                self.assertGreater(max(abs(s) for s in samples[2 * PASS_FRAMES:][:2400]), 0.01)
                self.assertLess(max(abs(s) for s in samples[-2400:]), 1e-4)

    def test_sixteen_bit_output_is_the_float_output_within_its_dither(self):
        _, _, floats = self.render(SYNTH, "float.wav", "tail=silence")
        _, _, pcm = self.render(SYNTH, "pcm.wav", "tail=silence", "pcm16")
        self.assertEqual(len(pcm), len(floats))
        self.assertEqual(wav_onsets.misplaced_onsets(pcm, ONSETS), [])
        steps = [abs(p * 32768 - f * 32767) for p, f in zip(pcm, floats)]
        # Triangular dither of one step, then rounding: never more than a step and a half,
        # and less than one on average.
        self.assertLessEqual(max(steps), 1.5)
        self.assertLess(sum(steps) / len(steps), 1.0)
        # The tail ended once a tenth of a second was silent, after the last note's release.
        self.assertLess(len(floats) - PASS_FRAMES, 48000)

    def answers(self, output):
        return [int(a) for a in re.findall(r"^answered (-?\d+)$", output, re.M)]

    def test_a_render_in_real_time_answers_commands_and_a_cancel_leaves_no_file(self):
        target = qbtest.windows_path(self.out("cancelled.wav"))
        run = quillctl("plugin", SYNTH, "song", self.song,
                       "send-text", str(protocol.QB_CODE_RENDER), target + "|realtime tail=30000",
                       "wait", "1",
                       "send", str(protocol.QB_CODE_RENDER_STATUS),
                       "send", str(protocol.QB_CODE_RENDER_PROGRESS),
                       "send", str(protocol.QB_CODE_CAPABILITIES),
                       "info",
                       "send", str(protocol.QB_CODE_PAUSE),
                       "send-text", str(protocol.QB_CODE_RENDER), target,
                       "render", self.song, target,
                       "send", str(protocol.QB_CODE_CANCEL_RENDER),
                       "send", str(protocol.QB_CODE_RENDER_STATUS),
                       "send", str(protocol.QB_CODE_CANCEL_RENDER),
                       "quit", trace=False, timeout=60)
        self.assertEqual(run.status, 0, run)
        # quillctl's render would cancel the one under way by loading its song: it says so.
        self.assertIn("command failed: render: a render is under way", run.output)
        # The plug-in's information was taken at its load: no call into it now.
        self.assertRegex(run.output, r"plug-in version \d+: qb_synth\t")
        length, status, progress, capabilities, pause, second, cancel, after, again = \
            self.answers(run.output)
        self.assertEqual(length, round((PASS_FRAMES + 30 * 48000) * 1000 / 48000 - 0.5))
        self.assertEqual(status, protocol.QB_RENDER_RUNNING)
        # About 1 s of 32 s: paced in real time, where it would be done by now otherwise.
        self.assertTrue(15 <= progress <= 120, progress)
        self.assertTrue(capabilities & protocol.QB_CAN_RENDER)
        self.assertEqual((pause, second), (protocol.QB_FAIL_BUSY, protocol.QB_FAIL_BUSY))
        self.assertEqual((cancel, after, again),
                         (0, protocol.QB_RENDER_CANCELLED, protocol.QB_FAIL_NOT_RENDERING))
        self.assertEqual(os.listdir(self.folder), [], "nothing of the render is left")

    def test_a_render_longer_than_a_wav_file_holds_is_refused_before_it_starts(self):
        # Two hours of rest, then a note: twice through is over the 3 h 6 min a float
        # file holds, and within the 6 h 12 min of a 16-bit one.
        tracks = [[(at(7200), smf.note_on(0, 60, 100)), (at(7200.1), smf.note_off(0, 60))]]
        song = qbtest.song_file(self, tracks)
        pass_frames = smf.expected_events(tracks)[-1][3] // 8 + 1
        target = qbtest.windows_path(self.out("long.wav"))
        run = quillctl("plugin", SYNTH, "song", song,
                       "send-text", str(protocol.QB_CODE_RENDER), target + "|passes=2",
                       "send", str(protocol.QB_CODE_RENDER_STATUS),
                       "send-text", str(protocol.QB_CODE_RENDER), target + "|passes=2 pcm16",
                       "send", str(protocol.QB_CODE_CANCEL_RENDER), "quit", trace=False)
        self.assertEqual(run.status, 0, run)
        refused, status, accepted, cancelled = self.answers(run.output)
        self.assertEqual(refused, protocol.QB_FAIL_TOO_LONG)
        self.assertEqual(status, protocol.QB_FAIL_TOO_LONG, "the refusal is the last render's")
        self.assertEqual(accepted, (2 * pass_frames + 2 * 48000) * 1000 // 48000)
        self.assertEqual(cancelled, 0)
        self.assertEqual(os.listdir(self.folder), [], "nothing of either render is left")

    def test_a_song_loaded_while_the_render_thread_ends_waits_for_its_end(self):
        # The render is done in a few ms; its thread then takes a second to end, and the
        # host waits for it before putting live playback back. A song loaded meanwhile
        # loads after that, and is not moved to where the earlier song was.
        target = qbtest.windows_path(self.out("done.wav"))
        run = quillctl("plugin", SLOW_THREAD_END, "song", self.song, "play", "wait", "0.5",
                       "send-text", str(protocol.QB_CODE_RENDER), target, "wait", "0.5",
                       "song", self.song, "wait", "1", "position", "status", "quit", trace=False)
        self.assertEqual(run.status, 0, run)
        self.assertIn("position: 0:00.000 (0 ms)\n", run.output, run)
        self.assertIn("status: loaded\n", run.output)

    def test_a_new_song_during_a_render_cancels_it(self):
        target = qbtest.windows_path(self.out("cut.wav"))
        run = quillctl("plugin", SYNTH, "song", self.song,
                       "send-text", str(protocol.QB_CODE_RENDER), target + "|realtime",
                       "wait", "0.5", "song", self.song,
                       "send", str(protocol.QB_CODE_RENDER_STATUS), "status", "quit", trace=False)
        self.assertEqual(run.status, 0, run)
        self.assertEqual(self.answers(run.output)[-1], protocol.QB_RENDER_CANCELLED)
        self.assertEqual(os.listdir(self.folder), [])

    def test_a_plug_in_that_waits_for_the_user_interface_thread_cannot_hold_a_cancel(self):
        # Each of its render calls takes 4 ms, then sends its open editor a message and
        # waits for it: a cancel meets the render thread inside the plug-in.
        run = quillctl(("--send-timeout", "20"), "plugin", build_path("instruments", "qb_synth_slow_sends.dll"),
                       "editor", "song", self.song,
                       "send-text", str(protocol.QB_CODE_RENDER),
                       qbtest.windows_path(self.out("held.wav")) + "|passes=1000 tail=600000",
                       "wait", "0.5", "send", str(protocol.QB_CODE_CANCEL_RENDER),
                       "send", str(protocol.QB_CODE_RENDER_STATUS), "quit", trace=False)
        self.assertEqual(run.status, 0, run)
        self.assertEqual(self.answers(run.output)[-2:], [0, protocol.QB_RENDER_CANCELLED], run)
        self.assertEqual(os.listdir(self.folder), [])

    def test_a_plug_in_that_crashes_in_a_render_ends_the_host_with_the_crash(self):
        run = quillctl("plugin", build_path("instruments", "qb_synth_crash.dll"),
                       "render", self.song, qbtest.windows_path(self.out("crash.wav")), "quit",
                       trace=False)
        self.assertEqual(run.host_status(), 0xC0000005, run)
        self.assertNotIn("crash.wav", os.listdir(self.folder))

    def test_live_playback_goes_on_where_it_was_after_a_render(self):
        target = qbtest.windows_path(self.out("live.wav"))
        song = qbtest.song_file(self, [TRACKS[0] + [(at(4.0), smf.note_off(1, 60))]])
        run = quillctl("plugin", SYNTH, "song", song, "play", "wait", "1.2", "position",
                       "send-text", str(protocol.QB_CODE_RENDER), target + "|tail=0",
                       "wait", "1", "send", str(protocol.QB_CODE_RENDER_STATUS), "status",
                       "position", "quit")
        self.assertEqual(run.status, 0, run)
        self.assertEqual(self.answers(run.output)[-1], protocol.QB_RENDER_DONE)
        self.assertIn("status: playing", run.output)
        before, after = [int(ms) for ms in
                         re.findall(r"^position: .*\((\d+) ms\)$", run.output, re.M)]
        # Paused where the listener was, then on again from there: not from the start,
        # and not more than the wait ahead (the song lasts long enough not to loop).
        self.assertGreater(before, 900)
        self.assertTrue(before - 100 <= after <= before + 1500, (before, after))
        self.assertEqual(os.listdir(self.folder), ["live.wav"])

    def test_a_render_during_a_loop_regions_pass_leaves_the_passes_still_to_play(self):
        # Heard in the second of three passes when the render starts: afterwards the rest
        # of that pass and one more play, not the whole count again.
        song = qbtest.song_file(self, [[(at(0.5), smf.note_on(0, 60, 100)),
                                        (at(1.2), smf.note_on(0, 62, 100)),
                                        (at(2.0), smf.note_on(0, 64, 100))]])
        target = qbtest.windows_path(self.out("pass.wav"))
        run = quillctl("plugin", SYNTH, "song", song, "loop", "0.5", "1.5", "3", "play",
                       "wait", "1.8", "send-text", str(protocol.QB_CODE_RENDER), target + "|tail=0",
                       "wait", "3.5", "status", "quit")
        self.assertEqual(run.status, 0, run)
        self.assertIn("status: loaded\n", run.output, "the region's last pass ended the song")
        streams = [i for i, line in enumerate(run.trace)
                   if line.startswith("BASS_StreamCreate freq=48000 chans=2 flags=0x104")]
        after = [line for line in run.trace[streams[-1]:] if "BASS_VST_ProcessEvent " in line]
        notes = [m for m in (re.search(r" event=1 param=(\d+)", line) for line in after)
                 if m and int(m.group(1)) == 60 | 100 << 8]
        self.assertEqual(len(notes), 1, "passes of the region after the render")

    def test_a_render_after_playback_starts_from_a_silent_instrument(self):
        """Byte for byte what a fresh host renders, after notes that still ring out
        (stopped mid-chord) and after notes still held (the render started while the
        song plays), in the instrument with a delay line too."""
        for plugin in (SYNTH, DELAYED):
            fresh = self.out("fresh.wav")
            run = quillctl("plugin", plugin, "render", self.song, qbtest.windows_path(fresh),
                           "quit", trace=False)
            self.assertEqual(run.status, 0, run)
            for before in (("play", "wait", "1.3", "stop"), ("play", "wait", "1.3")):
                with self.subTest(plugin=os.path.basename(plugin), before=before):
                    used = self.out("used.wav")
                    run = quillctl("plugin", plugin, "song", self.song, *before, "render",
                                   self.song, qbtest.windows_path(used), "quit", trace=False)
                    self.assertEqual(run.status, 0, run)
                    with open(fresh, "rb") as one, open(used, "rb") as other:
                        self.assertTrue(one.read() == other.read(), "the files differ")

if __name__ == "__main__":
    qbtest.main()
