#!/bin/bash
# SPDX-License-Identifier: MIT
# The libraries export the public headers' functions and nothing else, in
# every build type: builds the libraries of this source tree in a scratch
# build per type and compares
#   - the functions declared in the three public headers,
#   - the version script's global list (every entry in node SYSUTILS_1.0),
#   - the shared library's defined dynamic symbols, each with version
#     SYSUTILS_1.0,
#   - the static libraries' defined global symbols (weak ones included).
# Usage: exported_symbols_test.sh SOURCE_DIR SCRATCH_DIR CMAKE NM READELF BUILD_TYPES -- CMAKE_ARGUMENTS...
# BUILD_TYPES is comma-separated, e.g. Debug,Release,MinSizeRel.
set -eu
export LC_ALL=C
source_dir=$1 scratch=$2 cmake=$3 nm=$4 readelf=$5 build_types=$6
shift 6
[ "${1:-}" != -- ] || shift

version_node=SYSUTILS_1.0
map=$source_dir/src/libsysutils.map
work=$scratch/lists
mkdir -p "$work"

# Function declarations of the headers: a line at the left margin (not a
# preprocessor line, comment or typedef) with a return type, then NAME(.
sed -n -E '/^(typedef|#|\/|\*| )/d; s/^[A-Za-z_][A-Za-z0-9_ *]*[ *]([A-Za-z_][A-Za-z0-9_]*)\(.*/\1/p' \
    "$source_dir"/include/sysutils/*.h \
    | sort -u >"$work/headers"
sed -n -E '/^[[:space:]]*global:/,/^[[:space:]]*local:/s/^[[:space:]]*([A-Za-z_][A-Za-z0-9_]*);.*/\1/p' "$map" \
    | sort -u >"$work/map"

status=0
fail() { echo "FAIL: $*"; status=1; }

# Prints the differences between two sorted lists, with their names.
compare() { # LEFT_NAME LEFT_FILE RIGHT_NAME RIGHT_FILE
    local only_left only_right
    only_left=$(comm -23 "$2" "$4" | tr '\n' ' ')
    only_right=$(comm -13 "$2" "$4" | tr '\n' ' ')
    [ -z "$only_left" ] || fail "in $1, not in $3: $only_left"
    [ -z "$only_right" ] || fail "in $3, not in $1: $only_right"
}

[ -s "$work/headers" ] || fail "no function declaration found in the public headers"
grep -q "^$version_node[[:space:]]*{" "$map" || fail "$map has no node $version_node"
[ "$(grep -c '{' "$map")" = 1 ] || fail "$map must have the single node $version_node"
compare "the public headers" "$work/headers" "$map" "$work/map"

IFS=, read -r -a types <<<"$build_types"
for type in "${types[@]}"; do
    build=$scratch/$type
    echo "== $type: scratch build in $build"
    if ! "$cmake" -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE="$type" -DSYSUTILS_BUILD_TESTING=OFF -DSYSUTILS_BUILD_TOOLS=OFF -DSYSUTILS_INSTALL=OFF \
            -DSYSUTILS_BUILD_SHARED=ON "$@" >"$build.configure.log" 2>&1; then
        cat "$build.configure.log"
        fail "$type: configure failed"
        continue
    fi
    if ! "$cmake" --build "$build" -j 2 --target sysutils_shared sysutils_base sysutils_log \
            >"$build.build.log" 2>&1; then
        tail -n 60 "$build.build.log"
        fail "$type: build failed"
        continue
    fi
    shared=$(ls "$build"/src/libsysutils.so.[0-9]*.*.* | head -n 1)

    # Defined dynamic symbols as NAME@@VERSION, less the version's own
    # definition (an absolute symbol named after the node).
    "$readelf" --dyn-syms -W "$shared" \
        | awk '$1 ~ /^[0-9]+:$/ && $5 != "LOCAL" && $7 != "UND" && $7 != "ABS" { print $8 }' \
        | sort -u >"$work/$type.dynamic"
    sed 's/@.*//' "$work/$type.dynamic" | sort -u >"$work/$type.dynamic-names"
    unversioned=$(grep -v "@@$version_node\$" "$work/$type.dynamic" | tr '\n' ' ' || true)
    [ -z "$unversioned" ] || fail "$type: libsysutils.so symbols without version $version_node: $unversioned"
    compare "the public headers" "$work/headers" "$type libsysutils.so" "$work/$type.dynamic-names"

    for library in "$build"/src/libsysutils_log.a "$build"/src/libsysutils_base.a; do
        "$nm" -g --defined-only "$library" | awk 'NF == 3 { print $3 }' | sort -u >"$work/$type.$(basename "$library")"
        extra=$(comm -13 "$work/headers" "$work/$type.$(basename "$library")" | tr '\n' ' ')
        [ -z "$extra" ] || fail "$type: $(basename "$library") defines global symbols outside the interface: $extra"
    done
    sort -u "$work/$type".libsysutils_*.a >"$work/$type.static"
    missing=$(comm -23 "$work/headers" "$work/$type.static" | tr '\n' ' ')
    [ -z "$missing" ] || fail "$type: the static libraries do not define: $missing"

    echo "$type: libsysutils.so exports $(wc -l <"$work/$type.dynamic") symbols;" \
         "the static libraries define $(wc -l <"$work/$type.static") global symbols"
done

echo "interface: $(wc -l <"$work/headers") functions in the headers, $(wc -l <"$work/map") in $version_node"
[ $status != 0 ] || echo "ok: every build type exports exactly the interface, versioned $version_node"
exit $status
