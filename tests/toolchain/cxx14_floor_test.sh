#!/bin/sh
# SPDX-License-Identifier: MIT
# What ships builds as C++14 with the oldest compilers the package registry
# offers and with the target's cross compiler, strict warnings as errors,
# from the compiler lines alone (scripts/build-without-cmake.sh); the
# commands built so need the C library alone and run.
# Usage: cxx14_floor_test.sh SCRATCH-DIR
set -eu
src=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$1
version_wanted="version: SYSUTILS-$(sed -n 's/^#define SYSUTILS_VERSION "\(.*\)"$/\1/p' "$src/src/base/version.h")"
strict="-pedantic-errors -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Werror"

failures=0
for toolchain in "g++-11 ar" "clang++-13 ar" "mipsel-linux-gnu-g++-11 mipsel-linux-gnu-ar"; do
    set -- $toolchain
    cxx=$1 ar=$2
    out=$scratch/$cxx
    rm -rf "$out"
    mkdir -p "$scratch"
    if ! command -v "$cxx" >/dev/null; then
        echo "FAIL: $cxx is not installed (scripts/install-deps.sh installs it)"
        failures=$((failures + 1))
        continue
    fi
    if ! CXX=$cxx AR=$ar CXXFLAGS=$strict OUT=$out "$src/scripts/build-without-cmake.sh" >"$out.log" 2>&1; then
        echo "FAIL: $cxx: the build failed"
        cat "$out.log"
        failures=$((failures + 1))
        continue
    fi
    run=""
    case $cxx in mipsel-*) run=qemu-mipsel ;; esac
    needed=$(readelf -d "$out/chipid" "$out/sysutil" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort -u | tr '\n' ' ')
    version=$($run "$out/sysutil" version 2>&1) || true
    if [ "$needed" != "libc.so.6 " ] || [ "$version" != "$version_wanted" ]; then
        echo "FAIL: $cxx: the commands need [$needed], sysutil printed [$version]"
        failures=$((failures + 1))
        continue
    fi
    echo "ok: $cxx: libraries, chipid and sysutil build as C++14, -pedantic-errors, warnings as errors"
done
[ "$failures" = 0 ]
