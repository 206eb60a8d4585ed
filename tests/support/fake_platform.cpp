// SPDX-License-Identifier: MIT
// Interposed C library calls of the fake platform. The test executables
// define these symbols, so the modules linked into them call here first;
// calls on anything but a virtual device go straight to the C library.
#include "fake_platform.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <map>
#include <new>
#include <mutex>
#include <sstream>
#include <thread>

namespace fake {
// The next definition of a function this file interposes: a sanitizer's
// interceptor where the executable has one, so that it still checks the
// buffers and tracks the descriptors, else the C library's own.
inline void *next_definition(const char *interceptor, const char *name) {
    void *fn = dlsym(RTLD_DEFAULT, interceptor);
    return fn != nullptr ? fn : dlsym(RTLD_NEXT, name);
}
} // namespace fake

#define REAL(name)                                                                                 \
    ([] {                                                                                          \
        static const auto fn = reinterpret_cast<decltype(&::name)>(                                \
            fake::next_definition("__interceptor_" #name, #name));                                 \
        return fn;                                                                                 \
    }())

namespace fake {
namespace {

enum class Kind { absent, file, rtc };

struct Device {
    Kind kind = Kind::absent;
    std::string file;
    int write_delay_ms = 0;
    bool held = false;
    int waiting = 0;
};

struct Injection {
    Call call;
    std::string device;
    int err;
    int countdown; // fails when it reaches 1; 0 means always
};

struct State {
    std::recursive_mutex mutex;
    std::string scratch;
    pid_t creator = 0;
    std::map<std::string, Device, std::less<>> devices;
    std::map<int, std::string> fds;
    std::map<std::string, int, std::less<>> open_flags;
    std::map<const void *, std::string> mappings;
    std::vector<Injection> injections;
    std::vector<std::string> events;
    Rtc rtc;
    off_t log_mark = 0;
};

int remove_entry(const char *path, const struct stat * /*info*/, int /*type*/, struct FTW * /*ftw*/) {
    return ::remove(path);
}

void remove_scratch();

State &state() {
    static State *const instance = [] {
        auto *s = new State();
        char dir[] = "/tmp/sysutils-test-XXXXXX";
        if (mkdtemp(dir) == nullptr) {
            abort();
        }
        s->scratch = dir;
        s->creator = getpid();
        (void)atexit(remove_scratch);
        // Tests fork while other threads are inside the fake: the child
        // starts with the fake's lock free.
        (void)pthread_atfork([] { state().mutex.lock(); }, [] { state().mutex.unlock(); },
                             [] { new (&state().mutex) std::recursive_mutex(); });
        return s;
    }();
    return *instance;
}

void remove_scratch() {
    State &s = state();
    if (getpid() == s.creator) {
        (void)nftw(s.scratch.c_str(), remove_entry, 8, FTW_DEPTH | FTW_PHYS);
    }
}

void set_defaults(State &s) {
    const std::string log_file = s.scratch + "/log_main";
    const bool keep_log = s.devices.contains(kLogMain);
    s.devices.clear();
    for (std::string_view device : {kDevMem, kRtc, kCpuInfo, kPowerState}) {
        s.devices.emplace(std::string(device), Device{});
    }
    if (!keep_log) {
        std::ofstream{log_file};
    }
    s.devices.emplace(std::string(kLogMain), Device{Kind::file, log_file, 0});
}

State &ready_state() {
    State &s = state();
    std::lock_guard lock(s.mutex);
    if (s.devices.empty()) {
        set_defaults(s);
    }
    return s;
}

// The error to inject into this call, or 0.
int injected(State &s, Call call, std::string_view device) {
    for (auto it = s.injections.begin(); it != s.injections.end(); ++it) {
        if (it->call != call || (call != Call::kill && it->device != device)) {
            continue;
        }
        if (it->countdown == 0) {
            return it->err;
        }
        if (--it->countdown == 0) {
            const int err = it->err;
            s.injections.erase(it);
            return err;
        }
    }
    return 0;
}

const std::string *device_of(State &s, int fd) {
    const auto it = s.fds.find(fd);
    return it == s.fds.end() ? nullptr : &it->second;
}

const char *rtc_request_name(unsigned long request) {
    switch (request) {
    case RTC_RD_TIME: return "RTC_RD_TIME";
    case RTC_SET_TIME: return "RTC_SET_TIME";
    case RTC_ALM_SET: return "RTC_ALM_SET";
    case RTC_ALM_READ: return "RTC_ALM_READ";
    case RTC_AIE_ON: return "RTC_AIE_ON";
    case RTC_AIE_OFF: return "RTC_AIE_OFF";
    default: return "unknown";
    }
}

int rtc_ioctl(State &s, unsigned long request, void *arg) {
    s.events.push_back(std::string("ioctl /dev/rtc0 ") + rtc_request_name(request));
    if (const int err = injected(s, Call::ioctl, kRtc); err != 0) {
        errno = err;
        return -1;
    }
    auto *time = static_cast<struct rtc_time *>(arg);
    switch (request) {
    case RTC_RD_TIME: *time = s.rtc.clock; return 0;
    case RTC_SET_TIME: s.rtc.clock = s.rtc.last_set = *time; return 0;
    case RTC_ALM_SET: s.rtc.alarm = s.rtc.last_set = *time; return 0;
    case RTC_ALM_READ: *time = s.rtc.alarm; return 0;
    case RTC_AIE_ON: s.rtc.alarm_irq = true; return 0;
    case RTC_AIE_OFF: s.rtc.alarm_irq = false; return 0;
    default: errno = ENOTTY; return -1;
    }
}

template <typename RealOpen>
int open_device(const char *path, int flags, mode_t mode, RealOpen real_open) {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    const auto it = s.devices.find(std::string_view(path));
    if (it == s.devices.end()) {
        return real_open(path, flags, mode);
    }
    if (const int err = injected(s, Call::open, it->first); err != 0 || it->second.kind == Kind::absent) {
        errno = err != 0 ? err : ENOENT;
        return -1;
    }
    int fd = it->second.kind == Kind::rtc ? real_open("/dev/null", O_RDONLY, 0)
                                          : real_open(it->second.file.c_str(), flags, mode);
    if (fd >= 0 && it->second.kind == Kind::rtc && s.rtc.min_fd > fd) {
        const int high = fcntl(fd, F_DUPFD, s.rtc.min_fd);
        REAL(close)(fd);
        fd = high;
    }
    if (fd >= 0) {
        s.fds[fd] = it->first;
        s.open_flags[it->first] = flags;
        s.events.push_back("open " + it->first);
    }
    return fd;
}

mode_t mode_argument(int flags, va_list ap) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, mode_t) : 0;
}

template <typename RealFopen> FILE *fopen_device(const char *path, const char *mode, RealFopen real_fopen) {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    const auto it = s.devices.find(std::string_view(path));
    if (it == s.devices.end()) {
        return real_fopen(path, mode);
    }
    if (const int err = injected(s, Call::open, it->first); err != 0 || it->second.kind != Kind::file) {
        errno = err != 0 ? err : ENOENT;
        return nullptr;
    }
    s.events.push_back("fopen " + it->first);
    return real_fopen(it->second.file.c_str(), mode);
}

// nanosleep, not a condition variable: a thread cancelled while it waits
// unwinds from here as from a write.
void wait_while_held(State &s, const std::string &name) {
    std::unique_lock lock(s.mutex);
    if (!s.devices[name].held) {
        return;
    }
    // Counted out on every way out, cancellation's unwinding included.
    struct Waiting {
        State &s;
        const std::string &name;
        explicit Waiting(State &state_, const std::string &name_) : s(state_), name(name_) { ++s.devices[name].waiting; }
        Waiting(const Waiting &) = delete;
        Waiting &operator=(const Waiting &) = delete;
        Waiting(Waiting &&) = delete;
        Waiting &operator=(Waiting &&) = delete;
        ~Waiting() {
            const std::lock_guard relock(s.mutex);
            --s.devices[name].waiting;
        }
    } waiting(s, name);
    while (s.devices[name].held) {
        lock.unlock();
        const timespec pause{0, 1000000};
        (void)nanosleep(&pause, nullptr);
        lock.lock();
    }
    lock.unlock();
}

// Runs a write-like call on a tracked descriptor: injection, delay, journal.
template <typename Write> ssize_t tracked_write(int fd, Call call, const std::string &what, Write write) {
    State &s = ready_state();
    std::unique_lock lock(s.mutex);
    const std::string *device = device_of(s, fd);
    if (device == nullptr) {
        lock.unlock();
        return write();
    }
    const std::string name = *device;
    s.events.push_back((call == Call::write ? "write " : "writev ") + name + " " + what);
    if (const int err = injected(s, call, name); err != 0) {
        errno = err;
        return -1;
    }
    const int delay = s.devices[name].write_delay_ms;
    lock.unlock();
    if (delay > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    }
    wait_while_held(s, name);
    return write();
}

// A wait on the fake clock never blocks: readiness is what the test set.
int rtc_wait(State &s, const struct timespec *timeout, struct pollfd *fds, nfds_t count) {
    s.rtc.waited = true;
    s.rtc.wait_timeout = timeout != nullptr ? *timeout : timespec{-1, -1};
    if (const int err = injected(s, Call::wait, kRtc); err != 0) {
        errno = err;
        return -1;
    }
    int ready = 0;
    for (nfds_t i = 0; i < count; ++i) {
        fds[i].revents = 0;
        if (s.rtc.readable && (fds[i].events & POLLIN) != 0 && device_of(s, fds[i].fd) != nullptr) {
            fds[i].revents = POLLIN;
            ++ready;
        }
    }
    return ready;
}

bool waits_on_rtc(State &s, const struct pollfd *fds, nfds_t count) {
    for (nfds_t i = 0; i < count; ++i) {
        const std::string *device = device_of(s, fds[i].fd);
        if (device != nullptr && *device == kRtc) {
            return true;
        }
    }
    return false;
}

} // namespace

std::string scratch_path(std::string_view name) { return ready_state().scratch + "/" + std::string(name); }

std::string scratch_file(std::string_view name, std::string_view contents) {
    std::string path = scratch_path(name);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
    return path;
}

void redirect(std::string_view device, const std::string &file) {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    s.devices[std::string(device)] = Device{Kind::file, file, 0};
}

void remove_device(std::string_view device) {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    s.devices[std::string(device)] = Device{};
}

void use_fake_rtc() {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    s.devices[std::string(kRtc)] = Device{Kind::rtc, {}, 0};
}

void fail(Call call, std::string_view device, int err, int nth) {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    s.injections.push_back(Injection{call, std::string(device), err, nth < 1 ? 1 : nth});
}

void fail_always(Call call, std::string_view device, int err) {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    s.injections.push_back(Injection{call, std::string(device), err, 0});
}

std::vector<std::string> events() {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    return s.events;
}

std::vector<std::string> events(std::string_view device) {
    std::vector<std::string> found = events();
    std::erase_if(found, [device](const std::string &event) { return event.find(device) == std::string::npos; });
    return found;
}

void clear_events() {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    s.events.clear();
}

int open_count(std::string_view device) {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    int count = 0;
    for (const auto &[fd, name] : s.fds) {
        count += name == device ? 1 : 0;
    }
    return count;
}

int open_flags(std::string_view device) {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    const auto it = s.open_flags.find(device);
    return it == s.open_flags.end() ? -1 : it->second;
}

void set_write_delay_ms(std::string_view device, int ms) {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    s.devices[std::string(device)].write_delay_ms = ms;
}

void hold_writes(std::string_view device, bool held) {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    s.devices[std::string(device)].held = held;
}

int held_writes(std::string_view device) {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    return s.devices[std::string(device)].waiting;
}

std::string log_bytes() {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    std::ifstream in(s.devices[std::string(kLogMain)].file, std::ios::binary);
    in.seekg(s.log_mark);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<LogEntry> log_entries() {
    const std::string bytes = log_bytes();
    std::vector<LogEntry> entries;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t tag_end = bytes.find('\0', at + 1);
        const std::size_t msg_end = tag_end == std::string::npos ? tag_end : bytes.find('\0', tag_end + 1);
        if (msg_end == std::string::npos) {
            ADD_FAILURE() << "truncated kernel-log entry at byte " << at;
            break;
        }
        entries.push_back(LogEntry{static_cast<unsigned char>(bytes[at]), bytes.substr(at + 1, tag_end - at - 1),
                                   bytes.substr(tag_end + 1, msg_end - tag_end - 1)});
        at = msg_end + 1;
    }
    return entries;
}

std::vector<std::string> log_messages() {
    std::vector<std::string> messages;
    for (const LogEntry &entry : log_entries()) {
        messages.push_back(entry.msg);
    }
    return messages;
}

void clear_log() {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    struct stat info {};
    if (stat(s.devices[std::string(kLogMain)].file.c_str(), &info) == 0) {
        s.log_mark = info.st_size;
    }
}

Rtc &rtc() { return ready_state().rtc; }

void reset() {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    set_defaults(s);
    s.injections.clear();
    s.events.clear();
    s.open_flags.clear();
    s.rtc = Rtc{};
}

int open_descriptors() {
    State &s = ready_state();
    std::lock_guard lock(s.mutex);
    int count = 0;
    if (DIR *dir = opendir("/proc/self/fd")) {
        while (const dirent *entry = readdir(dir)) {
            const int fd = static_cast<int>(strtol(entry->d_name, nullptr, 10));
            const std::string *device = device_of(s, fd);
            // The kernel-log descriptor lives for the whole process by design.
            count += entry->d_name[0] != '.' && (device == nullptr || *device != kLogMain) ? 1 : 0;
        }
        closedir(dir);
    }
    return count;
}

void Test::SetUp() {
    reset();
    clear_log();
    descriptors_before_ = open_descriptors();
}

void Test::TearDown() {
    EXPECT_EQ(open_descriptors(), descriptors_before_) << "a descriptor was left open";
    EXPECT_EQ(open_count(kRtc), 0);
}

} // namespace fake

