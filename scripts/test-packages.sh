#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the Debian packages with debhelper for the host and for mipsel
# (without their tests: the earlier stages ran them), on a copy of the tree
# in build/packages, where dpkg-buildpackage also leaves them, and checks
# them: lintian with no error or warning, the library's symbols file, the
# hardening dpkg-buildflags asks for with fortified functions in every
# binary, large files on mipsel.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/install-deps-mipsel.sh
fail() { echo "packages: $*" >&2; exit 1; }

out=build/packages
rm -rf "$out"
mkdir -p "$out/src"
tar --exclude=./build --exclude=./.git -cf - . | tar -C "$out/src" -xf -
cd "$out/src"
[ "$(dpkg-parsechangelog -SVersion)" = "$(sed -n 's/^#define SYSUTILS_VERSION "\(.*\)"$/\1/p' src/base/version.h)" ] ||
    fail "debian/changelog's version is not src/base/version.h's"
dpkg-buildpackage -us -uc -b -jauto -Pnocheck
dpkg-buildpackage -us -uc -b -jauto -a mipsel -Pcross,nocheck
cd ..

for arch in "$(dpkg --print-architecture)" mipsel; do
    lintian --fail-on error,warning sysutils_*_"$arch".changes || fail "lintian on $arch"
    dpkg-deb --ctrl-tarfile libsysutils1_*_"$arch".deb | tar -t | grep -qx ./symbols || fail "no symbols file on $arch"
    dpkg-deb -x sysutils_*_"$arch".deb "root-$arch"
    dpkg-deb -x libsysutils1_*_"$arch".deb "root-$arch"
    set -- "root-$arch"/usr/bin/chipid "root-$arch"/usr/bin/sysutil "root-$arch"/usr/lib/*/libsysutils.so.1.*
    # This distribution's start files carry no control-flow-integrity notes.
    hardening-check --nocfprotection "$@" >"hardening-$arch.txt" 2>/dev/null || fail "see $out/hardening-$arch.txt"
    [ "$(grep -c 'Fortify Source functions: yes' "hardening-$arch.txt")" = $# ] || fail "unfortified on $arch"
done
# Large files on 32-bit mipsel: the 64-bit offset calls, none of the others.
symbols=$(mipsel-linux-gnu-readelf --dyn-syms -W root-mipsel/usr/bin/* root-mipsel/usr/lib/*/libsysutils.so.1.*)
echo "$symbols" | grep -q ' open64@' || fail "no open64 on mipsel"
if echo "$symbols" | grep -E ' (open|__open_2|fopen|mmap|fstat|lseek|fcntl)@'; then fail "32-bit offsets on mipsel"; fi
echo "packages: $(ls ./*.deb | xargs)"
