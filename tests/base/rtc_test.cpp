// SPDX-License-Identifier: MIT
// Real-time clock and alarm against the fake clock device.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "qor_log.h"
#include "su_base.h"

namespace {

SUTime su_time(int32_t year, int32_t mon, int32_t mday, int32_t hour, int32_t min, int32_t sec) {
    return SUTime{sec, min, hour, mday, mon, year};
}

std::array<int32_t, 6> fields(const SUTime &t) { return {t.year, t.mon, t.mday, t.hour, t.min, t.sec}; }

// All nine members, in declaration order.
std::array<int, 9> fields(const rtc_time &t) {
    return {t.tm_sec, t.tm_min, t.tm_hour, t.tm_mday, t.tm_mon, t.tm_year, t.tm_wday, t.tm_yday, t.tm_isdst};
}

// What the driver holds for a calendar date.
rtc_time device_time(int year, int mon, int mday, int hour, int min, int sec) {
    rtc_time t{};
    t.tm_year = year - 1900;
    t.tm_mon = mon - 1;
    t.tm_mday = mday;
    t.tm_hour = hour;
    t.tm_min = min;
    t.tm_sec = sec;
    return t;
}

// A record as logged with the function-name prefix.
std::string record(const std::string &function, const std::string &message) {
    return "[" + function + "]" + message;
}

std::string open_failed(const std::string &function, int err) {
    return record(function, std::string("open rtc node fail: ") + strerror(err) + "\n");
}

// The journal without the kernel-log writes.
std::vector<std::string> rtc_events() { return fake::events(fake::kRtc); }

const std::string kRefused = record("SU_Base_EnableAlarm", "Alarm Time Invalid ,forbid to enable alram\n");

// The fake clock, with the function name in every record so that the tests
// see which function logged it.
class Rtc : public fake::Test {
protected:
    void SetUp() override {
        fake::Test::SetUp();
        fake::use_fake_rtc();
        QOR_Log_Set_Option(QOR_LOG_OPT_FUNC);
    }
    void TearDown() override {
        QOR_Log_Set_Option(0);
        fake::Test::TearDown();
    }
};

TEST_F(Rtc, EveryFailureLogsItsRecordsInnermostFirstAndReturnsMinusOne) {
    struct Injection {
        fake::Call call;
        int nth;
        int err;
    };
    struct Row {
        const char *what;
        int (*call)();
        bool absent;
        std::vector<Injection> injections;
        std::vector<std::string> records;
    };
    static SUTime scratch{};
    const auto get_time = [] { return SU_Base_GetTime(&scratch); };
    const auto set_time = [] { return SU_Base_SetTime(&scratch); };
    const auto set_alarm = [] { return SU_Base_SetAlarm(&scratch); };
    const auto get_alarm = [] { return SU_Base_GetAlarm(&scratch); };
    const auto enable = [] { return SU_Base_EnableAlarm(); };
    const auto disable = [] { return SU_Base_DisableAlarm(); };
    const auto poll_once = [] { return SU_Base_PollingAlarm(10); };
    using fake::Call;
    const std::string get_time_failed = record("time_compare", "SU_Base_GetTime() error\n");
    const std::string get_alarm_failed = record("time_compare", "SU_Base_GetAlarm() error\n");
    // errno before each call; a time-out leaves it as it was.
    constexpr int kEarlierErrno = ETIME;

    const std::vector<Row> rows{
        {"GetTime, no device", get_time, true, {}, {open_failed("SU_Base_GetTime", ENOENT)}},
        {"GetTime, read fails", get_time, false, {{Call::ioctl, 1, EIO}},
         {record("SU_Base_GetTime", "IOCTL RTC_RD_TIME fail \n")}},
        {"SetTime, no device", set_time, true, {}, {open_failed("SU_Base_SetTime", ENOENT)}},
        {"SetTime, set fails", set_time, false, {{Call::ioctl, 1, EINVAL}},
         {record("SU_Base_SetTime", "IOCTL RTC_SET_TIME fail \n")}},
        {"SetAlarm, no device", set_alarm, true, {}, {open_failed("SU_Base_SetAlarm", ENOENT)}},
        {"SetAlarm, set fails", set_alarm, false, {{Call::ioctl, 1, EINVAL}},
         {record("SU_Base_SetAlarm", "IOCTL RTC_ALM_SET fail \n")}},
        {"GetAlarm, no device", get_alarm, true, {}, {open_failed("SU_Base_GetAlarm", ENOENT)}},
        {"GetAlarm, read fails", get_alarm, false, {{Call::ioctl, 1, EIO}},
         {record("SU_Base_GetAlarm", "IOCTL RTC_ALM_READ fail \n")}},
        {"EnableAlarm, no device", enable, true, {},
         {open_failed("SU_Base_GetTime", ENOENT), get_time_failed, kRefused}},
        {"EnableAlarm, clock unreadable", enable, false, {{Call::ioctl, 1, EIO}},
         {record("SU_Base_GetTime", "IOCTL RTC_RD_TIME fail \n"), get_time_failed, kRefused}},
        {"EnableAlarm, alarm not opened", enable, false, {{Call::open, 2, EBUSY}},
         {open_failed("SU_Base_GetAlarm", EBUSY), get_alarm_failed, kRefused}},
        {"EnableAlarm, alarm unreadable", enable, false, {{Call::ioctl, 2, EIO}},
         {record("SU_Base_GetAlarm", "IOCTL RTC_ALM_READ fail \n"), get_alarm_failed, kRefused}},
        {"EnableAlarm, enable not opened", enable, false, {{Call::open, 3, EMFILE}},
         {open_failed("SU_Base_EnableAlarm", EMFILE)}},
        {"EnableAlarm, enable fails", enable, false, {{Call::ioctl, 3, EIO}},
         {record("SU_Base_EnableAlarm", "IOCTL RTC_AIE_ON fail \n")}},
        {"DisableAlarm, no device", disable, true, {}, {open_failed("SU_Base_DisableAlarm", ENOENT)}},
        {"DisableAlarm, disable fails", disable, false, {{Call::ioctl, 1, EIO}},
         {record("SU_Base_DisableAlarm", "IOCTL RTC_AIE_OFF fail \n")}},
        {"PollingAlarm, no device", poll_once, true, {}, {open_failed("SU_Base_PollingAlarm", ENOENT)}},
        {"PollingAlarm, wait fails", poll_once, false, {{Call::wait, 1, EINTR}},
         {record("SU_Base_PollingAlarm", std::string("select error: ") + strerror(EINTR) + "\n")}},
        {"PollingAlarm, time-out", poll_once, false, {},
         {record("SU_Base_PollingAlarm", std::string("select timeout: ") + strerror(kEarlierErrno) + "\n")}},
    };

    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        fake::reset();
        fake::clear_log();
        if (!row.absent) {
            fake::use_fake_rtc();
        }
        // An alarm the check accepts, so that the enable request is reached.
        fake::rtc().clock = device_time(2016, 5, 4, 3, 2, 1);
        fake::rtc().alarm = device_time(2016, 5, 4, 3, 2, 2);
        for (const Injection &injection : row.injections) {
            fake::fail(injection.call, fake::kRtc, injection.err, injection.nth);
        }
        const SUTime before = su_time(1999, 12, 31, 23, 59, 58);
        scratch = before;
        errno = kEarlierErrno;

        EXPECT_EQ(row.call(), -1);
        EXPECT_EQ(fields(scratch), fields(before)); // a failed read leaves the record alone
        EXPECT_EQ(fake::log_messages(), row.records);
        for (const fake::LogEntry &entry : fake::log_entries()) {
            EXPECT_EQ(entry.prio, 6);
            EXPECT_EQ(entry.tag, "base");
        }
        EXPECT_EQ(fake::open_count(fake::kRtc), 0);
        EXPECT_FALSE(fake::rtc().alarm_irq);
    }
}

