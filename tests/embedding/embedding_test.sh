#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds, tests and installs the parent project of this directory, which
# embeds sysutils, with CTest included after sysutils and before it, and
# checks that the parent keeps its own: its two tests and no other, its two
# programs installed and nothing of ours, and neither BUILD_TESTING nor
# CMAKE_INSTALL_LIBDIR cached by us.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "embedding, CTest first $1: $2" >&2; exit 1; }
for first in OFF ON; do
    build=$here/../../build/embedding/ctest-first-$first
    rm -rf "$build"
    cmake -S "$here" -B "$build" -G Ninja -DCTEST_FIRST=$first >/dev/null
    cmake --build "$build" -j2 >/dev/null
    tests=$(ctest --test-dir "$build" -N | sed -n 's/^ *Test *#[0-9]*: //p' | sort | xargs)
    [ "$tests" = "parent_chipid parent_sysutil" ] || fail $first "tests: $tests"
    ctest --test-dir "$build" --output-on-failure >/dev/null || fail $first "the parent's tests failed"
    cmake --install "$build" --prefix "$build/prefix" >/dev/null
    installed=$(cd "$build/prefix" && find . ! -type d | sort | xargs)
    [ "$installed" = "./bin/chipid ./bin/sysutil" ] || fail $first "installed: $installed"
    cached=$(grep -E '^(BUILD_TESTING|CMAKE_INSTALL_LIBDIR)[:=]' "$build/CMakeCache.txt" | xargs)
    [ "$cached" = "BUILD_TESTING:BOOL=ON" ] || fail $first "cached: $cached"
done
echo "embedding: the parent keeps its own tests, install and cache"
