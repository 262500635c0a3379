"""The player controls through quillctl and the client library under Wine: pause and
resume, seek, position and length, volume and fades, loop regions, and a host beside
libraries that lack the functions they need."""
import array
import os
import re
import shutil
import struct
import tempfile
import unittest

import protocol
import qbtest
import smf
from qbtest import build_path, quillctl

SYNTH = build_path("instruments", "qb_synth.dll")
TICKS_PER_SECOND = 960  # division 480 at 120 beats a minute
BYTES_PER_SECOND = 48000 * 8
EVENT = re.compile(r"BASS_VST_ProcessEvent handle=\d+ chan=(\d+) event=(\d+) param=(\d+) "
                   r"rendered=(\d+) -> 1")
# What a reset of the controllers resets, in the test instrument as in most.
RESET_BY_17 = {3, 4, 11, 14, 15}


def at(seconds):
    return int(round(seconds * TICKS_PER_SECOND))


def bend(channel, value):
    return bytes([0xE0 | channel, value & 0x7F, value >> 7])


def sent_events(lines):
    """(chan, event, param, rendered) of each event the instrument took, in order."""
    return [tuple(int(g) for g in m.groups()) for m in map(EVENT.match, lines) if m]


def fold(events):
    """Each channel's state after `events`: the last value of each event type that is
    state, a reset of the controllers clearing what it resets."""
    state = {}
    for chan, event, param, _ in events:
        if event == 17:
            state = {key: value for key, value in state.items()
                     if key[0] != chan or key[1] not in RESET_BY_17}
        elif event not in (1, 16, 18):
            state[(chan, event)] = param
    return state


def split_at_last_stream(trace):
    """The trace lines before and after the last output stream was made."""
    made = [i for i, line in enumerate(trace) if line.startswith("BASS_StreamCreate freq=48000 chans=2 flags=0x104")]
    return trace[:made[-1]], trace[made[-1]:]


def older_libraries(test, missing):
    """A copy of the stand-ins in which the functions named in `missing` are no longer
    exported (their names in the export table changed, the table sorted again), as in an
    older build; gives the folder, as Windows sees it."""
    folder = tempfile.mkdtemp(dir=qbtest.SESSION_DIR)
    test.addCleanup(shutil.rmtree, folder)
    source = os.path.join(qbtest.BUILD_DIR, "standin")
    for name in os.listdir(source):
        shutil.copy(os.path.join(source, name), folder)
        if name.endswith(".dll"):
            hide_exports(os.path.join(folder, name), missing)
    return qbtest.windows_path(folder)


def hide_exports(path, names):
    with open(path, "r+b") as dll:
        data = bytearray(dll.read())
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
        export_rva = struct.unpack_from("<I", data, directories)[0]
        table = [struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8)
                 for i in range(sections)]

        def offset(rva):
            for size, address, _, raw in table:
                if address <= rva < address + size:
                    return rva - address + raw
            raise ValueError(rva)

        directory = offset(export_rva)
        count, names_rva, ordinals_rva = struct.unpack_from("<I4xII", data, directory + 24)
        entries = []
        for i in range(count):
            name_at = offset(struct.unpack_from("<I", data, offset(names_rva) + 4 * i)[0])
            end = data.index(b"\0", name_at)
            if data[name_at:end].decode() in names:
                data[name_at:name_at + 5] = b"GONE_"
            entries.append((bytes(data[name_at:end]), struct.unpack_from("<I", data, offset(names_rva) + 4 * i)[0],
                            struct.unpack_from("<H", data, offset(ordinals_rva) + 2 * i)[0]))
        # The loader looks names up by binary search: the table stays sorted.
        for i, (_, name_rva, ordinal) in enumerate(sorted(entries)):
            struct.pack_into("<I", data, offset(names_rva) + 4 * i, name_rva)
            struct.pack_into("<H", data, offset(ordinals_rva) + 2 * i, ordinal)
        dll.seek(0)
        dll.write(data)


FURTHER = re.findall(r"WINAPI (BASS_\w+)\(", open(os.path.join(
    qbtest.SOURCE_DIR, "audio", "bass_further_api.h")).read())


