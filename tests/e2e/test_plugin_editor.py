"""Plug-in loading and the editor window under Wine, with the stand-in instruments: the
editor reports, the calls that reach the library, and the editor window's class, size,
position, life cycle and drawing."""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import qbtest
import smf
from qbtest import build_path, quillctl

SYNTH = build_path("instruments", "qb_synth.dll")
WIDE = build_path("instruments", "qb_synth_wide.dll")
PLAIN = build_path("instruments", "qb_synth_plain.dll")
MISSING = build_path("instruments", "no_such_plugin.dll")
WINDOW = re.compile(r"editor window: handle=(\d+) visible=(\d) owner=(\d+) parent=(\d+) "
                    r"client=(\d+)x(\d+) at=(-?\d+),(-?\d+) children=(\d+)")


def editor_listings(run):
    """For each 'windows' command: the list of (handle, visible, owner, parent, width,
    height, x, y, children) of the host's editor windows."""
    listings = []
    for line in run.output.splitlines():
        if line.startswith("editor windows:"):
            listings.append([])
        match = WINDOW.match(line)
        if match:
            listings[-1].append(tuple(int(v) for v in match.groups()))
    return listings


class LoadPlugin(unittest.TestCase):
    def test_reports_and_the_calls_that_reach_the_library(self):
        run = quillctl("plugin", SYNTH, "plugin", PLAIN, "plugin", MISSING, "plugin", WIDE, "quit")
        self.assertEqual(run.status, 0, run)
        self.assertEqual(re.findall(r"^editor report: (.*)$", run.output, re.M),
                         ["TRUE", "FALSE", "FALSE", "TRUE"])
        vst = [line for line in run.trace if line.startswith("BASS_VST_")]
        handles = [line.rsplit(" ", 1)[1] for line in vst if line.startswith("BASS_VST_ChannelCreate")]
        self.assertEqual(handles[2], "0", "a missing plug-in gives no handle")
        # Each plug-in that loaded is asked to tell the host when its editor resizes.
        callbacks = [line for line in vst if line.startswith("BASS_VST_SetCallback")]
        self.assertEqual(callbacks, ["BASS_VST_SetCallback handle=%s -> 1" % h
                                     for h in handles if h != "0"])
        vst = [line for line in vst if line not in callbacks]

        def create(path, handle):
            return ("BASS_VST_ChannelCreate freq=48000 chans=2 file=%s flags=0x80200100 -> %s"
                    % (path, handle))
        self.assertEqual(vst[:3], ["BASS_VST_ChannelFree handle=0 -> 1", create(SYNTH, handles[0]),
                                   "BASS_VST_GetInfo handle=%s -> 1 editor=1 400x300" % handles[0]])
        self.assertEqual(vst[3:5], ["BASS_VST_ChannelFree handle=%s -> 1" % handles[0],
                                    create(PLAIN, handles[1])])
        self.assertEqual(vst[6:8], ["BASS_VST_ChannelFree handle=%s -> 1" % handles[1],
                                    create(MISSING, 0)])
        # Nothing is asked of a plug-in that did not load.
        self.assertEqual(vst[8], "BASS_VST_ChannelFree handle=0 -> 1")

    def test_switching_instruments_while_a_song_plays(self):
        notes = [(i * 24, smf.note_on(i % 4, 48 + i % 24, 100)) for i in range(400)]
        notes += [(i * 24 + 12, smf.note_off(i % 4, 48 + i % 24)) for i in range(400)]
        song = qbtest.song_file(self, [notes])
        switches = []
        for i in range(30):
            switches += ["plugin", (SYNTH, WIDE, PLAIN)[i % 3], "wait", "0.03"]
        run = quillctl("song", song, "play", *switches, "wait", "0.5", "quit",
                       extra_env={"QB_PERIOD_BYTES": "256"})
        self.assertEqual(run.status, 0, run)
        self.assertEqual(len(re.findall(r"^editor report: ", run.output, re.M)), 30)
        # The last instrument is still pulled and played after all the switches.
        last = [line for line in run.trace if line.startswith("BASS_VST_ChannelCreate")][-1]
        handle = last.rsplit(" ", 1)[1]
        tail = run.trace[run.trace.index(last):]
        self.assertTrue(any(line.startswith("BASS_ChannelGetData handle=%s " % handle) for line in tail))

    def test_a_long_path_is_passed_through_whole(self):
        folder = tempfile.mkdtemp(dir=qbtest.SESSION_DIR)
        self.addCleanup(shutil.rmtree, folder)
        deep = os.path.join(folder, *["a-rather-long-folder-name-%02d" % i for i in range(12)])
        os.makedirs(deep)
        plugin = os.path.join(deep, "qb_synth.dll")
        shutil.copy(os.path.join(qbtest.BUILD_DIR, "instruments", "qb_synth.dll"), plugin)
        path = qbtest.windows_path(plugin)
        self.assertGreater(len(path), 300)
        run = quillctl("plugin", path, "quit")
        self.assertEqual(run.status, 0, run)
        created = [line for line in run.trace if line.startswith("BASS_VST_ChannelCreate")]
        self.assertEqual(len(created), 1)
        self.assertIn("file=%s flags=" % path, created[0])


