/* SPDX-License-Identifier: MIT */
// Fake platform for the tests: the C library calls that the modules make on
// their devices are interposed in the test executables, so no test reaches
// the machine's real devices.
//
// Every device path the modules use is virtual here: absent (ENOENT) until a
// test redirects it to a file of its own or to the fake real-time clock.
// "/dev/log_main" starts redirected to a scratch file that collects the
// kernel-log entries. Failures can be injected per call and per device.
// Signals to process 1 are recorded and only delivered where the test process
// is itself process 1 of its own PID namespace.
#ifndef SYSUTILS_TESTS_FAKE_PLATFORM_H
#define SYSUTILS_TESTS_FAKE_PLATFORM_H

#include <linux/rtc.h>
#include <time.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace fake {

inline constexpr std::string_view kDevMem = "/dev/mem";
inline constexpr std::string_view kRtc = "/dev/rtc0";
inline constexpr std::string_view kLogMain = "/dev/log_main";
inline constexpr std::string_view kCpuInfo = "/proc/cpuinfo";
inline constexpr std::string_view kPowerState = "/sys/power/state";

// Path of a file in this process's scratch directory.
std::string scratch_path(std::string_view name);
// Writes a scratch file and returns its path.
std::string scratch_file(std::string_view name, std::string_view contents);

// open, fopen and access of the device go to the given real file instead.
void redirect(std::string_view device, const std::string &file);
// The device is absent again: ENOENT.
void remove_device(std::string_view device);
// The device is the fake real-time clock below.
void use_fake_rtc();

enum class Call { open, close, mmap, munmap, ioctl, wait, read, write, writev, kill };
// The nth next call (1 for the next one) of `call` on `device` fails with err.
// For kill, the device is ignored.
void fail(Call call, std::string_view device, int err, int nth = 1);
// Every call of `call` on `device` fails with err, until reset.
void fail_always(Call call, std::string_view device, int err);

// Journal of what the module did to the devices, in order: "open /dev/rtc0",
// "close /dev/rtc0", "ioctl /dev/rtc0 RTC_AIE_ON", "write /sys/power/state mem",
// "sync", "kill 1 12".
std::vector<std::string> events();
// The journal's entries about one device only.
std::vector<std::string> events(std::string_view device);
void clear_events();
// How many descriptors of the device are open now.
int open_count(std::string_view device);
// The flags of the last successful open of the device, -1 before any.
int open_flags(std::string_view device);

// Writes made to the device after the open, whatever the call that made them,
// block for this long first (0: none); lets tests widen race windows.
void set_write_delay_ms(std::string_view device, int ms);
// While held, writes to the device wait (in a cancellation point) until the
// hold is released: a destination that stalls.
void hold_writes(std::string_view device, bool held);
// How many writes to the device wait on a hold now.
int held_writes(std::string_view device);

// Kernel-log entries written since the last clear.
struct LogEntry {
    int prio;
    std::string tag;
    std::string msg;
    bool operator==(const LogEntry &) const = default;
};
std::vector<LogEntry> log_entries();
std::vector<std::string> log_messages();
std::string log_bytes();
void clear_log();

// The fake real-time clock behind "/dev/rtc0" after use_fake_rtc().
struct Rtc {
    struct rtc_time clock {};
    struct rtc_time alarm {};
    struct rtc_time last_set {}; // the structure of the last RTC_SET_TIME or RTC_ALM_SET
    bool alarm_irq = false;
    bool readable = false;          // a wait finds the device readable
    int min_fd = 0;                 // descriptors of the device are at least this
    bool waited = false;            // a wait happened
    struct timespec wait_timeout {}; // the time-out it was given
};
Rtc &rtc();

// Forgets redirects, injections, the journal and the clock; keeps the log.
void reset();

// Number of descriptors open in this process.
int open_descriptors();

// Base fixture: a clean fake platform and log for each test, and a check
// that the test left no descriptor open.
class Test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    int descriptors_before_ = 0;
};

} // namespace fake

#endif // SYSUTILS_TESTS_FAKE_PLATFORM_H
