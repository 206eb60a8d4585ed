// SPDX-License-Identifier: MIT
// The sysutil command run in-process on the fake platform.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "sysutil.h"

namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

std::string drain(std::FILE *stream, char *&buffer, std::size_t &size) {
    (void)std::fclose(stream);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

// Standard output is a memory stream unless the test gives a stream of its
// own, which it then closes itself.
Result sysutil_run(std::vector<const char *> args, std::FILE *given_out = nullptr) {
    args.insert(args.begin(), "sysutil");
    char *out_buffer = nullptr;
    char *err_buffer = nullptr;
    std::size_t out_size = 0;
    std::size_t err_size = 0;
    std::FILE *out = given_out != nullptr ? given_out : open_memstream(&out_buffer, &out_size);
    std::FILE *err = open_memstream(&err_buffer, &err_size);
    const int status = sysutils::run_sysutil(static_cast<int>(args.size()), args.data(), out, err);
    const std::string out_text = given_out != nullptr ? "" : drain(out, out_buffer, out_size);
    return {status, out_text, drain(err, err_buffer, err_size)};
}

// One kernel-log entry as the device returns it: the driver's 20-byte header
// in host byte order, then the payload.
std::string log_entry(int32_t sec, int32_t nsec, const std::string &payload) {
    struct {
        uint16_t len;
        uint16_t pad;
        int32_t pid;
        int32_t tid;
        int32_t sec;
        int32_t nsec;
    } header{static_cast<uint16_t>(payload.size()), 0, 42, 43, sec, nsec};
    static_assert(sizeof header == 20);
    return std::string(reinterpret_cast<const char *>(&header), sizeof header) + payload;
}

std::string text_payload(char priority, const std::string &tag, const std::string &message) {
    return std::string(1, priority) + tag + '\0' + message + '\0';
}

bool has_event(const std::string &event) {
    const std::vector<std::string> events = fake::events();
    return std::ranges::find(events, event) != events.end();
}

// Standard output of `log --follow`: its first write rotates the followed
// file (truncated, then rewritten shorter); once it has shown `expected_size`
// bytes it fails as a closed pipe does, which ends the follower.
struct Rotation {
    std::string rewritten;
    std::size_t expected_size;
    std::string shown;
};

std::FILE *rotating_output(Rotation &rotation) {
    cookie_io_functions_t io{};
    io.write = [](void *cookie, const char *data, std::size_t size) -> ssize_t {
        auto &r = *static_cast<Rotation *>(cookie);
        if (r.shown.size() < r.expected_size) {
            r.shown.append(data, size);
            if (!r.rewritten.empty()) {
                (void)fake::scratch_file("followed", std::exchange(r.rewritten, ""));
            }
        }
        errno = EPIPE;
        return r.shown.size() < r.expected_size ? static_cast<ssize_t>(size) : -1;
    };
    return fopencookie(&rotation, "w", io);
}

// 2016-05-04 03:02:01 in the clock's structure.
struct rtc_time may_4_2016() {
    struct rtc_time time {};
    time.tm_sec = 1;
    time.tm_min = 2;
    time.tm_hour = 3;
    time.tm_mday = 4;
    time.tm_mon = 4;
    time.tm_year = 116;
    return time;
}

class Sysutil : public fake::Test {};

TEST_F(Sysutil, ParsesAndFormatsTimesAndNumbers) {
    SUTime time{};
    ASSERT_TRUE(sysutils::parse_time("2026-12-07T21:30:05", time));
    EXPECT_EQ(time.year, 2026);
    EXPECT_EQ(time.mon, 12);
    EXPECT_EQ(time.mday, 7);
    EXPECT_EQ(time.hour, 21);
    EXPECT_EQ(time.min, 30);
    EXPECT_EQ(time.sec, 5);
    char text[sysutils::kTimeTextSize];
    sysutils::format_time(time, text);
    EXPECT_STREQ(text, "2026-12-07T21:30:05");

    // Out-of-range fields pass, as the module takes them.
    ASSERT_TRUE(sysutils::parse_time("1999-12-31 24:00:00", time));
    EXPECT_EQ(time.hour, 24);

    for (const char *bad : {"", "2026-12-07", "2026-12-07T21:30:5", "2026-12-07X21:30:05",
                            "2026/12/07T21:30:05", "2026-1a-07T21:30:05", "2026-12-07T21:30:050"}) {
        EXPECT_FALSE(sysutils::parse_time(bad, time)) << bad;
    }

    uint32_t value = 0;
    EXPECT_TRUE(sysutils::parse_u32("4294967295", value));
    EXPECT_EQ(value, 4294967295U);
    EXPECT_TRUE(sysutils::parse_u32("0", value));
    EXPECT_EQ(value, 0U);
    for (const char *bad : {"", "4294967296", "99999999999", "-1", "+1", "1e3", "0x10", " 1"}) {
        EXPECT_FALSE(sysutils::parse_u32(bad, value)) << bad;
    }
}

TEST_F(Sysutil, HelpListsEveryCommand) {
    const Result r = sysutil_run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const char *command : {"id", "model", "version", "time get", "time set TIME", "alarm get",
                                "alarm set TIME", "alarm enable", "alarm disable",
                                "alarm wait --timeout MS", "raw2time SECONDS", "time2raw TIME",
                                "suspend --yes", "poweroff --yes", "reboot --yes", "--json",
                                "log [--file PATH] [--follow] [--tag TAG]", "--version"}) {
        EXPECT_NE(r.out.find(command), std::string::npos) << command;
    }
}

