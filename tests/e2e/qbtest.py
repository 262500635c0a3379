"""Shared helpers for the end-to-end tests: run quillctl and the host under the Wine
session that the test fixture started, for one program width.

Environment (set by the test registration): QB_SESSION_DIR, QB_WIDTH (64 or 32),
QB_BUILD_DIR (that width's Windows build folder), QB_DIST_DIR (the shipped programs).
"""
import os
import re
import sys
import subprocess
import tempfile
import time
import unittest

import protocol

SESSION_DIR = os.environ.get("QB_SESSION_DIR", "")
WIDTH = os.environ.get("QB_WIDTH", "64")
BUILD_DIR = os.environ.get("QB_BUILD_DIR", "")
DIST_DIR = os.environ.get("QB_DIST_DIR", "")
HOST_CLASS = protocol.QB_MAIN_CLASS_64 if WIDTH == "64" else protocol.QB_MAIN_CLASS_32
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools"))
import smf  # noqa: E402


def windows_path(path):
    """Wine maps the Unix root to drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def session_environment():
    env = dict(os.environ)
    with open(os.path.join(SESSION_DIR, "session.env")) as lines:
        for line in lines:
            match = re.match(r"export (\w+)='?([^']*)'?$", line.strip())
            if match:
                env[match.group(1)] = match.group(2)
    env["WINEPATH"] = windows_path(os.path.join(BUILD_DIR, "standin"))
    return env


TRACE_LINE = re.compile(r"^(BASS_\w+ .* -> .*|(STREAMPROC|SYNC|STOPPED|MOVED|DEVICE|EDITOR) .*)$")
TRACE_WORD = re.compile(r"(BASS_\w+|STREAMPROC|SYNC|STOPPED|MOVED|DEVICE|EDITOR) ")


class Run:
    def __init__(self, status, output, errors, trace_path):
        self.status = status
        self.output = output
        self.errors = errors
        self.trace = []
        if trace_path and os.path.exists(trace_path):
            with open(trace_path, encoding="utf-8") as trace:
                self.trace = trace.read().splitlines()
        for line in self.trace:
            # One call or event a line: lines written at once by two threads must not mix.
            if not TRACE_LINE.match(line) or len(TRACE_WORD.findall(line)) != 1:
                raise AssertionError("garbled trace line: %r" % line[:200])

    def host_window(self):
        """The (handle, class, title) that quillctl saw, or None."""
        match = re.search(r"^host window: handle=(-?\d+) class=(\S*) title=(.*)$", self.output, re.M)
        return (int(match.group(1)), match.group(2), match.group(3)) if match else None

    def host_status(self):
        """The host's exit status as quillctl printed it (decimal, or 0x... when large)."""
        match = re.search(r"^host exited: status (\w+): ", self.output, re.M)
        return int(match.group(1), 0) if match else None

    def __str__(self):
        return "status %d\n--- output\n%s--- errors\n%s" % (self.status, self.output, self.errors)


AUTO = "auto"


def quillctl(*args, host=None, trace=True, timeout=120, extra_env=None, stdin=None, cwd=None):
    """Runs quillctl with `args` (options, then commands) against the host of this width,
    or the host given; with host=AUTO quillctl chooses it from the shipped programs.
    `cwd` is the folder it runs in."""
    env = session_environment()
    if extra_env:
        env.update(extra_env)
    trace_path = None
    if trace:
        handle, trace_path = tempfile.mkstemp(prefix="trace-", suffix=".txt", dir=SESSION_DIR)
        os.close(handle)
        env["QB_TRACE"] = trace_path
    options = [a for a in args if isinstance(a, tuple)]
    commands = [a for a in args if not isinstance(a, tuple)]
    argv = ["wine", os.path.join(BUILD_DIR, "controller", "quillctl.exe")]
    for option in options:
        argv += list(option)
    if host == AUTO:
        argv += ["--hosts", windows_path(DIST_DIR)]
    else:
        argv += [windows_path(host or os.path.join(DIST_DIR, "Quillbrook%s.exe" % WIDTH))]
    argv += list(commands)
    for attempt in (1, 2):
        # Output goes to files, not pipes: Wine's helper processes, started on first use,
        # inherit the descriptors and would hold a pipe open after quillctl has ended.
        with tempfile.TemporaryFile("w+", encoding="utf-8") as out, \
                tempfile.TemporaryFile("w+", encoding="utf-8") as err, \
                tempfile.TemporaryFile("w+", encoding="utf-8") as commands:
            commands.write(stdin or "")
            commands.seek(0)
            status = subprocess.run(argv, env=env, stdin=commands, stdout=out, stderr=err,
                                    timeout=timeout, cwd=cwd).returncode
            out.seek(0)
            err.seek(0)
            output, errors = out.read(), err.read()
        if attempt == 1 and wine_could_not_launch(output + errors):
            continue
        return Run(status, output, errors, trace_path)


