// SPDX-License-Identifier: MIT
// Calendar conversions: documented edge cases, wrapping of out-of-range
// records, null pointers, and a spread sample of the raw range checked
// against the C library.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "qor_log.h"
#include "su_base.h"
#include "sutime_text.h"

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

SUTime at(int32_t year, int32_t mon, int32_t mday, int32_t hour, int32_t min, int32_t sec) {
    SUTime record{};
    record.year = year;
    record.mon = mon;
    record.mday = mday;
    record.hour = hour;
    record.min = min;
    record.sec = sec;
    return record;
}

using fake::text;

std::string text(const struct tm &t) {
    return text(at(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec));
}

bool fits_time_t(uint32_t raw) {
    return static_cast<uint64_t>(raw) <= static_cast<uint64_t>(std::numeric_limits<time_t>::max());
}

TEST(Raw2SUTime, GivesTheCalendarTimeOfEdgeValues) {
    const struct {
        uint32_t raw;
        const char *record;
    } cases[] = {
        {0U, "1970-01-01 00:00:00"},
        {86399U, "1970-01-01 23:59:59"},
        {951782400U, "2000-02-29 00:00:00"},
        {978307199U, "2000-12-31 23:59:59"}, // last second of a leap year
        {978307200U, "2001-01-01 00:00:00"},
        {2145916799U, "2037-12-31 23:59:59"},
        {2147483647U, "2038-01-19 03:14:07"},
        {2147483648U, "2038-01-19 03:14:08"},
        {4102444799U, "2099-12-31 23:59:59"},
        {4107542400U, "2100-03-01 00:00:00"}, // 2100 is no leap year
        {4294967295U, "2106-02-07 06:28:15"},
    };
    for (const auto &c : cases) {
        SUTime record{};
        EXPECT_EQ(SU_Base_Raw2SUTime(&c.raw, &record), 0);
        EXPECT_EQ(text(record), c.record) << "raw " << c.raw;
    }
}

// The formula applies to any field values, wrapping modulo 2^32 with
// unsigned divisions; expected values computed with exact integers.
TEST(SUTime2Raw, AppliesTheFormulaToAnyRecord) {
    const struct {
        SUTime record;
        uint32_t raw;
    } cases[] = {
        {at(1970, 1, 1, 0, 0, 0), 0U},
        {at(2000, 2, 29, 23, 59, 59), 951868799U},
        {at(2037, 12, 31, 23, 59, 59), 2145916799U},
        {at(2038, 1, 19, 3, 14, 8), 2147483648U},
        {at(1969, 12, 31, 23, 59, 59), 4294967295U},
        {at(2106, 2, 7, 6, 28, 16), 0U},
        {at(2016, 3, 0, 0, 0, 0), 1456704000U},   // mday 0: 2016-02-29
        {at(1999, 12, 31, 24, 0, 0), 946684800U}, // hour 24: 2000-01-01
        {at(2015, 13, 1, 0, 0, 0), 1451606400U},  // mon 13: 2016-01-01
        {at(2016, 0, 1, 0, 0, 0), 1448928000U},   // mon 0: 2015-12-01
        {at(1970, 1, 1, 0, 0, 86400), 86400U},
        {at(0, 1, 1, 0, 0, 0), 2257352448U},      // year -1 divided as unsigned
        {at(-400, 3, 1, 0, 0, 0), 2524657536U},
        {at(2000, kMin, 1, 0, 0, 0), 943948800U}, // mon - 2 wraps to positive
        {at(-1, -1, -1, -1, -1, -1), 2220369587U},
        {at(kMax, kMax, kMax, kMax, kMax, kMax), 72624435U},
        {at(kMin, kMin, kMin, kMin, kMin, kMin), 107015296U},
    };
    for (const auto &c : cases) {
        uint32_t raw = 12345U;
        EXPECT_EQ(SU_Base_SUTime2Raw(&c.record, &raw), 0);
        EXPECT_EQ(raw, c.raw) << text(c.record);
    }
}

// The source is read whole before the destination is written.
TEST(Calendar, SourceMayOverlapDestination) {
    SUTime record = at(0, 0, 0, 0, 0, 951782400);
    const auto *const raw_in_record = reinterpret_cast<const uint32_t *>(&record.sec);
    ASSERT_EQ(SU_Base_Raw2SUTime(raw_in_record, &record), 0);
    EXPECT_EQ(text(record), "2000-02-29 00:00:00");

    record = at(2038, 1, 19, 3, 14, 8);
    ASSERT_EQ(SU_Base_SUTime2Raw(&record, reinterpret_cast<uint32_t *>(&record.year)), 0);
    EXPECT_EQ(static_cast<uint32_t>(record.year), 2147483648U);
}

