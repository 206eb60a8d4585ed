#!/bin/sh
# SPDX-License-Identifier: MIT
# What chipid and the libraries cost on the device: MinSizeRel builds for the
# host and the target, sizes of stripped copies, and the shared libraries
# chipid needs at run time. Exit status 1 when chipid needs more than the C
# library, is over its size limits, or the calendar object holds tables.
# Builds go to build/footprint/{host,mipsel}, or under FOOTPRINT_BUILD_DIR.
set -eu
cd "$(dirname "$0")/.."
root=${FOOTPRINT_BUILD_DIR:-build/footprint}

scripts/install-deps.sh
scripts/install-deps-mipsel.sh

cache_value() { # build-dir variable
    sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"
}

# Size in bytes of a stripped copy: the program loses its whole symbol table,
# the archives what linking does not need.
stripped_size() { # strip-tool file option
    copy=$(mktemp)
    cp "$2" "$copy"
    "$1" "$3" "$copy"
    stat -c %s "$copy"
    rm -f "$copy"
}

# Prints: chipid-size base-size log-size needed-library...
measure() { # configure-preset build-dir
    cmake --preset "$1" -B "$2" >/dev/null
    cmake --build "$2" --target sysutils_chipid >/dev/null
    strip_tool=$(cache_value "$2" CMAKE_STRIP)
    chipid=$2/tools/chipid
    echo "$(stripped_size "$strip_tool" "$chipid" --strip-all)" \
        "$(stripped_size "$strip_tool" "$(find "$2" -name libsysutils_base.a)" --strip-unneeded)" \
        "$(stripped_size "$strip_tool" "$(find "$2" -name libsysutils_log.a)" --strip-unneeded)" \
        $("$(cache_value "$2" CMAKE_READELF)" -d "$chipid" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
}

host=$(measure chipid "$root/host")
target=$(measure mipsel-chipid "$root/mipsel")

row() { printf '%-22s %14s %14s\n' "$@"; }
field() { echo "$1" | cut -d' ' -f"$2"; }
row "MinSizeRel, stripped" "host (bytes)" "mipsel (bytes)"
row chipid "$(field "$host" 1)" "$(field "$target" 1)"
row libsysutils_base.a "$(field "$host" 2)" "$(field "$target" 2)"
row libsysutils_log.a "$(field "$host" 3)" "$(field "$target" 3)"
row "chipid needs" "$(field "$host" 4-)" "$(field "$target" 4-)"

status=0
for lib in $(field "$host" 4-) $(field "$target" 4-); do
    case $lib in
    libc.so.*) ;;
    *) echo "chipid needs $lib: only the C library is expected" >&2; status=1 ;;
    esac
done

# chipid ships on 8 to 16 MiB of flash: at most 16 KiB stripped on the host
# and 12 KiB on the target.
chipid_limit() { # size limit label
    if [ "$1" -gt "$2" ]; then
        echo "chipid for $3: $1 bytes stripped, over the $2 allowed" >&2
        status=1
    fi
}
chipid_limit "$(field "$host" 1)" 16384 host
chipid_limit "$(field "$target" 1)" 12288 mipsel

# The calendar conversions compute with no tables: their object may hold at
# most 64 bytes of read-only data besides its log texts (.rodata.str*, or
# .rodata.FUNCTION.str* in a section of the function's own).
calendar_rodata_limit=64
calendar_rodata() { # build-dir
    object=$(find "$1" -path '*/sysutils_base_objects.dir/*calendar.cpp.o' | head -n 1)
    if [ -z "$object" ]; then
        echo "no calendar object under $1" >&2
        echo missing
        return
    fi
    "$(cache_value "$1" CMAKE_READELF)" -S -W "$object" |
        sed -n 's/^ *\[ *[0-9]*\] //p' |
        while read -r name _ _ _ size _; do
            case $name in
            .rodata.str* | .rodata.*.str[0-9]*) ;; # texts, of a function's own with -ffunction-sections
            .rodata | .rodata.*) echo "$((0x$size))" ;;
            esac
        done | awk '{ total += $1 } END { print total + 0 }'
}
host_rodata=$(calendar_rodata "$root/host")
target_rodata=$(calendar_rodata "$root/mipsel")
row "calendar.cpp.o rodata" "$host_rodata" "$target_rodata"
for bytes in "$host_rodata" "$target_rodata"; do
    if [ "$bytes" = missing ] || [ "$bytes" -gt "$calendar_rodata_limit" ]; then
        echo "calendar.cpp.o: $bytes bytes of read-only data besides its texts, over the" \
            "$calendar_rodata_limit allowed (host $host_rodata, mipsel $target_rodata)" >&2
        status=1
    fi
done
exit $status
