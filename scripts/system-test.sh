#!/bin/bash
# SPDX-License-Identifier: MIT
# System test on real Linux kernels: boots Debian's kernels under QEMU system
# emulation with busybox init as process 1 and runs the base module's
# interface and the chipid command inside them (tests/system/).
#
#   malta  the target, MIPS Malta little-endian: clock, alarm, identity,
#          records, suspend refused, power-off and reboot through init
#   pc     an x86-64 PC for what Malta lacks: suspend to RAM woken by the
#          clock's alarm, and chip-id registers holding known bytes
#
# Usage: scripts/system-test.sh [malta] [pc]     (both by default)
#
# Runs as root: it installs QEMU and the cross compiler when missing and
# makes the guests' console device node. Boots take seconds each on an idle
# machine (TCG); each has a hard time-out, SYSTEM_TEST_BOOT_TIMEOUT (240 s).
#
# Downloads are cached in build/system-cache; each boot keeps its console and
# result logs in build/systest/boot/. Prints one line per check and the
# summary "N passed, N failed"; exits non-zero on any failure.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache=$root/build/system-cache
work=$root/build/systest/boot
boot_timeout=${SYSTEM_TEST_BOOT_TIMEOUT:-240}

machines=("$@")
[ ${#machines[@]} -gt 0 ] || machines=(malta pc)
for machine in "${machines[@]}"; do
    case $machine in
    malta | pc) ;;
    *) echo "unknown machine: $machine (malta, pc)" >&2; exit 2 ;;
    esac
done

# Facts of each machine: its Debian architecture and kernel flavour, the
# identifier chipid must print, the model text of its first /proc/cpuinfo
# line, and whether it suspends to RAM.
declare -A arch=([malta]=mipsel [pc]=amd64)
declare -A flavour=([malta]=4kc-malta [pc]=amd64)
declare -A chip_id=([malta]=000000000000000000000000 [pc]=4433221188776655ccbbaa99)
declare -A model=([malta]="MIPS Malta" [pc]=0)
declare -A suspend=([malta]=fails [pc]=works)
# Bytes the PC's chip-id registers hold: 0x11223344, 0x55667788, 0x99aabbcc.
pc_register_bytes='\x44\x33\x22\x11\x88\x77\x66\x55\xcc\xbb\xaa\x99'