class CalendarNullTest : public fake::Test {
protected:
    void SetUp() override {
        fake::Test::SetUp();
        saved_option_ = QOR_Log_Get_Option();
        // The function prefix shows which function logged.
        QOR_Log_Set_Option(QOR_LOG_OPT_FUNC);
    }
    void TearDown() override {
        QOR_Log_Set_Option(saved_option_);
        fake::Test::TearDown();
    }

private:
    int saved_option_ = 0;
};

TEST_F(CalendarNullTest, RefusesNullPointersLoggingTheFirstAndWritingNothing) {
    const SUTime source = at(2016, 3, 1, 0, 0, 0);
    const uint32_t source_raw = 1456790400U;
    const SUTime untouched_record = at(1, 2, 3, 4, 5, 6);
    constexpr uint32_t kUntouchedRaw = 0xdeadbeefU;
    SUTime record = untouched_record;
    uint32_t raw = kUntouchedRaw;

    const struct {
        const char *call;
        std::function<int()> convert;
        const char *message;
    } cases[] = {
        {"SUTime2Raw(null, raw)", [&] { return SU_Base_SUTime2Raw(nullptr, &raw); },
         "[SU_Base_SUTime2Raw]*suTime is invalid\n"},
        {"SUTime2Raw(record, null)", [&] { return SU_Base_SUTime2Raw(&source, nullptr); },
         "[SU_Base_SUTime2Raw]*rawTime is invalid\n"},
        {"SUTime2Raw(null, null)", [&] { return SU_Base_SUTime2Raw(nullptr, nullptr); },
         "[SU_Base_SUTime2Raw]*suTime is invalid\n"},
        {"Raw2SUTime(raw, null)", [&] { return SU_Base_Raw2SUTime(&source_raw, nullptr); },
         "[SU_Base_Raw2SUTime]*suTime is invalid\n"},
        {"Raw2SUTime(null, record)", [&] { return SU_Base_Raw2SUTime(nullptr, &record); },
         "[SU_Base_Raw2SUTime]*rawTime is invalid\n"},
        {"Raw2SUTime(null, null)", [&] { return SU_Base_Raw2SUTime(nullptr, nullptr); },
         "[SU_Base_Raw2SUTime]*suTime is invalid\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.call);
        fake::clear_log();
        EXPECT_EQ(c.convert(), -1);
        EXPECT_EQ(fake::log_entries(),
                  (std::vector<fake::LogEntry>{{6, "base", c.message}}));
        EXPECT_EQ(raw, kUntouchedRaw);
        EXPECT_EQ(text(record), text(untouched_record));
    }
}

// A spread sample of the whole unsigned range: the record matches the C
// library's UTC calendar where time_t can hold the value, and converts back
// to the same raw time.
TEST(Calendar, SampleOfTheRangeAgreesWithTheCLibraryAndRoundTrips) {
    std::vector<uint32_t> samples;
    // Multiples of an odd constant, wrapping: spread evenly over the range,
    // at unrelated seconds of the day. Then days' first and last seconds.
    constexpr uint32_t kStride = 2654435761U;
    for (uint32_t i = 0; i < 200000U; ++i) {
        samples.push_back(i * kStride);
    }
    for (uint32_t day = 0; day <= 49710U; day += 97U) {
        samples.push_back(day * 86400U);
        samples.push_back(day * 86400U - 1U);
    }
    samples.push_back(std::numeric_limits<uint32_t>::max());

    for (const uint32_t raw : samples) {
        SUTime record{};
        ASSERT_EQ(SU_Base_Raw2SUTime(&raw, &record), 0);
        uint32_t back = 0;
        ASSERT_EQ(SU_Base_SUTime2Raw(&record, &back), 0);
        EXPECT_EQ(back, raw) << text(record);
        if (fits_time_t(raw)) {
            const auto seconds = static_cast<time_t>(raw);
            struct tm expected {};
            ASSERT_NE(gmtime_r(&seconds, &expected), nullptr);
            EXPECT_EQ(text(record), text(expected)) << "raw " << raw;
            EXPECT_EQ(timegm(&expected), seconds);
        }
        if (::testing::Test::HasFailure()) {
            return; // the first wrong sample says enough
        }
    }
}

} // namespace
