#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the Debian packages given, by default all that the host build,
# its tests, the hardening tools and the system test need, on a fresh Debian
# machine. Idempotent: installs only what is missing.
# Usage: scripts/install-deps.sh [PACKAGE...]
set -eu
[ $# -gt 0 ] || set -- cmake ninja-build g++ clang libgtest-dev libgmock-dev libbenchmark-dev strace util-linux \
    pkgconf dpkg-dev g++-11 clang-13 lintian abigail-tools binutils debhelper devscripts clang-tidy cppcheck \
    valgrind libclang-rt-14-dev qemu-system-mips qemu-system-x86 cpio
need=""
for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need="$need $pkg"
done
if [ -n "$need" ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need
fi
