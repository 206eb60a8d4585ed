// SPDX-License-Identifier: MIT
// Calendar conversions: SUTime records to seconds since 1970-01-01 00:00:00
// and back, on the Gregorian calendar with no time zone.
//
// Both directions count years from March, so that February and its leap day
// close the year. Record to seconds is the classic day-count formula, on
// unsigned 32-bit words: fields are never range-checked, and a record out of
// range wraps modulo 2^32 instead of overflowing. Seconds to record uses the
// Euclidean affine functions of C. Neri and L. Schneider, "Euclidean affine
// functions and their application to calendar algorithms", Software:
// Practice and Experience, 2023: every division is by a constant.
#include <stdint.h>

#include "error_record.h"
#include "su_base.h"

namespace {

constexpr uint32_t kSecondsPerDay = 86400;
constexpr uint32_t kDaysBeforeEpoch = 719499;     // day count of 1970-01-01 in the formula below
constexpr uint32_t kDaysFromMarch0000 = 719468;   // 0000-03-01 to 1970-01-01
constexpr uint32_t kDaysPer400Years = 146097;
constexpr uint32_t kFirstJanuaryOfMarchYear = 306; // March 1st is day 0
// The affine functions' coefficients: 2^32 / 1461 (the days of four years),
// rounded up, for the year; 2141 / 2^16 for the mean month of 30.6 days.
constexpr uint32_t kYearSlope = 2939745;
constexpr uint32_t kMonthSlope = 2141;
constexpr uint32_t kMonthOffset = 197913;

constexpr uint32_t as_unsigned(int32_t field) {
    return static_cast<uint32_t>(field);
}

uint32_t seconds_since_epoch(const SUTime &record) {
    // January and February, and a month that is zero or negative as a signed
    // number, count as months 11 and 12 of the year before.
    uint32_t month = as_unsigned(record.mon) - 2U;
    uint32_t year = as_unsigned(record.year);
    if (static_cast<int32_t>(month) <= 0) {
        month += 12U;
        year -= 1U;
    }
    // (367 * month) / 12 is the days before the month, plus 30.
    const uint32_t days =
        year / 4U - year / 100U + year / 400U + (367U * month) / 12U + as_unsigned(record.mday) + 365U * year;
    return (((days - kDaysBeforeEpoch) * 24U + as_unsigned(record.hour)) * 60U + as_unsigned(record.min)) * 60U +
           as_unsigned(record.sec);
}

SUTime calendar_time(uint32_t raw) {
    const uint32_t days = raw / kSecondsPerDay;
    const uint32_t second_of_day = raw % kSecondsPerDay;

    // The century, and four times the day within it plus three.
    const uint32_t century_position = 4U * (days + kDaysFromMarch0000) + 3U;
    const uint32_t century = century_position / kDaysPer400Years;
    const uint32_t day_of_century = century_position % kDaysPer400Years / 4U;
    // One multiply gives the year of the century in its high word and the
    // part of the year gone in its low word.
    const uint64_t year_position = uint64_t{kYearSlope} * (4U * day_of_century + 3U);
    const auto year_of_century = static_cast<uint32_t>(year_position >> 32U);
    const uint32_t day_of_year = static_cast<uint32_t>(year_position) / kYearSlope / 4U;
    // The month (3 for March to 14 for February) in the high half, the day
    // of the month in the low half.
    const uint32_t month_position = kMonthSlope * day_of_year + kMonthOffset;
    const uint32_t in_next_year = day_of_year >= kFirstJanuaryOfMarchYear ? 1U : 0U;

    SUTime record{};
    record.year = static_cast<int32_t>(100U * century + year_of_century + in_next_year);
    record.mon = static_cast<int32_t>((month_position >> 16U) - 12U * in_next_year);
    record.mday = static_cast<int32_t>((month_position & 0xffffU) / kMonthSlope + 1U);
    record.hour = static_cast<int32_t>(second_of_day / 3600U);
    record.min = static_cast<int32_t>(second_of_day % 3600U / 60U);
    record.sec = static_cast<int32_t>(second_of_day % 60U);
    return record;
}

// Both conversions test the record's pointer first, whichever argument it
// is, and log under their own name.
int refuse_arguments(const SUTime *suTime, const char *caller) {
    if (suTime == nullptr) {
        SU_LOG_ERROR_AS(caller, "*suTime is invalid\n");
    } else {
        SU_LOG_ERROR_AS(caller, "*rawTime is invalid\n");
    }
    return -1;
}

} // namespace

extern "C" int SU_Base_SUTime2Raw(const SUTime *suTime, uint32_t *rawTime) {
    if (suTime == nullptr || rawTime == nullptr) {
        return refuse_arguments(suTime, __func__);
    }
    *rawTime = seconds_since_epoch(*suTime);
    return 0;
}

extern "C" int SU_Base_Raw2SUTime(const uint32_t *rawTime, SUTime *suTime) {
    if (suTime == nullptr || rawTime == nullptr) {
        return refuse_arguments(suTime, __func__);
    }
    *suTime = calendar_time(*rawTime); // the raw time is read before the record is written
    return 0;
}