class PauseAndSeek(unittest.TestCase):
    def test_resume_goes_on_with_every_event_at_its_exact_position(self):
        notes = [(at(0.1 * i), smf.note_on(0, 60 + i % 12, 100)) for i in range(40)]
        song = qbtest.song_file(self, [notes])
        run = quillctl("plugin", SYNTH, "song", song, "play", "wait", "1", "pause", "status",
                       "wait", "0.6", "position", "wait", "0.3", "position", "resume", "status",
                       "wait", "3.5", "quit")
        self.assertEqual(run.status, 0, run)
        self.assertIn("status: paused\n", run.output)
        self.assertIn("status: playing\n", run.output)
        paused = re.findall(r"position: \S+ \((\d+) ms\)", run.output)
        self.assertEqual(len(set(paused)), 1, "the position holds while paused: %s" % paused)
        played = [e for e in sent_events(run.trace) if e[1] == 1][:40]  # the first pass
        self.assertEqual([(e[2], e[3]) for e in played],
                         [(60 + i % 12 | 100 << 8, i * BYTES_PER_SECOND // 10) for i in range(40)],
                         "each note once, at its byte position, before and after the pause")

    def test_a_seek_gives_every_channel_the_state_it_had_there_and_plays_the_target(self):
        song = qbtest.song_file(self, [[
            (0, smf.program(0, 5)), (at(0.5), smf.control(0, 1, 40)), (at(0.6), smf.note_on(0, 50, 90)),
            (at(1.0), bend(1, 10000)), (at(1.2), smf.control(1, 121, 0)), (at(1.3), bend(1, 9000)),
            (at(1.5), smf.control(1, 7, 90)), (at(1.5), smf.control(0, 64, 127)),
            (at(3.0), smf.note_on(0, 60, 100)), (at(3.5), smf.note_on(0, 62, 100)),
            (at(4.0), smf.program(0, 9)), (at(4.0), smf.control(2, 7, 30)),
            (at(5.0), smf.note_on(0, 64, 100))]])
        run = quillctl("plugin", SYNTH, "song", song, "play", "wait", "4.5", "seek", "3",
                       "wait", "1", "quit")
        self.assertEqual(run.status, 0, run)
        self.assertIn("seek: 0:03.000 (3000 ms)", run.output)
        before, after = split_at_last_stream(run.trace)
        first = sent_events(before)
        target = 3 * BYTES_PER_SECOND
        state_there = fold(e for e in first if e[3] < target)
        self.assertEqual(first[-1][3] >= 4 * BYTES_PER_SECOND, True, "the song played past 4 s")
        resumed = sent_events(after)
        replay_at = resumed[0][3]
        replay = [e for e in resumed if e[3] == replay_at and e[1:3] != (1, 60 | 100 << 8)]
        # Channel 2's volume, set only after the target, is back at its usual default.
        self.assertEqual(fold(replay), {**state_there, (2, 12): 100})
        self.assertTrue(all(e[1] != 1 for e in replay), "no note of before the target sounds")
        notes = [(e[2] & 0x7F, e[3] - replay_at) for e in resumed if e[1] == 1]
        self.assertEqual(notes[:2], [(60, 0), (62, BYTES_PER_SECOND // 2)],
                         "the note at the target plays at once, the next at its distance")

    def test_position_and_length_agree_with_what_the_library_says_is_heard(self):
        song = qbtest.song_file(self, [[(0, smf.note_on(0, 60, 100)), (at(8.25), smf.note_off(0, 60))]])
        run = quillctl("plugin", SYNTH, "song", song, "length", "play", "wait", "1", "position",
                       "seek", "5", "position", "wait", "1", "position", "quit",
                       extra_env={"QB_REQUEST_PROFILE": "device"})
        self.assertEqual(run.status, 0, run)
        self.assertIn("length: 0:08.250 (8250 ms)", run.output)
        answers = [int(ms) for ms in re.findall(r"position: \S+ \((\d+) ms\)", run.output)]
        heard = [int(n) for n in re.findall(r"BASS_ChannelGetPosition handle=\d+ mode=0x0 -> (\d+)", "\n".join(run.trace))]
        self.assertEqual(len(answers), 3, run)
        self.assertAlmostEqual(answers[0], heard[0] * 1000 / BYTES_PER_SECOND, delta=1)
        self.assertEqual(answers[1], 5000, "right after the seek")
        self.assertAlmostEqual(answers[2], 5000 + heard[2] * 1000 / BYTES_PER_SECOND, delta=1)
        self.assertAlmostEqual(answers[0], 1000, delta=400)
        self.assertAlmostEqual(answers[2], 6000, delta=400)

    def test_a_pause_by_the_device_is_a_state_of_its_own_and_resumes(self):
        song = qbtest.song_file(self, [[(0, smf.note_on(0, 60, 100)), (at(6), smf.note_off(0, 60))]])
        run = quillctl("plugin", SYNTH, "song", song, "play", "wait", "1.5", "status", "resume",
                       "status", "quit", extra_env={"QB_DEVICE_PAUSE_AFTER": str(BYTES_PER_SECOND // 2)})
        self.assertEqual(run.status, 0, run)
        self.assertIn("status: device paused\n", run.output)
        self.assertIn("status: playing\n", run.output)


class VolumeAndLoops(unittest.TestCase):
    def capture_levels(self, capture):
        """The RMS level of each 100 ms of the captured audio."""
        with open(capture, "rb") as audio:
            data = audio.read()
        start = data.index(b"data") + 8
        samples = array.array("f", data[start:start + struct.unpack_from("<I", data, start - 4)[0]])
        window = 4800 * 2
        return [(sum(x * x for x in samples[i:i + window]) / window) ** 0.5
                for i in range(0, len(samples) - window + 1, window)]

    def test_the_volume_and_a_fade_are_heard_in_the_captured_audio(self):
        notes = []
        for i in range(60):
            notes += [(at(0.1 * i), smf.note_on(0, 69, 100)), (at(0.1 * i + 0.09), smf.note_off(0, 69))]
        song = qbtest.song_file(self, [notes])
        capture = qbtest.write_file(self, b"", ".wav")
        run = quillctl("plugin", SYNTH, "song", song, "play", "wait", "1", "volume", "0.5",
                       "wait", "1", "volume", "0", "1000", "then-stop", "wait", "1.6", "status", "quit",
                       extra_env={"QB_CAPTURE": qbtest.windows_path(capture)})
        self.assertEqual(run.status, 0, run)
        self.assertIn("status: no song\n", run.output, "the fade ended with a stop")
        levels = self.capture_levels(capture)
        full = sum(levels[2:8]) / 6
        half = sum(levels[12:18]) / 6
        self.assertAlmostEqual(half / full, 0.5, delta=0.1, msg=levels)
        fading = levels[21:29]
        self.assertTrue(all(a >= b * 0.95 for a, b in zip(fading, fading[1:])), fading)
        self.assertLess(fading[-1], 0.25 * half, levels)

    def test_three_passes_of_a_loop_region_each_start_with_the_state_of_its_start(self):
        song = qbtest.song_file(self, [[
            (0, smf.program(0, 3)), (at(0.5), smf.note_on(0, 60, 100)), (at(1.0), smf.program(0, 7)),
            (at(1.2), smf.note_on(0, 62, 100)), (at(2.0), smf.note_on(0, 64, 100))]])
        run = quillctl("plugin", SYNTH, "song", song, "loop", "0.5", "1.5", "3", "play", "wait",
                       "4", "status", "quit", extra_env={"QB_FAST": "1"})
        self.assertEqual(run.status, 0, run)
        self.assertIn("status: loaded\n", run.output, "the song ended after the last pass")
        events = sent_events(run.trace)
        notes = [(e[2] & 0x7F, e[3]) for e in events if e[1] == 1 and e[2] >> 8]
        second = BYTES_PER_SECOND
        self.assertEqual(notes, [(60, second // 2), (62, second * 12 // 10),
                                 (60, second * 15 // 10), (62, second * 22 // 10),
                                 (60, second * 25 // 10), (62, second * 32 // 10)])
        programs = [(e[2], e[3]) for e in events if e[1] == 2]
        self.assertEqual(programs, [(3, 0), (7, second), (3, second * 15 // 10), (7, second * 2),
                                    (3, second * 25 // 10), (7, second * 3)])


    def test_a_song_longer_than_the_librarys_positions_plays_right_past_their_wrap(self):
        # The library's positions are 32-bit bytes: they wrap at 3:06:25.6. A long rest,
        # then notes after the wrap, with a program change that a seek must replay.
        wrap = 2 ** 32 / BYTES_PER_SECOND
        song = qbtest.song_file(self, [[
            (0, smf.note_on(0, 60, 100)), (at(11000), smf.note_off(0, 60)),
            (at(11190), smf.program(0, 9)), (at(11200), smf.note_on(0, 64, 100)),
            (at(11200.5), smf.note_on(0, 67, 100)), (at(11201), smf.control(0, 123, 0))]])
        run = quillctl("plugin", SYNTH, "song", song, "length", "seek", "3:06:39.5", "play",
                       "wait", "1.2", "loop", "3:06:39.75", "3:06:40.75", "2", "seek",
                       "3:06:39.75", "wait", "2.5", "status", "quit", extra_env={"QB_FAST": "1"})
        self.assertEqual(run.status, 0, run)
        self.assertGreater(11200, wrap)
        self.assertIn("length: 186:41.000 (11201000 ms)", run.output)
        self.assertIn("seek: 186:39.500 (11199500 ms)", run.output)
        self.assertIn("status: loaded\n", run.output, "the region's two passes ended the song")
        streams = [i for i, line in enumerate(run.trace)
                   if line.startswith("BASS_StreamCreate freq=48000 chans=2 flags=0x104")]
        passes = []
        for begin, end in zip(streams[-2:], streams[-1:] + [len(run.trace)]):
            events = sent_events(run.trace[begin:end])
            target = events[0][3]
            passes.append([(e[1], e[2] & 0x7F, e[3] - target) for e in events
                           if e[1] == 1 and e[2] >> 8 or e[1] == 2])
        second = BYTES_PER_SECOND
        # The seek replays the program, then each note lands at its distance from the
        # target; the region's passes each replay it and play the note within it.
        self.assertEqual(passes[0][:3], [(2, 9, 0), (1, 64, second // 2), (1, 67, second)])
        self.assertEqual(passes[1], [(2, 9, 0), (1, 64, second // 4), (1, 67, second * 3 // 4),
                                     (2, 9, second), (1, 64, second * 5 // 4),
                                     (1, 67, second * 7 // 4)])


class SpeedKeyAndChannels(unittest.TestCase):
    def test_each_event_lands_at_its_sample_at_the_speed_shifted_muted_or_scaled(self):
        song = qbtest.song_file(self, [[
            (0, smf.program(0, 5)), (0, smf.control(0, 7, 80)), (0, smf.program(1, 3)),
            (at(0.25), smf.note_on(1, 64, 100)), (at(0.5), smf.note_on(0, 60, 100)),
            (at(0.5), smf.note_on(9, 36, 100)), (at(0.6), smf.program(1, 7)),
            (at(0.75), smf.note_off(1, 64)), (at(1.0), smf.note_off(0, 60)),
            (at(1.0), smf.note_off(9, 36))]])
        for speed in (2, 0.5):
            with self.subTest(speed=speed):
                run = quillctl("plugin", SYNTH, "song", song, "speed", str(speed), "transpose",
                               "-2", "mute", "2", "channel-volume", "1", "0.5", "controls",
                               "play", "wait", "1", "quit", extra_env={"QB_FAST": "1"})
                self.assertEqual(run.status, 0, run)
                self.assertIn("transpose -2 on 1,2,3,4,5,6,7,8,9,11,12,13,14,15,16, muted 2,",
                              run.output)
                events = sent_events(run.trace)
                start = events[0][3]
                first_pass = events[:[e[:3] for e in events].index((0, 1, 58)) + 1]

                def output(seconds):  # the output byte of a song time at the speed
                    return -(-round(seconds * 48000) * 1000 // round(speed * 1000)) * 8

                heard = [(c, e, p, r - start) for c, e, p, r in first_pass
                         if e != 1 or p >> 8 or c != 1]  # the mute's releases left out
                self.assertEqual([h for h in heard if h[1] in (1, 2, 12)], [
                    (0, 12, 50, 0),  # the song's volume 100 until it sets one, halved
                    (0, 2, 5, 0), (0, 12, 40, 0), (1, 2, 3, 0),
                    (0, 1, 58 | 100 << 8, output(0.5)), (9, 1, 36 | 100 << 8, output(0.5)),
                    (1, 2, 7, output(0.6)), (0, 1, 58, output(1.0))])
                releases = [e for e in first_pass if e[0] == 1 and e[1] == 1]
                self.assertEqual([e[2] for e in releases], list(range(128)),
                                 "the muted channel's every key released, no note sounded")


def meta(kind, data):
    return bytes([0xFF, kind]) + smf.variable_length(len(data)) + data


class SongTexts(unittest.TestCase):
    def test_marks_lyrics_and_bars_come_back_and_a_region_in_bars_turns_on_its_beat(self):
        # 3/4 for a bar, then 4/4 at twice the tempo; a karaoke file's syllables.
        song = qbtest.song_file(self, [[
            (0, meta(0x58, bytes([3, 2, 24, 8]))), (0, smf.text("@KMIDI KARAOKE FILE")),
            (0, smf.text("@TA song")), (480, smf.text("\\Hel")), (720, smf.text("lo")),
            (960, meta(0x05, b"la")), (1440, meta(0x06, b"verse")), (1440, smf.tempo(250000)),
            (1440, meta(0x58, bytes([4, 2, 24, 8]))), (1440, meta(0x59, bytes([0xFD, 1]))),
            (2400, smf.note_on(0, 60, 100)), (4800, smf.note_on(0, 62, 100))]])
        run = quillctl("plugin", SYNTH, "song", song, "marks", "seek-bar", "3:2", "bar-position",
                       "seek-bar", "2", "send-text", str(protocol.QB_CODE_LOOP), "2:1 3:1 2",
                       "play", "wait", "2", "status", "quit", extra_env={"QB_FAST": "1"})
        self.assertEqual(run.status, 0, run)
        self.assertIn("music: 480 ticks a quarter, 4800 ticks long (3:4:0)\n"
                      "mark 0: text at tick 0 (0 ms): @KMIDI KARAOKE FILE\n"
                      "mark 1: text at tick 0 (0 ms): @TA song\n"
                      "mark 2: time signature at tick 0 (0 ms): 3/4/24/8\n"
                      "mark 3: lyric at tick 480 (500 ms): \\Hel\n"
                      "mark 4: lyric at tick 720 (750 ms): lo\n"
                      "mark 5: lyric at tick 960 (1000 ms): la\n"
                      "mark 6: marker at tick 1440 (1500 ms): verse\n"
                      "mark 7: time signature at tick 1440 (1500 ms): 4/4/24/8\n"
                      "mark 8: key signature at tick 1440 (1500 ms): -3 1\n"
                      "mark 9: tempo at tick 1440 (1500 ms): 250000\n", run.output)
        # Bar 3 beat 2: a bar of 1440 ticks, one of 1920, a beat; at the faster tempo.
        self.assertIn("seek: 2750 ms\nbar position: 3:2:0 (tick 3840)\nseek: 1500 ms\n",
                      run.output)
        self.assertIn("status: loaded\n", run.output, "the region's two passes ended the song")
        events = sent_events(run.trace[[i for i, line in enumerate(run.trace)
                                        if line.startswith("BASS_ChannelPlay")][-1]:])
        notes = [e[3] - events[0][3] for e in events if e[1] == 1 and e[2] >> 8]
        # Bars 2 to 3 are 1 s: the region's note half a second into each pass.
        self.assertEqual(notes, [BYTES_PER_SECOND // 2, BYTES_PER_SECOND * 3 // 2])

    def test_a_loop_on_the_files_markers_turns_at_their_exact_samples(self):
        for end_marker, turn in ((b"LOOPEND", 1.5), (None, 2.0)):
            with self.subTest(end=end_marker):
                events = [(at(0.5), meta(0x06, b"LoopStart")), (at(1.0), smf.note_on(0, 60, 100)),
                          (at(2.0), smf.note_off(0, 60))]
                if end_marker:
                    events.append((at(1.5), meta(0x06, end_marker)))
                song = qbtest.song_file(self, [events])
                run = quillctl("plugin", SYNTH, "song", song, "loop-markers", "2", "play", "wait",
                               "2", "status", "quit", extra_env={"QB_FAST": "1"})
                self.assertEqual(run.status, 0, run)
                self.assertIn("status: loaded\n", run.output, "two passes, then the end")
                sent = sent_events(run.trace)
                notes = [e[3] - sent[0][3] for e in sent if e[1] == 1 and e[2] >> 8]
                # Without a loopEnd the region ends after the song's last event's frame.
                length = turn - 0.5 + (0 if end_marker else 1 / 48000)
                self.assertEqual(notes, [BYTES_PER_SECOND,
                                         BYTES_PER_SECOND + round(length * BYTES_PER_SECOND)])


HEARD = re.compile(r"^heard (note|turn|end|seek)\b.* at (-?\d+) ms, tick (\d+), pass (\d+), "
                   r"(-?\d+) ms late$", re.M)


class Watching(unittest.TestCase):
    def test_each_note_is_told_at_its_position_once_heard_through_pause_seek_speed_and_turn(self):
        notes = [(at(0.25 * i), smf.note_on(0, 60 + i % 12, 100)) for i in range(1, 16)]
        song = qbtest.song_file(self, [notes])
        run = quillctl("plugin", SYNTH, "song", song, "watch", "all", "loop", "0.5", "2", "2",
                       "play", "wait", "0.9", "pause", "status", "wait", "0.6", "status",
                       "resume", "wait", "0.4", "speed", "2", "wait", "2", "seek", "3",
                       "play", "wait", "1.5", "quit")
        self.assertEqual(run.status, 0, run)
        told = HEARD.findall(run.output)
        note_ms = {250 * i for i in range(1, 16)}
        self.assertTrue(told)
        for kind, ms, tick, _, late in told:
            if kind == "note":
                self.assertIn(int(ms), note_ms)
            self.assertEqual(int(tick), int(ms) * 960 // 1000, kind)
            self.assertTrue(0 <= int(late) <= 20, (kind, ms, late))
        # Nothing is heard while paused.
        paused = run.output.split("status: paused\n")[1].split("status: paused\n")[0]
        self.assertEqual(HEARD.findall(paused), [])
        kinds = [t[0] for t in told]
        self.assertIn("turn", kinds)
        self.assertIn("seek", kinds)
        # The region's two passes end the song at its end; played from a seek past it, the
        # song plays on to its own end (and loops from its start, region and all).
        self.assertEqual([t[3] for t in told if t[0] == "turn"][0], "2")
        self.assertEqual([t[1:4:2] for t in told if t[0] == "end"][:2],
                         [("2000", "2"), ("3750", "1")])
        self.assertEqual([t[1] for t in told if t[0] == "seek"], ["3000"])

    def test_beats_bars_and_lyrics_are_told_on_the_tempo_map_across_its_changes(self):
        # A bar of 3/4, then 4/4 at twice the tempo; a karaoke file's syllables.
        song = qbtest.song_file(self, [[
            (0, meta(0x58, bytes([3, 2, 24, 8]))), (0, smf.text("@KMIDI KARAOKE FILE")),
            (480, smf.text("Hel")), (720, smf.text("lo")), (1440, smf.tempo(250000)),
            (1440, meta(0x58, bytes([4, 2, 24, 8]))), (4800, smf.note_on(0, 62, 100))]])
        run = quillctl("plugin", SYNTH, "song", song, "watch", "marks,beats,bars", "play",
                       "wait", "3.6", "quit")
        self.assertEqual(run.status, 0, run)
        told = re.findall(r"^heard (beat|bar|mark): (\S+)(?: \(kind (\d)\))? at (\d+) ms, "
                          r"tick (\d+), pass \d+, (\d+) ms late$", run.output, re.M)
        beats = [(what, ms) for kind, what, _, ms, _, _ in told if kind == "beat"]
        self.assertEqual(beats[:11], [
            ("1:1", "0"), ("1:2", "500"), ("1:3", "1000"), ("2:1", "1500"), ("2:2", "1750"),
            ("2:3", "2000"), ("2:4", "2250"), ("3:1", "2500"), ("3:2", "2750"), ("3:3", "3000"),
            ("3:4", "3250")])
        self.assertEqual([what for kind, what, _, _, _, _ in told if kind == "bar"][:3],
                         ["1:1", "2:1", "3:1"])
        lyrics = [(index, ms) for kind, index, mark_kind, ms, _, _ in told
                  if kind == "mark" and mark_kind == "2"]
        self.assertEqual(lyrics[:2], [("2", "500"), ("3", "750")])
        self.assertTrue(all(0 <= int(late) <= 20 for *_, late in told), told)


class OlderLibraries(unittest.TestCase):
    def test_without_the_further_functions_the_host_plays_and_says_what_it_cannot(self):
        song = qbtest.song_file(self, [[(0, smf.note_on(0, 60, 100)), (at(0.5), smf.note_on(0, 62, 100))]])
        run = quillctl("capabilities", "plugin", SYNTH, "song", song, "play", "wait", "1",
                       "pause", "position", "volume", "0.5", "seek", "0.25", "status", "quit",
                       extra_env={"WINEPATH": older_libraries(self, FURTHER)})
        self.assertEqual(run.status, 0, run)
        self.assertIn("capabilities: status seek render song speed transpose mute "
                      "channel-volume watch\n", run.output)
        self.assertEqual(run.output.count("lack a function this needs"), 3, run.output)
        self.assertIn("seek: 0:00.250", run.output)
        self.assertIn("status: playing\n", run.output)
        self.assertIn((0, 1, 62 | 100 << 8, BYTES_PER_SECOND // 2), sent_events(run.trace))

    def test_one_missing_function_takes_away_only_what_needs_it(self):
        run = quillctl("capabilities", "quit",
                       extra_env={"WINEPATH": older_libraries(self, ["BASS_ChannelSlideAttribute"])})
        self.assertEqual(run.status, 0, run)
        self.assertIn("capabilities: status seek pause volume position params programs chunks midi "
                      "resize render song speed transpose mute channel-volume marks watch "
                      "devices latency\n",
                      run.output)


class Protocol(unittest.TestCase):
    def test_answers_of_the_extension_commands_and_their_failures(self):
        run = quillctl("send", str(protocol.QB_CODE_CAPABILITIES), "send", str(protocol.QB_CODE_STATUS),
                       "send-text", str(protocol.QB_CODE_SEEK), "100", "send-text", str(protocol.QB_CODE_SET_VOLUME), "loud",
                       "send", str(protocol.QB_CODE_PAUSE), "send", str(protocol.QB_CODE_LOOP + 50), "quit")
        self.assertEqual(run.status, 0, run)
        answers = [int(a) for a in re.findall(r"answered (-?\d+)", run.output)]
        self.assertEqual(answers[1:], [protocol.QB_STATUS_NO_SONG, protocol.QB_FAIL_NO_SONG,
                                       protocol.QB_FAIL_BAD_PAYLOAD, protocol.QB_FAIL_NOT_PLAYING, 0])
        self.assertNotEqual(answers[0], 0)


    def test_a_song_the_host_cannot_read_is_told_and_the_song_before_plays_on(self):
        good = qbtest.song_file(self, [[(0, smf.note_on(0, 60, 100)), (at(2), smf.note_off(0, 60))]])
        whole = smf.midi_file([[(0, smf.note_on(0, 60, 100)), (at(2), smf.note_off(0, 60))]], 480,
                              False)
        damaged = qbtest.windows_path(qbtest.write_file(self, whole[:-6]))
        run = quillctl("plugin", SYNTH, "song", damaged, "song", good, "play", "song", damaged,
                       "status", "send", str(protocol.QB_CODE_SONG), "capabilities", "quit")
        self.assertEqual(run.status, 0, run)
        told = re.findall(r"could not read the song (.*)$", run.errors, re.M)
        self.assertEqual(len(told), 2, run)
        self.assertTrue(told[0].endswith("no song is loaded"), told[0])
        self.assertIn("the song before, %s, stays loaded" % good, told[1])
        self.assertIn("status: playing", run.output)
        self.assertIn("answered 2", run.output, "the song before: its two events")
        self.assertIn(" render song speed transpose mute channel-volume marks watch devices latency\n",
                      run.output)

if __name__ == "__main__":
    qbtest.main()
