// Android log interface written straight to the kernel logger device.
//
// Every write goes through one switchable writer: the initial writer opens
// the device once per process and switches to the kernel writer, or to the
// discarding writer when the device cannot be opened. The fields of an entry
// are handed to the device in place as the segments of one gathered write.
#include "android_log.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr const char *kLogDevice = "/dev/log_main";
// Formatted messages are cut to fit this buffer, NUL included.
constexpr size_t kMessageSize = 1024;

using Writer = int (*)(int log_id, const struct iovec *vec, int count);

int __write_to_log_init(int log_id, const struct iovec *vec, int count);
int __write_to_log_kernel(int log_id, const struct iovec *vec, int count);
int __write_to_log_null(int log_id, const struct iovec *vec, int count);

// Switched once, by the first write; later writes only read it.
std::atomic<Writer> write_to_log{__write_to_log_init};
// One descriptor serves every log id; filled before write_to_log switches.
std::array<int, LOG_ID_MAX> log_fds{-1, -1, -1, -1};
pthread_once_t log_open_once = PTHREAD_ONCE_INIT;
// 0 not tested yet, 1 not writable, 2 writable.
std::atomic<int> g_log_status{0};

void open_log_device() {
    // Kept open for the rest of the process.
    const int fd = ::open(kLogDevice, O_WRONLY);
    log_fds.fill(fd >= 0 ? fd : -1);
    write_to_log.store(fd >= 0 ? __write_to_log_kernel : __write_to_log_null,
                       std::memory_order_release);
}

// Writers that raced to the first write all wait for the one open and then
// take the writer it chose.
int __write_to_log_init(int log_id, const struct iovec *vec, int count) {
    (void)pthread_once(&log_open_once, open_log_device);
    return write_to_log.load(std::memory_order_acquire)(log_id, vec, count);
}

int __write_to_log_kernel(int log_id, const struct iovec *vec, int count) {
    if (log_id < 0 || log_id >= LOG_ID_MAX) {
        return -EBADF;
    }
    const int fd = log_fds[static_cast<size_t>(log_id)];
    ssize_t written = 0;
    do {
        written = ::writev(fd, vec, count);
    } while (written < 0 && errno == EINTR);
    return static_cast<int>(written);
}

int __write_to_log_null(int /*log_id*/, const struct iovec * /*vec*/, int /*count*/) { return -1; }

int write_segments(int log_id, const struct iovec *vec, int count) {
    return write_to_log.load(std::memory_order_acquire)(log_id, vec, count);
}

struct RadioTag {
    std::string_view name;
    bool any_suffix; // every tag that begins with the name
};

constexpr std::array<RadioTag, 8> kRadioTags{{
    {"HTC_RIL", false},
    {"RIL", true},
    {"AT", false},
    {"GSM", false},
    {"STK", false},
    {"CDMA", false},
    {"PHONE", false},
    {"SMS", false},
}};

bool is_radio_tag(std::string_view tag) {
    return std::ranges::any_of(kRadioTags, [tag](const RadioTag &radio) {
        // Not starts_with: its range check pulls in the C++ runtime.
        return radio.any_suffix ? tag.size() >= radio.name.size() &&
                                      std::string_view(tag.data(), radio.name.size()) == radio.name
                                : tag == radio.name;
    });
}

// writev's segments are not const, though it only reads them.
void *segment(const void *data) { return const_cast<void *>(data); } // NOLINT(cppcoreguidelines-pro-type-const-cast)

int write_text(int log_id, int prio, const char *tag, const char *msg) {
    if (tag == nullptr) {
        tag = "";
    }
    if (is_radio_tag(tag)) {
        log_id = LOG_ID_RADIO;
    }
    const auto prio_byte = static_cast<unsigned char>(prio);
    const std::array<struct iovec, 3> vec{{
        {segment(&prio_byte), 1},
        {segment(tag), strlen(tag) + 1},
        {segment(msg), strlen(msg) + 1},
    }};
    return write_segments(log_id, vec.data(), static_cast<int>(vec.size()));
}

__attribute__((format(printf, 4, 0))) int vprint_text(int log_id, int prio, const char *tag,
                                                       const char *fmt, va_list ap) {
    std::array<char, kMessageSize> msg; // NOLINT(cppcoreguidelines-pro-type-member-init)
    (void)vsnprintf(msg.data(), msg.size(), fmt, ap);
    return write_text(log_id, prio, tag, msg.data());
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
    std::array<char, kMessageSize> msg; // NOLINT(cppcoreguidelines-pro-type-member-init)
    if (fmt != nullptr) {
        va_list ap;
        va_start(ap, fmt);
        (void)vsnprintf(msg.data(), msg.size(), fmt, ap);
        va_end(ap);
    } else if (cond != nullptr) {
        (void)snprintf(msg.data(), msg.size(), "Assertion failed: %s", cond);
    } else {
        (void)snprintf(msg.data(), msg.size(), "%s", "Unspecified assertion failed");
    }
    (void)__android_log_write(ANDROID_LOG_FATAL, tag, msg.data());
    __builtin_trap();
}

int __android_log_bwrite(int32_t tag, const void *payload, size_t len) {
    const std::array<struct iovec, 2> vec{{
        {segment(&tag), sizeof tag},
        {segment(payload), len},
    }};
    return write_segments(LOG_ID_EVENTS, vec.data(), static_cast<int>(vec.size()));
}

int __android_log_btwrite(int32_t tag, char type, const void *payload, size_t len) {
    const std::array<struct iovec, 3> vec{{
        {segment(&tag), sizeof tag},
        {segment(&type), sizeof type},
        {segment(payload), len},
    }};
    return write_segments(LOG_ID_EVENTS, vec.data(), static_cast<int>(vec.size()));
}

int __android_log_dev_available(void) {
    int status = g_log_status.load(std::memory_order_relaxed);
    if (status == 0) {
        const int tested = ::access(kLogDevice, W_OK) == 0 ? 2 : 1;
        // The first answer stored is the one every caller keeps.
        status = g_log_status.compare_exchange_strong(status, tested, std::memory_order_relaxed)
                     ? tested
                     : status;
    }
    return status == 2 ? 1 : 0;
}

} // extern "C"
