"""What a plug-in or a controller may do without hanging, crashing or keeping alive the
host: crash with Wine's crash debugger on, call into the user-interface thread from its
audio processing, run a message loop inside a command, hang in its shutdown code, hang
the audio device's opening; a controller that gives up on a command and goes on, one
whose report windows are not serviced, one that uses the client library from two
threads."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import protocol
import qbtest
import smf
from qbtest import build_path, quillctl

SYNTH = build_path("instruments", "qb_synth.dll")
PLANTED_PLUGIN = build_path("instruments", "qb_synth_planted.dll")
SLOW_SENDS = build_path("instruments", "qb_synth_slow_sends.dll")
NOTES = [(0, smf.note_on(0, 60, 100)), (240, smf.note_on(0, 64, 100)),
         (960, smf.control(0, 123, 0))]
DEBUGGER_KEYS = (r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug",
                 r"HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion"
                 r"\AeDebug")


def set_registry(text):
    path = os.path.join(qbtest.SESSION_DIR, "hostile.reg")
    with open(path, "w") as out:
        out.write("REGEDIT4\n\n" + text)
    env = qbtest.session_environment()
    subprocess.run(["wine", "regedit", "/S", qbtest.windows_path(path)], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.remove(path)


def crash_debugger(on):
    """Wine's own default: its debugger starts on a crash and shows its dialog."""
    value = '"winedbg --auto %ld %ld"' if on else "-"
    set_registry("[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n"
                 '"ShowCrashDialog"=dword:%08x\n\n' % (1 if on else 0) +
                 "".join('[%s]\n"Debugger"=%s\n\n' % (key, value) for key in DEBUGGER_KEYS))


def client_driver(*args, timeout=120):
    return qbtest.wine_program(os.path.join("tests", "client_driver.exe"), *args, timeout=timeout)


def host_program():
    return qbtest.windows_path(os.path.join(qbtest.DIST_DIR, "Quillbrook%s.exe" % qbtest.WIDTH))


def planted_library(test):
    """A folder, removed when `test` ends, holding the library qb_synth_planted.dll looks
    for by name."""
    folder = tempfile.mkdtemp(dir=qbtest.SESSION_DIR)
    test.addCleanup(shutil.rmtree, folder)
    shutil.copy(os.path.join(qbtest.BUILD_DIR, "instruments", "qb_synth.dll"),
                os.path.join(folder, "qb_planted.dll"))
    return folder


def answered_every_command(test, run):
    test.assertNotIn("did not answer", run.output, run)
    test.assertEqual(run.host_status(), 0, run)


class ACrashEndsTheHostAtOnce(unittest.TestCase):
    def setUp(self):
        crash_debugger(True)
        self.addCleanup(crash_debugger, False)
        self.song = qbtest.song_file(self, [[(0, smf.note_on(0, 50, 100)),
                                             (240, smf.note_on(0, 60, 100))]])
        self.plugin = build_path("instruments", "qb_synth_crash.dll")

    def test_through_quillctl(self):
        run = quillctl(("--send-timeout", "5"), "plugin", self.plugin, "song", self.song, "play",
                       "wait", "1.5", "quit", timeout=60)
        self.assertEqual(run.host_status(), 0xC0000005, run)
        self.assertIn("it crashed with an access violation", run.output)
        self.assertIn("event=1 param=25660 ", run.trace[-1], "it died at the crashing note")

    def test_also_inside_a_command(self):
        # The plug-in crashes while it loads, inside the load command's message, where
        # 64-bit Windows and Wine would swallow the exception.
        planted = planted_library(self)
        env = {"WINEPATH": qbtest.session_environment()["WINEPATH"] + ";" +
                           qbtest.windows_path(planted)}
        run = quillctl(("--send-timeout", "5"), "plugin", PLANTED_PLUGIN, "wait", "1", "quit",
                       extra_env=env, timeout=60)
        self.assertEqual(run.host_status(), 0xC0000005, run)
        self.assertIn("the host ended while it handled the command", run.output)

    def test_through_the_client_library_with_the_default_error_mode(self):
        status, output = client_driver("crash", qbtest.windows_path(qbtest.DIST_DIR), self.plugin,
                                       self.song, timeout=60)
        self.assertEqual(status, 0, output)
        match = re.search(r"host ended (\d+) ms later with status 0xC0000005: it crashed", output)
        self.assertIsNotNone(match, output)
        # The note that crashes it lies 250 ms into the song.
        self.assertLess(int(match.group(1)), 1250, output)


