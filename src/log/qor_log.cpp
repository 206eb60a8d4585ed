// SPDX-License-Identifier: MIT
// Module log facility: one process-wide buffer in which a record is
// assembled piece by piece, then flushed to standard output, the log file or
// the kernel log.
//
// The facility's one lock guards the buffer and the log file's descriptor
// and name. A record is assembled and copied out under the lock, and
// written after it is released, so a destination that stalls holds up no
// other thread. The lock is recursive, so that a caller holding it
// (qor_log_lock) can still log. The facility's own spans under it reach no
// cancellation point (the log file is opened with cancellation off); a
// caller's span between qor_log_lock and qor_log_unlock defers cancellation
// whole. Fork takes the lock, and hands the child a lock of its own and an
// empty buffer. A log-file record is one write on a descriptor opened for
// appending: never buffered, so a child cannot write it twice or tear it,
// nor a crash lose it.
#include "qor_log.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <unistd.h>

#include "android_log.h"
#include "owners.h"

namespace {

constexpr int kTextSize = 1000;
constexpr size_t kFileNameSize = 100;

struct log_buffer {
    char text[kTextSize];
    int len; // characters appended since the last flush
};

int log_level = ANDROID_LOG_DEBUG;
int log_option = 0;
char log_file[kFileNameSize] = "tqor.log";
log_buffer *record_buffer = nullptr; // created by the first formatting call
int log_fd = -1;                     // opened by the first file flush that can

// Made, and its fork handlers registered, by the first lock of the process.
pthread_mutex_t facility_mutex;
pthread_once_t facility_once = PTHREAD_ONCE_INIT;
// How often the lock's holder took it through qor_log_lock, and its
// cancellation state from before it first did; only the holder reads them.
unsigned caller_depth = 0;
int caller_cancel_state = PTHREAD_CANCEL_ENABLE;

void empty(log_buffer *buffer) {
    buffer->text[0] = '\0';
    buffer->len = 0;
}

void make_lock() {
    pthread_mutexattr_t recursive;
    (void)pthread_mutexattr_init(&recursive);
    (void)pthread_mutexattr_settype(&recursive, PTHREAD_MUTEX_RECURSIVE);
    (void)pthread_mutex_init(&facility_mutex, &recursive);
    (void)pthread_mutexattr_destroy(&recursive);
}

void set_up();
void take_lock() {
    (void)pthread_once(&facility_once, set_up);
    (void)pthread_mutex_lock(&facility_mutex);
}

void release_lock() { (void)pthread_mutex_unlock(&facility_mutex); }

// The child's lock is made anew rather than released: its owner is a thread
// the child does not have. A forking thread that held it through
// qor_log_lock holds it in the child too, until its unlock. The record in
// the buffer is the parent's.
void after_fork_in_child() {
    make_lock();
    for (unsigned held = 0; held < caller_depth; ++held) {
        take_lock();
    }
    if (record_buffer != nullptr) {
        empty(record_buffer);
    }
}

void set_up() {
    make_lock();
    (void)pthread_atfork(take_lock, release_lock, after_fork_in_child);
}

class FacilityLock {
public:
    FacilityLock() noexcept { take_lock(); }
    FacilityLock(const FacilityLock &) = delete;
    FacilityLock &operator=(const FacilityLock &) = delete;
    FacilityLock(FacilityLock &&) = delete;
    FacilityLock &operator=(FacilityLock &&) = delete;
    ~FacilityLock() { release_lock(); }
};

// The facility's own trouble, printed on standard output once the lock is
// released: a full pipe there must not stall other threads' records.
// Whole lines, as puts would print them.
constexpr const char *kMallocFailed = "ERROR: _init_qor_log_buf malloc err!\n";
constexpr const char *kVsnprintfFailed = "ERROR: vsnprintf!\n";
constexpr const char *kBufferTooSmall = "ERROR: qor buf too small!\n";
constexpr const char *kFileOpenFailed = "ERROR: _buf_log log file open error!\n";

class TroubleReport {
public:
    void add(const char *trouble) {
        if (count_ < kMaxTroubles) {
            troubles_[count_++] = trouble;
        }
    }
    void print() const {
        for (unsigned i = 0; i < count_; ++i) {
            (void)fputs(troubles_[i], stdout);
        }
    }

private:
    // A record has at most four pieces, one buffer and one file.
    static constexpr unsigned kMaxTroubles = 6;
    const char *troubles_[kMaxTroubles] = {};
    unsigned count_ = 0;
};

// Creates the buffer once; on failure it stays null and a later call tries
// again.
bool create_buffer(TroubleReport &report) {
    if (record_buffer == nullptr) {
        record_buffer = static_cast<log_buffer *>(malloc(sizeof(log_buffer)));
        if (record_buffer == nullptr) {
            report.add(kMallocFailed);
            return false;
        }
        empty(record_buffer); // a flush before any piece writes nothing
    }
    return true;
}

// The append rule for a piece just formatted at text + len with the given
// room, n being its full length: it is counted only when it fits whole, so a
// cut piece is overwritten by the next one.
void count_piece(int room, int n, TroubleReport &report) {
    if (n <= 0) {
        report.add(kVsnprintfFailed);
        return;
    }
    if (n >= room) {
        report.add(kBufferTooSmall);
        return;
    }
    record_buffer->len += n;
}

__attribute__((format(printf, 1, 0))) void append_formatted(const char *fmt, va_list ap,
                                                             TroubleReport &report) {
    const int room = kTextSize - record_buffer->len;
    count_piece(room, vsnprintf(&record_buffer->text[record_buffer->len], static_cast<size_t>(room), fmt, ap),
                report);
}

// Pieces of the facility's own, each a bracketed value: a prefix, the time
// or the process id. One function per type of value keeps the formats
// checked where they are written.
template <typename Value> void append(TroubleReport &report, const char *fmt, Value value) {
    const int room = kTextSize - record_buffer->len;
    count_piece(room, snprintf(&record_buffer->text[record_buffer->len], static_cast<size_t>(room), fmt, value),
                report);
}

void format_option(int option, TroubleReport &report) {
    if (!create_buffer(report)) {
        return;
    }
    if ((option & QOR_LOG_OPT_TIME) != 0) {
        struct timeval now {};
        (void)gettimeofday(&now, nullptr);
        append(report, "[%.6f]", static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_usec) / 1e6);
    }
    if ((option & QOR_LOG_OPT_PID) != 0) {
        append(report, "[%d]", static_cast<int>(getpid()));
    }
}

