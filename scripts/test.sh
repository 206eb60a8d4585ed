#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds everything and runs every test, on a fresh machine too: the host
# suite (quick and long), the C++14 floor with the oldest compilers, the
# target suite (quick and long) under user-mode QEMU, the exported interface
# and its ABI, the Debian packages under lintian, a parent project that
# embeds this one, the footprint limits, the hardening tools, and the system
# test on real kernels under QEMU. Each stage installs what it needs first.
set -eu
cd "$(dirname "$0")/.."

start=$(date +%s)
stage() { printf '\n==== %s (at %d s) ====\n' "$1" $(($(date +%s) - start)); }

stage "host: build and quick tests"
scripts/install-deps.sh
scripts/install-deps-mipsel.sh
cmake --preset host
cmake --build --preset host -j"$(nproc)"
ctest --preset host

stage "host: long tests"
ctest --test-dir build/host -L long --output-on-failure

stage "toolchains: C++14 with g++-11, clang-13 and the mipsel cross compiler, no CMake"
ctest --test-dir build/host -L toolchains --output-on-failure

stage "target: cross-build, tests under user-mode QEMU"
scripts/test-mipsel.sh

stage "target: long tests under user-mode QEMU (every day's raw times sampled, on 32-bit words)"
ctest --test-dir build/mipsel -L long --output-on-failure

stage "interface: exported symbols in every build type, ABI against the baseline"
ctest --test-dir build/host -L abi --output-on-failure
ctest --test-dir build/mipsel -L abi --output-on-failure

stage "packages: debhelper's packages for the host and mipsel, under lintian"
scripts/test-packages.sh

stage "embedding: a parent project that adds this one with add_subdirectory"
tests/embedding/embedding_test.sh

stage "footprint: chipid and the calendar within their limits"
scripts/footprint.sh

stage "hardening: sanitizers, fuzzing, static analysis, memcheck"
scripts/hardening.sh

stage "system test: real kernels under QEMU"
scripts/system-test.sh