# What Wine prints when it could not start a program at all (seen once in many runs, on
# a loaded machine): its launcher, for quillctl, or CreateProcess failing with its
# internal error, for the host. Nothing of the test ran, so it is run again.
WINE_LAUNCH_FAILURES = ("ShellExecuteEx failed", "cannot start the host", "(Windows error 1359)")
# What Wine's launcher prints when it could not start the program itself (seen once, for
# the client driver, in a full run).
WINE_LAUNCHER_REFUSED = "Application could not be started, or no application associated"
# What the client library says when the host it started could make no window and so
# ended at once (seen once, for a guide's example, right after the session started on a
# loaded machine; the same run again passed): nothing of the test ran.
HOST_MADE_NO_WINDOW = "the host ended without showing its window, with status 0 "


def wine_could_not_launch(output):
    return ("host window:" not in output and
            (WINE_LAUNCH_FAILURES[0] in output or WINE_LAUNCHER_REFUSED in output or
             all(f in output for f in WINE_LAUNCH_FAILURES[1:])))


class Background:
    """quillctl running in the background with `commands`; use in a with-block, which
    waits for it to end. `output()` gives what it printed, `host_pid()` the Linux
    process id of the host it started (written by the stand-in bass.dll)."""

    def __init__(self, *commands, extra_env=None):
        env = session_environment()
        env.update(extra_env or {})
        handle, self.pid_file = tempfile.mkstemp(prefix="pid-", dir=SESSION_DIR)
        os.close(handle)
        env["QB_PID_FILE"] = windows_path(self.pid_file)
        host = os.path.join(DIST_DIR, "Quillbrook%s.exe" % WIDTH)
        argv = ["wine", os.path.join(BUILD_DIR, "controller", "quillctl.exe"), windows_path(host)]
        self.out = tempfile.TemporaryFile()
        self.process = subprocess.Popen(argv + list(commands), env=env, stdin=subprocess.DEVNULL,
                                        stdout=self.out, stderr=subprocess.STDOUT)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.process.wait(timeout=120)
        os.remove(self.pid_file)

    def host_pid(self, timeout=60):
        deadline = time.time() + timeout
        while time.time() < deadline:
            with open(self.pid_file) as text:
                pid = text.read()
            if pid.endswith("\n"):  # written whole
                return int(pid)
            if self.process.poll() is not None:
                break
            time.sleep(0.02)
        raise AssertionError("the host did not start:\n" + self.output())

    def output(self):
        self.out.seek(0)
        return self.out.read().decode(errors="replace")


def write_file(test, data, suffix=".mid"):
    """Writes `data` to a new file in the session folder, removed when `test` ends;
    gives its Unix path."""
    handle, path = tempfile.mkstemp(suffix=suffix, dir=SESSION_DIR)
    with os.fdopen(handle, "wb") as out:
        out.write(data)
    test.addCleanup(os.remove, path)
    return path


def song_file(test, tracks, division=480, running_status=False):
    """Writes a MIDI file of `tracks` for `test`; gives its path as the host sees it."""
    return windows_path(write_file(test, smf.midi_file(tracks, division, running_status)))


def wine_program(program, *args, extra_env=None, timeout=120):
    """Runs a Windows program of this width's build folder; gives (status, output)."""
    return run_windows_program(os.path.join(BUILD_DIR, program), *args, extra_env=extra_env,
                               timeout=timeout)


def run_windows_program(path, *args, extra_env=None, timeout=120):
    """Runs the Windows program at `path` under the session; gives (status, output)."""
    env = session_environment()
    env.update(extra_env or {})
    for attempt in (1, 2):
        with tempfile.TemporaryFile("w+") as out:
            status = subprocess.run(["wine", path] + list(args), env=env,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                    timeout=timeout).returncode
            out.seek(0)
            output = out.read()
        # Nothing of the program ran when Wine's launcher could not start it.
        if attempt == 1 and status != 0 and (WINE_LAUNCHER_REFUSED in output or
                                             WINE_LAUNCH_FAILURES[0] in output or
                                             HOST_MADE_NO_WINDOW in output):
            continue
        return status, output


def build_path(*parts):
    """A path in this width's build folder, as the Windows programs see it."""
    return windows_path(os.path.join(BUILD_DIR, *parts))


# What ctest takes as "skipped" for a test program's exit status.
SKIPPED = 77


def runs_width(width):
    """Whether the session's machine runs programs of `width` ("64" or "32") under Wine."""
    return width == "64" or session_environment().get("QB_RUNS_32BIT") == "yes"


def width_cannot_run():
    """Why Quillbrook32 does not run in this session."""
    return "Quillbrook32 cannot run here: this machine cannot run 32-bit programs (%s)" % (
        session_environment().get("QB_RUNS_32BIT_WHY", "no reason given"))


def main():
    """Runs the test file's tests, or, where this width cannot run, none: it says why and
    exits as skipped."""
    if not runs_width(WIDTH):
        print("skipped: " + width_cannot_run(), flush=True)
        sys.exit(SKIPPED)
    unittest.main(verbosity=2)
