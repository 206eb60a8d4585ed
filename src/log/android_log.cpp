// SPDX-License-Identifier: MIT
// Android log interface written straight to the kernel logger device.
//
// Text entries pass through the current logger, the kernel logger unless a
// program installed another; event entries always go to the device. The
// device is opened by the first write that finds it openable, or found
// absent for good; the fields of an entry are handed to it in place as the
// segments of one gathered write.
#include "android_log.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/uio.h>
#include <unistd.h>

#include "owners.h"
#include "priority_letter.h"

namespace {

constexpr const char *kLogDevice = "/dev/log_main";
// Formatted messages are cut to fit this buffer, NUL included.
constexpr size_t kMessageSize = 1024;

// The device's descriptor once open; before that, whether the first open is
// still to come or failed for good.
constexpr int kNotOpened = -1;
constexpr int kUnavailable = -2;
int device_fd = kNotOpened;

// The installed logger; null means the kernel logger.
__android_logger_function installed_logger = nullptr;

// Cached answer of the availability test: 0 not tested yet, 1 not writable,
// 2 writable.
int device_status = 0;

// Failures that say nothing of the device itself: a later write opens again.
bool passing_failure(int err) {
    return err == EMFILE || err == ENFILE || err == ENOMEM || err == EINTR;
}

// The standard streams' numbers are never the device's: a program that
// closed standard output before its first record would otherwise send its
// output into the kernel log.
int above_standard_streams(int fd) {
    if (fd > STDERR_FILENO) {
        return fd;
    }
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1); // NOLINT(cppcoreguidelines-pro-type-vararg)
    const sysutils::ErrnoKeeper keep_errno;
    (void)close(fd);
    return moved;
}

// The device's descriptor, opened by the first write that can: kept for the
// rest of the process and not handed to programs it starts. Negative while
// the device is not open. Threads whose first writes race each open it; the
// first to publish its outcome decides, the others close their own.
int device_descriptor() {
    const int known = __atomic_load_n(&device_fd, __ATOMIC_ACQUIRE);
    if (known != kNotOpened) {
        return known;
    }
    int opened = open(kLogDevice, O_WRONLY | O_CLOEXEC); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (opened >= 0) {
        opened = above_standard_streams(opened);
    }
    if (opened < 0) {
        if (passing_failure(errno)) {
            return kNotOpened;
        }
        opened = kUnavailable;
    }
    int published = kNotOpened; // until another thread's outcome is found there
    if (!__atomic_compare_exchange_n(&device_fd, &published, opened, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE) &&
        opened >= 0) {
        const sysutils::ErrnoKeeper keep_errno;
        (void)close(opened);
    }
    return published == kNotOpened ? opened : published;
}

int write_entry(int log_id, const struct iovec *vec, int count) {
    const int fd = device_descriptor();
    if (fd < 0) {
        return -1;
    }
    if (log_id < 0 || log_id >= LOG_ID_MAX) {
        return -EBADF;
    }
    ssize_t written = 0;
    do {
        written = writev(fd, vec, count);
    } while (written < 0 && errno == EINTR);
    return static_cast<int>(written);
}

// Names held in place, not pointed to: a table of pointers would need
// relocations, and a page of read-only-after-relocation data in every
// program that logs.
struct RadioTag {
    char name[8];
    bool any_suffix; // every tag that begins with the name
};

constexpr RadioTag kRadioTags[] = {
    {"HTC_RIL", false}, {"RIL", true}, {"AT", false},    {"GSM", false},
    {"STK", false},     {"CDMA", false}, {"PHONE", false}, {"SMS", false},
};

bool is_radio_tag(const char *tag) {
    for (const RadioTag &radio : kRadioTags) {
        size_t at = 0;
        while (radio.name[at] != '\0' && tag[at] == radio.name[at]) {
            ++at;
        }
        if (radio.name[at] == '\0' && (radio.any_suffix || tag[at] == '\0')) {
            return true;
        }
    }
    return false;
}

// writev's segments are not const, though it only reads them.
void *segment(const void *data) { return const_cast<void *>(data); } // NOLINT(cppcoreguidelines-pro-type-const-cast)

int write_text_entry(int log_id, int prio, const char *tag, const char *msg) {
    const auto prio_byte = static_cast<unsigned char>(prio);
    const struct iovec vec[] = {
        {segment(&prio_byte), 1},
        {segment(tag), strlen(tag) + 1},
        {segment(msg), strlen(msg) + 1},
    };
    return write_entry(log_id, vec, 3);
}

bool is_kernel_logger(__android_logger_function logger) {
    return logger == nullptr || logger == __android_log_kernel_logger;
}

