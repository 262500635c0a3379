#!/usr/bin/env python3
"""Writes the release package: a zip holding both programs, the README, the protocol
guide, the licence and a SHA256SUMS file of all of them. The same inputs give the
same zip, byte for byte (fixed dates and order).

usage: make_package.py SOURCE_DIR DIST_DIR OUTPUT_DIR
Prints the path of the package it wrote.
"""
import hashlib
import os
import re
import sys
import zipfile

FIXED_DATE = (2026, 1, 1, 0, 0, 0)


def project_version(source_dir):
    with open(os.path.join(source_dir, "CMakeLists.txt")) as cmake:
        match = re.search(r"project\(Quillbrook VERSION (\d+\.\d+\.\d+)", cmake.read())
    if not match:
        sys.exit("no version in CMakeLists.txt")
    return match.group(1)


def package_files(source_dir, dist_dir):
    """(name in the package, path on disk), in package order."""
    return [("Quillbrook64.exe", os.path.join(dist_dir, "Quillbrook64.exe")),
            ("Quillbrook32.exe", os.path.join(dist_dir, "Quillbrook32.exe")),
            ("README.md", os.path.join(source_dir, "README.md")),
            ("protocol.md", os.path.join(source_dir, "docs", "protocol.md")),
            ("LICENSE", os.path.join(source_dir, "LICENSE"))]


def add(archive, name, data, executable=False):
    info = zipfile.ZipInfo(name, FIXED_DATE)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = (0o755 if executable else 0o644) << 16
    archive.writestr(info, data)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    source_dir, dist_dir, output_dir = sys.argv[1:]
    version = project_version(source_dir)
    folder = "quillbrook-%s" % version
    os.makedirs(output_dir, exist_ok=True)
    path = os.path.join(output_dir, "%s-windows.zip" % folder)
    sums = []
    with zipfile.ZipFile(path, "w") as archive:
        for name, source in package_files(source_dir, dist_dir):
            with open(source, "rb") as data:
                content = data.read()
            add(archive, "%s/%s" % (folder, name), content, name.endswith(".exe"))
            sums.append("%s  %s\n" % (hashlib.sha256(content).hexdigest(), name))
        add(archive, "%s/SHA256SUMS" % folder, "".join(sums).encode())
    print(path)


if __name__ == "__main__":
    main()