class APluginThatCallsTheUserInterfaceThread(unittest.TestCase):
    """Its audio processing sends a message to its open editor and waits for the answer,
    while the commands that stop, replace or free what it plays run."""

    def test_every_command_is_answered(self):
        song = qbtest.song_file(self, [NOTES])
        for no_wait in ("0", "1"):
            with self.subTest(library_waits_for_the_callback=no_wait == "0"):
                run = quillctl(("--send-timeout", "10"),
                               "plugin", build_path("instruments", "qb_synth_sends.dll"),
                               "song", song, "play", "editor", "wait", "0.3", "stop",
                               "song", song, "play", "wait", "0.2", "play", "wait", "0.2",
                               "free", "song", song, "play", "wait", "0.2", "plugin", SYNTH,
                               "wait", "0.2", "quit",
                               extra_env={"QB_NO_WAIT": no_wait, "QB_FAST": "1"}, timeout=120)
                answered_every_command(self, run)
                self.assertEqual(len(re.findall(r"^song report: ", run.output, re.M)), 3, run)


class APluginThatCallsTheUserInterfaceThreadFromEveryRenderCall(unittest.TestCase):
    """Each of its render calls takes 4 ms and then waits for its open editor, so any
    call the host makes into the libraries or the plug-in from the user-interface
    thread meets one, and the stand-ins make every such call wait for it."""

    def every_command(self, commands, **env):
        run = quillctl(("--send-timeout", "5"), "plugin", SLOW_SENDS, *commands, "quit",
                       extra_env=dict({"QB_FAST": "1"}, **env), timeout=300)
        answered_every_command(self, run)
        return run

    def test_while_its_song_plays(self):
        song = qbtest.song_file(self, [NOTES])
        state = os.path.join(tempfile.mkdtemp(dir=qbtest.SESSION_DIR), "state.qbs")
        out = qbtest.windows_path(state + ".wav")
        for no_wait in ("0", "1"):
            with self.subTest(library_waits_for_the_callback=no_wait == "0"):
                run = self.every_command([
                    "song", song, "play", "editor", "wait", "0.3", "status", "position",
                    "length", "capabilities", "send", "105", "volume", "0.5",
                    "volume", "0.8", "200", "wait", "0.3", "pause", "status", "resume",
                    "seek", "0.1", "loop", "0", "end", "no-loop", "programs", "program", "0",
                    "params", "param", "0", "0.5", "midi", "90", "3C", "64", "info",
                    "save-state", state, "load-state", state, "editor", "send-text", "122",
                    out + "|passes=20 realtime", "wait", "0.2", "position", "status",
                    "send", "124", "send", "125", "volume", "0.2", "200", "then-pause",
                    "wait", "0.4", "resume", "song", song, "play", "wait", "0.2", "stop",
                    "play", "wait", "0.2", "free", "song", song, "play", "wait", "0.2",
                    "plugin", SYNTH], QB_NO_WAIT=no_wait)
                self.assertIn("status: paused", run.output, run)

    def test_while_it_renders_a_song(self):
        song = qbtest.song_file(self, [NOTES])
        out = qbtest.windows_path(os.path.join(tempfile.mkdtemp(dir=qbtest.SESSION_DIR),
                                               "out.wav"))
        started = ["send-text", "122", out + "|passes=50 realtime", "wait", "0.3"]
        run = self.every_command([
            "song", song, "play", "editor", "wait", "0.2", *started, "status", "position",
            "length", "capabilities", "send", "105", "info", "send", "123", "send", "124",
            "send-text", "122", out, "volume", "0.5", "pause", "seek", "0", "programs",
            "midi", "90", "3C", "64", "editor", "send", "125", "wait", "0.2", *started,
            "play", "wait", "0.2", *started, "song", song, "wait", "0.2", *started,
            "plugin", SYNTH])
        # Live playback waits, paused, for each render; the second render is refused, and
        # what is refused meanwhile says why.
        self.assertIn("status: paused", run.output, run)
        self.assertIn("pause: a render to a file is under way", run.output, run)
        self.assertEqual(run.output.count("answered 52001"), 4, run)


