#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs chipid as a whole process on a faked platform: a /dev of its own
# (tests/support/private_dev.sh) holding a sparse file as the physical-memory
# device and a regular file as the kernel log device.
# Usage: chipid_process_test.sh CHIPID [EMULATOR ARGS...]
set -euo pipefail
# Never on this machine's own /dev, whoever runs it.
[ -e /dev/.private-dev ] || exec sh "$(dirname "$0")/../../support/private_dev.sh" bash "$0" "$@"

errors=$(mktemp) && trap 'rm -f "$errors"' EXIT && failures=0
check() { # name expected actual
    if [ "$2" == "$3" ]; then echo "ok: $1"; else echo "FAIL: $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi; }
chipid=$1
shift

# Registers 0x11223344, 0x55667788, 0x99aabbcc, as little-endian bytes.
truncate -s $((0x13541000)) /dev/mem
printf '\x44\x33\x22\x11\x88\x77\x66\x55\xcc\xbb\xaa\x99' |
    dd of=/dev/mem bs=1 seek=$((0x13540200)) conv=notrunc status=none
: > /dev/log_main

set +e
out=$("$@" "$chipid" ignored --arguments 2>"$errors")
status=$?
set -e
check "identifier line" "CHIP ID: 4433221188776655ccbbaa99" "$out"
check "exit status" 0 "$status"
check "nothing on standard error" "" "$(cat "$errors")"
check "nothing logged" 0 "$(stat -c %s /dev/log_main)"

rm /dev/mem
set +e
out=$("$@" "$chipid" 2>"$errors" | od -An -c | tr -s ' ')
status=$?
set -e
check "line without the device" "$(printf 'CHIP ID: \n' | od -An -c | tr -s ' ')" "$out"
check "exit status without the device" 0 "$status"
check "records on standard error" "chipid: open /dev/mem failed
chipid: SU_Base_GetDevID(): failed" "$(cat "$errors")"
expected=$(printf '\006base\000open /dev/mem failed\n\000\006base\000SU_Base_GetDevID(): failed\n\000' | od -An -tx1)
check "kernel-log entries" "$expected" "$(od -An -tx1 /dev/log_main)"

# Standard output closed before the first record: the device must not take
# its number, or the identifier line would land in the kernel log.
: > /dev/log_main
set +e
"$@" "$chipid" >&- 2>/dev/null
status=$?
set -e
check "exit status with standard output closed" 0 "$status"
check "kernel log with standard output closed" "$expected" "$(od -An -tx1 /dev/log_main)"

[ "$failures" = 0 ]
