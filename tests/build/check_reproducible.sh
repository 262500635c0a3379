#!/usr/bin/env bash
# Builds both programs twice from two fresh clones of the source's current commit, in
# folders of different names and depths, and checks that the programs come out byte
# for byte the same.
#
#   check_reproducible.sh SOURCE_DIR
set -euo pipefail
source_dir=${1:?source folder}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

build() {
    local clone=$1
    git clone --quiet --no-local "$source_dir" "$clone"
    for width in 64 32; do
        cmake -S "$clone" --preset "win$width" >/dev/null
        cmake --build "$clone/build/win$width" --target "Quillbrook$width" >/dev/null
    done
}

build "$scratch/first"
build "$scratch/second/a/rather/deeper/folder"
status=0
for width in 64 32; do
    program="build/dist/Quillbrook$width.exe"
    if cmp "$scratch/first/$program" "$scratch/second/a/rather/deeper/folder/$program"; then
        echo "Quillbrook$width.exe: the two builds are identical ($(sha256sum <"$scratch/first/$program" | cut -c1-16)...)"
    else
        echo "Quillbrook$width.exe: the two builds differ"
        status=1
    fi
done
exit "$status"
