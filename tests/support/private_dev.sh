#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a program with a /dev of its own: in a private mount namespace whose
# /dev is a tmpfs holding only null, zero, urandom and fd, so that nothing it
# does reaches a device of this machine. With --null-log, /dev/log_main is a
# null device there: kernel-log writes go nowhere (the benchmark and the fuzz
# targets refuse to run otherwise). Needs root: exit status 77 without.
# Usage: private_dev.sh [--null-log] PROGRAM [ARGUMENT...]
# A program run there finds /dev/.private-dev, which no real /dev holds.
set -eu
if [ "${1:-}" != --in-private-namespace ]; then
    if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then
        echo "SKIP: needs root and mount namespaces"
        exit 77
    fi
    exec unshare -m --propagation private sh "$0" --in-private-namespace "$@"
fi
shift
mount -t tmpfs private-dev /dev
: >/dev/.private-dev
mknod -m 666 /dev/null c 1 3
mknod -m 666 /dev/zero c 1 5
mknod -m 444 /dev/urandom c 1 9
ln -s /proc/self/fd /dev/fd
if [ "$1" = --null-log ]; then
    mknod -m 666 /dev/log_main c 1 3
    shift
fi
exec "$@"
