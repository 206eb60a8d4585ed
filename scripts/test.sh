#!/bin/sh
# Builds everything and runs every test, on a fresh machine too: the host
# suite (quick and long), the target suite under user-mode QEMU, the
# hardening tools, and the system test on real kernels under QEMU.
# Each stage installs what it needs first.
set -eu
cd "$(dirname "$0")/.."

stage() { printf '\n==== %s ====\n' "$1"; }

stage "host: build and quick tests"
scripts/install-deps.sh
cmake --preset host
cmake --build --preset host -j"$(nproc)"
ctest --preset host

stage "host: long tests"
ctest --test-dir build/host -L long --output-on-failure

stage "target: cross-build, tests under user-mode QEMU"
scripts/test-mipsel.sh

stage "hardening: sanitizers, fuzzing, static analysis, memcheck"
scripts/hardening.sh

stage "system test: real kernels under QEMU"
scripts/system-test.sh
