# SPDX-License-Identifier: MIT
# Sourced by the process-level tests: re-runs the calling script in a private
# mount namespace whose /dev is an empty tmpfs (with /dev/null), so that the
# program under test can reach no device of this machine, and gives it
# check() and a scratch file for standard error. Skips (77) without root.
# Usage, at the top of a bash script: . "$(dirname "$0")/../../support/private_dev.sh" "$0" "$@"
if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then
    echo "SKIP: needs root and mount namespaces"
    exit 77
fi
if [ "${IN_PRIVATE_DEV:-}" != 1 ]; then
    script=$1
    shift
    exec env IN_PRIVATE_DEV=1 unshare -m --propagation private "$script" "$@"
fi
mount -t tmpfs private-dev /dev
mknod -m 666 /dev/null c 1 3
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT

failures=0
check() { # name expected actual
    if [ "$2" == "$3" ]; then
        echo "ok: $1"
    else
        echo "FAIL: $1: expected [$2], got [$3]"
        failures=$((failures + 1))
    fi
}
