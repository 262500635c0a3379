"""Checks of the built programs' files: what each imports, their size and version, what
the stand-in libraries export, the icon and manifest resources, the release package, and
the frame that ends the host on a crash. None of them runs a program, so they hold on a
machine that cannot run Quillbrook32 too.

usage: check_programs.py DIST_DIR WIN64_BUILD_DIR WIN32_BUILD_DIR SOURCE_DIR
"""
import hashlib
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

DIST_DIR, WIN64_DIR, WIN32_DIR, SOURCE_DIR = sys.argv[1:5]
PROGRAMS = {"64": os.path.join(DIST_DIR, "Quillbrook64.exe"),
            "32": os.path.join(DIST_DIR, "Quillbrook32.exe")}
UNSTRIPPED = {"64": os.path.join(WIN64_DIR, "unstripped", "Quillbrook64.exe"),
              "32": os.path.join(WIN32_DIR, "unstripped", "Quillbrook32.exe")}
STANDINS = {"64": os.path.join(WIN64_DIR, "standin"), "32": os.path.join(WIN32_DIR, "standin")}


def objdump(path):
    return subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], capture_output=True,
                          text=True, check=True).stdout


def def_exports(name):
    with open(os.path.join(SOURCE_DIR, "audio", name + ".def")) as lines:
        return sorted(re.sub(r"@\d+$", "", line.strip()) for line in lines
                      if line.strip().startswith("BASS_"))


# The further functions the stand-ins export and the host never imports, by library.
FURTHER = re.findall(r"WINAPI (BASS_\w+)\(", open(os.path.join(
    SOURCE_DIR, "audio", "bass_further_api.h")).read())
FURTHER_OF = {"bass": [f for f in FURTHER if not f.startswith(("BASS_VST_", "BASS_MIDI_"))],
              "bassmidi": [f for f in FURTHER if f.startswith("BASS_MIDI_")],
              "bass_vst": [f for f in FURTHER if f.startswith("BASS_VST_")]}


class Imports(unittest.TestCase):
    def test_programs_import_only_the_system_the_runtime_and_the_audio_libraries(self):
        expected = {"kernel32.dll", "user32.dll", "msvcrt.dll", "bass.dll", "bassmidi.dll",
                    "bass_vst.dll"}
        for width, program in PROGRAMS.items():
            with self.subTest(width=width):
                names = set(n.lower() for n in re.findall(r"DLL Name: (\S+)", objdump(program)))
                self.assertEqual(names, expected)

    def test_programs_import_none_of_the_further_functions(self):
        for width, program in PROGRAMS.items():
            with self.subTest(width=width):
                dump = objdump(program)
                self.assertEqual([f for f in FURTHER if re.search(r"\b%s\b" % f, dump)], [])

    def test_every_imported_name_is_undecorated_and_the_audio_ones_are_exported(self):
        # A 32-bit import that kept its __stdcall decoration (Name@N) names no export of
        # the real libraries: the program would not even start.
        for width, program in PROGRAMS.items():
            imports = imported_names(program)
            for library, names in imports.items():
                with self.subTest(width=width, library=library):
                    self.assertEqual([n for n in names if "@" in n], [])
            for library in ("bass", "bassmidi", "bass_vst"):
                with self.subTest(width=width, library=library):
                    self.assertLessEqual(set(imports[library + ".dll"]),
                                         set(def_exports(library)))

    def test_the_dist_folder_holds_only_the_two_programs(self):
        self.assertEqual(sorted(os.listdir(DIST_DIR)), ["Quillbrook32.exe", "Quillbrook64.exe"])


def imported_names(program):
    """{library name in lower case: [imported function names]}."""
    imports = {}
    for block in objdump(program).split("DLL Name: ")[1:]:
        library, rest = block.split("\n", 1)
        imports[library.strip().lower()] = re.findall(r"^\t[0-9a-f]+\s+\d+\s+(\S+)$",
                                                      rest.split("\n\n")[0], re.M)
    return imports


