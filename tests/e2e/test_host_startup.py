"""The host's start-up under Wine: which command lines it refuses, its main window,
its ways of ending, and how it opens the audio output."""
import re
import unittest

import qbtest
from qbtest import build_path, quillctl


class CommandLine(unittest.TestCase):
    def test_refused_lines_end_with_status_1_and_no_window(self):
        for line in ("v=4 pid={pid}", "pid={pid}", "v=3", "v=3 pid=-1", "v=-1 pid={pid}", ""):
            with self.subTest(line=line):
                run = quillctl(("--args", line))
                self.assertEqual(run.status, 1, run)
                self.assertIn("host ended without a window", run.output)
                self.assertEqual(run.trace, [], "nothing reaches the audio library")

    def test_accepted_lines_show_the_main_window(self):
        for line in ("v=3 pid={pid} hwndpf={song} hwndee={editor}", "pid={pid} v=2",
                     "v=-7 pid={pid}", "v=x pid={pid}", "v=3 pid={pid}"):
            with self.subTest(line=line):
                run = quillctl(("--args", line), "close")
                self.assertEqual(run.status, 0, run)
                window = run.host_window()
                self.assertIsNotNone(window, run)
                self.assertEqual(window[1:], (qbtest.HOST_CLASS, qbtest.HOST_CLASS))


class Ending(unittest.TestCase):
    def test_closing_the_main_window_ends_with_status_0(self):
        run = quillctl("wait", "0.2", "close")
        self.assertEqual(run.status, 0, run)
        self.assertIn("host exited: status 0", run.output)

    def test_host_ends_at_once_when_its_parent_dies_even_while_a_plugin_hangs_it(self):
        # The host's parent is a decoy process that quillctl ends, timing the host's end
        # on the host's process handle.
        for name, commands in (
                ("idle", []),
                ("hung loading a plug-in", ["plugin", build_path("instruments",
                                                                 "qb_synth_hang_load.dll")]),
                ("hung opening an editor", ["plugin", build_path("instruments",
                                                                 "qb_synth_hang_editor.dll"),
                                            "editor"])):
            with self.subTest(name):
                figures = []
                for _ in range(3):
                    run = quillctl(("--decoy-parent",), ("--send-timeout", "1"), *commands,
                                   "kill-parent")
                    self.assertEqual(run.status, 0, run)
                    match = re.search(r"host ended (\d+) ms after its parent", run.output)
                    self.assertIsNotNone(match, run)
                    figures.append(int(match.group(1)))
                print("%s-bit host, %s: ended %s ms after its parent" %
                      (qbtest.WIDTH, name, ", ".join(map(str, figures))))
                # Not the watchdog timer's second: the host waits on the parent itself.
                self.assertLess(max(figures), 500)

    def test_a_parent_that_does_not_exist_ends_the_host(self):
        run = quillctl(("--args", "v=3 pid=2147483647"), "wait", "5")
        self.assertEqual(run.status, 0, run)


class AudioOutput(unittest.TestCase):
    def test_output_opened_on_the_default_device_for_the_main_window(self):
        run = quillctl("close")
        self.assertEqual(run.status, 0, run)
        handle = run.host_window()[0]
        self.assertEqual(run.trace, ["BASS_Init device=-1 freq=48000 flags=0x0 win=%d clsid=null -> 1"
                                     % handle])


if __name__ == "__main__":
    qbtest.main()
