"""Sums up the ctest runs of scripts/test: lists what was skipped, with the reason each
test gave, and ends with the line "N passed, N failed, N skipped". Exits 1 when a test
failed or a run left no summary.

usage: test_summary.py BUILD_FOLDER...   (each holding the run's test.log)
"""
import os
import re
import sys

SUMMARY = re.compile(r"^\d+% tests passed, (\d+) tests? failed out of (\d+)", re.M)
SKIPPED = re.compile(r"^\s*\d+ - (\S+) \(Skipped\)$", re.M)
# A test's start and its own word on why it skipped, in ctest's full log.
TEST_START = re.compile(r"^\d+/\d+ Test: (\S+)$")
WHOLE_SKIP = re.compile(r"^skipped: (.*)$")
# A skipped part of a test that passed, as Python's unittest reports it.
PART_SKIP = re.compile(r"^(\w+) \(.*\) \.\.\. skipped '(.*)'$")


def reasons(folder):
    """Every skip the tests explained: (test, part or None, reason)."""
    path = os.path.join(folder, "Testing", "Temporary", "LastTest.log")
    if not os.path.exists(path):
        return []
    found = []
    test = None
    with open(path, encoding="utf-8", errors="replace") as log:
        for line in log:
            line = line.rstrip("\n")
            start = TEST_START.match(line)
            if start:
                test = start.group(1)
                continue
            whole = WHOLE_SKIP.match(line)
            if whole:
                found.append((test, None, whole.group(1)))
                continue
            part = PART_SKIP.match(line)
            if part:
                found.append((test, part.group(1), part.group(2)))
    return found


def summarise(folders):
    """Gives (lines to print, passed, failed, skipped)."""
    passed = failed = skipped = 0
    lines = []
    for folder in folders:
        with open(os.path.join(folder, "test.log"), encoding="utf-8", errors="replace") as log:
            text = log.read()
        summary = SUMMARY.findall(text)
        if not summary:
            if "No tests were found" in text:
                continue  # a filter that selects nothing in this folder
            lines.append("%s: ctest left no summary" % folder)
            failed += 1
            continue
        some_failed, total = (int(n) for n in summary[-1])
        names = SKIPPED.findall(text)
        skipped += len(names)
        passed += total - some_failed - len(names)
        failed += some_failed
        why = reasons(folder)
        for name in names:
            said = [r for t, part, r in why if t == name and part is None]
            lines.append("skipped: %s: %s" % (name, said[0] if said else "no reason given"))
        for test, part, reason in why:
            if part is not None and test not in names:
                lines.append("skipped part: %s, %s: %s" % (test, part, reason))
    return lines, passed, failed, skipped


def main():
    lines, passed, failed, skipped = summarise(sys.argv[1:])
    for line in lines:
        print(line)
    print("%d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
