"""Tests of the scripts' road on machines that cannot run 32-bit programs: the probe, the
Wine session that then keeps away from the 32-bit loader, the 32-bit end-to-end tests
that skip with their reason, and the test command's closing line that counts them.

usage: test_scripts.py SOURCE_DIR NATIVE_BUILD_DIR
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR, BUILD_DIR = (os.path.abspath(p) for p in sys.argv[1:3])
SCRIPTS = os.path.join(SOURCE_DIR, "scripts")
sys.path.insert(0, SCRIPTS)
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))
import qbtest  # noqa: E402
import test_summary  # noqa: E402


def probe(answer=None):
    env = dict(os.environ)
    env.pop("QB_RUNS_32BIT", None)
    if answer:
        env["QB_RUNS_32BIT"] = answer
    run = subprocess.run([os.path.join(SCRIPTS, "can_run_32bit")], env=env,
                         capture_output=True, text=True)
    return run.returncode, run.stdout.strip()


def other_32bit_program():
    """A 32-bit Linux program this machine has, run with an argument that only makes it
    say its version; None where there is none."""
    for path in ("/usr/lib/wine/wine", "/lib/ld-linux.so.2"):
        if os.path.exists(path):
            return [path, "--version"]
    return None


class Probe(unittest.TestCase):
    def test_its_answer_is_whether_a_32_bit_program_runs(self):
        program = other_32bit_program()
        if program is None:
            self.skipTest("no other 32-bit program on this machine to compare with")
        try:
            runs = subprocess.run(program, capture_output=True).returncode == 0
        except OSError:  # "Exec format error"
            runs = False
        status, reason = probe()
        self.assertEqual(status == 0, runs, reason)
        self.assertTrue(reason, "it says why")

    def test_the_answer_can_be_forced_either_way(self):
        self.assertEqual(probe("yes"), (0, "QB_RUNS_32BIT=yes says so"))
        self.assertEqual(probe("no"), (1, "QB_RUNS_32BIT=no says so"))


class SessionWithout32Bit(unittest.TestCase):
    def test_no_wine_command_takes_the_32_bit_loader(self):
        # Forced, so that on a machine with wine32 installed the same road is taken as
        # where it cannot run at all: every command there would fail through wine32.
        folder = tempfile.mkdtemp(dir=BUILD_DIR)
        env = dict(os.environ, QB_RUNS_32BIT="no")
        session = os.path.join(SCRIPTS, "wine_session.sh")
        try:
            subprocess.run([session, "start", folder], env=env, check=True,
                           capture_output=True, timeout=300)
            with open(os.path.join(folder, "session.env")) as text:
                settings = text.read()
            self.assertIn("export QB_RUNS_32BIT='no'", settings)
            self.assertIn("export QB_RUNS_32BIT_WHY='QB_RUNS_32BIT=no says so'", settings)
            # Debian's winepath, wineboot and regedit run wine-stable, which is the same
            # script as wine: both must be the session's own, which takes the 64-bit loader.
            shell = ("set -e; . '%s/session.env'; command -v wine wine-stable; winepath -w /tmp; "
                     "wine cmd /c echo %%COMSPEC%%" % folder)
            # To a file, not a pipe: Wine's helper processes would hold a pipe open.
            with tempfile.TemporaryFile("w+") as out:
                status = subprocess.run(["bash", "-c", shell], env=env, stdout=out,
                                        stderr=subprocess.STDOUT, timeout=120).returncode
                out.seek(0)
                output = out.read()
            self.assertEqual(status, 0, output)
            own = os.path.join(folder, "wine64-only")
            self.assertEqual(output.split(), [
                os.path.join(own, "wine"), os.path.join(own, "wine-stable"), "Z:\\tmp",
                "C:\\windows\\system32\\cmd.exe"])

            # A session started after it in the same folder asks the probe afresh: the
            # old one's answer and display are not carried over.
            unforced = dict(os.environ)
            unforced.pop("QB_RUNS_32BIT", None)
            subprocess.run([session, "start", folder], env=unforced, check=True,
                           capture_output=True, timeout=300)
            with open(os.path.join(folder, "session.env")) as text:
                settings = text.read()
            answer = "yes" if probe()[0] == 0 else "no"
            self.assertIn("export QB_RUNS_32BIT='%s'" % answer, settings)
        finally:
            subprocess.run([session, "stop", folder], env=env, capture_output=True)
            shutil.rmtree(folder, ignore_errors=True)


CTEST_LOG = """Test project /x
    Start 1: unit
