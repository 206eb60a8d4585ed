/* SPDX-License-Identifier: MIT */
/*
 * Android log-write interface, written straight to the kernel logger device
 * "/dev/log_main".
 *
 * Every write is one gathered write of one entry. The device is opened
 * write-only by the first write of the process and kept open; when it cannot
 * be opened, this and every later write is discarded and returns -1.
 *
 * Entry layouts, fields concatenated with no padding:
 *   text entry        priority (1 byte), tag and NUL, message and NUL
 *   event entry       event tag (4 bytes, host order), payload
 *   typed event entry event tag (4 bytes, host order), type (1 byte), payload
 *
 * Results: the number of bytes written, -1 when the device is unavailable or
 * the write failed (errno as the write left it), -EBADF for a log id outside
 * 0 to 3 (nothing is written).
 *
 * Text entries pass through one settable logger, which writes them to the
 * device by default; a program may install its own, for example to send the
 * records to syslog or standard error, and chain to the kernel logger.
 *
 * Usable from C and C++.
 */
#ifndef SYSUTILS_ANDROID_LOG_H
#define SYSUTILS_ANDROID_LOG_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The libraries are built with hidden visibility: what is declared here is
 * their whole exported interface. */
#pragma GCC visibility push(default)

/* Android log priorities. */
typedef enum android_LogPriority {
    ANDROID_LOG_UNKNOWN = 0,
    ANDROID_LOG_DEFAULT = 1,
    ANDROID_LOG_VERBOSE = 2,
    ANDROID_LOG_DEBUG = 3,
    ANDROID_LOG_INFO = 4,
    ANDROID_LOG_WARN = 5,
    ANDROID_LOG_ERROR = 6,
    ANDROID_LOG_FATAL = 7,
    ANDROID_LOG_SILENT = 8
} android_LogPriority;

/* Android log ids; valid ids are 0 to 3. */
typedef enum log_id {
    LOG_ID_MAIN = 0,
    LOG_ID_RADIO = 1,
    LOG_ID_EVENTS = 2,
    LOG_ID_SYSTEM = 3,
    LOG_ID_MAX = 4
} log_id_t;

/* Text entry on log id 0, or 1 (radio) for the tags "HTC_RIL", "AT", "GSM",
 * "STK", "CDMA", "PHONE", "SMS" and every tag that begins with "RIL".
 * A null tag is written as the empty tag; msg must not be null. */
int __android_log_write(int prio, const char *tag, const char *msg);

/* As __android_log_write on the caller's log id; radio tags still go to 1. */
int __android_log_buf_write(int bufID, int prio, const char *tag, const char *msg);

/* Formatting variants: the message is formatted on the stack and cut to its
 * first 1023 characters. */
int __android_log_print(int prio, const char *tag, const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
int __android_log_vprint(int prio, const char *tag, const char *fmt, va_list ap);
int __android_log_buf_print(int bufID, int prio, const char *tag, const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

/* Writes a fatal entry (the formatted text, else "Assertion failed: cond",
 * else "Unspecified assertion failed") and ends the process with a trap. */
void __android_log_assert(const char *cond, const char *tag, const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((noreturn, format(printf, 3, 4)))
#endif
    ;

/* Event entries, on log id 2. */
int __android_log_bwrite(int32_t tag, const void *payload, size_t len);
int __android_log_btwrite(int32_t tag, char type, const void *payload, size_t len);

/* 1 when "/dev/log_main" is writable, 0 otherwise; tested once per process. */
int __android_log_dev_available(void);

/* One text entry, as a logger receives it. The text entries above fill it
 * with the log id after the radio rule, the priority, the tag (never null:
 * a null tag becomes "") and the message; file is null and line 0. */
struct __android_log_message {
    size_t struct_size; /* sizeof(struct __android_log_message) */
    int32_t buffer_id;
    int32_t priority;
    const char *tag;
    const char *file;
    uint32_t line;
    const char *message;
};

typedef void (*__android_logger_function)(const struct __android_log_message *log_message);

/* Installs the logger every text entry goes through; NULL restores the
 * default, the kernel logger. May be called from any thread at any time, but
 * does not wait for calls already inside the logger it replaces: whatever a
 * logger uses must outlive them. While another logger is installed, the text
 * entries return the entry's size (1 + tag + 1 + message + 1), as a write the
 * device took whole. Event entries always go to the device. */
void __android_log_set_logger(__android_logger_function logger);

/* Hands a message to the current logger as it is. */
void __android_log_write_log_message(struct __android_log_message *log_message);

/* Stock loggers. The kernel logger (the default) writes the entry to the
 * device on the message's log id; the logd logger is the same function under
 * the newer interface's name. The stderr logger prints one line on standard
 * error: the priority letter, the tag and the message ("E base: text"), with
 * no second newline after a message that ends with one. */
void __android_log_kernel_logger(const struct __android_log_message *log_message);
void __android_log_logd_logger(const struct __android_log_message *log_message);
void __android_log_stderr_logger(const struct __android_log_message *log_message);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif /* SYSUTILS_ANDROID_LOG_H */