TEST_F(Rtc, NullRecordIsRefusedSilentlyWithoutOpeningTheDevice) {
    EXPECT_EQ(SU_Base_GetTime(nullptr), -1);
    EXPECT_EQ(SU_Base_SetTime(nullptr), -1);
    EXPECT_EQ(SU_Base_SetAlarm(nullptr), -1);
    EXPECT_EQ(SU_Base_GetAlarm(nullptr), -1);
    EXPECT_TRUE(fake::events().empty());
    EXPECT_TRUE(fake::log_messages().empty());
}

TEST_F(Rtc, ReadingAddsTheEpochsOfYearAndMonth) {
    fake::rtc().clock = rtc_time{1, 2, 3, 4, 4, 116, 6, 200, 1};
    fake::rtc().alarm = rtc_time{1, 2, 3, 4, 4, 116, 6, 200, 1};
    SUTime time{};
    SUTime alarm{};
    EXPECT_EQ(SU_Base_GetTime(&time), 0);
    EXPECT_EQ(SU_Base_GetAlarm(&alarm), 0);
    EXPECT_EQ(fields(time), fields(su_time(2016, 5, 4, 3, 2, 1)));
    EXPECT_EQ(fields(alarm), fields(su_time(2016, 5, 4, 3, 2, 1)));
}

