// The sysutil command run in-process on the fake platform.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

Result sysutil_run(std::vector<const char *> args) {
    args.insert(args.begin(), "sysutil");
    char *out_buffer = nullptr;
    char *err_buffer = nullptr;
    std::size_t out_size = 0;
    std::size_t err_size = 0;
    std::FILE *out = open_memstream(&out_buffer, &out_size);
    std::FILE *err = open_memstream(&err_buffer, &err_size);
    const int status = sysutil::run(static_cast<int>(args.size()), args.data(), out, err);
    return {status, drain(out, out_buffer, out_size), drain(err, err_buffer, err_size)};
}

bool has_event(const std::string &event) {
    const std::vector<std::string> events = fake::events();
    return std::ranges::find(events, event) != events.end();
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
    ASSERT_TRUE(sysutil::parse_time("2026-12-07T21:30:05", time));
    EXPECT_EQ(time.year, 2026);
    EXPECT_EQ(time.mon, 12);
    EXPECT_EQ(time.mday, 7);
    EXPECT_EQ(time.hour, 21);
    EXPECT_EQ(time.min, 30);
    EXPECT_EQ(time.sec, 5);
    char text[sysutil::kTimeTextSize];
    sysutil::format_time(time, text);
    EXPECT_STREQ(text, "2026-12-07T21:30:05");

    // Out-of-range fields pass, as the module takes them.
    ASSERT_TRUE(sysutil::parse_time("1999-12-31 24:00:00", time));
    EXPECT_EQ(time.hour, 24);

    for (const char *bad : {"", "2026-12-07", "2026-12-07T21:30:5", "2026-12-07X21:30:05",
                            "2026/12/07T21:30:05", "2026-1a-07T21:30:05", "2026-12-07T21:30:050"}) {
        EXPECT_FALSE(sysutil::parse_time(bad, time)) << bad;
    }

    uint32_t value = 0;
    EXPECT_TRUE(sysutil::parse_u32("4294967295", value));
    EXPECT_EQ(value, 4294967295U);
    EXPECT_TRUE(sysutil::parse_u32("0", value));
    EXPECT_EQ(value, 0U);
    for (const char *bad : {"", "4294967296", "99999999999", "-1", "+1", "1e3", "0x10", " 1"}) {
        EXPECT_FALSE(sysutil::parse_u32(bad, value)) << bad;
    }
}

TEST_F(Sysutil, HelpListsEveryCommand) {
    const Result r = sysutil_run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const char *command : {"id", "model", "version", "time get", "time set TIME", "alarm get",
                                "alarm set TIME", "alarm enable", "alarm disable",
                                "alarm wait --timeout MS", "raw2time SECONDS", "time2raw TIME",
                                "suspend --yes", "poweroff --yes", "reboot --yes", "--json"}) {
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
        {{"time"}, "unknown or missing action for time"},
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
    };
    for (const auto &c : cases) {
        const Result r = sysutil_run(c.args);
        const std::string line = c.args.empty() ? "(none)" : c.args.front();
        EXPECT_EQ(r.status, sysutil::kExitUsage) << line;
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
}

TEST_F(Sysutil, ModuleFailuresGoToStderrWithStatusOne) {
    // No device is present: every read fails and the module logs its records.
    const struct {
        std::vector<const char *> args;
        const char *call;
    } cases[] = {
        {{"id"}, "SU_Base_GetDevID() failed (-1), read before the failure: \"\""},
        {{"model"}, "SU_Base_GetModelNumber() failed (-1)"},
        {{"time", "get"}, "SU_Base_GetTime() failed (-1)"},
        {{"time", "set", "2026-12-07T21:30:00"}, "SU_Base_SetTime() failed (-1)"},
        {{"alarm", "get"}, "SU_Base_GetAlarm() failed (-1)"},
        {{"alarm", "set", "2026-12-07T21:30:00"}, "SU_Base_SetAlarm() failed (-1)"},
        {{"alarm", "enable"}, "SU_Base_EnableAlarm() failed (-1)"},
        {{"alarm", "disable"}, "SU_Base_DisableAlarm() failed (-1)"},
        {{"alarm", "wait", "--timeout", "0"}, "SU_Base_PollingAlarm() failed (-1)"},
        {{"suspend", "--yes"}, "SU_Base_Suspend() failed (-1)"},
    };
    for (const auto &c : cases) {
        fake::clear_log();
        const Result r = sysutil_run(c.args);
        EXPECT_EQ(r.status, sysutil::kExitFailure) << c.call;
        EXPECT_EQ(r.out, "") << c.call;
        EXPECT_NE(r.err.find(c.call), std::string::npos) << r.err;
        EXPECT_FALSE(fake::log_entries().empty()) << c.call;
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
    EXPECT_EQ(r.status, sysutil::kExitFailure);
    EXPECT_NE(r.err.find("SU_Base_EnableAlarm() failed (-1)"), std::string::npos);
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

} // namespace