def project_version():
    with open(os.path.join(SOURCE_DIR, "CMakeLists.txt")) as cmake:
        return re.search(r"project\(Quillbrook VERSION (\S+)", cmake.read()).group(1)


def version_strings(program):
    """The string table of the program's version resource, as a dict."""
    raw = subprocess.run(["wrestool", "-x", "--raw", "-t", "16", program], check=True,
                         capture_output=True).stdout.decode("utf-16-le", "replace")
    strings = {}
    for key in ("CompanyName", "FileDescription", "FileVersion", "LegalCopyright", "License",
                "OriginalFilename", "ProductName", "ProductVersion"):
        match = re.search(key + r"\x00+([^\x00]+)", raw)
        strings[key] = match.group(1) if match else None
    return strings


class Release(unittest.TestCase):
    def test_programs_are_small_and_carry_no_debug_sections(self):
        for width, program in PROGRAMS.items():
            with self.subTest(width=width):
                self.assertLessEqual(os.path.getsize(program), 200 * 1024)
                sections = subprocess.run(["x86_64-w64-mingw32-objdump", "-h", program],
                                          capture_output=True, text=True, check=True).stdout
                self.assertNotIn(".debug", sections)

    def test_the_version_resource_names_the_program_its_width_and_licence(self):
        version = project_version()
        for width, program in PROGRAMS.items():
            with self.subTest(width=width):
                self.assertEqual(version_strings(program), {
                    "CompanyName": "The Quillbrook developers",
                    "FileDescription": "Quillbrook %s-bit VST instrument host" % width,
                    "FileVersion": version,
                    "LegalCopyright": "Copyright (c) 2026 The Quillbrook developers",
                    "License": "MIT License",
                    "OriginalFilename": "Quillbrook%s.exe" % width,
                    "ProductName": "Quillbrook",
                    "ProductVersion": version})

    def test_the_package_holds_the_programs_the_guides_the_licence_and_their_sums(self):
        with tempfile.TemporaryDirectory() as scratch:
            path = subprocess.run([sys.executable, os.path.join(SOURCE_DIR, "tools", "make_package.py"),
                                   SOURCE_DIR, DIST_DIR, scratch], capture_output=True, text=True,
                                  check=True).stdout.strip()
            folder = "quillbrook-%s" % project_version()
            self.assertEqual(os.path.basename(path), folder + "-windows.zip")
            with zipfile.ZipFile(path) as archive:
                names = archive.namelist()
                self.assertEqual(names, ["%s/%s" % (folder, name) for name in (
                    "Quillbrook64.exe", "Quillbrook32.exe", "README.md", "protocol.md", "LICENSE",
                    "SHA256SUMS")])
                sums = archive.read(folder + "/SHA256SUMS").decode().splitlines()
                self.assertEqual(len(sums), 5)
                for line in sums:
                    digest, name = line.split("  ")
                    self.assertEqual(hashlib.sha256(archive.read(folder + "/" + name)).hexdigest(),
                                     digest, name)
                with open(PROGRAMS["64"], "rb") as program:
                    self.assertEqual(archive.read(folder + "/Quillbrook64.exe"), program.read())


class StandIns(unittest.TestCase):
    def test_stand_ins_export_every_function_undecorated(self):
        for width, folder in STANDINS.items():
            for name in ("bass", "bassmidi", "bass_vst"):
                with self.subTest(width=width, library=name):
                    dump = objdump(os.path.join(folder, name + ".dll"))
                    table = dump.split("[Ordinal/Name Pointer] Table", 1)[1]
                    exports = sorted(re.findall(r"\]\s+(BASS_\S+)", table))
                    self.assertEqual(exports, sorted(def_exports(name) + FURTHER_OF[name]))


