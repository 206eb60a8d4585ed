// SPDX-License-Identifier: MIT
// Runs inside a guest machine booted by scripts/system-test.sh, with busybox
// init as process 1, and checks the base module against the real kernel's
// devices. One line per check on standard output: "PASS name",
// "FAIL name: detail", or "INFO text"; "DONE" once every check has run.
//
//   system_driver main CHIP_ID MODEL works|fails   clock, alarm, identity,
//                                                  records, then suspend
//   system_driver shutdown | reboot                signal init, then wait
//
// The guest's "/dev/log_main" is a regular file that this driver creates
// before the module's first record: the kernel log writer decides at the
// first write of the process whether the device exists.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <string>
#include <string_view>

#include "su_base.h"

namespace {

constexpr const char *kLogDevice = "/dev/log_main";
constexpr const char *kChipIdCommand = "/bin/chipid";
constexpr const char *kRtcSysfs = "/sys/class/rtc/rtc0/";

int failures = 0;

void write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = write(fd, text.data(), text.size());
        if (written <= 0) {
            return;
        }
        text.remove_prefix(static_cast<size_t>(written));
    }
}

// Unbuffered, so that a line survives init ending the process; the copy on
// standard error lands on the console, beside the kernel's messages.
void emit(const std::string &line) {
    const std::string text = line + "\n";
    write_all(STDOUT_FILENO, text);
    write_all(STDERR_FILENO, text);
}

__attribute__((format(printf, 1, 2))) std::string format(const char *fmt, ...) { // NOLINT(cert-dcl50-cpp)
    char text[1024];
    va_list args;
    va_start(args, fmt);
    (void)vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

void check(bool ok, const char *name, const std::string &detail = {}) {
    if (ok) {
        emit(std::string("PASS ") + name);
    } else {
        ++failures;
        emit(std::string("FAIL ") + name + ": " + (detail.empty() ? "failed" : detail));
    }
}

void info(const std::string &text) { emit("INFO " + text); }

std::string printable(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
            text += c;
        } else {
            text += format("\\x%02x", byte);
        }
    }
    return text;
}

std::string show(const SUTime &t) {
    return format("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.mon, t.mday, t.hour, t.min, t.sec);
}

bool same(const SUTime &a, const SUTime &b) {
    return a.sec == b.sec && a.min == b.min && a.hour == b.hour && a.mday == b.mday &&
           a.mon == b.mon && a.year == b.year;
}

uint32_t raw_of(const SUTime &t) {
    uint32_t raw = 0;
    (void)SU_Base_SUTime2Raw(&t, &raw);
    return raw;
}

SUTime time_of(uint32_t raw) {
    SUTime t{};
    (void)SU_Base_Raw2SUTime(&raw, &t);
    return t;
}

long long now_ms() {
    timespec ts{};
    (void)clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string read_file(const char *path, off_t from = 0) {
    std::string text;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    if (from > 0) {
        (void)lseek(fd, from, SEEK_SET);
    }
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0) {
            break;
        }
        text.append(chunk, static_cast<size_t>(got));
    }
    (void)close(fd);
    return text;
}

std::string first_line(const std::string &text) { return text.substr(0, text.find('\n')); }

std::string rtc_attribute(const char *name) {
    return first_line(read_file((std::string(kRtcSysfs) + name).c_str()));
}

// The records the module wrote to the log device since the last look.
class LogDevice {
public:
    // Also empties it: the file stands in for a device without a position,
    // and each process writes it from where its own descriptor stands.
    bool create() {
        seen_ = 0;
        const int fd = open(kLogDevice, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            return false;
        }
        (void)close(fd);
        return true;
    }

    std::string take_new() {
        std::string bytes = read_file(kLogDevice, seen_);
        seen_ += static_cast<off_t>(bytes.size());
        return bytes;
    }

    // Entries are written whole: priority 6, tag "base" and NUL, message and NUL.
    void expect(const char *name, std::initializer_list<std::string_view> messages) {
        std::string wanted;
        for (const std::string_view message : messages) {
            wanted += '\x06';
            wanted.append("base", 5);
            wanted.append(message);
            wanted += '\0';
        }
        const std::string got = take_new();
        check(got == wanted, name,
              "log device holds \"" + printable(got) + "\", wanted \"" + printable(wanted) + "\"");
    }

private:
    off_t seen_ = 0;
};

