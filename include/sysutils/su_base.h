/* SPDX-License-Identifier: MIT */
/*
 * sysutils base module: chip identity, CPU model and version, real-time
 * clock and wake-up alarm, calendar conversions, power control.
 *
 * Functions return 0 on success and -1 on failure unless said otherwise; a
 * failed call leaves errno as the failed system call set it. Failures are
 * logged as error records (priority 6, tag "base") to the kernel log through
 * the module log facility, innermost first: one failure can give two or
 * three records; a null pointer is refused unlogged where said. Texts are
 * NUL-terminated arrays supplied by the caller without a length; each
 * function says the room it needs.
 *
 * Every call opens, uses and closes its own descriptors; only suspend takes a
 * lock. Usable from C and C++.
 */
#ifndef SYSUTILS_SU_BASE_H
#define SYSUTILS_SU_BASE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The libraries are built with hidden visibility: what is declared here is
 * their whole exported interface. */
#pragma GCC visibility push(default)

/* Calendar record. Never normalised or range-checked by the module. */
typedef struct SUTime {
    int32_t sec;  /* 0-59 */
    int32_t min;  /* 0-59 */
    int32_t hour; /* 0-23 */
    int32_t mday; /* 1-31 */
    int32_t mon;  /* 1-12 */
    int32_t year; /* full year, such as 2016 */
} SUTime;

/* Chip identity. Appends the 24 lowercase hex digits of the three chip-id
 * registers (each register's bytes from least to most significant) to the
 * text in devID, which needs room for its length plus 25 bytes. On a failed
 * register read, returns -1 and keeps what was appended before; a regular
 * file as "/dev/mem" that ends before a register fails that read. */
int SU_Base_GetDevID(char *devID);

/* Writes the model text of the first line of "/proc/cpuinfo" (what follows
 * the first ':' and one more character, less a trailing newline) into
 * modelNumber, which needs 126 bytes. -1 with the buffer untouched when the
 * file cannot be opened or read or its first line has no ':'. */
int SU_Base_GetModelNumber(char *modelNumber);

/* Writes the version string, "SYSUTILS-" and the module's version (15 bytes
 * with its NUL for a version of the form x.y.z). -1 for null, unlogged. */
int SU_Base_GetVersion(char *version);

/* Calendar record to seconds since 1970-01-01 00:00:00 and back, on the
 * Gregorian calendar with no time zone. Seconds are unsigned 32-bit, so they
 * cover 1970 to 2106-02-07 06:28:15; record fields out of range are not
 * refused and the arithmetic wraps modulo 2^32. -1 when a pointer is null
 * (suTime is tested first); the destination is then untouched. */
int SU_Base_SUTime2Raw(const SUTime *suTime, uint32_t *rawTime);
int SU_Base_Raw2SUTime(const uint32_t *rawTime, SUTime *suTime);

/* Real-time clock, through "/dev/rtc0". A null pointer returns -1 unlogged.
 * Setting passes the record unchecked, with tm_wday, tm_yday and tm_isdst
 * of the request set to 0; the driver may refuse it (-1). */
int SU_Base_GetTime(SUTime *suTime);
int SU_Base_SetTime(const SUTime *suTime);

/* Wake-up alarm. SetAlarm and GetAlarm store and read the alarm time (null
 * returns -1 unlogged); EnableAlarm switches the alarm interrupt on only when
 * the stored alarm lies strictly after the clock's time; DisableAlarm
 * switches it off. PollingAlarm waits up to timeoutMs milliseconds for the
 * clock device to become readable: 0 when it did, -1 on a time-out or a
 * failed wait. */
int SU_Base_SetAlarm(const SUTime *suTime);
int SU_Base_GetAlarm(SUTime *suTime);
int SU_Base_EnableAlarm(void);
int SU_Base_DisableAlarm(void);
int SU_Base_PollingAlarm(uint32_t timeoutMs);

/* Power control. Shutdown and Reboot flush the file systems and signal
 * process 1 (SIGUSR2 to power off, SIGTERM to reboot), whose init must act on
 * them; they return without waiting: 0 when the signal was sent, -1 with
 * kill's errno when it could not be (a caller that may not signal process 1).
 * Suspend writes "mem" to "/sys/power/state", one suspend of the process at a
 * time; it returns after the resume: 0, or -1 when the file could not be
 * opened or took fewer than three bytes. */
int SU_Base_Shutdown(void);
int SU_Base_Reboot(void);
int SU_Base_Suspend(void);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif /* SYSUTILS_SU_BASE_H */