TEST_F(Sysutil, RejectsBadCommandLinesAndUnconfirmedPowerCommandsWithoutTouchingDevices) {
    const struct {
        std::vector<const char *> args;
        const char *complaint;
    } cases[] = {
        {{}, "no command given"},
        {{"frob"}, "unknown command frob"},
        {{"time"}, "unknown or missing action for time (get, set)"},
        {{"alarm", "ring"}, "unknown or missing action for alarm"},
        {{"time", "set"}, "missing argument for time"},
        {{"version", "now"}, "too many arguments for version"},
        {{"time", "set", "2026-13-7"}, "not a time in the form YYYY-MM-DDTHH:MM:SS: 2026-13-7"},
        {{"raw2time", "4294967296"}, "not a number of seconds"},
        {{"raw2time", "-1"}, "unknown option -1"},
        {{"alarm", "wait"}, "alarm wait needs --timeout MS"},
        {{"alarm", "wait", "--timeout"}, "--timeout needs a number"},
        {{"alarm", "wait", "--timeout", "soon"}, "not a number of milliseconds"},
        {{"id", "--yes"}, "--yes is only for suspend, poweroff and reboot"},
        {{"version", "--timeout=5"}, "--timeout is only for alarm wait"},
        {{"suspend"}, "suspend stops this device; refused without --yes"},
        {{"poweroff"}, "poweroff stops this device; refused without --yes"},
        {{"reboot", "--json"}, "reboot stops this device; refused without --yes"},
        {{"log", "--file"}, "--file needs a path"},
        {{"id", "--follow"}, "--file, --follow and --tag are only for log"},
    };
    for (const auto &c : cases) {
        const Result r = sysutil_run(c.args);
        const std::string line = c.args.empty() ? "(none)" : c.args.front();
        EXPECT_EQ(r.status, sysutils::kExitUsage) << line;
        EXPECT_NE(r.err.find(c.complaint), std::string::npos) << line << ": " << r.err;
        EXPECT_EQ(r.out, "") << line;
    }
    EXPECT_TRUE(fake::events().empty());
    EXPECT_TRUE(fake::log_entries().empty());
}