log() { printf '%s\n' "$*" >&2; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

install_packages() {
    "$root/scripts/install-deps.sh"
    local need=() pkg
    for pkg in qemu-system-mips qemu-system-x86 cpio g++-mipsel-linux-gnu; do
        installed "$pkg" || need+=("$pkg")
    done
    # The target's kernel and busybox come from the mipsel archive.
    if ! dpkg --print-foreign-architectures | grep -qx mipsel; then
        dpkg --add-architecture mipsel
        apt-get update -qq
    fi
    if [ ${#need[@]} -gt 0 ]; then
        log "installing ${need[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${need[@]}" >>"$cache/apt.log"
    fi
}

# Downloads a package of a guest's architecture once and unpacks the members
# that the guest needs into the cache; never installs it on the host.
# $1: package with :arch, $2: directory, then the members (./boot, ...).
fetch_package() {
    local package=$1 dir=$2
    shift 2
    [ -e "$dir/.unpacked" ] && return 0
    local get
    get=$(mktemp -d "$cache/debs/get.XXXXXX")
    chown _apt "$get" 2>/dev/null || true
    if ! (cd "$get" && apt-get download -q "$package") >>"$cache/apt.log" 2>&1; then
        apt-get update -qq
        (cd "$get" && apt-get download -q "$package") >>"$cache/apt.log" 2>&1
    fi
    local deb
    for deb in "$get"/*.deb; do
        mkdir -p "$dir"
        dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$dir" "$@"
        mv "$deb" "$cache/debs/"
    done
    rmdir "$get"
    touch "$dir/.unpacked"
}

# The versioned kernel package that the flavour's meta package points to.
kernel_package() {
    local meta="linux-image-${flavour[$1]}:${arch[$1]}" name
    name=$(apt-cache depends "$meta" 2>/dev/null | awk '/Depends: linux-image-/ {print $2; exit}')
    if [ -z "$name" ]; then
        apt-get update -qq
        name=$(apt-cache depends "$meta" | awk '/Depends: linux-image-/ {print $2; exit}')
    fi
    echo "${name%%:*}:${arch[$1]}"
}

fetch_machine() {
    local machine=$1 dir=$cache/$1
    mkdir -p "$cache/debs"
    [ -e "$dir/kernel/.unpacked" ] || fetch_package "$(kernel_package "$machine")" "$dir/kernel" ./boot
    fetch_package "busybox-static:${arch[$machine]}" "$dir/busybox" ./bin/busybox
}

# The driver, chipid and sysutil, static, for the guest's architecture.
build_guest() {
    local machine=$1 dir=$root/build/systest/$1
    local args=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXE_LINKER_FLAGS=-static)
    [ "$machine" = malta ] && args+=("-DCMAKE_TOOLCHAIN_FILE=$root/cmake/toolchain-mipsel.cmake")
    [ -f "$dir/build.ninja" ] || cmake -S "$root/tests/system" -B "$dir" "${args[@]}" >"$dir.configure.log" 2>&1 || {
        cat "$dir.configure.log" >&2
        return 1
    }
    cmake --build "$dir" -j2 --target system_driver sysutils_chipid sysutils_sysutil >"$dir.build.log" 2>&1 || {
        tail -n 40 "$dir.build.log" >&2
        return 1
    }
}

make_initramfs() {
    local machine=$1 tree=$work/$1/root
    rm -rf "$tree"
    mkdir -p "$tree"/{bin,sbin,etc/init.d,proc,sys,dev,tmp}
    cp "$cache/$machine/busybox/bin/busybox" "$tree/bin/busybox"
    cp "$root/build/systest/$machine/system_driver" "$tree/bin/system_driver"
    cp "$root/build/systest/$machine/sysutils/tools/chipid" "$tree/bin/chipid"
    cp "$root/build/systest/$machine/sysutils/tools/sysutil" "$tree/bin/sysutil"
    cp "$root/tests/system/alarm_session.sh" "$tree/bin/alarm_session"
    ln -s ../bin/busybox "$tree/sbin/init"
    ln -s busybox "$tree/bin/sh"
    mknod "$tree/dev/console" c 5 1

    cat >"$tree/etc/inittab" <<'EOF'
::sysinit:/etc/init.d/rcS
::once:/etc/init.d/scenario
EOF
    cat >"$tree/etc/init.d/rcS" <<'EOF'
#!/bin/sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
EOF
    # Results go to the second serial port; the first keeps the console.
    cat >"$tree/etc/init.d/scenario" <<EOF
#!/bin/sh
scenario=\$(sed -n 's/.*systest=\([a-z]*\).*/\1/p' /proc/cmdline)
echo "systest: scenario \$scenario"
stty -F /dev/ttyS1 raw -echo
if [ "\$scenario" = main ]; then
    /bin/sh /bin/alarm_session >/dev/ttyS1
    /bin/system_driver main '${chip_id[$machine]}' '${model[$machine]}' '${suspend[$machine]}' >/dev/ttyS1
    sync
    poweroff -f
else
    exec /bin/system_driver "\$scenario" >/dev/ttyS1
fi
EOF
    chmod +x "$tree/etc/init.d/rcS" "$tree/etc/init.d/scenario"
    (cd "$tree" && find . | cpio --quiet -o -H newc -R 0:0 | gzip -1) >"$work/$machine/initramfs.gz"
}

# Boots one scenario; leaves its logs and exit status in $work.
boot() {
    local machine=$1 scenario=$2 base=$work/$1/$2
    local kernel
    kernel=$(find "$cache/$machine/kernel/boot" -name 'vmlinuz-*' | head -n1)
    rm -f "$base".*.log
    local append="console=ttyS0 rdinit=/sbin/init panic=-1 systest=$scenario"
    local qemu
    if [ "$machine" = malta ]; then
        qemu=(qemu-system-mipsel -M malta -m 256)
    else
        printf '%b' "$pc_register_bytes" >"$work/pc/chip-id.bin"
        # The registers lie above the RAM the kernel is told about, where
        # /dev/mem may read them.
        # shellcheck disable=SC2054 # commas separate QEMU's sub-options
        qemu=(qemu-system-x86_64 -machine "pc,accel=tcg" -m 512M
            -global PIIX4_PM.disable_s3=0 -rtc base=utc,clock=host
            -device "loader,file=$work/pc/chip-id.bin,addr=0x13540200,force-raw=on")
        append="$append mem=256M no_console_suspend"
    fi
    local start end status=0
    start=$(date +%s.%N)
    # In the background, so that a stop request reaches it (stop_boot).
    timeout -k 10 "$boot_timeout" "${qemu[@]}" -no-reboot -display none -monitor none -nic none \
        -serial "file:$base.console.log" -serial "file:$base.result.log" \
        -kernel "$kernel" -initrd "$work/$machine/initramfs.gz" -append "$append" \
        >"$base.qemu.log" 2>&1 </dev/null &
    running=$!
    wait "$running" || status=$?
    running=
    end=$(date +%s.%N)
    echo "$status" >"$base.status"
    awk -v s="$start" -v e="$end" 'BEGIN {printf "%.1f\n", e - s}' >"$base.seconds"
}

passed=0
failed=0
record() { # PASS|FAIL name [detail]
    if [ "$1" = PASS ]; then
        passed=$((passed + 1))
        echo "PASS $2"
    else
        failed=$((failed + 1))
        echo "FAIL $2: ${3:-failed}"
    fi
}

evaluate() {
    local machine=$1 scenario=$2 base=$work/$1/$2
    local status console=$base.console.log
    status=$(cat "$base.status")
    echo "-- $machine/$scenario: $(cat "$base.seconds") s, console $console"
    if [ "$status" = 124 ]; then
        record FAIL "$machine/$scenario-boot" "timed out after $boot_timeout s"
    elif [ "$status" != 0 ]; then
        record FAIL "$machine/$scenario-boot" "QEMU exited $status: $(head -c 300 "$base.qemu.log")"
    fi
    grep -q "Kernel panic" "$console" 2>/dev/null && record FAIL "$machine/$scenario-panic" "$(grep -m1 "Kernel panic" "$console")"
    local line done=no
    while IFS= read -r line; do
        line=${line%$'\r'}
        case $line in
        "PASS "*) record PASS "$machine/${line#PASS }" ;;
        "FAIL "*) line=${line#FAIL }; record FAIL "$machine/${line%%: *}" "${line#*: }" ;;
        "INFO "*) echo "   $line" ;;
        DONE) done=yes ;;
        esac
    done < <(cat "$base.result.log" 2>/dev/null)
    [ "$done" = yes ] || record FAIL "$machine/$scenario-complete" "the driver did not finish; see $console"
    # A power-off and a restart both end QEMU with -no-reboot: the kernel's
    # last words tell them apart.
    case $scenario in
    shutdown)
        if grep -q "reboot: Power down" "$console" && ! grep -q "reboot: Restarting" "$console"; then
            record PASS "$machine/shutdown-powers-off"
        else
            record FAIL "$machine/shutdown-powers-off" "no \"reboot: Power down\" on the console"
        fi ;;
    reboot)
        if grep -q "reboot: Restarting system" "$console"; then
            record PASS "$machine/reboot-restarts"
        else
            record FAIL "$machine/reboot-restarts" "no \"reboot: Restarting system\" on the console"
        fi ;;
    esac
}

# Each machine's boots run in a subshell of their own; stopping one ends the
# boot under way: timeout hands the signal on to its QEMU.
running=
stop_boot() {
    [ -z "$running" ] || kill "$running" 2>/dev/null || true
    exit 1
}
boot_pids=()
stop_boots() {
    local pid
    for pid in "${boot_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap stop_boots EXIT
trap 'exit 130' INT TERM

mkdir -p "$cache" "$work"
install_packages
for machine in "${machines[@]}"; do
    mkdir -p "$work/$machine" "$root/build/systest"
    fetch_machine "$machine"
    build_guest "$machine"
    make_initramfs "$machine"
done

# Both machines boot side by side, each its scenarios one after another.
scenarios=(main shutdown reboot)
total_start=$(date +%s)
for machine in "${machines[@]}"; do
    (
        trap stop_boot TERM
        for scenario in "${scenarios[@]}"; do boot "$machine" "$scenario"; done
    ) &
    boot_pids+=($!)
done
wait "${boot_pids[@]}" || true
boot_pids=()

for machine in "${machines[@]}"; do
    for scenario in "${scenarios[@]}"; do evaluate "$machine" "$scenario"; done
done
echo "-- boots took $(($(date +%s) - total_start)) s in all"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
