#!/bin/bash
# SPDX-License-Identifier: MIT
# The tools that look for memory, concurrency and undefined-behaviour faults:
#   tidy      clang-tidy (.clang-tidy) over what ships (src, tools)
#   cppcheck  cppcheck over the same
#   asan      the whole tree with clang, warnings as errors, and the quick
#             tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan      the tests that run threads, under ThreadSanitizer
#   memcheck  the test executables and chipid under valgrind's memcheck, as
#             the shipped compiler builds them (Debug); the fork stress and
#             the calendar sample, minutes under valgrind, are left to the
#             sanitizers
#   fuzz      the fuzz targets of the asan build side by side, each for
#             FUZZ_SECONDS (10) with FUZZ_JOBS workers (1); longer campaigns:
#             scripts/fuzz-campaign.sh
# Every step runs even after a failed one; the exit status is non-zero when
# any step found something. Logs go to build/hardening-logs/.
# Usage: scripts/hardening.sh [STEP...]   (default: all)
set -u
cd "$(dirname "$0")/.."
root=$PWD
logs=$root/build/hardening-logs
mkdir -p "$logs"
scripts/install-deps.sh >/dev/null || exit 1
steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=(tidy cppcheck asan tsan memcheck fuzz)

build() { # preset [target...]
    local preset=$1
    shift
    { cmake --preset "$preset" && cmake --build "build/$preset" -j2 ${1:+--target "$@"}; } >"$logs/$preset.log" 2>&1 ||
        { grep -E -A12 'error|FAILED' "$logs/$preset.log" | head -120; return 1; }
}

quick_tests() { # preset [ctest option...]
    ctest --test-dir "build/$1" -L quick -j2 --output-on-failure "${@:2}" >"$logs/$1-tests.log" 2>&1 ||
        { grep -E -B5 -A40 'Sanitizer|runtime error|Failed|Timeout' "$logs/$1-tests.log" | head -200; return 1; }
    grep 'tests passed' "$logs/$1-tests.log"
}

# The project's own sources in the clang build's compile database.
compiled_sources() {
    cmake --preset clang >"$logs/clang.log" 2>&1 || { cat "$logs/clang.log"; return 1; }
    sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' build/clang/compile_commands.json | grep -v "^$PWD/build/" | sort -u
}

step_tidy() {
    local sources
    sources=$(compiled_sources | grep -E "^$PWD/(src|tools)/") || return 1
    echo "$sources" | xargs -P 2 -n 1 clang-tidy --quiet -p build/clang >"$logs/tidy.log" 2>&1
    if grep -E '(warning|error): ' "$logs/tidy.log" | sort -u | grep .; then return 1; fi
    echo "clang-tidy: $(echo "$sources" | wc -l) translation units, no finding"
}

step_cppcheck() {
    compiled_sources >/dev/null || return 1
    cppcheck --project=build/clang/compile_commands.json --library=googletest -i"$PWD/build" \
        --enable=warning,performance,portability --inline-suppr --error-exitcode=1 -q -j 2 >"$logs/cppcheck.log" 2>&1
    local status=$?
    cat "$logs/cppcheck.log"
    [ $status = 0 ] && [ ! -s "$logs/cppcheck.log" ]
}

step_asan() { build asan && quick_tests asan; }
threaded_tests=(qor_log_test qor_log_file_test log_first_use_test power_test)
step_tsan() {
    build tsan "${threaded_tests[@]/#/sysutils_}" && quick_tests tsan -R "^($(IFS='|'; echo "${threaded_tests[*]}"))\$"
}

step_memcheck() {
    build memcheck || return 1
    local valgrind=(valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect
        --track-origins=yes --suppressions="$PWD/tests/valgrind.supp")
    # Each test executable (the long one aside), two at a time, then chipid
    # as a whole process on a /dev of its own.
    find build/memcheck/tests -name '*_test' -type f -perm -u+x ! -name '*_long_test' |
        GTEST_FILTER=-LogFile.Fork*:Calendar.SampleOfTheRange* xargs -P 2 -I{} sh -c '"$@" {} >"$0/memcheck-$(basename {}).log" 2>&1 || echo {}' "$logs" "${valgrind[@]}" \
        >"$logs/memcheck-failed"
    bash tests/tools/chipid/chipid_process_test.sh build/memcheck/tools/chipid "${valgrind[@]}" \
        >"$logs/memcheck-chipid.log" 2>&1 || echo chipid >>"$logs/memcheck-failed"
    # Unoptimised, this build shows a C++ run-time reference that inlining
    # hides elsewhere.
    ctest --test-dir build/memcheck -R '^chipid_runtime_dependencies$' --output-on-failure \
        >"$logs/memcheck-runtime.log" 2>&1 || echo chipid_runtime_dependencies >>"$logs/memcheck-failed"
    if [ -s "$logs/memcheck-failed" ]; then
        echo "memcheck found faults in: $(xargs <"$logs/memcheck-failed")"
        return 1
    fi
    echo "memcheck: $(ls "$logs"/memcheck-*_test.log | wc -l) test executables and chipid, no error, no leak"
}

step_fuzz() {
    build asan sysutils_log_fuzzer sysutils_android_log_fuzzer sysutils_calendar_fuzzer || return 1
    local target workers=()
    [ "${FUZZ_JOBS:-1}" -le 1 ] || workers=(-fork="$FUZZ_JOBS")
    rm -f "$logs/fuzz-failed"
    for target in log android_log calendar; do
        # New inputs go to build/fuzz-corpus, kept from one run to the next;
        # the checked-in seeds stay as they are.
        mkdir -p "build/fuzz-corpus/$target"
        (cd "build/fuzz-corpus" && TMPDIR=$PWD ASAN_OPTIONS=quarantine_size_mb=64 "$root/tests/support/private_dev.sh" \
            --null-log "$root/build/asan/fuzz/${target}_fuzzer" "${workers[@]}" -max_total_time="${FUZZ_SECONDS:-10}" \
            -timeout=10 -rss_limit_mb=3072 -artifact_prefix="$logs/$target-" -print_final_stats=1 \
            "$target" "$root/fuzz/corpus/$target") >"$logs/fuzz-$target.log" 2>&1 || echo "$target" >>"$logs/fuzz-failed" &
    done
    wait
    for target in log android_log calendar; do
        echo "fuzz $target: $(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/fuzz-$target.log") runs"
    done
    [ ! -s "$logs/fuzz-failed" ] ||
        { grep -h -E -A40 '==ERROR|runtime error|deadly signal|Test unit written' "$logs"/fuzz-*.log | head -120; return 1; }
}

failed=()
for step in "${steps[@]}"; do
    declare -F "step_$step" >/dev/null || { echo "hardening: no step $step" >&2; exit 2; }
done
for step in "${steps[@]}"; do
    start=$SECONDS
    echo "=== $step"
    if "step_$step"; then
        echo "=== $step: passed ($((SECONDS - start)) s)"
    else
        echo "=== $step: FAILED ($((SECONDS - start)) s), logs in $logs"
        failed+=("$step")
    fi
done
[ ${#failed[@]} = 0 ] || { echo "hardening: failed: ${failed[*]}"; exit 1; }
echo "hardening: ${#steps[@]} steps passed"
