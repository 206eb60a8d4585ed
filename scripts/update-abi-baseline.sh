#!/bin/sh
# SPDX-License-Identifier: MIT
# Regenerates the ABI baselines of libsysutils.so in abi/, on purpose: after
# a compatible addition to the interface, or for a new major version. Builds
# the shared library RelWithDebInfo (abidw reads its debug information) for
# the host and the target in build/abi-baseline-*, and dumps it, named by its
# multiarch triplet (abi/libsysutils-mipsel-linux-gnu.abi), without paths or
# source locations, so that the dump changes only when the ABI does (or
# abidw's version).
# Usage: scripts/update-abi-baseline.sh [host] [mipsel]   (both by default)
set -eu
cd "$(dirname "$0")/.."

command -v abidw >/dev/null 2>&1 || { echo "abidw not found: install abigail-tools (scripts/install-deps.sh)" >&2; exit 1; }
[ $# != 0 ] || set -- host mipsel

for platform in "$@"; do
    case $platform in
    host)
        toolchain=""
        arch=$(c++ -dumpmachine) ;;
    mipsel)
        toolchain=-DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/toolchain-mipsel.cmake
        arch=mipsel-linux-gnu ;;
    *)
        echo "usage: $0 [host] [mipsel]" >&2
        exit 2 ;;
    esac
    build=build/abi-baseline-$platform
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSYSUTILS_BUILD_TESTING=OFF \
        -DSYSUTILS_BUILD_SHARED=ON -DSYSUTILS_WERROR=ON $toolchain >/dev/null
    cmake --build "$build" -j"$(nproc)" --target sysutils_shared
    # The translation units' paths are kept relative to the source tree.
    abidw --no-corpus-path --no-comp-dir-path --no-show-locs --no-elf-needed --drop-undefined-syms \
        "$build/src/libsysutils.so" | sed "s|path='$PWD/|path='|" >"abi/libsysutils-$arch.abi"
    echo "abi/libsysutils-$arch.abi: $(grep -c '<elf-symbol ' "abi/libsysutils-$arch.abi") symbols"
done
