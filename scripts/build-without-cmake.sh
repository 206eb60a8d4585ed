#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the two static libraries, chipid and sysutil with nothing but a C++14
# compiler and ar, as an SDK's own Makefile would: no CMake, no generated
# file. Run from anywhere; the results go to OUT (default: the current
# directory).
#
#   CXX=mipsel-linux-gnu-g++ AR=mipsel-linux-gnu-ar scripts/build-without-cmake.sh
#
# CXXFLAGS is added to the project's own flags (the toolchain check adds
# -pedantic-errors and the warnings, as errors).
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
out=${OUT:-.}
CXX=${CXX:-g++}
AR=${AR:-ar}
mkdir -p "$out/obj"

flags="-std=c++14 -Os -fno-exceptions -fno-rtti -fvisibility=hidden -pthread -ffunction-sections -fdata-sections
       -I$src/log -I$src/sysutils/base -I$src/sysutils/posix ${CXXFLAGS:-}"

compile() { # archive source...
    archive=$1
    shift
    objects=""
    for source in "$@"; do
        object=$out/obj/$(basename "$source" .cpp).o
        # shellcheck disable=SC2086
        $CXX $flags -c "$source" -o "$object"
        objects="$objects $object"
    done
    rm -f "$out/$archive"
    # shellcheck disable=SC2086
    $AR rcs "$out/$archive" $objects
}

compile libsysutils_log.a "$src"/log/*.cpp
compile libsysutils_base.a "$src"/sysutils/base/*.cpp
tools=""
[ ! -d "$src/tools/common" ] || tools=$(ls "$src"/tools/common/*.cpp)
[ -z "$tools" ] || compile libsysutils_tools.a $tools
libraries="$out/libsysutils_base.a $out/libsysutils_log.a"
[ -z "$tools" ] || libraries="$out/libsysutils_tools.a $libraries"
# The C++ runtime is never needed: a driver that adds it anyway is told to
# drop what nothing uses.
link="-Wl,--as-needed -Wl,--gc-sections"
# shellcheck disable=SC2086
$CXX $flags -I"$src/tools/common" "$src"/tools/chipid/*.cpp $libraries $link -o "$out/chipid"
# shellcheck disable=SC2086
$CXX $flags -I"$src/tools/common" -I"$src/tools/sysutil" "$src"/tools/sysutil/*.cpp $libraries $link -o "$out/sysutil"