int write_text(int log_id, int prio, const char *tag, const char *msg) {
    if (tag == nullptr) {
        tag = "";
    }
    if (is_radio_tag(tag)) {
        log_id = LOG_ID_RADIO;
    }
    const __android_logger_function logger = __atomic_load_n(&installed_logger, __ATOMIC_ACQUIRE);
    if (is_kernel_logger(logger)) {
        return write_text_entry(log_id, prio, tag, msg);
    }
    const struct __android_log_message message = {
        sizeof message, log_id, prio, tag, nullptr, 0, msg,
    };
    logger(&message);
    // As a device write that took the whole entry.
    return static_cast<int>(1 + strlen(tag) + 1 + strlen(msg) + 1);
}

__attribute__((format(printf, 4, 0))) int vprint_text(int log_id, int prio, const char *tag,
                                                       const char *fmt, va_list ap) {
    char msg[kMessageSize];
    (void)vsnprintf(msg, sizeof msg, fmt, ap);
    return write_text(log_id, prio, tag, msg);
}

} // namespace

extern "C" {

int __android_log_write(int prio, const char *tag, const char *msg) {
    return write_text(LOG_ID_MAIN, prio, tag, msg);
}

int __android_log_buf_write(int bufID, int prio, const char *tag, const char *msg) {
    return write_text(bufID, prio, tag, msg);
}

int __android_log_vprint(int prio, const char *tag, const char *fmt, va_list ap) {
    return vprint_text(LOG_ID_MAIN, prio, tag, fmt, ap);
}

int __android_log_print(int prio, const char *tag, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const int result = vprint_text(LOG_ID_MAIN, prio, tag, fmt, ap);
    va_end(ap);
    return result;
}

int __android_log_buf_print(int bufID, int prio, const char *tag, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const int result = vprint_text(bufID, prio, tag, fmt, ap);
    va_end(ap);
    return result;
}

void __android_log_assert(const char *cond, const char *tag, const char *fmt, ...) {
    char msg[kMessageSize];
    if (fmt != nullptr) {
        va_list ap;
        va_start(ap, fmt);
        (void)vsnprintf(msg, sizeof msg, fmt, ap);
        va_end(ap);
    } else if (cond != nullptr) {
        (void)snprintf(msg, sizeof msg, "Assertion failed: %s", cond);
    } else {
        (void)snprintf(msg, sizeof msg, "%s", "Unspecified assertion failed");
    }
    (void)__android_log_write(ANDROID_LOG_FATAL, tag, msg);
    __builtin_trap();
}

int __android_log_bwrite(int32_t tag, const void *payload, size_t len) {
    const struct iovec vec[] = {
        {segment(&tag), sizeof tag},
        {segment(payload), len},
    };
    return write_entry(LOG_ID_EVENTS, vec, 2);
}

int __android_log_btwrite(int32_t tag, char type, const void *payload, size_t len) {
    const struct iovec vec[] = {
        {segment(&tag), sizeof tag},
        {segment(&type), sizeof type},
        {segment(payload), len},
    };
    return write_entry(LOG_ID_EVENTS, vec, 3);
}

int __android_log_dev_available(void) {
    int status = __atomic_load_n(&device_status, __ATOMIC_RELAXED);
    if (status == 0) {
        const int tested = access(kLogDevice, W_OK) == 0 ? 2 : 1;
        // The first answer stored is the one every caller keeps.
        status = __atomic_compare_exchange_n(&device_status, &status, tested, false, __ATOMIC_RELAXED,
                                             __ATOMIC_RELAXED)
                     ? tested
                     : status;
    }
    return status == 2 ? 1 : 0;
}

void __android_log_set_logger(__android_logger_function logger) {
    __atomic_store_n(&installed_logger, logger, __ATOMIC_RELEASE);
}

void __android_log_write_log_message(struct __android_log_message *log_message) {
    if (log_message == nullptr) {
        return;
    }
    const __android_logger_function logger = __atomic_load_n(&installed_logger, __ATOMIC_ACQUIRE);
    (is_kernel_logger(logger) ? __android_log_kernel_logger : logger)(log_message);
}

void __android_log_kernel_logger(const struct __android_log_message *log_message) {
    if (log_message == nullptr || log_message->message == nullptr) {
        return;
    }
    (void)write_text_entry(log_message->buffer_id, log_message->priority,
                           log_message->tag != nullptr ? log_message->tag : "", log_message->message);
}

// The newer interface's name for the device's logger: the same function.
void __android_log_logd_logger(const struct __android_log_message *log_message)
    __attribute__((alias("__android_log_kernel_logger")));

void __android_log_stderr_logger(const struct __android_log_message *log_message) {
    if (log_message == nullptr || log_message->message == nullptr) {
        return;
    }
    const char *const message = log_message->message;
    const size_t length = strlen(message);
    const bool ends_line = length > 0 && message[length - 1] == '\n';
    (void)fprintf(stderr, "%c %s: %s%s", sysutils::priority_letter(log_message->priority),
                  log_message->tag != nullptr ? log_message->tag : "", message, ends_line ? "" : "\n");
}

} // extern "C"
