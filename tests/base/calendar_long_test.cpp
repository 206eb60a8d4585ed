// SPDX-License-Identifier: MIT
// Every raw time, 0 to 2^32 - 1 (on an emulated target, a sample of every
// day): its record is the C library's UTC calendar time and converts back to
// the same raw time. Two threads share the days.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "su_base.h"
#include "sutime_text.h"

namespace {

constexpr uint32_t kSecondsPerMinute = 60;
constexpr uint32_t kSecondsPerDay = 86400;
constexpr uint32_t kLastRaw = std::numeric_limits<uint32_t>::max();
constexpr uint32_t kLastDay = kLastRaw / kSecondsPerDay;

using fake::text;

bool same(const SUTime &a, const SUTime &b) {
    return a.year == b.year && a.mon == b.mon && a.mday == b.mday && a.hour == b.hour &&
           a.min == b.min && a.sec == b.sec;
}

struct Outcome {
    uint32_t days_anchored = 0;   // date taken from the C library
    uint32_t days_unanchored = 0; // beyond time_t: date only held constant
    std::string failure;          // first wrong value, empty if none
};

// Midnight of the day in the C library's UTC calendar, if time_t can hold it.
bool library_midnight(uint32_t day, SUTime *midnight) {
    const uint64_t seconds = static_cast<uint64_t>(day) * kSecondsPerDay;
    if (seconds > static_cast<uint64_t>(std::numeric_limits<time_t>::max())) {
        return false;
    }
    const auto t = static_cast<time_t>(seconds);
    struct tm calendar {};
    if (gmtime_r(&t, &calendar) == nullptr) {
        return false;
    }
    *midnight = SUTime{};
    midnight->year = calendar.tm_year + 1900;
    midnight->mon = calendar.tm_mon + 1;
    midnight->mday = calendar.tm_mday;
    return true;
}

// The seconds checked in each day: every one on the host; on an emulated
// target, the first and last of the day and every kSecondStride-th.
#ifndef SYSUTILS_CALENDAR_SECOND_STRIDE
#define SYSUTILS_CALENDAR_SECOND_STRIDE 1
#endif
constexpr uint32_t kSecondStride = SYSUTILS_CALENDAR_SECOND_STRIDE;

// Checks the seconds of the days first_day to last_day.
Outcome check_days(uint32_t first_day, uint32_t last_day) {
    Outcome outcome;
    for (uint32_t day = first_day; day <= last_day; ++day) {
        const uint32_t midnight = day * kSecondsPerDay;
        SUTime date{};
        if (library_midnight(day, &date)) {
            ++outcome.days_anchored;
        } else {
            SU_Base_Raw2SUTime(&midnight, &date);
            ++outcome.days_unanchored;
        }
        const uint32_t last_second = day == kLastDay ? kLastRaw - midnight : kSecondsPerDay - 1U;
        for (uint32_t second = 0;; second += kSecondStride) {
            second = second < last_second ? second : last_second;
            const uint32_t raw = midnight + second;
            SUTime expected = date;
            expected.hour = static_cast<int32_t>(second / 3600U);
            expected.min = static_cast<int32_t>(second % 3600U / kSecondsPerMinute);
            expected.sec = static_cast<int32_t>(second % kSecondsPerMinute);
            SUTime record{};
            uint32_t back = 0;
            if (SU_Base_Raw2SUTime(&raw, &record) != 0 || SU_Base_SUTime2Raw(&record, &back) != 0 ||
                !same(record, expected) || back != raw) {
                outcome.failure = "raw " + std::to_string(raw) + ": got " + text(record) +
                                  ", expected " + text(expected) + ", back " +
                                  std::to_string(back);
                return outcome;
            }
            if (second == last_second) {
                break;
            }
        }
    }
    return outcome;
}

TEST(CalendarExhaustive, EveryRawTimeMatchesTheCLibraryAndRoundTrips) {
    const uint32_t half = kLastDay / 2U;
    Outcome first;
    Outcome second;
    std::thread worker([&] { second = check_days(half + 1U, kLastDay); });
    first = check_days(0, half);
    worker.join();

    EXPECT_EQ(first.failure, "");
    EXPECT_EQ(second.failure, "");
    if (first.failure.empty() && second.failure.empty()) {
        EXPECT_EQ(first.days_anchored + first.days_unanchored + second.days_anchored +
                      second.days_unanchored,
                  kLastDay + 1U);
    }
    std::printf("days checked against the C library: %u, beyond time_t: %u\n",
                first.days_anchored + second.days_anchored,
                first.days_unanchored + second.days_unanchored);
}

} // namespace
