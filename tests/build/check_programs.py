"""Checks of the built programs' files: what each imports, their size and version, what
the stand-in libraries export, the icon and manifest resources, and the release package.

usage: check_programs.py DIST_DIR WIN64_BUILD_DIR WIN32_BUILD_DIR SOURCE_DIR
"""
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile

DIST_DIR, WIN64_DIR, WIN32_DIR, SOURCE_DIR = sys.argv[1:5]
PROGRAMS = {"64": os.path.join(DIST_DIR, "Quillbrook64.exe"),
            "32": os.path.join(DIST_DIR, "Quillbrook32.exe")}
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
FURTHER_OF = {"bass": [f for f in FURTHER if not f.startswith("BASS_VST_")], "bassmidi": [],
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

    def test_the_dist_folder_holds_only_the_two_programs(self):
        self.assertEqual(sorted(os.listdir(DIST_DIR)), ["Quillbrook32.exe", "Quillbrook64.exe"])


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


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
