#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what the target build and its tests need on a Debian machine: the
# mipsel cross-compiler, user-mode QEMU to run the target's programs,
# GoogleTest built for the target (Debian's mipsel architecture), and the
# target's run-time libraries, for QEMU and for dpkg-shlibdeps in the
# packages' cross build. Not
# libc6-dev:mipsel: it may not install while the archive's mipsel kernel
# headers lag the host's, and the cross compiler has its own.
# Idempotent: adds the architecture and installs packages only when missing.
set -eu

arch=mipsel
need=""
for pkg in cmake ninja-build g++-mipsel-linux-gnu g++-11-mipsel-linux-gnu qemu-user "libc6:$arch" "libstdc++6:$arch" \
    "libgtest-dev:$arch" "libgmock-dev:$arch"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need="$need $pkg"
done
[ -n "$need" ] || exit 0

if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    dpkg --add-architecture "$arch"
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need
