#!/bin/bash
# SPDX-License-Identifier: MIT
# chipid runs with the C library alone (and the project's own shared
# library, where the build links the commands with it): it needs no other
# shared library, and neither it nor the libraries reference the C++
# runtime, whatever the optimisation level (an unoptimised build keeps calls
# that inlining hides).
# Usage: runtime_dependencies_test.sh READELF NM CHIPID "NEEDED..." LIBRARY...
set -eu
readelf=$1 nm=$2 chipid=$3 wanted=$4
shift 4

status=0
needed=$("$readelf" -d "$chipid" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
if [ "$needed" != "$wanted " ]; then
    echo "FAIL: chipid needs [$needed], not [$wanted]"
    status=1
fi
runtime=$("$nm" -u "$chipid" "$@" | grep -v '@GLIBC_' | grep -E ' (_ZSt|_ZNSt|_ZN9__gnu_cxx|__cxa_|_Znw|_Zna|_Zdl|_Zda|__gxx_personality)' || true)
if [ -n "$runtime" ]; then
    echo "FAIL: C++ runtime references:"
    echo "$runtime"
    status=1
fi
[ $status != 0 ] || echo "ok: chipid needs $wanted alone; no C++ runtime reference"
exit $status