TEST_F(Sysutil, ConvertsCalendarTimesBothWays) {
    const struct {
        std::vector<const char *> args;
        const char *out;
    } cases[] = {
        {{"raw2time", "0"}, "time: 1970-01-01T00:00:00\n"},
        {{"raw2time", "978307199"}, "time: 2000-12-31T23:59:59\n"},
        {{"raw2time", "4294967295"}, "time: 2106-02-07T06:28:15\n"},
        {{"time2raw", "2000-02-29T23:59:59"}, "raw: 951868799\n"},
        {{"time2raw", "2016-03-00 00:00:00"}, "raw: 1456704000\n"},
        {{"time2raw", "1969-12-31T23:59:59"}, "raw: 4294967295\n"},
        {{"--json", "raw2time", "2147483648"}, "{\"time\": \"2038-01-19T03:14:08\"}\n"},
        {{"time2raw", "--json", "1970-01-01T00:00:00"}, "{\"raw\": 0}\n"},
    };
    for (const auto &c : cases) {
        const Result r = sysutil_run(c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
}

TEST_F(Sysutil, ReportsIdentity) {
    fake::redirect(fake::kCpuInfo,
                   fake::scratch_file("cpuinfo", "system type\t\t: Board \"7\"\tA\nprocessor\t: 0\n"));
    Result r = sysutil_run({"model"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "model: Board \"7\"\tA\n");
    r = sysutil_run({"model", "--json"});
    EXPECT_EQ(r.out, "{\"model\": \"Board \\\"7\\\"\\u0009A\"}\n");

    r = sysutil_run({"version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "version: SYSUTILS-" SYSUTILS_TEST_VERSION "\n");

    r = sysutil_run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "sysutil " SYSUTILS_TEST_VERSION "\n");
}

TEST_F(Sysutil, ModuleFailuresNameTheirCauseOnStderrWithStatusOne) {
    // With the devices absent and process 1 out of reach, and with a clock
    // that refuses the request as a regular file does: the module's records
    // of the call, then the call, its device and the system's error.
    const struct {
        bool rtc_refuses_requests;
        std::vector<const char *> args;
        const char *err;
    } cases[] = {
        {false, {"id"},
         "sysutil: id: open /dev/mem failed\n"
         "sysutil: id: SU_Base_GetDevID(): failed\n"
         "sysutil: id: SU_Base_GetDevID() failed: /dev/mem: No such file or directory\n"},
        {false, {"model"},
         "sysutil: model: Get Model Number Error\n"
         "sysutil: model: SU_Base_GetModelNumber() failed: /proc/cpuinfo: No such file or directory\n"},
        {false, {"time", "get"},
         "sysutil: time get: open rtc node fail: No such file or directory\n"
         "sysutil: time get: SU_Base_GetTime() failed: /dev/rtc0: No such file or directory\n"},
        {false, {"alarm", "wait", "--timeout", "0"},
         "sysutil: alarm wait: open rtc node fail: No such file or directory\n"
         "sysutil: alarm wait: SU_Base_PollingAlarm() failed: /dev/rtc0: No such file or directory\n"},
        {true, {"time", "get"},
         "sysutil: time get: IOCTL RTC_RD_TIME fail \n"
         "sysutil: time get: SU_Base_GetTime() failed: /dev/rtc0: Inappropriate ioctl for device\n"},
        {true, {"alarm", "set", "2026-12-07T21:30:00"},
         "sysutil: alarm set: IOCTL RTC_ALM_SET fail \n"
         "sysutil: alarm set: SU_Base_SetAlarm() failed: /dev/rtc0: Inappropriate ioctl for device\n"},
        {false, {"poweroff", "--yes"},
         "sysutil: poweroff: kill(1, SIGUSR2) failed: Operation not permitted\n"
         "sysutil: poweroff: SU_Base_Shutdown() failed: init (process 1): Operation not permitted\n"},
    };
    for (const auto &c : cases) {
        fake::reset();
        fake::fail_always(fake::Call::kill, {}, EPERM);
        if (c.rtc_refuses_requests) {
            fake::use_fake_rtc();
            fake::fail_always(fake::Call::ioctl, fake::kRtc, ENOTTY);
        }
        fake::clear_log();
        const Result r = sysutil_run(c.args);
        EXPECT_EQ(r.status, sysutils::kExitFailure) << c.err;
        EXPECT_EQ(r.out, "") << c.err;
        EXPECT_EQ(r.err, c.err);
        // The records still reach the kernel log.
        EXPECT_FALSE(fake::log_entries().empty()) << c.err;
    }
}

TEST_F(Sysutil, WriteErrorsOnStandardOutputFail) {
    for (const std::vector<const char *> &args :
         {std::vector<const char *>{"raw2time", "0"}, std::vector<const char *>{"--help"}}) {
        std::FILE *full = std::fopen("/dev/full", "w");
        ASSERT_NE(full, nullptr);
        const Result r = sysutil_run(args, full);
        (void)std::fclose(full);
        EXPECT_EQ(r.status, sysutils::kExitFailure) << args.front();
        EXPECT_EQ(r.err, "sysutil: write error: No space left on device\n") << args.front();
    }
}

TEST_F(Sysutil, DrivesTheClockAndAlarm) {
    fake::use_fake_rtc();
    fake::rtc().clock = may_4_2016();
    Result r = sysutil_run({"time", "get"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "time: 2016-05-04T03:02:01\n");

    r = sysutil_run({"alarm", "set", "2016-05-04T03:02:02"});
    EXPECT_EQ(r.out, "alarm: 2016-05-04T03:02:02\n");
    EXPECT_EQ(fake::rtc().alarm.tm_mon, 4);
    EXPECT_EQ(fake::rtc().alarm.tm_year, 116);
    r = sysutil_run({"--json", "alarm", "get"});
    EXPECT_EQ(r.out, "{\"alarm\": \"2016-05-04T03:02:02\"}\n");

    r = sysutil_run({"alarm", "enable"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "alarm_irq: on\n");
    EXPECT_TRUE(fake::rtc().alarm_irq);

    fake::rtc().readable = true;
    r = sysutil_run({"alarm", "wait", "--timeout=1500"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "alarm_event: ready\n");
    EXPECT_EQ(fake::rtc().wait_timeout.tv_sec, 1);
    EXPECT_EQ(fake::rtc().wait_timeout.tv_nsec, 500000000);

    r = sysutil_run({"alarm", "disable"});
    EXPECT_EQ(r.out, "alarm_irq: off\n");
    EXPECT_FALSE(fake::rtc().alarm_irq);

    r = sysutil_run({"time", "set", "1970-01-01T00:00:00"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "time: 1970-01-01T00:00:00\n");
    EXPECT_EQ(fake::rtc().last_set.tm_year, 70);
    EXPECT_EQ(fake::rtc().last_set.tm_mon, 0);
    EXPECT_EQ(fake::rtc().last_set.tm_mday, 1);
}

TEST_F(Sysutil, AlarmNotAfterTheClockIsRefused) {
    fake::use_fake_rtc();
    fake::rtc().clock = may_4_2016();
    fake::rtc().alarm = fake::rtc().clock;
    const Result r = sysutil_run({"alarm", "enable"});
    EXPECT_EQ(r.status, sysutils::kExitFailure);
    // No system call failed: the records alone say why.
    EXPECT_EQ(r.err, "sysutil: alarm enable: Alarm Time Invalid ,forbid to enable alram\n"
                     "sysutil: alarm enable: SU_Base_EnableAlarm() failed\n");
    EXPECT_FALSE(fake::rtc().alarm_irq);
}

// Confirmed power commands, on the fake platform only: its kill never reaches
// a real init and "/sys/power/state" is a scratch file.
TEST_F(Sysutil, ConfirmedPowerCommandsReachTheModule) {
    Result r = sysutil_run({"poweroff", "--yes"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "poweroff: requested\n");
    EXPECT_TRUE(has_event("kill 1 " + std::to_string(SIGUSR2)));

    fake::clear_events();
    r = sysutil_run({"--yes", "reboot"});
    EXPECT_EQ(r.out, "reboot: requested\n");
    EXPECT_TRUE(has_event("kill 1 " + std::to_string(SIGTERM)));

    fake::redirect(fake::kPowerState, fake::scratch_file("state", ""));
    r = sysutil_run({"suspend", "--yes", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"suspend\": \"resumed\"}\n");
    EXPECT_TRUE(has_event("write /sys/power/state mem"));
}

TEST_F(Sysutil, LogPrintsEntriesInThreadtimeLayout) {
    ASSERT_EQ(setenv("TZ", "UTC", 1), 0);
    tzset();
    constexpr int32_t kDec7 = 1796679000; // 2026-12-07 21:30:00 UTC
    const std::string failure =
        log_entry(kDec7, 123456789, text_payload(6, "base", "open rtc node fail: No such file\n"));
    const std::string entries =
        failure + log_entry(kDec7 + 1, 5000000, text_payload(4, "app", "first\nsecond\n")) +
        log_entry(kDec7 + 2, 0, std::string("\x07\0\0\0" "abc", 7)) +     // event, tag 7
        log_entry(kDec7 + 2, 0, std::string("\x09x\0y\0", 5)) +            // priority past 8
        log_entry(kDec7 + 2, 0, std::string("\x04x\0y\0z", 6)) +           // bytes after the message
        log_entry(kDec7 + 2, 0, "ab") +                                        // shorter than a tag
        log_entry(kDec7 + 3, 999999999, text_payload(1, "odd", "no newline"));
    const std::string all = fake::scratch_file("log", entries);
    const std::string truncated = fake::scratch_file("cut", failure + failure.substr(0, 30));
    const std::string missing = fake::scratch_path("absent");
    // Lying nanoseconds, a forged line in a tag, control characters, bytes
    // that are not UTF-8.
    const std::string hostile = fake::scratch_file(
        "hostile",
        log_entry(kDec7, INT32_MAX, text_payload(4, "app", "n")) +
            log_entry(kDec7, -5000000, text_payload(4, "app", "n")) +
            log_entry(kDec7, 0, text_payload(6, "tag\n12-07 21:30:00.000 1 1 E init", "\x1b[2J\rx\ty\x7f\xc2\x9b")) +
            log_entry(kDec7, 0, text_payload(6, "ba\xff\xfese", "bad \xc3\x28 \xed\xa0\x80 ok \xc3\xa9")));
    const std::string followed = fake::scratch_file("followed", failure);

    const struct {
        std::vector<const char *> args;
        int status;
        std::string out;
        std::string err;
        std::string rotated = {}; // the followed file after its first entries are shown
    } cases[] = {
        {{"log", "--file", all.c_str()},
         0,
         "12-07 21:30:00.123    42    43 E base: open rtc node fail: No such file\n"
         "12-07 21:30:01.005    42    43 I app: first\n"
         "12-07 21:30:01.005    42    43 I app: second\n"
         "12-07 21:30:02.000    42    43 I 7: event, 3 bytes\n"
         "12-07 21:30:02.000    42    43 I 2030073865: event, 1 byte\n"
         "12-07 21:30:02.000    42    43 I 2030073860: event, 2 bytes\n"
         "12-07 21:30:02.000    42    43 I ?: event, 2 bytes\n"
         "12-07 21:30:03.999    42    43 ? odd: no newline\n",
         ""},
        {{"log", "--tag=app", "--file", all.c_str()},
         0,
         "12-07 21:30:01.005    42    43 I app: first\n"
         "12-07 21:30:01.005    42    43 I app: second\n",
         ""},
        {{"--json", "log", "--tag", "base", "--file", all.c_str()},
         0,
         "{\"time\": \"12-07 21:30:00.123\", \"pid\": 42, \"tid\": 43, \"priority\": \"E\", "
         "\"tag\": \"base\", \"message\": \"open rtc node fail: No such file\"}\n",
         ""},
        {{"log", "--file", truncated.c_str()},
         1,
         "12-07 21:30:00.123    42    43 E base: open rtc node fail: No such file\n",
         "sysutil: log: " + truncated + ": truncated entry at byte " +
             std::to_string(failure.size()) + "\n"},
        {{"log", "--file", missing.c_str()},
         1,
         "",
         "sysutil: log: " + missing + ": No such file or directory\n"},
        {{"log", "--file", hostile.c_str()},
         0,
         "12-07 21:30:00.???    42    43 I app: n\n"
         "12-07 21:30:00.???    42    43 I app: n\n"
         "12-07 21:30:00.000    42    43 E tag\\x0a12-07 21:30:00.000 1 1 E init: "
         "\\x1b[2J\\x0dx\ty\\x7f\\xc2\\x9b\n"
         "12-07 21:30:00.000    42    43 E ba\\xff\\xfese: bad \\xc3( \\xed\\xa0\\x80 ok \xc3\xa9\n",
         ""},
        {{"--json", "log", "--tag", "ba\xff\xfese", "--file", hostile.c_str()},
         0,
         "{\"time\": \"12-07 21:30:00.000\", \"pid\": 42, \"tid\": 43, \"priority\": \"E\", \"tag\": "
         "\"ba\\ufffd\\ufffdse\", \"message\": \"bad \\ufffd( \\ufffd\\ufffd\\ufffd ok \xc3\xa9\"}\n",
         ""},
        {{"log", "--follow", "--file", followed.c_str()},
         1,
         "12-07 21:30:00.123    42    43 E base: open rtc node fail: No such file\n"
         "12-07 21:30:09.000    42    43 I app: rotated\n",
         "sysutil: log: " + followed + ": truncated; reading it again from its start\n"
         "sysutil: write error: Broken pipe\n",
         log_entry(kDec7 + 9, 0, text_payload(4, "app", "rotated"))},
    };
    alarm(30); // a follower that misses the rotation would wait for ever
    for (const auto &c : cases) {
        Rotation rotation{c.rotated, c.out.size(), ""};
        std::FILE *rotating = c.rotated.empty() ? nullptr : rotating_output(rotation);
        Result r = sysutil_run(c.args, rotating);
        if (rotating != nullptr) {
            (void)std::fclose(rotating);
            r.out = rotation.shown;
        }
        EXPECT_EQ(r.status, c.status) << c.args.back();
        EXPECT_EQ(r.out, c.out) << c.args.back();
        EXPECT_EQ(r.err, c.err) << c.args.back();
    }
    alarm(0);
}

} // namespace
