#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs every tool that looks for memory, concurrency and undefined-behaviour
# faults, on a fresh machine too (it installs what it needs):
#   clang build of the whole tree, warnings as errors
#   clang-tidy and cppcheck
#   the test suite under AddressSanitizer + UndefinedBehaviorSanitizer
#   the test suite under ThreadSanitizer
#   the test suite and chipid under valgrind's memcheck
#   each fuzz target for a bounded time (FUZZ_SECONDS, default 60)
# Every step runs even after a failed one; the exit status is non-zero when
# any step found something. Logs go to build/hardening-logs/.
#
# Usage: scripts/hardening.sh [STEP...]
#   steps: clang tidy cppcheck asan tsan memcheck fuzz (default: all);
#   "tools" only installs the tools
set -u
cd "$(dirname "$0")/.."
root=$PWD

jobs=2
fuzz_seconds=${FUZZ_SECONDS:-60}
logs=$root/build/hardening-logs
steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=(clang tidy cppcheck asan tsan memcheck fuzz)

install_tools() {
    scripts/install-deps.sh || return 1
    local need="" pkg
    for pkg in clang clang-tidy cppcheck valgrind libclang-rt-14-dev util-linux; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need="$need $pkg"
    done
    if [ -n "$need" ]; then
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need
    fi
}