class ACommandThatArrivesInsideAnother(unittest.TestCase):
    """The editor's opening runs a message loop for 3 s; the controller gives up on it
    after 1 s and sends the next commands, which arrive inside that loop."""

    def test_runs_after_it_in_order(self):
        song = qbtest.song_file(self, [NOTES])
        run = quillctl(("--send-timeout", "1"),
                       "plugin", build_path("instruments", "qb_synth_modal_editor.dll"),
                       "editor", "plugin", SYNTH, "song", song, "play", "wait", "4", "quit",
                       timeout=60)
        self.assertEqual(run.host_status(), 0, run)
        calls = [line for line in run.trace if line.startswith(("BASS_VST_", "BASS_MIDI_Stream"
                                                                "CreateFile", "BASS_ChannelPlay"))
                 and not line.startswith(("BASS_VST_ProcessEvent", "BASS_VST_SetCallback"))]
        names = [line.split(" ", 1)[0] for line in calls]
        modal = re.search(r" -> (\d+)$", calls[1]).group(1)
        # The editor is embedded, and that call has returned, before the plug-in it
        # belongs to is closed and freed; then the later commands run in order.
        self.assertEqual(names[1:], [
            "BASS_VST_ChannelCreate", "BASS_VST_GetInfo", "BASS_VST_EmbedEditor",
            "BASS_VST_EmbedEditor", "BASS_VST_ChannelFree", "BASS_VST_ChannelCreate",
            "BASS_VST_GetInfo", "BASS_MIDI_StreamCreateFile", "BASS_ChannelPlay"], run)
        self.assertIn("handle=%s " % modal, calls[3])
        self.assertIn("handle=%s " % modal, calls[5])
        self.assertEqual(re.findall(r"^editor report: (.*)$", run.output, re.M), ["TRUE", "TRUE"])

    def test_the_controllers_end_still_ends_the_host_meanwhile(self):
        run = quillctl(("--decoy-parent",), ("--send-timeout", "1"),
                       "plugin", build_path("instruments", "qb_synth_modal_editor.dll"),
                       "editor", "kill-parent", timeout=60)
        match = re.search(r"host ended (\d+) ms after its parent", run.output)
        self.assertIsNotNone(match, run)
        self.assertLess(int(match.group(1)), 500, run)


class APluginWhoseShutdownHangs(unittest.TestCase):
    def test_quit_close_and_the_controllers_end_still_end_the_host(self):
        plugin = build_path("instruments", "qb_synth_hang_exit.dll")
        for how in (["quit"], ["close"], ["kill-parent"]):
            with self.subTest(how[0]):
                options = [("--decoy-parent",)] if how == ["kill-parent"] else []
                run = quillctl(*options, ("--send-timeout", "5"), "plugin", plugin, *how,
                               timeout=60)
                self.assertEqual(run.host_status() if how != ["kill-parent"] else run.status, 0,
                                 run)
                if how == ["kill-parent"]:
                    self.assertRegex(run.output, r"host ended \d+ ms after its parent")


