/* SPDX-License-Identifier: MIT */
/*
 * Module log facility.
 *
 * A record is assembled piece by piece in one process-wide text buffer of
 * 1000 bytes (optional prefixes, then the printf-style message) and then
 * flushed to one destination, which empties the buffer. Records whose
 * priority is below the level (initially 3) are dropped. The facility's own
 * trouble is reported as lines beginning "ERROR: " on standard output.
 *
 * Every call may be made from any thread, but not from a signal handler
 * (none is async-signal-safe). qor_log_fun and qor_log_fun_vl
 * build a whole record under the facility's lock, then write it after
 * releasing the lock, so a stalled destination holds up no other thread. A
 * record built by hand (formatting calls, then one flush) is made whole by
 * holding the facility's lock across it with qor_log_lock and
 * qor_log_unlock. The facility's calls leave errno as they found it.
 *
 * Usable from C and C++.
 */
#ifndef SYSUTILS_QOR_LOG_H
#define SYSUTILS_QOR_LOG_H

#include <stdarg.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The libraries are built with hidden visibility: what is declared here is
 * their whole exported interface. */
#pragma GCC visibility push(default)

/* Option bits. PID and TIME are honoured by qor_log_format_option only;
 * FILE, FUNC and LINE by qor_log_fun and qor_log_fun_vl, whose prefixes come
 * in the order file, line, function. */
enum {
    QOR_LOG_OPT_PID = 0x01,  /* "[%d]"   process id */
    QOR_LOG_OPT_TIME = 0x02, /* "[%.6f]" seconds since the epoch */
    QOR_LOG_OPT_FILE = 0x08, /* "[%s]:"  source file */
    QOR_LOG_OPT_FUNC = 0x10, /* "[%s]"   function name */
    QOR_LOG_OPT_LINE = 0x20  /* "[%d]"   line */
};

/* Destinations; every value other than 0 and 1 means the kernel log. */
enum {
    QOR_LOG_TO_STDOUT = 0,
    QOR_LOG_TO_FILE = 1,
    QOR_LOG_TO_LOGCAT = 2
};

/* Logs one record: prefixes chosen by option, then fmt with its values,
 * flushed to dest. The tag is used by the kernel log only. */
void qor_log_fun(int prio, int option, int dest, const char *tag, const char *file, int line,
                 const char *func, const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 8, 9)))
#endif
    ;
void qor_log_fun_vl(int prio, int option, int dest, const char *tag, const char *file, int line,
                    const char *func, const char *fmt, va_list ap);

int qor_get_log_level(void);
void qor_set_log_level(int level);
int QOR_Log_Get_Option(void);
void QOR_Log_Set_Option(int option);

/* Names of 100 characters or more are refused ("ERROR: file name too long!"),
 * and a null name silently. Once the log file is open, a new name affects
 * qor_get_log_file only. */
void qor_set_log_file(const char *name);
/* The facility's own name array: later changes show through it. */
const char *qor_get_log_file(void);

/* Formatting calls of a record built by hand. */
void qor_log_format_option(int option);
void qor_log_format_info(const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void qor_log_format_info_vl(const char *fmt, va_list ap);

/* Flushes: standard output (the stdio stream: a program that forks flushes
 * it first), the log file (default "tqor.log", opened once for appending and
 * kept open; each record written whole with one write, never buffered), the
 * kernel log. A flush before any formatting call does nothing. */
void qor_log_print_buf(void);
void qor_log_buf(void);
void qor_log_to_logcat(int prio, const char *tag);

/* The facility's lock, as flockfile and funlockfile are a stream's: while a
 * thread holds it, no other thread's record touches the buffer, and the
 * holder's own calls work as usual. Taken once per unlock; nests. A thread
 * must not end while it holds it; see qor_log(3) before forking under it. */
void qor_log_lock(void);
void qor_log_unlock(void);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif /* SYSUTILS_QOR_LOG_H */
