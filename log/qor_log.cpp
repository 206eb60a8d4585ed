// Module log facility: one process-wide buffer in which a record is
// assembled piece by piece, then flushed to standard output, the log file or
// the kernel log.
//
// One facility lock guards the buffer, the stream and the file name in every
// entry point; qor_log_fun holds it across a whole record.
#include "qor_log.h"

#include <pthread.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "android_log.h"
#include "owners.h"

namespace {

constexpr int kTextSize = 1000;
constexpr size_t kFileNameSize = 100;

struct log_buffer {
    char text[kTextSize];
    int len; // characters appended since the last flush
};

std::atomic<int> log_level{ANDROID_LOG_DEBUG};
std::atomic<int> log_option{0};
char log_file[kFileNameSize] = "tqor.log";
log_buffer *buf = nullptr;
unsigned char init_flag = 0;
FILE *pf = nullptr;

pthread_mutex_t log_mutex = PTHREAD_MUTEX_INITIALIZER;

using Lock = sysutils::posix::MutexLock;

// A flush empties the text too, so a flush with no new piece in between
// cannot write the same record again.
void empty(log_buffer *b) {
    b->text[0] = '\0';
    b->len = 0;
}

// Creates the buffer once; on failure buf stays null and a later call tries
// again.
void _init_qor_log_buf() {
    if (init_flag != 0) {
        return;
    }
    buf = static_cast<log_buffer *>(malloc(sizeof(log_buffer)));
    if (buf == nullptr) {
        (void)puts("ERROR: _init_qor_log_buf malloc err!");
        return;
    }
    empty(buf); // a flush before any piece writes nothing
    init_flag = 1;
}

// The append rule for a piece just formatted at text + len with the given
// room, n being its full length: it is counted only when it fits whole, so a
// cut piece is overwritten by the next one.
void count_piece(log_buffer *b, int room, int n) {
    if (n <= 0) {
        (void)puts("ERROR: vsnprintf!");
        return;
    }
    if (n >= room) {
        (void)puts("ERROR: qor buf too small!");
        return;
    }
    b->len += n;
}

__attribute__((format(printf, 2, 0))) void _format_vl(log_buffer *b, const char *fmt, va_list ap) {
    const int room = kTextSize - b->len;
    count_piece(b, room, vsnprintf(&b->text[b->len], static_cast<size_t>(room), fmt, ap));
}

// A prefix piece; the formats are the facility's own.
template <typename... Values> void append(log_buffer *b, const char *fmt, Values... values) {
    const int room = kTextSize - b->len;
    count_piece(b, room, snprintf(&b->text[b->len], static_cast<size_t>(room), fmt, values...));
}

void format_option(int option) {
    _init_qor_log_buf();
    if (buf == nullptr) {
        return;
    }
    if ((option & QOR_LOG_OPT_TIME) != 0) {
        struct timeval now {};
        (void)gettimeofday(&now, nullptr);
        append(buf, "[%.6f]",
               static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_usec) / 1e6);
    }
    if ((option & QOR_LOG_OPT_PID) != 0) {
        append(buf, "[%d]", static_cast<int>(getpid()));
    }
}

__attribute__((format(printf, 1, 0))) void format_info_vl(const char *fmt, va_list ap) {
    _init_qor_log_buf();
    if (buf != nullptr) {
        _format_vl(buf, fmt, ap);
    }
}

void print_buf() {
    if (buf == nullptr) {
        return;
    }
    (void)fputs(buf->text, stdout);
    empty(buf);
}

void buf_log() {
    if (buf == nullptr) {
        return;
    }
    if (pf == nullptr) {
        // Opened once and kept open; the stream's own buffering decides when
        // records reach the file.
        pf = fopen(log_file, "a+");
        if (pf == nullptr) {
            (void)puts("ERROR: _buf_log log file open error!");
            return; // the record stays for the next flush
        }
    }
    (void)fputs(buf->text, pf);
    empty(buf);
}

void to_logcat(int prio, const char *tag) {
    if (buf == nullptr) {
        return;
    }
    (void)__android_log_write(prio, tag, buf->text);
    empty(buf);
}

__attribute__((format(printf, 8, 0))) void log_record(int prio, int option, int dest,
                                                       const char *tag, const char *file, int line,
                                                       const char *func, const char *fmt,
                                                       va_list ap) {
    if (prio < log_level.load(std::memory_order_relaxed)) {
        return;
    }
    const Lock lock(log_mutex);
    _init_qor_log_buf();
    if (buf == nullptr) {
        return; // dropped: nowhere to assemble it
    }
    if ((option & QOR_LOG_OPT_FILE) != 0) {
        append(buf, "[%s]:", file);
    }
    if ((option & QOR_LOG_OPT_LINE) != 0) {
        append(buf, "[%d]", line);
    }
    if ((option & QOR_LOG_OPT_FUNC) != 0) {
        append(buf, "[%s]", func);
    }
    _format_vl(buf, fmt, ap);
    switch (dest) {
    case QOR_LOG_TO_STDOUT: print_buf(); break;
    case QOR_LOG_TO_FILE: buf_log(); break;
    default: to_logcat(prio, tag); break;
    }
}

} // namespace

extern "C" {

void qor_log_fun(int prio, int option, int dest, const char *tag, const char *file, int line,
                 const char *func, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    log_record(prio, option, dest, tag, file, line, func, fmt, ap);
    va_end(ap);
}

void qor_log_fun_vl(int prio, int option, int dest, const char *tag, const char *file, int line,
                    const char *func, const char *fmt, va_list ap) {
    log_record(prio, option, dest, tag, file, line, func, fmt, ap);
}

int qor_get_log_level(void) { return log_level.load(std::memory_order_relaxed); }

void qor_set_log_level(int level) { log_level.store(level, std::memory_order_relaxed); }

int QOR_Log_Get_Option(void) { return log_option.load(std::memory_order_relaxed); }

void QOR_Log_Set_Option(int option) { log_option.store(option, std::memory_order_relaxed); }

void qor_set_log_file(const char *name) {
    const size_t length = strnlen(name, kFileNameSize);
    if (length >= kFileNameSize) {
        (void)puts("ERROR: file name too long!");
        return;
    }
    const Lock lock(log_mutex);
    memcpy(log_file, name, length + 1);
}

const char *qor_get_log_file(void) { return log_file; }

void qor_log_format_option(int option) {
    const Lock lock(log_mutex);
    format_option(option);
}

void qor_log_format_info(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    qor_log_format_info_vl(fmt, ap);
    va_end(ap);
}

void qor_log_format_info_vl(const char *fmt, va_list ap) {
    const Lock lock(log_mutex);
    format_info_vl(fmt, ap);
}

void qor_log_print_buf(void) {
    const Lock lock(log_mutex);
    print_buf();
}

void qor_log_buf(void) {
    const Lock lock(log_mutex);
    buf_log();
}

void qor_log_to_logcat(int prio, const char *tag) {
    const Lock lock(log_mutex);
    to_logcat(prio, tag);
}

} // extern "C"
