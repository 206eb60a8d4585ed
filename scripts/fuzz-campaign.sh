#!/bin/sh
# SPDX-License-Identifier: MIT
# A fuzzing campaign longer than the bounded run of the hardening script:
# each target for SECONDS (default an hour), with FUZZ_JOBS workers (default
# 1). The corpus grows in build/fuzz-corpus/<target> from one campaign to the
# next; crashes land in build/hardening-logs/. Fold new inputs worth keeping
# into the seeds with
#   build/asan/fuzz/TARGET_fuzzer -merge=1 fuzz/corpus/TARGET build/fuzz-corpus/TARGET
# Usage: scripts/fuzz-campaign.sh [SECONDS]
FUZZ_SECONDS=${1:-3600} exec "$(dirname "$0")/hardening.sh" fuzz