LogDevice log_device;

// Waits for the clock's next second, so that the steps after it have the
// whole second to run in.
SUTime next_second() {
    SUTime start{};
    SUTime t{};
    (void)SU_Base_GetTime(&start);
    for (int i = 0; i < 2000; ++i) {
        if (SU_Base_GetTime(&t) != 0 || t.sec != start.sec) {
            break;
        }
        (void)usleep(1000);
    }
    return t;
}

// Runs the command as a user does: its standard output, and a check that
// it printed the one line wanted and exited 0.
void check_chipid_command(const char *name, const std::string &chip_id) {
    int out[2];
    if (pipe(out) != 0) {
        check(false, name, format("pipe: %s", strerror(errno)));
        return;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        (void)dup2(out[1], STDOUT_FILENO);
        (void)close(out[0]);
        (void)close(out[1]);
        execl(kChipIdCommand, kChipIdCommand, static_cast<char *>(nullptr));
        _exit(127);
    }
    (void)close(out[1]);
    std::string printed;
    char chunk[256];
    ssize_t got = 0;
    while ((got = read(out[0], chunk, sizeof chunk)) > 0) {
        printed.append(chunk, static_cast<size_t>(got));
    }
    (void)close(out[0]);
    int status = 0;
    (void)waitpid(pid, &status, 0);
    const std::string wanted = "CHIP ID: " + chip_id + "\n";
    check(printed == wanted && WIFEXITED(status) && WEXITSTATUS(status) == 0, name,
          format("printed \"%s\", status 0x%x", printable(printed).c_str(),
                 static_cast<unsigned>(status)));
}

// Without the physical-memory device every read fails: the command still
// prints its line, empty, and exits 0; the query keeps the caller's text.
// Each process logs the two records of the failure. It runs before this
// process writes any record: the command's writes start at the file's
// beginning, and so do this process's after the file is emptied.
void check_identity_without_device() {
    struct stat device {};
    if (stat("/dev/mem", &device) != 0 || unlink("/dev/mem") != 0) {
        check(false, "chipid-without-devmem", format("cannot remove /dev/mem: %s", strerror(errno)));
        return;
    }
    check_chipid_command("chipid-without-devmem", "");
    log_device.expect("chipid-without-devmem-records",
                      {"open /dev/mem failed\n", "SU_Base_GetDevID(): failed\n"});
    (void)log_device.create();

    char id[64] = "ID=";
    const int id_result = SU_Base_GetDevID(id);
    const bool restored = mknod("/dev/mem", device.st_mode, device.st_rdev) == 0;
    check(id_result == -1 && std::string(id) == "ID=" && restored, "devid-without-devmem",
          format("result %d, text \"%s\", device restored: %s", id_result, id,
                 restored ? "yes" : "no"));
    log_device.expect("devid-without-devmem-records",
                      {"open /dev/mem failed\n", "SU_Base_GetDevID(): failed\n"});
}

void check_identity(const std::string &chip_id, const std::string &model) {
    check_chipid_command("chipid-command", chip_id);

    char id[64] = "ID=";
    const int id_result = SU_Base_GetDevID(id);
    check(id_result == 0 && std::string(id) == "ID=" + chip_id, "devid-appends",
          format("result %d, text \"%s\"", id_result, id));

    char version[32] = {};
    const int version_result = SU_Base_GetVersion(version);
    check(version_result == 0 && std::string(version) == "SYSUTILS-1.1.6", "version",
          format("result %d, text \"%s\"", version_result, version));

    char model_text[128];
    memset(model_text, 'x', sizeof model_text);
    model_text[sizeof model_text - 1] = '\0';
    const int model_result = SU_Base_GetModelNumber(model_text);
    check(model_result == 0 && model == model_text, "model",
          format(R"(result %d, text "%s", first line of /proc/cpuinfo "%s")", model_result,
                 model_text, printable(first_line(read_file("/proc/cpuinfo"))).c_str()));

    log_device.expect("identity-no-records", {});
}

