#!/bin/sh
# SPDX-License-Identifier: MIT
# The wake-up alarm driven from the shell with the bring-up command, as a
# person on the board would: an alarm three seconds ahead, enabled, waited
# for, disabled; then a wait that times out. One PASS or FAIL line a step.

step() { # name, wanted exit status, wanted output, command...
    name=$1 wanted_status=$2 wanted_output=$3
    shift 3
    output=$("$@" 2>/tmp/sysutil.err)
    status=$?
    if [ "$status" = "$wanted_status" ] && [ "$output" = "$wanted_output" ]; then
        echo "PASS sysutil-$name"
    else
        echo "FAIL sysutil-$name: status $status, output [$output], stderr [$(cat /tmp/sysutil.err)]"
    fi
}

now=$(sysutil time get) && raw=$(sysutil time2raw "${now#time: }") &&
    alarm=$(sysutil raw2time $((${raw#raw: } + 3))) || {
    echo "FAIL sysutil-clock: cannot read the clock: [$now] [$raw] [$alarm]"
    exit 0
}
alarm=${alarm#time: }

step alarm-set 0 "alarm: $alarm" sysutil alarm set "$alarm"
step alarm-get 0 "alarm: $alarm" sysutil alarm get
step alarm-enable 0 "alarm_irq: on" sysutil alarm enable
step alarm-wait 0 "alarm_event: ready" sysutil alarm wait --timeout 10000
step alarm-disable 0 "alarm_irq: off" sysutil alarm disable
step alarm-wait-times-out 1 "" sysutil alarm wait --timeout 1500

# A failing command names its cause on standard error.
mv /dev/rtc0 /dev/rtc0.aside
output=$(sysutil time get 2>/tmp/sysutil.err)
status=$?
mv /dev/rtc0.aside /dev/rtc0
cause="sysutil: time get: open rtc node fail: No such file or directory"
if [ "$status" = 1 ] && [ -z "$output" ] && grep -qF "$cause" /tmp/sysutil.err; then
    echo "PASS sysutil-failure-names-cause"
else
    echo "FAIL sysutil-failure-names-cause: status $status, output [$output], stderr [$(cat /tmp/sysutil.err)]"
fi