class Resources(unittest.TestCase):
    def icon_images(self, program, name):
        with tempfile.TemporaryDirectory() as scratch:
            icon = os.path.join(scratch, "icon.ico")
            subprocess.run(["wrestool", "-x", "-t", "14", "-n", str(name), program, "-o", icon],
                           check=True, capture_output=True)
            listing = subprocess.run(["icotool", "-l", icon], check=True, capture_output=True,
                                     text=True).stdout
        return sorted((int(w), int(b)) for w, b in
                      re.findall(r"--width=(\d+) --height=\d+ --bit-depth=(\d+)", listing))

    def test_icons_107_and_108_hold_every_size_in_both_depths(self):
        expected = sorted([(s, 8) for s in (16, 32, 48, 256)] +
                          [(s, 32) for s in (16, 32, 48, 64, 256)])
        for width, program in PROGRAMS.items():
            for name in (107, 108):
                with self.subTest(width=width, icon=name):
                    self.assertEqual(self.icon_images(program, name), expected)

    def test_manifest_runs_as_invoker_without_ui_access(self):
        for width, program in PROGRAMS.items():
            with self.subTest(width=width):
                manifest = subprocess.run(["wrestool", "-x", "--raw", "-t", "24", program],
                                          check=True, capture_output=True).stdout.decode()
                self.assertRegex(manifest, r'requestedExecutionLevel\s+level="asInvoker"\s+'
                                           r'uiAccess="false"')


class PeFile:
    """The headers and sections of a PE file that the checks read."""

    def __init__(self, path):
        with open(path, "rb") as program:
            data = program.read()
        header = struct.unpack_from("<I", data, 0x3C)[0]
        self.machine, count = struct.unpack_from("<HH", data, header + 4)
        optional_size = struct.unpack_from("<H", data, header + 20)[0]
        optional = header + 24
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, optional + 68)
        self.sections = {}
        for index in range(count):
            at = optional + optional_size + 40 * index
            name = data[at:at + 8].rstrip(b"\0").decode()
            size, _, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
            self.sections[name] = data[raw_at:raw_at + min(size, raw_size)]


def symbol(width, name):
    """The address of a symbol of the unstripped program, which has the shipped one's code."""
    table = subprocess.run(["x86_64-w64-mingw32-nm", UNSTRIPPED[width]], capture_output=True,
                           text=True, check=True).stdout
    match = re.search(r"^([0-9a-f]+) \w %s$" % re.escape(name), table, re.M)
    if not match:
        raise AssertionError("Quillbrook%s has no %s" % (width, name))
    return int(match.group(1), 16)


def disassembly(width, name):
    """The instructions of one function of the unstripped program, a line each."""
    tool = "x86_64-w64-mingw32-objdump" if width == "64" else "i686-w64-mingw32-objdump"
    text = subprocess.run([tool, "-d", "--no-show-raw-insn", "--disassemble=" + name,
                           UNSTRIPPED[width]], capture_output=True, text=True, check=True).stdout
    return re.findall(r"^\s+([0-9a-f]+):\s+(.*)$", text, re.M)


RUN_ENDING_ON_CRASH = {"64": "_Z16RunEndingOnCrashPFvPvES_",
                       "32": "__Z16RunEndingOnCrashPFvPvES_"}
END_HOST = {"64": "_Z7EndHostj", "32": "__Z7EndHostj"}
IMAGE_DLLCHARACTERISTICS_NO_SEH = 0x400