// The kernel's own calendar arithmetic: seconds since 1970 and the date of
// the clock, read while the clock stands still.
struct KernelClock {
    std::string epoch;
    std::string date;
    std::string time;
};

KernelClock read_kernel_clock() {
    KernelClock clock;
    for (int attempt = 0; attempt < 5; ++attempt) {
        clock.epoch = rtc_attribute("since_epoch");
        clock.date = rtc_attribute("date");
        clock.time = rtc_attribute("time");
        if (clock.epoch == rtc_attribute("since_epoch")) {
            break;
        }
    }
    return clock;
}

void check_clock() {
    // A leap day, the last second before 2^31, the end of the years every
    // CMOS clock keeps; then a time far from midnight for the alarm checks.
    const SUTime times[] = {{0, 0, 12, 29, 2, 2000},
                            {7, 14, 3, 19, 1, 2038},
                            {50, 59, 23, 31, 12, 2069},
                            {30, 20, 10, 15, 7, 2031}};
    std::string roundtrip;
    std::string calendar;
    for (const SUTime &set : times) {
        const int set_result = SU_Base_SetTime(&set);
        SUTime back{};
        const int get_result = SU_Base_GetTime(&back);
        const long long drift =
            static_cast<long long>(raw_of(back)) - static_cast<long long>(raw_of(set));
        if (set_result != 0 || get_result != 0 || drift < 0 || drift > 5) {
            roundtrip += format("set %s: %d, read %s: %d; ", show(set).c_str(), set_result,
                             show(back).c_str(), get_result);
        }

        const KernelClock kernel = read_kernel_clock();
        const auto raw = static_cast<uint32_t>(strtoul(kernel.epoch.c_str(), nullptr, 10));
        const SUTime kernel_time = time_of(raw);
        if (show(kernel_time) != kernel.date + " " + kernel.time || raw_of(kernel_time) != raw) {
            calendar += format("since_epoch %s gives %s, the kernel says %s %s; ",
                             kernel.epoch.c_str(), show(kernel_time).c_str(),
                             kernel.date.c_str(), kernel.time.c_str());
        }
    }
    check(roundtrip.empty(), "time-roundtrip", roundtrip);
    check(calendar.empty(), "calendar-matches-kernel", calendar);

    const SUTime refused{0, 0, 0, 1, 13, 2031};
    const int refused_result = SU_Base_SetTime(&refused);
    check(refused_result == -1, "time-month-13-refused", format("result %d", refused_result));
    log_device.expect("time-month-13-record", {"IOCTL RTC_SET_TIME fail \n"});

    // The clock device admits one open at a time.
    const int holder = open("/dev/rtc0", O_RDONLY | O_CLOEXEC);
    SUTime busy{};
    const int busy_result = SU_Base_GetTime(&busy);
    (void)close(holder);
    check(holder >= 0 && busy_result == -1, "time-device-busy",
          format("holder %d, result %d", holder, busy_result));
    const std::string busy_message = format("open rtc node fail: %s\n", strerror(EBUSY));
    log_device.expect("time-device-busy-record", {busy_message});
}

