#!/bin/bash
# SPDX-License-Identifier: MIT
# System test on real Linux kernels: boots Debian's kernels under QEMU system
# emulation with busybox init as process 1 and runs the base module's
# interface, chipid and sysutil inside them (tests/system/).
#   malta  the target, MIPS Malta little-endian: clock, alarm, identity,
#          records, suspend refused, power-off and reboot through init
#   pc     an x86-64 PC for what Malta lacks: suspend to RAM woken by the
#          clock's alarm, and chip-id registers holding known bytes
# Usage: scripts/system-test.sh [malta] [pc]     (both by default)
# Kernels and busybox are downloaded once into build/system-cache (never
# installed on this machine); each boot keeps its console and result logs in
# build/systest/boot/ and has a hard time-out, SYSTEM_TEST_BOOT_TIMEOUT
# (240 s). Prints a PASS or FAIL line per check, then "N passed, N failed".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=$root/build/system-cache
work=$root/build/systest/boot
boot_timeout=${SYSTEM_TEST_BOOT_TIMEOUT:-240}
machines=("$@")
[ $# -gt 0 ] || machines=(malta pc)

# Each machine's Debian architecture and kernel flavour, the identifier
# chipid must print, the model text of its first /proc/cpuinfo line, and
# whether it suspends to RAM.
declare -A arch=([malta]=mipsel [pc]=amd64) flavour=([malta]=4kc-malta [pc]=amd64)
declare -A chip_id=([malta]=000000000000000000000000 [pc]=4433221188776655ccbbaa99)
declare -A model=([malta]="MIPS Malta" [pc]=0) suspend=([malta]=fails [pc]=works)
for machine in "${machines[@]}"; do
    [ -n "${arch[$machine]:-}" ] || { echo "unknown machine: $machine (malta, pc)" >&2; exit 2; }
done

# Unpacks members of a guest architecture's package into dir, once.
fetch_package() { # package:arch dir member...
    local package=$1 dir=$2 get
    shift 2
    [ -e "$dir/.unpacked" ] && return 0
    get=$(mktemp -d "$cache/get.XXXXXX")
    chown _apt "$get" 2>/dev/null || true
    (cd "$get" && { apt-get download -q "$package" || { apt-get update -qq && apt-get download -q "$package"; }; }) \
        >>"$cache/apt.log" 2>&1
    mkdir -p "$dir"
    dpkg-deb --fsys-tarfile "$get"/*.deb | tar -x -C "$dir" "$@"
    rm -rf "$get"
    touch "$dir/.unpacked"
}

prepare() { # machine: kernel, busybox, the guest's programs and its initramfs
    local machine=$1 build=$root/build/systest/$1 tree=$work/$1/root kernel
    kernel=$(apt-cache depends "linux-image-${flavour[$machine]}:${arch[$machine]}" |
        awk '/Depends: linux-image-/ {sub(":.*", "", $2); print $2; exit}')
    fetch_package "$kernel:${arch[$machine]}" "$cache/$machine/kernel" ./boot
    fetch_package "busybox-static:${arch[$machine]}" "$cache/$machine/busybox" ./bin/busybox
    # The driver, chipid and sysutil, linked static.
    local args=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXE_LINKER_FLAGS=-static)
    [ "$machine" = pc ] || args+=("-DCMAKE_TOOLCHAIN_FILE=$root/cmake/toolchain-mipsel.cmake")
    { cmake -S "$root/tests/system" -B "$build" "${args[@]}" &&
        cmake --build "$build" -j2 --target system_driver sysutils_chipid sysutils_sysutil; } >"$build.log" 2>&1 ||
        { tail -n 40 "$build.log" >&2; return 1; }

    rm -rf "$tree"
    mkdir -p "$tree"/{bin,sbin,etc/init.d,proc,sys,dev,tmp}
    cp "$cache/$machine/busybox/bin/busybox" "$build/system_driver" "$build/sysutils/tools/chipid" \
        "$build/sysutils/tools/sysutil" "$tree/bin/"
    cp "$root/tests/system/alarm_session.sh" "$tree/bin/alarm_session"
    ln -s ../bin/busybox "$tree/sbin/init"
    ln -s busybox "$tree/bin/sh"
    mknod "$tree/dev/console" c 5 1
    printf '::sysinit:/etc/init.d/rcS\n::once:/etc/init.d/scenario\n' >"$tree/etc/inittab"
    printf '#!/bin/sh\n/bin/busybox --install -s /bin\nmount -t proc proc /proc\nmount -t sysfs sysfs /sys\nmount -t devtmpfs devtmpfs /dev\n' \
        >"$tree/etc/init.d/rcS"
    # Results go to the second serial port; the first keeps the console.
    cat >"$tree/etc/init.d/scenario" <<EOF
#!/bin/sh
scenario=\$(sed -n 's/.*systest=\([a-z]*\).*/\1/p' /proc/cmdline)
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

boot() { # machine scenario: leaves the logs and QEMU's exit status in $work
    local machine=$1 base=$work/$1/$2 qemu
    local append="console=ttyS0 rdinit=/sbin/init panic=-1 systest=$2"
    if [ "$machine" = malta ]; then
        qemu=(qemu-system-mipsel -M malta -m 256)
    else
        # The chip-id registers, 0x11223344, 0x55667788 and 0x99aabbcc, lie
        # above the RAM the kernel is told about, where /dev/mem reads them.
        printf '\x44\x33\x22\x11\x88\x77\x66\x55\xcc\xbb\xaa\x99' >"$work/pc/chip-id.bin"
        qemu=(qemu-system-x86_64 -machine pc,accel=tcg -m 512M -global PIIX4_PM.disable_s3=0
            -rtc base=utc,clock=host -device "loader,file=$work/pc/chip-id.bin,addr=0x13540200,force-raw=on")
        append="$append mem=256M no_console_suspend"
    fi
    local status=0 start=$SECONDS
    timeout -k 10 "$boot_timeout" "${qemu[@]}" -no-reboot -display none -monitor none -nic none \
        -serial "file:$base.console.log" -serial "file:$base.result.log" \
        -kernel "$(ls "$cache/$machine"/kernel/boot/vmlinuz-*)" -initrd "$work/$machine/initramfs.gz" \
        -append "$append" >"$base.qemu.log" 2>&1 </dev/null || status=$?
    echo "$status $((SECONDS - start))" >"$base.status"
}

passed=0
failed=0
record() { # PASS|FAIL name [detail]
    if [ "$1" = PASS ]; then passed=$((passed + 1)); echo "PASS $2"; else failed=$((failed + 1)); echo "FAIL $2: ${3:-failed}"; fi
}

evaluate() { # machine scenario
    local name=$1/$2 base=$work/$1/$2 status seconds line done=no
    read -r status seconds <"$base.status"
    touch "$base.result.log" "$base.console.log"
    echo "-- $name: $seconds s, console $base.console.log"
    [ "$status" = 0 ] || record FAIL "$name-boot" "QEMU exited $status (124: timed out after $boot_timeout s)"
    ! grep -q "Kernel panic" "$base.console.log" || record FAIL "$name-panic" "$(grep -m1 "Kernel panic" "$base.console.log")"
    while IFS= read -r line; do
        line=${line%$'\r'}
        case $line in
        "PASS "*) record PASS "$1/${line#PASS }" ;;
        "FAIL "*) line=${line#FAIL }; record FAIL "$1/${line%%: *}" "${line#*: }" ;;
        "INFO "*) echo "   $line" ;;
        DONE) done=yes ;;
        esac
    done <"$base.result.log"
    [ "$done" = yes ] || record FAIL "$name-complete" "the driver did not finish; see $base.console.log"
    # Power-off and restart both end QEMU with -no-reboot: the kernel's last
    # words tell them apart.
    case $2 in
    shutdown) grep -q "reboot: Power down" "$base.console.log" && ! grep -q "reboot: Restarting" "$base.console.log" &&
        record PASS "$name-powers-off" || record FAIL "$name-powers-off" "no \"reboot: Power down\"" ;;
    reboot) grep -q "reboot: Restarting system" "$base.console.log" && record PASS "$name-restarts" ||
        record FAIL "$name-restarts" "no \"reboot: Restarting system\"" ;;
    esac
}

"$root/scripts/install-deps.sh" >/dev/null
"$root/scripts/install-deps-mipsel.sh" >/dev/null
mkdir -p "$cache"
for machine in "${machines[@]}"; do
    mkdir -p "$work/$machine"
    prepare "$machine"
done
# Both machines boot side by side, each its scenarios one after another.
boots=()
trap '[ ${#boots[@]} = 0 ] || kill "${boots[@]}" 2>/dev/null' EXIT
for machine in "${machines[@]}"; do
    (for scenario in main shutdown reboot; do boot "$machine" "$scenario"; done) &
    boots+=($!)
done
wait "${boots[@]}" || true
boots=()
for machine in "${machines[@]}"; do
    for scenario in main shutdown reboot; do evaluate "$machine" "$scenario"; done
done
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