class LibrariesInTheControllersFolder(unittest.TestCase):
    def test_are_not_found_by_plugins(self):
        # A dependency the plug-in looks up by name lies in the folder quillctl runs in;
        # the plug-in crashes if it is found.
        folder = planted_library(self)
        run = quillctl("plugin", PLANTED_PLUGIN, "quit", cwd=folder, timeout=60)
        self.assertEqual(run.host_status(), 0, run)
        self.assertEqual(re.findall(r"^editor report: (.*)$", run.output, re.M), ["TRUE"])


class AnAudioDeviceThatHangsWhileOpening(unittest.TestCase):
    def test_the_controllers_end_still_ends_the_host(self):
        run = quillctl(("--decoy-parent",), ("--send-timeout", "5"), "kill-parent",
                       extra_env={"QB_HANG_INIT": "1"}, timeout=60)
        match = re.search(r"host ended (\d+) ms after its parent", run.output)
        self.assertIsNotNone(match, run)
        self.assertLess(int(match.group(1)), 500, run)


class AControllerThatDoesNotServiceItsReportWindows(unittest.TestCase):
    def test_does_not_stop_the_host(self):
        song = qbtest.song_file(self, [NOTES])
        status, output = client_driver("stalled-reports", host_program(), SYNTH, song)
        self.assertEqual(status, 0, output)
        for command in ("song", "plugin"):
            answered = int(re.search(r"^%s answered in (\d+) ms" % command, output, re.M).group(1))
            self.assertLess(answered, 10000, output)
        self.assertIn("quit: result 0 ", output)


class AControllerThatDoesNotReadItsNotifications(unittest.TestCase):
    def test_does_not_slow_or_stop_the_host(self):
        # Twenty thousand notes in four seconds, each posted to a window never read.
        notes = [(i // 10, smf.note_on(i % 16, 40 + i % 40, 100)) for i in range(20000)]
        song = qbtest.song_file(self, [notes])
        status, output = client_driver("unread-watch", host_program(), SYNTH, song)
        self.assertEqual(status, 0, output)
        self.assertIn("watch: result 0 ", output)
        self.assertLess(int(re.search(r"^slowest status: (\d+) ms", output, re.M).group(1)), 1000,
                        output)
        self.assertGreater(int(re.search(r"^posted (\d+)", output, re.M).group(1)), 10000, output)
        self.assertIn("quit: result 0 ", output)


class TheClientLibrary(unittest.TestCase):
    def test_a_quit_message_posted_before_a_wait_is_kept(self):
        status, output = client_driver("quit-message", host_program())
        self.assertEqual(status, 0, output)
        self.assertIn("quit message kept: 7", output)
        self.assertIn("quit: result 0 ", output)
        self.assertIn("second quit: result %d the host ended before the quit was sent" %
                      6, output, "the same answer as every other call after the end")

    def test_other_threads_are_refused_and_a_close_from_one_is_safe(self):
        song = qbtest.song_file(self, [NOTES])
        status, output = client_driver("other-thread", host_program(), song)
        self.assertEqual(status, 0, output)
        self.assertIn("play from another thread: result 10 called from another thread", output)
        self.assertIn("reports after the close: 0", output)
        self.assertIn("host ended", output)

    def test_numbers_no_command_takes_are_refused_before_anything_is_sent(self):
        status, output = client_driver("odd-numbers", host_program())
        self.assertEqual(status, 0, output)
        results = re.findall(r"^(.*): result (\d+) ", output, re.M)
        self.assertEqual([r for r in results if r[0] != "render of zeros"],
                         [(what, "1") for what in (
                             "loop to NaN", "loop from a huge start", "seek to a huge position",
                             "parameter NaN", "parameter huge", "render of too many passes",
                             "render of too long a tail")] + [("quit", "0")], output)
        # A record of zeros asks for the defaults: the host refuses it for want of a song.
        self.assertIn("render of zeros: host answer %d" % protocol.QB_FAIL_NO_SONG, output)


if __name__ == "__main__":
    qbtest.main()