TEST_F(Rtc, SettingPassesTheRecordUncheckedWithZeroedExtraMembers) {
    struct Row {
        SUTime set;
        std::array<int, 9> sent; // sec min hour mday mon year wday yday isdst
    };
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    const std::vector<Row> rows{
        {su_time(1970, 1, 1, 0, 0, 0), {0, 0, 0, 1, 0, 70, 0, 0, 0}},
        {su_time(2016, 5, 4, 3, 2, 1), {1, 2, 3, 4, 4, 116, 0, 0, 0}},
        {su_time(2016, 13, 32, 24, 60, 61), {61, 60, 24, 32, 12, 116, 0, 0, 0}},
        // Plain 32-bit arithmetic: the extremes wrap instead of being refused.
        {su_time(kMin, kMin, -1, kMax, kMax, kMin), {kMin, kMax, kMax, -1, kMax, kMax - 1899, 0, 0, 0}},
    };
    for (const Row &row : rows) {
        for (int (*set)(const SUTime *) : {SU_Base_SetTime, SU_Base_SetAlarm}) {
            SCOPED_TRACE(testing::Message() << "year " << row.set.year << (set == SU_Base_SetTime ? " clock" : " alarm"));
            fake::rtc().last_set = rtc_time{9, 9, 9, 9, 9, 9, 9, 9, 9};
            EXPECT_EQ(set(&row.set), 0);
            EXPECT_EQ(fields(fake::rtc().last_set), row.sent);
            // Read-only even to change the clock.
            EXPECT_EQ(fake::open_flags(fake::kRtc), O_RDONLY);
        }
        // The two directions of the mapping are each other's inverse.
        SUTime time{};
        SUTime alarm{};
        EXPECT_EQ(SU_Base_GetTime(&time), 0);
        EXPECT_EQ(SU_Base_GetAlarm(&alarm), 0);
        EXPECT_EQ(fields(time), fields(row.set));
        EXPECT_EQ(fields(alarm), fields(row.set));
    }
    // Storing the alarm time leaves the interrupt alone.
    EXPECT_FALSE(fake::rtc().alarm_irq);
    EXPECT_TRUE(fake::log_messages().empty());
}