1/4 Test #1: unit .....   Passed    0.1 sec
2/4 Test #2: test_protocol_64 ....   Passed    0.1 sec
3/4 Test #3: test_protocol_32 ....***Skipped   0.1 sec
4/4 Test #4: test_client_32 ....***Skipped   0.1 sec

100% tests passed, %s tests failed out of 4

The following tests did not run:
\t  3 - test_protocol_32 (Skipped)
\t  4 - test_client_32 (Skipped)
"""
LAST_TEST_LOG = """2/4 Testing: test_protocol_64
2/4 Test: test_protocol_64
Output:
----------------------------------------------------------
test_other (__main__.Other.test_other) ... skipped 'Quillbrook32 cannot run here'
<end of output>
3/4 Testing: test_protocol_32
3/4 Test: test_protocol_32
Output:
----------------------------------------------------------
skipped: Quillbrook32 cannot run here
<end of output>
"""


class ClosingLine(unittest.TestCase):
    def folder(self, failed="0", last_test=LAST_TEST_LOG):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        os.makedirs(os.path.join(folder, "Testing", "Temporary"))
        with open(os.path.join(folder, "test.log"), "w") as log:
            log.write(CTEST_LOG.replace("%s", failed))
        with open(os.path.join(folder, "Testing", "Temporary", "LastTest.log"), "w") as log:
            log.write(last_test)
        return folder

    def test_skipped_tests_are_counted_apart_with_their_reasons(self):
        lines, passed, failed, skipped = test_summary.summarise([self.folder()])
        self.assertEqual((passed, failed, skipped), (2, 0, 2))
        self.assertEqual(lines, [
            "skipped: test_protocol_32: Quillbrook32 cannot run here",
            "skipped: test_client_32: no reason given",
            "skipped part: test_protocol_64, test_other: Quillbrook32 cannot run here"])

    def test_failures_and_runs_without_a_summary_fail(self):
        empty = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, empty)
        open(os.path.join(empty, "test.log"), "w").close()
        lines, passed, failed, skipped = test_summary.summarise([self.folder("1"), empty])
        self.assertEqual((passed, failed, skipped), (1, 2, 2))
        self.assertIn("%s: ctest left no summary" % empty, lines)

    def test_every_32_bit_end_to_end_test_skips_with_the_code_the_tests_exit_with(self):
        # From a copy of the list of tests: ctest writes its log beside the list, and
        # this runs inside the run that writes the build folder's.
        scratch = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, scratch)
        shutil.copy(os.path.join(BUILD_DIR, "CTestTestfile.cmake"), scratch)
        listing = json.loads(subprocess.run(["ctest", "--show-only=json-v1"], cwd=scratch,
                                            check=True, capture_output=True, text=True).stdout)
        codes = {}
        for test in listing["tests"]:
            if "tests/e2e/" in " ".join(test["command"]) and test["name"].endswith("_32"):
                properties = {p["name"]: p["value"] for p in test.get("properties", [])}
                codes[test["name"]] = properties.get("SKIP_RETURN_CODE")
        self.assertTrue(codes)
        self.assertEqual(set(codes.values()), {qbtest.SKIPPED}, codes)

    def test_a_32_bit_test_where_it_cannot_run_says_why_and_exits_as_skipped(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        with open(os.path.join(folder, "session.env"), "w") as env:
            env.write("export QB_RUNS_32BIT='no'\nexport QB_RUNS_32BIT_WHY='status 126'\n")
        env = dict(os.environ, QB_SESSION_DIR=folder, QB_WIDTH="32",
                   PYTHONPATH=os.path.join(SOURCE_DIR, "tests", "e2e"))
        run = subprocess.run([sys.executable, os.path.join(SOURCE_DIR, "tests", "e2e",
                                                           "test_protocol.py")],
                             env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, qbtest.SKIPPED, run.stderr)
        self.assertEqual(run.stdout, "skipped: Quillbrook32 cannot run here: this machine "
                                     "cannot run 32-bit programs (status 126)\n")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
