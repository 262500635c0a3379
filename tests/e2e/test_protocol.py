"""The control protocol end to end under Wine, through quillctl: the whole road of a
controller, the reports and their windows, codes that do nothing, odd payloads and a
crashing plug-in."""
import os
import re
import unittest

import protocol
import qbtest
import smf
from qbtest import build_path, quillctl

SYNTH = build_path("instruments", "qb_synth.dll")
TWO_SECONDS = [(0, smf.note_on(0, 60, 100)), (480, smf.note_on(0, 64, 100)),
               (1920, smf.control(0, 123, 0))]


def reports(run):
    return re.findall(r"^(song|editor) report: (.*)$", run.output, re.M)


def answers(run):
    return re.findall(r"^answered (-?\d+)$", run.output, re.M)


class Protocol(unittest.TestCase):
    def song(self, tracks=None):
        return qbtest.song_file(self, tracks or [TWO_SECONDS])

    def test_the_whole_road(self):
        song = self.song()
        # The second note is at 0.5 s: the wait leaves the real-time mixer room to reach it.
        run = quillctl("plugin", SYNTH, "song", song, "play", "wait", "0.8", "editor", "windows",
                       "stop", "free", "quit")
        self.assertEqual(run.status, 0, run)
        self.assertEqual(reports(run), [("editor", "TRUE"), ("song", song)])
        self.assertIn("editor window: handle=", run.output)

        def where(pattern):
            return [i for i, line in enumerate(run.trace) if re.match(pattern, line)]
        instrument = re.search(r" -> (\d+)$", run.trace[where(r"BASS_VST_ChannelCreate ")[0]])
        stream = re.search(r" -> (\d+)$", run.trace[where(r"BASS_StreamCreate ")[0]]).group(1)
        self.assertNotEqual(instrument.group(1), "0", "the plug-in loaded")
        resets = where(r"BASS_VST_ProcessEvent .* event=(15|17|18) param=0 ")
        notes = where(r"BASS_VST_ProcessEvent .* event=1 ")
        self.assertEqual(len(resets), 48, "three resets on each of the 16 channels")
        self.assertEqual(len(notes), 2, "both notes of the first second were played")
        self.assertLess(max(resets), min(notes), "every channel is reset before the first note")
        self.assertEqual(len(where(r"BASS_ChannelPlay handle=%s restart=1 -> 1" % stream)), 1)
        self.assertEqual(len(where(r"BASS_VST_EmbedEditor handle=%s parent=[1-9]" %
                                   instrument.group(1))), 1, "the editor was embedded")
        stopped = where(r"BASS_ChannelStop handle=%s " % stream)
        freed = where(r"BASS_StreamFree handle=%s " % stream)
        self.assertTrue(stopped and freed and stopped[0] < freed[0], "stopped, then freed")

    def test_codes_that_do_nothing_and_commands_before_any_song(self):
        codes = (0, protocol.QB_CODE_QUIT + 1, protocol.QB_CODE_PLAY, protocol.QB_CODE_STOP,
                 protocol.QB_CODE_FREE_STREAM, 4294967295)
        run = quillctl(*sum((["send", str(code)] for code in codes), []), "quit")
        self.assertEqual(run.status, 0, run)
        self.assertEqual(answers(run), ["0"] * 6)
        self.assertEqual(reports(run), [])
        self.assertEqual(run.trace[1:], [], "nothing reaches the audio library")

    def test_a_song_that_does_not_exist_leaves_the_player_as_it_was(self):
        song = self.song()
        missing = qbtest.windows_path(os.path.join(qbtest.SESSION_DIR, "no such song.mid"))
        run = quillctl("plugin", SYNTH, "song", song, "play", "wait", "0.3", "song", missing,
                       "wait", "0.3", "quit")
        self.assertEqual(run.status, 0, run)
        self.assertEqual(reports(run), [("editor", "TRUE"), ("song", song), ("song", missing)])
        after = run.trace[next(i for i, line in enumerate(run.trace)
                               if line.startswith("BASS_MIDI_StreamCreateFile")
                               and line.endswith("-> 0")):]
        self.assertFalse([line for line in after if line.startswith(("BASS_StreamFree",
                                                                     "BASS_StreamCreate"))])
        self.assertTrue([line for line in after if line.startswith("STREAMPROC")],
                        "the earlier song plays on")

    def test_reports_go_to_their_windows_and_nowhere_without_handles(self):
        song = self.song()
        run = quillctl(("--args", "v=3 pid={pid} hwndpf={editor} hwndee={song}"),
                       "song", song, "plugin", SYNTH, "quit")
        self.assertEqual(reports(run), [("editor", song), ("song", "TRUE")],
                         "the handles decide which window gets which report")
        run = quillctl(("--args", "v=3 pid={pid}"), "song", song, "plugin", SYNTH, "quit")
        self.assertEqual(run.status, 0, run)
        self.assertEqual(reports(run), [])
        self.assertTrue([line for line in run.trace if line.startswith("BASS_StreamCreate")],
                        "the commands still ran")

    def test_odd_payloads(self):
        base = qbtest.windows_path(qbtest.SESSION_DIR) + "\\"
        fits = base + "x" * (1023 - len(base))
        too_long = base + "y" * (3000 - len(base))
        run = quillctl("send-text", "1", fits, "send-text", "1", too_long, "send-text", "5", too_long,
                       "send-null", "1", "send-null", "5", "send-bytes", "1", "6", "abcdef",
                       *sum((["send", str(code)] for code in range(8, 40)), []),
                       "send-text", "1", "still here", "quit")
        self.assertEqual(run.status, 0, run)
        self.assertEqual(answers(run), ["0"] * (6 + 32 + 1))
        self.assertEqual(reports(run), [("song", fits), ("song", too_long), ("editor", "FALSE"),
                                        ("song", ""), ("editor", "FALSE"), ("song", "abc"),
                                        ("song", "still here")])
        tried = [re.search(r" file=(.*?) (offset|flags)=", line).group(1) for line in run.trace
                 if line.startswith(("BASS_MIDI_StreamCreateFile", "BASS_VST_ChannelCreate"))]
        # The 3000-character payload is never opened, as a song or as a plug-in; the
        # others are tried as they arrive.
        self.assertEqual(tried, [fits, "", "", "abc", "still here"])


    def test_a_path_beyond_ascii_reaches_the_library_whole(self):
        path = qbtest.write_file(self, smf.midi_file([TWO_SECONDS]), suffix=" чайка ♪.mid")
        song = qbtest.windows_path(path)
        # Given on standard input, which quillctl reads as UTF-8.
        run = quillctl(stdin="song %s\nquit\n" % song)
        self.assertEqual(run.status, 0, run)
        self.assertEqual(reports(run), [("song", song)])
        opened = [line for line in run.trace if line.startswith("BASS_MIDI_StreamCreateFile")]
        self.assertEqual(len(opened), 1)
        self.assertIn(" file=%s offset=" % song, opened[0])
        self.assertFalse(opened[0].endswith("-> 0"), "the file was found")


class Failures(unittest.TestCase):
    def test_a_crashing_plugin_takes_down_only_the_host(self):
        song = qbtest.song_file(self, [[(0, smf.note_on(0, 50, 100)), (240, smf.note_on(0, 60, 100)),
                                        (960, smf.note_off(0, 60))]])
        run = quillctl("plugin", build_path("instruments", "qb_synth_crash.dll"),
                       "song", song, "play", "wait", "3", "quit")
        self.assertEqual(run.host_status(), 0xC0000005, run)
        self.assertIn("host exited: status 0xC0000005: it crashed with an access violation",
                      run.output)
        self.assertEqual(run.status, 0xC0000005 & 0xFF, run)
        self.assertIn("event=1 param=25660 ", run.trace[-1], "it died at the crashing note")


if __name__ == "__main__":
    qbtest.main()