class CrashFrames(unittest.TestCase):
    """Under Wine, and in 64-bit Windows, an exception in a window procedure called for a
    sent message is swallowed; the host wraps every command in a frame of its own whose
    handler ends it. That frame is built differently in each width."""

    def test_each_program_is_a_windows_gui_program_of_its_width(self):
        for width, machine in (("64", 0x8664), ("32", 0x14C)):
            with self.subTest(width=width):
                pe = PeFile(PROGRAMS[width])
                self.assertEqual((pe.machine, pe.subsystem), (machine, 2))

    def test_the_shipped_code_is_the_code_the_checks_read(self):
        # The checks below read symbols from the unstripped copy.
        for width in PROGRAMS:
            with self.subTest(width=width):
                shipped = PeFile(PROGRAMS[width]).sections
                unstripped = PeFile(UNSTRIPPED[width]).sections
                names = [n for n in shipped if n in unstripped]
                self.assertIn(".text", names)
                for name in names:
                    self.assertEqual(shipped[name], unstripped[name], name)

    def test_the_32_bit_frame_is_linked_around_the_command_with_its_handler(self):
        handler_name = ("__ZN12_GLOBAL__N_117EndOnCrashHandlerEP17_EXCEPTION_RECORDPvP8_CONTEXTS2_")
        handler = symbol("32", handler_name)
        code = [i for _, i in disassembly("32", RUN_ENDING_ON_CRASH["32"])]
        # The frame's words lie on the stack, by the stack or the frame pointer.
        stored = [re.match(r"movl\s+\$0x%x,(-?0x[0-9a-f]+)?\(%%e[sb]p\)" % handler, i)
                  for i in code]
        handler_at = [int(m.group(1) or "0", 16) for m in stored if m]
        # The record's address goes to fs:0, the head of the thread's chain of handlers.
        linked = [k for k in range(1, len(code))
                  if re.match(r"mov\s+%(\w+),%fs:0x0$", code[k]) and
                  re.match(r"lea\s+(-?0x[0-9a-f]+)?\(%e[sb]p\),%" +
                           re.match(r"mov\s+%(\w+)", code[k]).group(1) + "$", code[k - 1])]
        calls = [k for k, i in enumerate(code) if i.startswith("call")]
        self.assertEqual(len(linked), 1, code)
        record = int(re.match(r"lea\s+(-?0x[0-9a-f]+)?", code[linked[0] - 1]).group(1) or "0", 16)
        self.assertEqual(handler_at, [record + 4], "the handler is the record's second word")
        self.assertEqual(len(calls), 1, code)
        unlinked = [k for k, i in enumerate(code) if re.search(r",%fs:0x0$", i) and k > calls[0]]
        self.assertTrue(linked[0] < calls[0] and unlinked, code)
        handler_code = [i for _, i in disassembly("32", handler_name)]
        self.assertTrue(any("<%s>" % END_HOST["32"] in i for i in handler_code), handler_code)
        # A program marked as having no frame handlers has them passed over by Windows.
        self.assertFalse(PeFile(PROGRAMS["32"]).dll_characteristics &
                         IMAGE_DLLCHARACTERISTICS_NO_SEH)

    def test_the_64_bit_frame_is_a_scope_of_the_functions_unwind_data(self):
        start = symbol("64", RUN_ENDING_ON_CRASH["64"])
        dump = objdump(PROGRAMS["64"])
        entry = re.search(r"\(rva: [0-9a-f]+\): 0*%x - [0-9a-f]+\n(.*?)\n(?! |\t)" % start, dump,
                          re.S)
        self.assertIsNotNone(entry, "no unwind data for the function")
        self.assertIn("UNW_FLAG_EHANDLER", entry.group(1))
        handler = int(re.search(r"Handler: ([0-9a-f]+)", entry.group(1)).group(1), 16)
        self.assertEqual(handler, symbol("64", "__C_specific_handler"))
        # The handler's data: the count of scope records, then each (begin, end, filter,
        # target), as addresses relative to the image's base.
        data = bytes(int(byte, 16) for line in re.findall(
            r"^\s+[0-9a-f]{3}:((?: [0-9a-f]{2})+)", entry.group(1), re.M) for byte in line.split())
        count, begin, end, scope_filter, _ = struct.unpack_from("<IIIII", data)
        base = 0x140000000
        self.assertEqual((count, scope_filter + base), (1, symbol("64", "QbEndOnCrashFilter")))
        calls = [int(a, 16) for a, i in disassembly("64", RUN_ENDING_ON_CRASH["64"])
                 if i.startswith("call")]
        self.assertEqual(len(calls), 1)
        self.assertTrue(begin + base <= calls[0] < end + base, "the scope covers the call")
        filter_code = [i for _, i in disassembly("64", "QbEndOnCrashFilter")]
        self.assertTrue(any("<%s>" % END_HOST["64"] in i for i in filter_code), filter_code)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
