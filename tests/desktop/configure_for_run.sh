#!/usr/bin/env bash
# `make run` configures the build folder on a machine that has only the program's build and
# run-time packages: no session bus, no Xvfb, no lintian. Here the Makefile's own configure step for
# `make run` runs where cmake finds only the programs such a machine has, so a test tool looked for
# outside the tests fails it. First without pkg-config, as when an install broke off: the configure
# fails and must leave the folder unconfigured, so that the next `make run` configures again.
# Usage: configure_for_run.sh SOURCE_DIR
set -euo pipefail

source_dir=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/marrowlark-configure.XXXXXX")
trap 'rm -rf "$work"' EXIT
build_dir=$work/build
stamp=$build_dir/.configured

# cmake's find_program looks in the system's own folders whatever PATH says; a toolchain file
# (taken from the environment on a first configure) re-roots its search into a folder of ours.
export CMAKE_TOOLCHAIN_FILE=$work/programs-only-from-root.cmake
cat >"$CMAKE_TOOLCHAIN_FILE" <<CMAKE
set(CMAKE_FIND_ROOT_PATH "$work/root")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE NEVER)
CMAKE

# root_with PROGRAM...: the folder of programs holds these and nothing else.
root_with() {
    rm -rf "$work/root"
    mkdir -p "$work/root/usr/bin"
    for program in "$@"; do
        ln -s "$(command -v "$program")" "$work/root/usr/bin/$program"
    done
}
# The shell and a few core utilities, make, cmake, git and the compiler with the programs it calls.
base=(sh bash rm touch make cmake git c++ g++ gcc cc as ld)

configure() {
    PATH=$work/root/usr/bin make -s -C "$source_dir" BUILD_DIR="$build_dir" "$stamp" >"$work/log" 2>&1
}

root_with "${base[@]}"
if configure; then
    echo "FAIL: configured without pkg-config"
    exit 1
fi
grep -q PkgConfig "$work/log" || { cat "$work/log"; echo "FAIL: the configure failed, but not for want of pkg-config"; exit 1; }
[ ! -e "$stamp" ] || { echo "FAIL: a failed configure left $stamp"; exit 1; }

root_with "${base[@]}" pkg-config
configure || {
    cat "$work/log"
    echo "FAIL: the configure of make run needs a program that only the tests install"
    exit 1
}
[ -e "$stamp" ] || { echo "FAIL: configured, but no $stamp"; exit 1; }
echo "PASS: make run configures with the build packages alone, and again after a failed configure"