// Where a record goes once it is out of the buffer.
struct Destination {
    int dest;
    int prio;
    const char *tag;
};

// A record taken out of the shared buffer, to be written with no lock held.
// Its text is filled by take before anything reads it: no need to clear
// a thousand bytes per record.
class Record { // NOLINT(cppcoreguidelines-pro-type-member-init)
public:
    // Copies the buffer's text and empties the buffer; false when there is
    // nothing to write (no buffer, or a log file that cannot be opened, when
    // the record stays for the next flush).
    bool take(const Destination &to, TroubleReport &report) {
        if (record_buffer == nullptr) {
            return false;
        }
        if (to.dest == QOR_LOG_TO_FILE && log_fd < 0) {
            // Opened once and kept open, as fopen's mode "a+" opens it, and
            // not handed to programs the process starts.
            const sysutils::CancellationOff no_cancellation_under_the_lock;
            // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
            log_fd = open(log_file, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
            if (log_fd < 0) {
                report.add(kFileOpenFailed);
                return false;
            }
        }
        length_ = strlen(record_buffer->text);
        memcpy(text_, record_buffer->text, length_ + 1);
        empty(record_buffer);
        to_ = to;
        fd_ = log_fd;
        return true;
    }

    void write() const {
        switch (to_.dest) {
        case QOR_LOG_TO_STDOUT: (void)fputs(text_, stdout); break;
        case QOR_LOG_TO_FILE:
            // Whole, at the file's end, whatever other threads and processes
            // append meanwhile.
            while (::write(fd_, text_, length_) < 0 && errno == EINTR) {
            }
            break;
        default: (void)__android_log_write(to_.prio, to_.tag, text_); break;
        }
    }

private:
    char text_[kTextSize];
    size_t length_ = 0;
    Destination to_{};
    int fd_ = -1;
};

// Takes the record out under the lock, then reports the facility's trouble
// and writes the record with the lock released.
template <typename Assemble> void log_record(const Destination &to, Assemble assemble) {
    TroubleReport report;
    Record record;
    bool taken = false;
    {
        const FacilityLock lock;
        taken = assemble(report) && record.take(to, report);
    }
    report.print();
    if (taken) {
        record.write();
    }
}

// A flush of a record built by hand.
void flush(const Destination &to) {
    const sysutils::ErrnoKeeper keep_errno;
    log_record(to, [](TroubleReport &) { return true; });
}

// A formatting call of a record built by hand: the record stays in the
// buffer.
template <typename Format> void format_piece(Format format) {
    const sysutils::ErrnoKeeper keep_errno;
    log_record(Destination{}, [&](TroubleReport &report) {
        format(report);
        return false;
    });
}

} // namespace

