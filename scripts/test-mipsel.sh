#!/bin/sh
# SPDX-License-Identifier: MIT
# Cross-builds everything for the target (MIPS32 little-endian) and runs
# every test under user-mode QEMU, on a fresh Debian machine too.
set -eu
cd "$(dirname "$0")/.."

# The host's tools serve the tests that drive the build (installs, packages).
scripts/install-deps.sh
scripts/install-deps-mipsel.sh
cmake --preset mipsel
cmake --build --preset mipsel -j"$(nproc)"
ctest --preset mipsel
