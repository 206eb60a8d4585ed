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
#include "owners.h"
#include "priority_letter.h"
#include "report.h"
#include "sysutil.h"

namespace sysutils {
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
constexpr int32_t kNsPerSecond = 1000 * kNsPerMs;

// read_source's verdict on a followed file whose name now leads elsewhere.
constexpr int kFollowTheName = -1;

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
    // A nanosecond field out of its range shows as such, in the same width.
    char millis[16] = "???";
    if (header.nsec >= 0 && header.nsec < kNsPerSecond) {
        (void)std::snprintf(millis, sizeof millis, "%03d", static_cast<int>(header.nsec / kNsPerMs));
    }
    char stamp[64];
    (void)std::snprintf(stamp, sizeof stamp, "%02d-%02d %02d:%02d:%02d.%s", local.tm_mon + 1,
                        local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis);

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
    // Each line of a multi-line message gets the whole prefix; a control
    // character elsewhere cannot start a line of its own.
    const char *line = entry.message;
    const char *const end = entry.message + entry.message_size;
    for (;;) {
        const char *line_end = line;
        while (line_end != end && *line_end != '\n') {
            ++line_end;
        }
        (void)std::fprintf(out, "%s %5d %5d %c ", stamp, static_cast<int>(header.pid),
                           static_cast<int>(header.tid), entry.letter);
        put_text(out, entry.tag, std::strlen(entry.tag));
        (void)std::fputs(": ", out);
        put_text(out, line, static_cast<std::size_t>(line_end - line));
        (void)std::fputc('\n', out);
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

// Where a followed path leads now: to the open file, to no file (removed or
// renamed, as log rotation does), or to another file.
enum class Name { same, gone, other };

Name name_now(const char *path, int fd) {
    struct stat named {};
    if (stat(path, &named) != 0) {
        return Name::gone;
    }
    struct stat open_file {};
    return fstat(fd, &open_file) == 0 && open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino
               ? Name::same
               : Name::other;
}

// Reads one open source until it ends, or, following a file, until another
// file has its name (kFollowTheName). Meanwhile the open file is still read:
// a writer may not have moved on yet. A followed file that shrinks
// (truncated, as by log rotation), or whose first entry is no longer the one
// read (truncated and written past the point read), is read again from its
// start.
int read_source(const LogOptions &options, int fd, std::FILE *out, std::FILE *err) {
    struct stat status {};
    const bool device = fstat(fd, &status) == 0 && S_ISCHR(status.st_mode);
    const bool regular = S_ISREG(status.st_mode);
    bool gone_told = false;
    bool other_seen = false;
    std::size_t kept = 0;            // bytes of an entry not yet whole
    unsigned long long consumed = 0; // offset of the buffer's first byte in the source
    unsigned char first_header[kHeaderSize] = {};
    bool first_header_known = false;
    for (;;) {
        // Looked at before every read: new bytes of a rewritten file must
        // never be taken for the rest of the old one.
        unsigned char header_now[kHeaderSize];
        const bool rewritten = options.follow && regular && first_header_known &&
                               pread(fd, header_now, kHeaderSize, 0) == static_cast<ssize_t>(kHeaderSize) &&
                               std::memcmp(header_now, first_header, kHeaderSize) != 0;
        if (rewritten || (options.follow && regular && fstat(fd, &status) == 0 &&
                          static_cast<unsigned long long>(status.st_size) < consumed + kept)) {
            (void)std::fprintf(err, "sysutil: log: %s: truncated; reading it again from its start\n",
                               options.path);
            (void)lseek(fd, 0, SEEK_SET);
            kept = 0;
            consumed = 0;
            first_header_known = false;
        }
        std::size_t room = kBufferSize - kept;
        if (device && room > kDeviceReadSize) {
            room = kDeviceReadSize;
        }
        const ssize_t got = read(fd, buffer + kept, room);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN && !options.follow) {
                break;
            }
            source_error(err, options.path, errno);
            return kExitFailure;
        }
        if (got == 0) {
            if (!options.follow || device) {
                break;
            }
            if (other_seen) {
                return kFollowTheName; // read to its end after the other file came
            }
            const Name name = name_now(options.path, fd);
            other_seen = name == Name::other;
            if (name == Name::gone && !gone_told) {
                (void)std::fprintf(err,
                                   "sysutil: log: %s: removed or renamed; waiting for a new file of that name\n",
                                   options.path);
                gone_told = true;
            }
            if (!other_seen) {
                wait_for_growth();
            }
            continue;
        }
        const std::size_t size = kept + static_cast<std::size_t>(got);
        if (!first_header_known && consumed == 0 && size >= kHeaderSize) {
            std::memcpy(first_header, buffer, kHeaderSize);
            first_header_known = true;
        }
        kept = print_whole_entries(options, out, size);
        consumed += size - kept;
        if (output_failed(out, options.follow)) {
            return kExitFailure; // reported with the output's error by the caller
        }
        if (device && kept != 0) {
            break; // the device gives whole entries only: reported below
        }
    }
    if (kept == 0) {
        return kExitOk;
    }
    // After the entries before it, so that the complaint follows them.
    if (std::fflush(out) != 0) {
        return kExitFailure;
    }
    (void)std::fprintf(err, "sysutil: log: %s: truncated entry at byte %llu\n", options.path, consumed);
    return kExitFailure;
}

} // namespace

int read_log(const LogOptions &options, std::FILE *out, std::FILE *err) {
    // Without --follow the device is read until it has nothing more.
    const int flags = O_RDONLY | O_CLOEXEC | (options.follow ? 0 : O_NONBLOCK);
    for (bool first = true;; first = false) {
        const sysutils::UniqueFd source = sysutils::open_fd(options.path, flags);
        if (!source.valid() && (first || errno != ENOENT)) {
            source_error(err, options.path, errno);
            return kExitFailure;
        }
        if (!source.valid()) {
            wait_for_growth(); // gone again between the look and the open
            continue;
        }
        if (!first) {
            (void)std::fprintf(err, "sysutil: log: %s: a new file; reading it from its start\n",
                               options.path);
        }
        const int status = read_source(options, source.get(), out, err);
        if (status != kFollowTheName) {
            return status;
        }
    }
}

} // namespace sysutils