using fake::Call;

extern "C" {

int open(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = fake::mode_argument(flags, ap);
    va_end(ap);
    return fake::open_device(path, flags, mode, [](const char *p, int f, mode_t m) { return REAL(open)(p, f, m); });
}

int open64(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = fake::mode_argument(flags, ap);
    va_end(ap);
    return fake::open_device(path, flags, mode, [](const char *p, int f, mode_t m) { return REAL(open64)(p, f, m); });
}

FILE *fopen(const char *path, const char *mode) { return fake::fopen_device(path, mode, REAL(fopen)); }
FILE *fopen64(const char *path, const char *mode) { return fake::fopen_device(path, mode, REAL(fopen64)); }

int access(const char *path, int how) {
    fake::State &s = fake::ready_state();
    std::unique_lock lock(s.mutex);
    const auto it = s.devices.find(std::string_view(path));
    if (it == s.devices.end()) {
        lock.unlock();
        return REAL(access)(path, how);
    }
    if (it->second.kind == fake::Kind::absent) {
        errno = ENOENT;
        return -1;
    }
    return it->second.kind == fake::Kind::rtc ? 0 : REAL(access)(it->second.file.c_str(), how);
}

int close(int fd) {
    fake::State &s = fake::ready_state();
    {
        std::lock_guard lock(s.mutex);
        if (const std::string *device = fake::device_of(s, fd)) {
            s.events.push_back("close " + *device);
            s.fds.erase(fd);
        }
    }
    return REAL(close)(fd);
}

int ioctl(int fd, unsigned long request, ...) { // NOLINT(google-runtime-int): the C library's own type
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    fake::State &s = fake::ready_state();
    {
        std::lock_guard lock(s.mutex);
        const std::string *device = fake::device_of(s, fd);
        if (device != nullptr && *device == fake::kRtc) {
            return fake::rtc_ioctl(s, request, arg);
        }
    }
    return REAL(ioctl)(fd, request, arg);
}

void *mmap(void *addr, size_t length, int prot, int flags, int fd, off_t offset) {
    fake::State &s = fake::ready_state();
    std::lock_guard lock(s.mutex);
    const std::string *device = fake::device_of(s, fd);
    if (device != nullptr) {
        s.events.push_back("mmap " + *device);
        if (const int err = fake::injected(s, Call::mmap, *device); err != 0) {
            errno = err;
            return MAP_FAILED;
        }
    }
    void *mapping = REAL(mmap)(addr, length, prot, flags, fd, offset);
    if (device != nullptr && mapping != MAP_FAILED) {
        s.mappings[mapping] = *device;
    }
    return mapping;
}

int munmap(void *addr, size_t length) {
    fake::State &s = fake::ready_state();
    std::lock_guard lock(s.mutex);
    const auto it = s.mappings.find(addr);
    const int result = REAL(munmap)(addr, length);
    if (it != s.mappings.end()) {
        s.events.push_back("munmap " + it->second);
        const int err = fake::injected(s, Call::munmap, it->second);
        s.mappings.erase(it);
        if (err != 0) {
            errno = err;
            return -1;
        }
    }
    return result;
}

ssize_t write(int fd, const void *buf, size_t count) {
    return fake::tracked_write(fd, Call::write, std::string(static_cast<const char *>(buf), count),
                               [&] { return REAL(write)(fd, buf, count); });
}

ssize_t writev(int fd, const struct iovec *iov, int iovcnt) {
    return fake::tracked_write(fd, Call::writev, std::to_string(iovcnt),
                               [&] { return REAL(writev)(fd, iov, iovcnt); });
}

int ppoll(struct pollfd *fds, nfds_t count, const struct timespec *timeout, const sigset_t *sigmask) {
    fake::State &s = fake::ready_state();
    {
        std::lock_guard lock(s.mutex);
        if (fake::waits_on_rtc(s, fds, count)) {
            return fake::rtc_wait(s, timeout, fds, count);
        }
    }
    return REAL(ppoll)(fds, count, timeout, sigmask);
}

int poll(struct pollfd *fds, nfds_t count, int timeout_ms) {
    fake::State &s = fake::ready_state();
    {
        std::lock_guard lock(s.mutex);
        if (fake::waits_on_rtc(s, fds, count)) {
            const timespec timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
            return fake::rtc_wait(s, timeout_ms < 0 ? nullptr : &timeout, fds, count);
        }
    }
    return REAL(poll)(fds, count, timeout_ms);
}

void sync() {
    fake::State &s = fake::ready_state();
    std::lock_guard lock(s.mutex);
    s.events.emplace_back("sync");
}

int kill(pid_t pid, int sig) {
    fake::State &s = fake::ready_state();
    {
        std::lock_guard lock(s.mutex);
        s.events.push_back("kill " + std::to_string(pid) + " " + std::to_string(sig));
        if (const int err = fake::injected(s, Call::kill, {}); err != 0) {
            errno = err;
            return -1;
        }
    }
    // Never signal a real init: process 1 is reached only when it is this
    // test process itself, in a PID namespace of its own.
    if (pid == 1 && getpid() != 1) {
        return 0;
    }
    return REAL(kill)(pid, sig);
}

} // extern "C"
