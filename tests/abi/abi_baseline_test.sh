#!/bin/bash
# SPDX-License-Identifier: MIT
# libsysutils.so keeps the ABI of its committed baseline (abi/): abidiff
# between the baseline and the library fails the test on a removed or
# changed function or variable, an incompatible change, or an error of the
# tool. Added functions pass with a note: the baseline is then updated on
# purpose with scripts/update-abi-baseline.sh.
# Usage: abi_baseline_test.sh ABIDIFF BASELINE LIBRARY
# Exit status 77: skipped (no abidiff, or no baseline for this architecture).
set -u
abidiff=$1 baseline=$2 library=$3

if ! command -v "$abidiff" >/dev/null 2>&1; then
    echo "SKIPPED: abidiff not found (Debian package abigail-tools)"
    exit 77
fi
if [ ! -f "$baseline" ]; then
    echo "SKIPPED: no baseline $baseline for this architecture: create it with scripts/update-abi-baseline.sh"
    exit 77
fi

echo "abidiff $baseline $library"
report=$("$abidiff" --no-show-locs "$baseline" "$library" 2>&1)
status=$?
[ -z "$report" ] || echo "$report"

# abidiff's status bits: 1 error, 2 usage error, 4 ABI change, 8 incompatible
# change. A change to an existing function's types sets bit 4 alone, so the
# summaries tell additions from changes.
if [ $((status & 3)) != 0 ]; then
    echo "FAIL: abidiff failed (status $status)"
    exit 1
fi
if [ $((status & 8)) != 0 ]; then
    echo "FAIL: incompatible ABI change against $baseline"
    exit 1
fi
if [ $((status & 4)) != 0 ]; then
    if echo "$report" | awk '/changes summary:/ {
            for (i = 2; i <= NF; i++) if ($i ~ /^(Removed|Changed)/ && $(i - 1) + 0 > 0) found = 1
        } END { exit !found }'; then
        echo "FAIL: existing functions or variables removed or changed against $baseline"
        exit 1
    fi
    echo "NOTE: compatible additions only; update the baseline on purpose: scripts/update-abi-baseline.sh"
fi
echo "ok: the ABI is compatible with $baseline"
exit 0