build() { # preset [target...]
    local preset=$1
    shift
    cmake --preset "$preset" >"$logs/$preset-configure.log" 2>&1 || { cat "$logs/$preset-configure.log"; return 1; }
    local targets=()
    [ $# -eq 0 ] || targets=(--target "$@")
    cmake --build --preset "$preset" -j"$jobs" "${targets[@]}" >"$logs/$preset-build.log" 2>&1 ||
        { grep -E -B2 -A12 'error|FAILED' "$logs/$preset-build.log" | head -150; return 1; }
}

# "N tests" from a ctest log.
ctest_count() { sed -n 's/.*tests passed, [0-9]* tests failed out of \([0-9]*\).*/\1/p' "$1" | tail -1; }

# GoogleTest cases that passed, from a verbose ctest log.
gtest_cases() { sed -n 's/.*\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$1" | awk '{ n += $1 } END { print n + 0 }'; }

step_tools() { note "tools installed"; }

step_clang() {
    build clang || return 1
    note "whole tree (library, tools, tests, benchmarks, fuzz targets) builds with clang, -Werror"
}

# The compile database of the clang build, for the tree as it is now.
compile_database() {
    cmake --preset clang >"$logs/clang-configure.log" 2>&1 || { cat "$logs/clang-configure.log"; return 1; }
}

# The project's own sources in the compile database of the clang build.
project_sources() {
    sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' build/clang/compile_commands.json |
        grep -v "^$root/build/" | sort -u
}

step_tidy() {
    compile_database || return 1
    local checks files
    checks=$(clang-tidy --list-checks 2>/dev/null | grep -c '^    ')
    mapfile -t files < <(project_sources)
    rm -rf "$logs/tidy" && mkdir -p "$logs/tidy"
    # One log per translation unit, two at a time.
    printf '%s\n' "${files[@]}" | xargs -P "$jobs" -I{} sh -c \
        'clang-tidy --quiet -p build/clang "$1" >"$2/$(echo "$1" | tr / _).log" 2>&1 || echo "$1" >>"$2/failed"' \
        _ {} "$logs/tidy"
    if [ -s "$logs/tidy/failed" ] || grep -q -E '(warning|error): ' "$logs/tidy"/*.log; then
        # The same header finding shows once.
        grep -h -E '(warning|error): ' "$logs/tidy"/*.log | sort -u
        echo "translation units with findings:"
        sed 's/^/  /' "$logs/tidy/failed"
        return 1
    fi
    note "clang-tidy: $checks checks enabled, ${#files[@]} translation units, no finding"
}

step_cppcheck() {
    compile_database || return 1
    # Analysed as the compile database has them; the GoogleTest macros are
    # known to cppcheck through its library description.
    cppcheck --project=build/clang/compile_commands.json --library=googletest \
        -i"$root/build" --enable=warning,performance,portability --inline-suppr \
        --error-exitcode=1 -q -j "$jobs" >"$logs/cppcheck.log" 2>&1 || { cat "$logs/cppcheck.log"; return 1; }
    if [ -s "$logs/cppcheck.log" ]; then
        cat "$logs/cppcheck.log"
        return 1
    fi
    note "cppcheck: $(project_sources | wc -l) translation units, no finding"
}

step_sanitizer() { # preset
    local preset=$1
    build "$preset" || return 1
    ctest --preset "$preset" -j"$jobs" -V >"$logs/$preset-ctest.log" 2>&1
    local status=$?
    sed -n '/% tests passed/,$p' "$logs/$preset-ctest.log"
    if [ $status -ne 0 ]; then
        grep -E -A40 'ERROR: (Address|Leak|Undefined)Sanitizer|runtime error:|WARNING: ThreadSanitizer|\*\*\*Failed|\*\*\*Exception|Timeout' \
            "$logs/$preset-ctest.log" | head -200
        return 1
    fi
    note "$preset: $(ctest_count "$logs/$preset-ctest.log") tests passed, $(gtest_cases "$logs/$preset-ctest.log") GoogleTest cases among them"
}

step_asan() { step_sanitizer asan; }
step_tsan() { step_sanitizer tsan; }

valgrind_options="--error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect
    --show-leak-kinds=definite,indirect,possible --track-origins=yes --suppressions=$root/tests/valgrind.supp"

# A ctest regular expression of the tests whose command is an executable of
# the build itself (not a shell or cmake script), long ones left out.
built_executable_tests() { # build-dir
    ctest --test-dir "$1" -N -V -LE long | awk -v dir="$root/$1/" '
        /^[0-9]+: Test command: / { n = $1; sub(":", "", n); cmd[n] = $4 }
        /^ *Test +#[0-9]+: / {
            n = $2; sub("#", "", n); sub(":", "", n)
            if (index(cmd[n], dir) == 1) { names = names (names ? "|" : "") $3 }
        }
        END { print "^(" names ")$" }'
}

step_memcheck() {
    build memcheck || return 1
    # The test executables, each under memcheck; chipid_process runs a shell
    # script and is run below with chipid itself under memcheck.
    local executables
    executables=$(built_executable_tests build/memcheck)
    ctest --test-dir build/memcheck -LE long -R "$executables" -V -j"$jobs" -T memcheck \
        --overwrite MemoryCheckCommand="$(command -v valgrind)" \
        --overwrite MemoryCheckCommandOptions="$(echo $valgrind_options)" \
        >"$logs/memcheck-ctest.log" 2>&1
    local status=$?
    sed -n '/% tests passed/,/^Memory checking results/p' "$logs/memcheck-ctest.log"
    if [ $status -ne 0 ] || grep -q -E 'Defects|defects:' "$logs/memcheck-ctest.log"; then
        grep -h -E -B3 -A25 'Invalid|uninitialised|definitely lost in|indirectly lost in|ERROR SUMMARY: [1-9]' \
            build/memcheck/Testing/Temporary/MemoryChecker.*.log 2>/dev/null | head -200
        return 1
    fi
    # This build is unoptimised: the one where a C++ runtime reference that
    # inlining hides elsewhere shows.
    ctest --test-dir build/memcheck -R '^chipid_runtime_dependencies$' --output-on-failure \
        >"$logs/memcheck-runtime.log" 2>&1 || { cat "$logs/memcheck-runtime.log"; return 1; }
    local tests
    tests=$(ctest_count "$logs/memcheck-ctest.log")
    # chipid as a whole process on a private /dev: the register read, then the
    # failed read that logs to the kernel log.
    # shellcheck disable=SC2086
    bash tests/tools/chipid/chipid_process_test.sh build/memcheck/tools/chipid \
        valgrind $valgrind_options -q >"$logs/memcheck-chipid.log" 2>&1
    status=$?
    if [ $status -eq 77 ]; then
        note "memcheck: chipid skipped (needs root and mount namespaces)"
    elif [ $status -ne 0 ]; then
        cat "$logs/memcheck-chipid.log"
        return 1
    fi
    note "memcheck: $tests test executables ($(gtest_cases "$logs/memcheck-ctest.log") GoogleTest cases) and chipid (2 runs): no error, no leak"
}

step_fuzz() {
    build fuzz log_fuzzer android_log_fuzzer calendar_fuzzer || return 1
    local work failed=0 target
    work=$(mktemp -d "${TMPDIR:-/tmp}/sysutils-fuzz-run.XXXXXX")
    for target in log android_log calendar; do
        # New inputs go to the scratch corpus; the checked-in seeds stay as
        # they are.
        mkdir -p "$work/$target"
        (cd "$work" && TMPDIR=$work ASAN_OPTIONS=quarantine_size_mb=64 \
            "$root/build/fuzz/fuzz/${target}_fuzzer" -max_total_time="$fuzz_seconds" -timeout=10 \
            -rss_limit_mb=3072 -artifact_prefix="$logs/$target-" -print_final_stats=1 \
            "$work/$target" "$root/fuzz/corpus/$target") >"$logs/fuzz-$target.log" 2>&1
        if [ $? -ne 0 ]; then
            grep -E -A40 '==ERROR|runtime error|deadly signal|Test unit written' "$logs/fuzz-$target.log" | head -120
            failed=1
        fi
        note "fuzz $target: $(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/fuzz-$target.log") executions in ${fuzz_seconds}s, $(grep -o 'cov: [0-9]*' "$logs/fuzz-$target.log" | tail -1) edges"
    done
    rm -rf "$work"
    return $failed
}

summary=()
note() { summary+=("  $*"); }

mkdir -p "$logs"
failed=()
if ! install_tools >"$logs/install.log" 2>&1; then
    cat "$logs/install.log"
    echo "hardening: could not install the tools" >&2
    exit 1
fi
for step in "${steps[@]}"; do
    if ! declare -F "step_$step" >/dev/null; then
        echo "hardening: no step $step" >&2
        exit 2
    fi
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

echo "=== summary"
printf '%s\n' "${summary[@]}"
passed=$((${#steps[@]} - ${#failed[@]}))
echo "hardening: ${passed} passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ] || { echo "failed steps: ${failed[*]}"; exit 1; }