extern "C" {

void qor_log_fun(int prio, int option, int dest, const char *tag, const char *file, int line,
                 const char *func, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    qor_log_fun_vl(prio, option, dest, tag, file, line, func, fmt, ap);
    va_end(ap);
}

__attribute__((format(printf, 8, 0))) void qor_log_fun_vl(int prio, int option, int dest, const char *tag,
                                                           const char *file, int line, const char *func,
                                                           const char *fmt, va_list ap) {
    const sysutils::ErrnoKeeper keep_errno;
    if (prio < __atomic_load_n(&log_level, __ATOMIC_RELAXED)) {
        return;
    }
    log_record(Destination{dest, prio, tag}, [&](TroubleReport &report) {
        if (!create_buffer(report)) {
            return false; // dropped: nowhere to assemble it
        }
        if ((option & QOR_LOG_OPT_FILE) != 0) {
            append(report, "[%s]:", file);
        }
        if ((option & QOR_LOG_OPT_LINE) != 0) {
            append(report, "[%d]", line);
        }
        if ((option & QOR_LOG_OPT_FUNC) != 0) {
            append(report, "[%s]", func);
        }
        append_formatted(fmt, ap, report);
        return true;
    });
}

int qor_get_log_level(void) { return __atomic_load_n(&log_level, __ATOMIC_RELAXED); }

void qor_set_log_level(int level) { __atomic_store_n(&log_level, level, __ATOMIC_RELAXED); }

int QOR_Log_Get_Option(void) { return __atomic_load_n(&log_option, __ATOMIC_RELAXED); }

void QOR_Log_Set_Option(int option) { __atomic_store_n(&log_option, option, __ATOMIC_RELAXED); }

void qor_set_log_file(const char *name) {
    if (name == nullptr) {
        return; // refused: the name stays
    }
    const sysutils::ErrnoKeeper keep_errno;
    const size_t length = strnlen(name, kFileNameSize);
    if (length >= kFileNameSize) {
        (void)fputs("ERROR: file name too long!\n", stdout);
        return;
    }
    const FacilityLock lock;
    memcpy(log_file, name, length + 1);
}

const char *qor_get_log_file(void) { return log_file; }

void qor_log_format_option(int option) {
    format_piece([option](TroubleReport &report) { format_option(option, report); });
}

void qor_log_format_info(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    qor_log_format_info_vl(fmt, ap);
    va_end(ap);
}

void qor_log_format_info_vl(const char *fmt, va_list ap) {
    format_piece([&](TroubleReport &report) {
        if (create_buffer(report)) {
            append_formatted(fmt, ap, report);
        }
    });
}

void qor_log_print_buf(void) { flush(Destination{QOR_LOG_TO_STDOUT, 0, nullptr}); }

void qor_log_buf(void) { flush(Destination{QOR_LOG_TO_FILE, 0, nullptr}); }

void qor_log_to_logcat(int prio, const char *tag) { flush(Destination{QOR_LOG_TO_LOGCAT, prio, tag}); }

void qor_log_lock(void) {
    int outside = PTHREAD_CANCEL_ENABLE;
    (void)pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &outside);
    take_lock();
    if (caller_depth++ == 0) {
        caller_cancel_state = outside;
    }
}

void qor_log_unlock(void) {
    (void)pthread_once(&facility_once, set_up);
    // Taken once more by the holder, or by any thread while no thread holds
    // it: an unlock without a lock then holds nothing.
    if (pthread_mutex_trylock(&facility_mutex) != 0) {
        return;
    }
    const unsigned depth = caller_depth;
    const int outside = caller_cancel_state;
    caller_depth = depth > 0 ? depth - 1 : 0;
    release_lock();
    if (depth > 0) {
        release_lock();
    }
    if (depth == 1) {
        int ignored = 0;
        (void)pthread_setcancelstate(outside, &ignored);
    }
}

} // extern "C"