void check_alarm() {
    SUTime now{};
    (void)SU_Base_GetTime(&now);
    const SUTime alarm = time_of(raw_of(now) + 3);
    const int set_result = SU_Base_SetAlarm(&alarm);
    SUTime stored{};
    const int get_result = SU_Base_GetAlarm(&stored);
    check(set_result == 0 && get_result == 0 && same(stored, alarm), "alarm-set-read",
          format("set %d, get %d, wanted %s, read %s", set_result, get_result, show(alarm).c_str(),
                 show(stored).c_str()));

    const int enable_result = SU_Base_EnableAlarm();
    check(enable_result == 0, "alarm-enable", format("result %d", enable_result));
    const long long start = now_ms();
    const int wait_result = SU_Base_PollingAlarm(10000);
    const long long waited = now_ms() - start;
    check(wait_result == 0, "alarm-fires", format("result %d after %lld ms", wait_result, waited));
    info(format("alarm set at %s for %s fired after %lld ms", show(now).c_str(),
                show(alarm).c_str(), waited));
    const int disable_result = SU_Base_DisableAlarm();
    check(disable_result == 0, "alarm-disable", format("result %d", disable_result));
    log_device.expect("alarm-cycle-no-records", {});

    errno = 0; // a time-out leaves errno as it was
    const int quiet_result = SU_Base_PollingAlarm(1500);
    check(quiet_result == -1, "alarm-quiet-after-disable", format("result %d", quiet_result));
    const std::string timeout_message = format("select timeout: %s\n", strerror(0));
    log_device.expect("alarm-timeout-record", {timeout_message});

    // The kernel keeps only the time of day of an alarm and moves one that
    // has passed to the next day, so only an alarm at the current second
    // stays at or before the current time. Set it early in a second, and
    // look that it was stored as asked.
    bool stored_as_now = false;
    for (int attempt = 0; attempt < 3 && !stored_as_now; ++attempt) {
        const SUTime second = next_second();
        (void)SU_Base_SetAlarm(&second);
        stored_as_now = SU_Base_GetAlarm(&stored) == 0 && same(stored, second);
    }
    (void)log_device.take_new();
    const int past_result = SU_Base_EnableAlarm();
    check(stored_as_now && past_result == -1, "alarm-not-later-refused",
          format("stored as set: %s, result %d", stored_as_now ? "yes" : "no", past_result));
    log_device.expect("alarm-refused-record", {"Alarm Time Invalid ,forbid to enable alram\n"});
    (void)SU_Base_DisableAlarm();
}

long suspend_successes() {
    const std::string text = read_file("/sys/power/suspend_stats/success");
    return text.empty() ? -1 : strtol(text.c_str(), nullptr, 10);
}

void check_suspend(bool works) {
    if (!works) {
        const int result = SU_Base_Suspend();
        check(result == -1, "suspend-unsupported", format("result %d", result));
        log_device.expect("suspend-unsupported-record", {"Error when suspend\n"});
        return;
    }
    SUTime now{};
    (void)SU_Base_GetTime(&now);
    const SUTime wake = time_of(raw_of(now) + 3);
    const int set_result = SU_Base_SetAlarm(&wake);
    const int enable_result = SU_Base_EnableAlarm();
    const long before = suspend_successes();
    info("suspending until " + show(wake));
    const int result = SU_Base_Suspend();
    const long after = suspend_successes();
    SUTime resumed{};
    (void)SU_Base_GetTime(&resumed);
    (void)SU_Base_DisableAlarm();
    info(format("resumed at %s, suspend successes %ld -> %ld", show(resumed).c_str(), before,
                after));
    check(set_result == 0 && enable_result == 0 && result == 0 && after == before + 1,
          "suspend-and-wake",
          format("set %d, enable %d, suspend %d, successes %ld -> %ld", set_result, enable_result,
                 result, before, after));
    log_device.expect("suspend-no-records", {});
}

int run_main(const std::string &chip_id, const std::string &model, bool suspend_works) {
    if (!log_device.create()) {
        check(false, "log-device", format("cannot create %s: %s", kLogDevice, strerror(errno)));
        return 1;
    }
    check_identity_without_device();
    check_identity(chip_id, model);
    check_clock();
    check_alarm();
    check_suspend(suspend_works);
    emit("DONE");
    return failures == 0 ? 0 : 1;
}

// Init ends this process on its way down, with SIGTERM and then SIGKILL;
// ignoring the first leaves the time to report.
int run_power(const char *name, int (*power_call)()) {
    (void)signal(SIGTERM, SIG_IGN);
    const int result = power_call();
    check(result == 0, name, format("result %d", result));
    emit("DONE");
    for (;;) {
        (void)pause();
    }
}

} // namespace

int main(int argc, char **argv) {
    const std::string scenario = argc > 1 ? argv[1] : "";
    if (scenario == "main" && argc == 5) {
        return run_main(argv[2], argv[3], std::string(argv[4]) == "works");
    }
    if (scenario == "shutdown") {
        return run_power("shutdown-call", SU_Base_Shutdown);
    }
    if (scenario == "reboot") {
        return run_power("reboot-call", SU_Base_Reboot);
    }
    emit("FAIL driver-usage: system_driver main CHIP_ID MODEL works|fails | shutdown | reboot");
    return 2;
}
