#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the two static libraries, chipid and sysutil with nothing but a C++14
# compiler and ar, as an SDK's own Makefile would: no CMake, no generated
# file. Results go to OUT (default: the current directory); CXXFLAGS is added
# to the project's own flags.
#
#   CXX=mipsel-linux-gnu-g++ AR=mipsel-linux-gnu-ar scripts/build-without-cmake.sh
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
out=${OUT:-.}
CXX=${CXX:-g++}
AR=${AR:-ar}
mkdir -p "$out/obj"
flags="-std=c++14 -Os -fno-exceptions -fno-rtti -fvisibility=hidden -pthread -ffunction-sections -fdata-sections
       -I$src/include/sysutils -I$src/src/common ${CXXFLAGS:-}"

archive() { # name source...
    name=$1
    shift
    for source in "$@"; do
        # shellcheck disable=SC2086
        $CXX $flags -c "$source" -o "$out/obj/$(basename "$source" .cpp).o"
    done
    rm -f "$out/$name"
    $AR rcs "$out/$name" $(for source in "$@"; do echo "$out/obj/$(basename "$source" .cpp).o"; done)
}
archive libsysutils_log.a "$src"/src/log/*.cpp
archive libsysutils_base.a "$src"/src/base/*.cpp
archive libsysutils_tools.a "$src"/tools/*.cpp
# The C++ runtime is never needed: the driver is told to drop what nothing uses.
libraries="$out/libsysutils_tools.a $out/libsysutils_base.a $out/libsysutils_log.a -Wl,--as-needed -Wl,--gc-sections"
# shellcheck disable=SC2086
$CXX $flags -I"$src/tools" "$src"/tools/chipid/*.cpp $libraries -o "$out/chipid"
# shellcheck disable=SC2086
$CXX $flags -I"$src/tools" "$src"/tools/sysutil/*.cpp $libraries -o "$out/sysutil"
