#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs sysutil as a whole process on a faked platform: a /dev of its own
# (tests/support/private_dev.sh) without a clock and with a regular file as
# the kernel log device.
# Usage: sysutil_process_test.sh SYSUTIL [EMULATOR ARGS...]
set -eu
# Never on this machine's own /dev, whoever runs it.
[ -e /dev/.private-dev ] || exec sh "$(dirname "$0")/../../support/private_dev.sh" bash "$0" "$@"

errors=$(mktemp) && trap 'rm -f "$errors"' EXIT && failures=0
check() { # name expected actual
    if [ "$2" == "$3" ]; then echo "ok: $1"; else echo "FAIL: $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi; }
sysutil=$1
shift
: > /dev/log_main

set +e
out=$("$@" "$sysutil" time get 2>"$errors")
status=$?
set -e
check "time get without the clock: status" 1 "$status"
check "time get without the clock: output" "" "$out"
check "time get without the clock: cause" "sysutil: time get: open rtc node fail: No such file or directory
sysutil: time get: SU_Base_GetTime() failed: /dev/rtc0: No such file or directory" "$(cat "$errors")"

# A regular file as the clock: the device refuses the request.
: > /dev/rtc0
set +e
out=$("$@" "$sysutil" time get 2>"$errors")
status=$?
set -e
rm /dev/rtc0
check "time get on a regular file: status" 1 "$status"
# (The record keeps its blank before the newline.)
check "time get on a regular file: cause" "$(printf '%s\n' "sysutil: time get: IOCTL RTC_RD_TIME fail " \
    "sysutil: time get: SU_Base_GetTime() failed: /dev/rtc0: Inappropriate ioctl for device")" "$(cat "$errors")"

# A reader that went away: a write error, not death by SIGPIPE.
mkfifo /dev/pipe
exec 5<>/dev/pipe 6>/dev/pipe
exec 5<&-
set +e
"$@" "$sysutil" --version >&6 2>"$errors"
status=$?
set -e
exec 6>&-
check "closed pipe: status" 1 "$status"
check "closed pipe: message" "sysutil: write error: Broken pipe" "$(cat "$errors")"

[ "$failures" = 0 ]