TEST_F(Rtc, EnableAcceptsOnlyAnAlarmStrictlyAfterTheClock) {
    struct Row {
        rtc_time clock;
        rtc_time alarm;
        bool accepted;
    };
    const std::vector<Row> rows{
        {device_time(2016, 5, 4, 3, 2, 1), device_time(2016, 5, 4, 3, 2, 1), false},
        {device_time(2016, 5, 4, 3, 2, 1), device_time(2016, 5, 4, 3, 2, 2), true},
        {device_time(2016, 12, 31, 23, 59, 59), device_time(2017, 1, 1, 0, 0, 0), true},
        {device_time(2016, 5, 4, 3, 2, 0), device_time(2016, 5, 4, 3, 1, 59), false},
        {device_time(2017, 1, 1, 0, 0, 0), device_time(2016, 12, 31, 23, 59, 59), false},
        {device_time(2016, 5, 4, 3, 2, 1), device_time(2016, 6, 1, 0, 0, 0), true},
        // Fields are compared as they are, not normalised.
        {device_time(2016, 5, 4, 3, 2, 1), device_time(2016, 5, 4, 3, 1, 120), false},
    };
    const std::vector<std::string> check{
        "open /dev/rtc0",  "ioctl /dev/rtc0 RTC_RD_TIME",  "close /dev/rtc0",
        "open /dev/rtc0",  "ioctl /dev/rtc0 RTC_ALM_READ", "close /dev/rtc0",
    };
    std::vector<std::string> enabled = check;
    enabled.insert(enabled.end(), {"open /dev/rtc0", "ioctl /dev/rtc0 RTC_AIE_ON", "close /dev/rtc0"});

    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "alarm " << row.alarm.tm_year + 1900 << "-" << row.alarm.tm_mon + 1 << "-"
                                        << row.alarm.tm_mday << " " << row.alarm.tm_hour << ":"
                                        << row.alarm.tm_min << ":" << row.alarm.tm_sec);
        fake::clear_events();
        fake::clear_log();
        fake::rtc().alarm_irq = false;
        fake::rtc().clock = row.clock;
        fake::rtc().alarm = row.alarm;

        EXPECT_EQ(SU_Base_EnableAlarm(), row.accepted ? 0 : -1);
        EXPECT_EQ(fake::rtc().alarm_irq, row.accepted);
        // One descriptor at a time, and none for the enable after a refusal.
        EXPECT_EQ(rtc_events(), row.accepted ? enabled : check);
        EXPECT_EQ(fake::log_messages(), row.accepted ? std::vector<std::string>{} : std::vector{kRefused});
    }
}

TEST_F(Rtc, DisableSwitchesTheInterruptOffWithoutAnyCheck) {
    fake::rtc().clock = device_time(2016, 5, 4, 3, 2, 1);
    fake::rtc().alarm = device_time(2000, 1, 1, 0, 0, 0);
    for (const bool on : {true, false}) {
        fake::rtc().alarm_irq = on;
        fake::clear_events();
        EXPECT_EQ(SU_Base_DisableAlarm(), 0);
        EXPECT_FALSE(fake::rtc().alarm_irq);
        EXPECT_EQ(rtc_events(),
                  (std::vector<std::string>{"open /dev/rtc0", "ioctl /dev/rtc0 RTC_AIE_OFF", "close /dev/rtc0"}));
    }
    EXPECT_EQ(fake::open_flags(fake::kRtc), O_RDONLY);
}

TEST_F(Rtc, PollingSplitsTheTimeOutIntoSecondsAndTheRestWithoutTruncating) {
    struct Row {
        uint32_t timeout_ms;
        long long sec;
        long long nsec;
    };
    const std::vector<Row> rows{
        {0, 0, 0}, {1500, 1, 500000000}, {2500, 2, 500000000}, {999, 0, 999000000},
        {4294967295U, 4294967, 295000000},
    };
    fake::rtc().readable = true;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.timeout_ms);
        fake::rtc().waited = false;
        EXPECT_EQ(SU_Base_PollingAlarm(row.timeout_ms), 0);
        EXPECT_TRUE(fake::rtc().waited);
        EXPECT_EQ(fake::rtc().wait_timeout.tv_sec, row.sec);
        EXPECT_EQ(fake::rtc().wait_timeout.tv_nsec, row.nsec);
    }
    EXPECT_TRUE(fake::log_messages().empty());
}

// select could not watch such a descriptor at all.
TEST_F(Rtc, PollingWorksWithADescriptorAbove1023) {
    constexpr rlim_t kNeeded = 1600;
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < kNeeded) {
        GTEST_SKIP() << "hard descriptor limit " << limit.rlim_max << " is too low";
    }
    const rlimit saved = limit;
    limit.rlim_cur = std::max(limit.rlim_cur, kNeeded);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);

    fake::rtc().min_fd = 1500;
    fake::rtc().readable = true;
    EXPECT_EQ(SU_Base_PollingAlarm(100), 0);
    fake::rtc().readable = false;
    EXPECT_EQ(SU_Base_PollingAlarm(0), -1);
    EXPECT_TRUE(fake::rtc().waited);
    ASSERT_EQ(fake::log_messages().size(), 1U);
    EXPECT_EQ(fake::log_messages()[0].rfind("[SU_Base_PollingAlarm]select timeout: ", 0), 0U);

    EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
}

} // namespace