class EditorWindow(unittest.TestCase):
    def test_shown_hidden_shown_again_and_replaced(self):
        run = quillctl("plugin", SYNTH, "windows", "editor", "windows", "editor", "windows",
                       "close-editor", "windows", "editor", "windows",
                       "plugin", WIDE, "windows", "editor", "windows",
                       "plugin", PLAIN, "editor", "windows", "quit")
        self.assertEqual(run.status, 0, run)
        lists = editor_listings(run)
        self.assertEqual(len(lists), 8, run)
        self.assertEqual(lists[0], [], "no window before the first ShowEditor")
        (first,) = lists[1]
        handle = first[0]
        # Top-level, unowned, client area exactly 400 x 300 with its corner at (100, 100),
        # the editor embedded in it.
        self.assertEqual(first[1:], (1, 0, 0, 400, 300, 100, 100, 1))
        self.assertEqual(lists[2], [first], "a second ShowEditor shows the same window")
        self.assertEqual(lists[3], [(handle, 0) + first[2:]], "closing hides it")
        self.assertEqual(lists[4], [first], "ShowEditor brings it back, editor still in it")
        self.assertEqual(lists[5], [], "a new LoadPlugin destroys it")
        (wide,) = lists[6]
        self.assertEqual(wide[1:], (1, 0, 0, 640, 480, 100, 100, 1))
        self.assertEqual(lists[7], [], "no editor, no window")
        embeds = [line for line in run.trace if line.startswith("BASS_VST_EmbedEditor")
                  and " parent=0 " not in line]
        self.assertEqual(len(embeds), 2, "embedded once per window made")
        self.assertIn("parent=%d -> 1" % handle, embeds[0])
        # Before its window is destroyed, the editor is closed; the plug-in goes last.
        self.assertFalse([line for line in run.trace if line.startswith("EDITOR ")])
        vst = [line for line in run.trace if line.startswith("BASS_VST_") and
               not line.startswith("BASS_VST_ProcessEvent")]
        closes = [i for i, line in enumerate(vst) if " parent=0 " in line]
        self.assertEqual(len(closes), 2, "closed before each of the two windows went")
        for i in closes:
            closed = re.match(r"BASS_VST_EmbedEditor handle=(\d+) parent=0 -> 1", vst[i])
            self.assertIsNotNone(closed, vst[i])
            self.assertEqual(vst[i + 1], "BASS_VST_ChannelFree handle=%s -> 1" % closed.group(1))

    def test_an_editor_that_knows_its_size_only_once_open(self):
        run = quillctl("plugin", build_path("instruments", "qb_synth_late_size.dll"),
                       "editor", "windows", "quit")
        self.assertEqual(run.status, 0, run)
        self.assertEqual(re.findall(r"^editor report: (.*)$", run.output, re.M), ["TRUE"])
        (window,) = editor_listings(run)[0]
        self.assertEqual(window[1:], (1, 0, 0, 320, 200, 100, 100, 1))

    def test_editor_for_a_plugin_that_did_not_load(self):
        run = quillctl("plugin", MISSING, "editor", "windows", "quit")
        self.assertEqual(run.status, 0, run)
        self.assertEqual(editor_listings(run), [[]])
        self.assertFalse([line for line in run.trace if line.startswith("BASS_VST_EmbedEditor")])


def screenshot_pixels(display, x, y, width, height):
    """The screen's pixels in the rectangle, as a list of (r, g, b), and the PNG bytes."""
    shot = subprocess.run(["import", "-display", display, "-window", "root",
                           "-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage", "png:-"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True).stdout
    raw = subprocess.run(["convert", "png:-", "-depth", "8", "rgb:-"], input=shot,
                         stdout=subprocess.PIPE, check=True).stdout
    return [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)], shot


class EditorDrawing(unittest.TestCase):
    def test_the_editor_draws_its_keyboard_with_the_sounding_keys(self):
        chord = [(0, smf.note_on(0, key, 100)) for key in (60, 64, 67)]
        chord += [(48000, smf.note_off(0, key)) for key in (60, 64, 67)]
        song = qbtest.song_file(self, [chord])
        display = qbtest.session_environment()["DISPLAY"]
        with qbtest.Background("plugin", SYNTH, "song", song, "play",
                               "editor", "wait", "4", "quit") as controller:
            time.sleep(2.5)
            pixels, png = screenshot_pixels(display, 100, 100, 400, 300)
        self.assertIn("host exited: status 0", controller.output())
        shot_path = os.path.join(qbtest.SESSION_DIR, "editor-%s.png" % qbtest.WIDTH)
        with open(shot_path, "wb") as out:
            out.write(png)
        print("screenshot: %s" % shot_path)

        def share(colour):
            return sum(1 for p in pixels if all(abs(a - b) <= 8 for a, b in zip(p, colour))) / len(pixels)
        self.assertEqual(len(pixels), 400 * 300)
        self.assertGreater(share((24, 64, 72)), 0.3, "the editor's background")
        self.assertGreater(share((250, 250, 245)), 0.1, "white keys")
        self.assertGreater(share((20, 20, 20)), 0.02, "black keys")
        self.assertGreater(share((255, 140, 0)), 0.005, "the sounding keys light up")


if __name__ == "__main__":
    qbtest.main()
