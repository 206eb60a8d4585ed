#!/bin/sh
# SPDX-License-Identifier: MIT
# What chipid costs on the device's flash: MinSizeRel builds for the host and
# the target (presets chipid and mipsel-chipid), and a Release build for the
# target with the toolchain file alone: the stripped size of chipid and the
# shared libraries it needs. Fails when chipid needs more than the C library,
# is over 16 KiB on the host, 12 KiB on the target (16 KiB in Release), or
# when the calendar object holds more than 64 bytes of read-only data besides
# its texts (it computes with no tables).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/install-deps-mipsel.sh
status=0
fail() { echo "footprint: $*" >&2; status=1; }

cmake -S . -B build/mipsel-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSYSUTILS_BUILD_TESTING=OFF \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mipsel.cmake >/dev/null
for preset in chipid mipsel-chipid mipsel-release; do
    [ "$preset" = mipsel-release ] || cmake --preset "$preset" >/dev/null
    cmake --build "build/$preset" --target sysutils_chipid >/dev/null
    tool() { sed -n "s/^CMAKE_$1:[A-Z]*=//p" "build/$preset/CMakeCache.txt"; }
    stripped=$(mktemp)
    "$(tool STRIP)" -o "$stripped" "build/$preset/tools/chipid"
    size=$(stat -c %s "$stripped")
    rm -f "$stripped"
    needs=$("$(tool READELF)" -d "build/$preset/tools/chipid" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | xargs)
    # Read-only data of the calendar object, less its texts (.rodata.str*).
    rodata=0
    for hex in $("$(tool READELF)" -S -W "$(find "build/$preset" -name calendar.cpp.o)" |
        sed -n 's/^ *\[ *[0-9]*\] //p' | awk '$1 ~ /^\.rodata/ && $1 !~ /\.str/ { print $5 }'); do
        rodata=$((rodata + 0x$hex))
    done
    echo "$preset: chipid $size bytes stripped, needs $needs; calendar read-only data $rodata bytes"
    limit=16384
    [ "$preset" != mipsel-chipid ] || limit=12288
    [ "$size" -le "$limit" ] || fail "chipid ($preset) is $size bytes, over $limit"
    [ "$needs" = libc.so.6 ] || fail "chipid ($preset) needs $needs: only the C library is expected"
    [ "$rodata" -le 64 ] || fail "the calendar object ($preset) holds $rodata bytes of tables"
done
exit $status
