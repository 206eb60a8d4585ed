#!/bin/bash
# SPDX-License-Identifier: MIT
# A longer fuzzing campaign than the bounded runs of scripts/hardening.sh.
#
# Usage: scripts/fuzz-campaign.sh [SECONDS] [TARGET...]
#   SECONDS  time given to each target (default 3600)
#   TARGET   log, android_log, calendar (default: all three)
#
# The corpus grows in build/fuzz-campaign/corpus/<target>, kept from one
# campaign to the next and started from the checked-in seeds in
# fuzz/corpus/<target>. Inputs that crash or time out are written to
# build/fuzz-campaign/ and the script exits non-zero. Each target runs on
# one core at a time; FUZZ_JOBS=N runs N workers of each target instead.
# After a campaign worth keeping, minimise the corpus and fold the new inputs
# into the seeds with:
#   build/fuzz/fuzz/<target>_fuzzer -merge=1 fuzz/corpus/<target> build/fuzz-campaign/corpus/<target>
set -u
cd "$(dirname "$0")/.."
root=$PWD

seconds=${1:-3600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(log android_log calendar)
workers=${FUZZ_JOBS:-1}
out=$root/build/fuzz-campaign

if ! [[ $seconds =~ ^[0-9]+$ ]]; then
    echo "usage: $0 [SECONDS] [TARGET...]" >&2
    exit 2
fi

scripts/hardening.sh tools >/dev/null || exit 1
cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j2 --target "${targets[@]/%/_fuzzer}" >/dev/null || exit 1

mkdir -p "$out"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/sysutils-fuzz-campaign.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failed=0
for target in "${targets[@]}"; do
    mkdir -p "$out/corpus/$target"
    echo "=== $target: ${seconds}s, $workers worker(s)"
    parallel=()
    [ "$workers" -le 1 ] || parallel=(-fork="$workers")
    # Log files and the like go to the scratch directory, never the tree.
    (cd "$scratch" && TMPDIR=$scratch ASAN_OPTIONS=quarantine_size_mb=64 \
        "$root/build/fuzz/fuzz/${target}_fuzzer" "${parallel[@]}" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=3072 -artifact_prefix="$out/$target-" -print_final_stats=1 \
        "$out/corpus/$target" "$root/fuzz/corpus/$target") >"$out/$target.log" 2>&1
    status=$?
    sed -n 's/^stat::number_of_executed_units: */executions: /p' "$out/$target.log"
    grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9/]*[a-zA-Z]*' "$out/$target.log" | tail -1
    if [ $status -ne 0 ]; then
        grep -E -A40 '==ERROR|runtime error|deadly signal|Test unit written' "$out/$target.log" | head -80
        echo "=== $target: FAILED, see $out/$target.log"
        failed=1
    fi
done
exit $failed
