// SPDX-License-Identifier: MIT
// sysutil log: a reader of the kernel logger device for boards that have the
// device and no reader. The device hands out one whole entry per read; a file
// of entries is read as a stream and cut into entries here.
#include "log_reader.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "android_log.h"
#include "priority_letter.h"
#include "report.h"
#include "sysutil.h"

namespace sysutil {
namespace {

// The logger driver's entry header, in host byte order, before the payload.
struct EntryHeader {
    uint16_t len; // payload bytes
    uint16_t pad;
    int32_t pid;
    int32_t tid;
    int32_t sec;
    int32_t nsec;
};
constexpr std::size_t kHeaderSize = 20;
static_assert(sizeof(EntryHeader) == kHeaderSize, "the logger driver's header is 20 bytes");

// The driver refuses a read buffer smaller than the entry it would return:
// every device read offers its largest entry.
constexpr std::size_t kDeviceReadSize = 5120;
// A file may hold any payload length the header can express.
constexpr std::size_t kBufferSize = kHeaderSize + UINT16_MAX;
static_assert(kBufferSize >= kDeviceReadSize, "a device read fits the buffer");

constexpr long kFollowPollNs = 200L * 1000L * 1000L;
constexpr int32_t kNsPerMs = 1000 * 1000;

unsigned char buffer[kBufferSize];

// The parts of one entry as printed.
struct Entry {
    char letter;
    const char *tag;
    const char *message; // without its trailing newline
    std::size_t message_size;
};

// A text entry is a priority byte from 0 to 8, a NUL-terminated tag and a
// NUL-terminated message that ends the payload exactly.
bool parse_text(const unsigned char *payload, std::size_t size, Entry &entry) {
    if (size < 3 || payload[0] > ANDROID_LOG_SILENT || payload[size - 1] != '\0') {
        return false;
    }
    const char *tag = reinterpret_cast<const char *>(payload + 1);
    const std::size_t tag_size = std::strlen(tag); // stops at the last byte at the latest
    if (1 + tag_size + 1 >= size) {
        return false;
    }
    const char *message = tag + tag_size + 1;
    const std::size_t message_size = std::strlen(message);
    if (1 + tag_size + 1 + message_size + 1 != size) {
        return false;
    }
    entry.letter = sysutils::priority_letter(payload[0]);
    entry.tag = tag;
    entry.message = message;
    entry.message_size = message_size;
    if (entry.message_size > 0 && message[message_size - 1] == '\n') {
        --entry.message_size;
    }
    return true;
}

void print_entry(const LogOptions &options, std::FILE *out, const EntryHeader &header,
                 const unsigned char *payload) {
    Entry entry{};
    char event_tag[16];
    char event_text[32];
    if (!parse_text(payload, header.len, entry)) {
        // An event entry, or a payload of no known form: never printed raw.
        if (options.tag != nullptr) {
            return;
        }
        const std::size_t size = header.len;
        if (size >= sizeof(int32_t)) {
            int32_t number = 0;
            std::memcpy(&number, payload, sizeof number);
            (void)std::snprintf(event_tag, sizeof event_tag, "%ld", static_cast<long>(number));
        } else {
            (void)std::snprintf(event_tag, sizeof event_tag, "?");
        }
        const std::size_t data = size >= sizeof(int32_t) ? size - sizeof(int32_t) : size;
        const int length = std::snprintf(event_text, sizeof event_text, "event, %lu byte%s",
                                         static_cast<unsigned long>(data), data == 1 ? "" : "s");
        entry.letter = 'I';
        entry.tag = event_tag;
        entry.message = event_text;
        entry.message_size = length > 0 ? static_cast<std::size_t>(length) : 0;
    } else if (options.tag != nullptr && std::strcmp(entry.tag, options.tag) != 0) {
        return;
    }

    std::tm local{};
    const std::time_t seconds = header.sec;
    if (localtime_r(&seconds, &local) == nullptr) {
        local = std::tm{};
    }
    char stamp[64];
    (void)std::snprintf(stamp, sizeof stamp, "%02d-%02d %02d:%02d:%02d.%03d", local.tm_mon + 1,
                        local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                        static_cast<int>(header.nsec / kNsPerMs));

    if (options.json) {
        Report report(out, true);
        report.text("time", stamp);
        report.number("pid", header.pid);
        report.number("tid", header.tid);
        report.text("priority", &entry.letter, 1);
        report.text("tag", entry.tag);
        report.text("message", entry.message, entry.message_size);
        report.finish();
        return;
    }
    // Each line of a multi-line message gets the whole prefix.
    const char *line = entry.message;
    const char *const end = entry.message + entry.message_size;
    for (;;) {
        const char *line_end = line;
        while (line_end != end && *line_end != '\n') {
            ++line_end;
        }
        (void)std::fprintf(out, "%s %5d %5d %c %s: %.*s\n", stamp, static_cast<int>(header.pid),
                           static_cast<int>(header.tid), entry.letter, entry.tag,
                           static_cast<int>(line_end - line), line);
        if (line_end == end) {
            break;
        }
        line = line_end + 1;
    }
}

// Prints the whole entries at the start of the first `size` bytes of the
// buffer, moves what is left to the front and returns its size.
std::size_t print_whole_entries(const LogOptions &options, std::FILE *out, std::size_t size) {
    std::size_t at = 0;
    while (size - at >= kHeaderSize) {
        EntryHeader header{};
        std::memcpy(&header, buffer + at, kHeaderSize);
        const std::size_t entry_size = kHeaderSize + header.len;
        if (size - at < entry_size) {
            break;
        }
        print_entry(options, out, header, buffer + at + kHeaderSize);
        at += entry_size;
    }
    std::memmove(buffer, buffer + at, size - at);
    return size - at;
}

bool output_failed(std::FILE *out, bool follow) {
    // Followed entries are shown as they come.
    if (follow && std::fflush(out) != 0) {
        return true;
    }
    return std::ferror(out) != 0;
}

void wait_for_growth() {
    timespec pause{};
    pause.tv_nsec = kFollowPollNs;
    (void)nanosleep(&pause, nullptr);
}

void source_error(std::FILE *err, const char *path, int error) {
    (void)std::fprintf(err, "sysutil: log: %s: %s\n", path, std::strerror(error));
}

} // namespace

int read_log(const LogOptions &options, std::FILE *out, std::FILE *err) {
    // Without --follow the device is read until it has nothing more.
    const int flags = O_RDONLY | O_CLOEXEC | (options.follow ? 0 : O_NONBLOCK);
    const int fd = open(options.path, flags); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (fd < 0) {
        source_error(err, options.path, errno);
        return kExitFailure;
    }
    struct stat status {};
    const bool device = fstat(fd, &status) == 0 && S_ISCHR(status.st_mode);

    int exit_status = kExitOk;
    bool write_failed = false;
    std::size_t kept = 0;            // bytes of an entry not yet whole
    unsigned long long consumed = 0; // offset of the buffer's first byte in the source
    for (;;) {
        std::size_t room = kBufferSize - kept;
        if (device && room > kDeviceReadSize) {
            room = kDeviceReadSize;
        }
        const ssize_t got = read(fd, buffer + kept, room);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN || options.follow) {
                source_error(err, options.path, errno);
                exit_status = kExitFailure;
            }
            break;
        }
        if (got == 0) {
            if (!options.follow || device) {
                break;
            }
            wait_for_growth();
            continue;
        }
        const std::size_t size = kept + static_cast<std::size_t>(got);
        kept = print_whole_entries(options, out, size);
        consumed += size - kept;
        if (output_failed(out, options.follow)) {
            write_failed = true;
            break;
        }
        if (device && kept != 0) {
            break; // the device gives whole entries only: reported below
        }
    }
    const int saved_errno = errno;
    (void)close(fd);
    errno = saved_errno;
    if (write_failed) {
        return kExitFailure; // reported with the output's error by the caller
    }
    if (kept != 0 && exit_status == kExitOk) {
        // After the entries before it, so that the complaint follows them.
        if (std::fflush(out) != 0) {
            return kExitFailure;
        }
        (void)std::fprintf(err, "sysutil: log: %s: truncated entry at byte %llu\n", options.path,
                           consumed);
        exit_status = kExitFailure;
    }
    return exit_status;
}

} // namespace sysutil
