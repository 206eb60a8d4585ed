// SPDX-License-Identifier: MIT
// Calendar conversions: SUTime records to seconds since 1970-01-01 00:00:00
// and back, on the Gregorian calendar with no time zone. Pure arithmetic on
// unsigned 32-bit words, so out-of-range records wrap modulo 2^32 instead of
// overflowing. No lookup tables: every division by a constant is a multiply
// and a shift, checked at compile time over the range it is used on.
#include <stdint.h>
#include <string.h>

#include "error_record.h"
#include "su_base.h"

namespace {

// Lengths of January to December in a common year. Only the compile-time
// checks read it: the conversions compute month lengths arithmetically.
constexpr uint8_t rtc_days_in_month[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

constexpr uint32_t kMonthsPerYear = 12;
constexpr uint32_t kSecondsPerMinute = 60;
constexpr uint32_t kMinutesPerHour = 60;
constexpr uint32_t kHoursPerDay = 24;
constexpr uint32_t kSecondsPerHour = kSecondsPerMinute * kMinutesPerHour;
constexpr uint32_t kSecondsPerDay = kSecondsPerHour * kHoursPerDay;

constexpr uint32_t word(int32_t value) {
    return static_cast<uint32_t>(value);
}

// Both directions count months from March, so that February and its leap
// day close the year: March-based month 0 is March, 10 January, 11 February.
constexpr uint32_t march_month_length(uint32_t march_month) {
    return rtc_days_in_month[(march_month + 2U) % kMonthsPerYear] +
           (march_month == kMonthsPerYear - 1U ? 1U : 0U);
}

constexpr uint32_t march_month_start(uint32_t march_month) {
    uint32_t day = 0;
    for (uint32_t month = 0; month < march_month; ++month) {
        day += march_month_length(month);
    }
    return day;
}

// ---- Record to raw time ----

// Days before March-based month m - 1 (m = 1 for March), plus 30, for any
// 32-bit m. For the months of real records, 1 to 12, one multiply and a
// shift give the same.
constexpr uint32_t days_before_month(uint32_t march_month) {
    return (367U * march_month) / 12U;
}

constexpr uint32_t kMonthsMultiplier = 979; // 367 * 32 / 12, rounded up
constexpr uint32_t kMonthsShift = 5;

constexpr uint32_t days_before_real_month(uint32_t march_month) {
    return march_month - 1U < kMonthsPerYear ? (kMonthsMultiplier * march_month) >> kMonthsShift
                                              : days_before_month(march_month);
}

constexpr bool month_formula_matches_lengths() {
    for (uint32_t month = 1; month <= kMonthsPerYear; ++month) {
        if (days_before_month(month) != march_month_start(month - 1U) + 30U ||
            days_before_real_month(month) != days_before_month(month)) {
            return false;
        }
    }
    return true;
}
static_assert(month_formula_matches_lengths(), "(367 m) / 12 counts the days before each month");

// Value of the day count below for 1970-01-01.
constexpr uint32_t kDayCountAtEpoch = 719499;

// Every field enters as its 32-bit word: no range check, no normalisation,
// and every step, divisions included, on unsigned values.
constexpr uint32_t raw_from_record(const SUTime &record) {
    const uint32_t month = word(record.mon) - 2U;
    // January and February (and whatever wraps to a month of 0 or below as
    // a signed word) count as months 11 and 12 of the year before. Computed
    // as a value, not a branch: on varied dates the branch is unpredictable.
    const uint32_t in_year_before = (month - 1U) >= 0x7fffffffU ? 1U : 0U;
    const uint32_t march_month = month + kMonthsPerYear * in_year_before;
    const uint32_t year = word(record.year) - in_year_before;
    // year / 100 is year / 4 / 25, and year / 400 is year / 100 / 4.
    const uint32_t quarters = year / 4U;
    const uint32_t centuries = quarters / 25U;
    const uint32_t days = 365U * year + quarters - centuries + centuries / 4U +
                          days_before_real_month(march_month) + word(record.mday);
    const uint32_t hours = (days - kDayCountAtEpoch) * kHoursPerDay + word(record.hour);
    const uint32_t minutes = hours * kMinutesPerHour + word(record.min);
    return minutes * kSecondsPerMinute + word(record.sec);
}

constexpr SUTime date(int32_t year, int32_t mon, int32_t mday) {
    SUTime record{};
    record.year = year;
    record.mon = mon;
    record.mday = mday;
    return record;
}

// ---- Raw time to record ----

// (value * multiplier) >> shift equals value / divisor for every value up to
// limit; with a shift below 32, the product stays within 32 bits. The
// product grows with the value, so it is enough to check the last value of
// each quotient.
constexpr bool divides_exactly(uint32_t multiplier, uint32_t shift, uint32_t divisor,
                               uint32_t limit) {
    if (shift < 32U && uint64_t{limit} * multiplier > 0xffffffffU) {
        return false;
    }
    for (uint32_t quotient = 0; quotient <= limit / divisor; ++quotient) {
        const uint32_t last = quotient * divisor + divisor - 1U < limit
                                  ? quotient * divisor + divisor - 1U
                                  : limit;
        if ((uint64_t{last} * multiplier) >> shift != quotient) {
            return false;
        }
    }
    return true;
}

// Days since 1970 and the part of the day gone, from one 32 by 32-bit
// multiply: the raw time over a day in 16.48 fixed point, rounded up. The
// rounding adds raw * kDayRoundingExcess / 86400 to the low 48 bits: over
// the whole range less than a second's worth (2^48 / 86400 of them), so the
// last second of a day never reaches the next.
constexpr uint32_t kDaySplitMultiplier = 3257812231; // 2^48 / 86400, rounded up
constexpr uint32_t kDaySplitShift = 48;
constexpr uint64_t kDayRoundingExcess =
    static_cast<uint64_t>(kDaySplitMultiplier) * kSecondsPerDay - (1ULL << kDaySplitShift);
static_assert(kDayRoundingExcess < (1ULL << (kDaySplitShift - 32U)), "the day count is exact");

// The part of the day gone as a 32-bit fraction: the top 32 of the 48 bits,
// plus one so that it lies above the true fraction, as the rounding does.
constexpr uint32_t day_fraction(uint64_t split) {
    return static_cast<uint32_t>(split >> (kDaySplitShift - 32U)) + 1U;
}

// How far the fraction may lie above the second's own, in 2^-32 of a day:
// the rounding of the split at its largest, plus the one.
constexpr uint64_t kFractionExcess =
    (0xffffffffULL * kDayRoundingExcess + kSecondsPerDay * (1ULL << (kDaySplitShift - 32U)) - 1U) /
        (kSecondsPerDay * (1ULL << (kDaySplitShift - 32U))) +
    1U;

// Hour, minute and second from the fraction of the day: each multiply by
// the next unit's count brings that unit above the binary point. Sixty
// comes in as an argument so that the run-time caller can hide it from the
// compiler (see sixty_in_register).
struct TimeOfDay {
    uint32_t hour;
    uint32_t min;
    uint32_t sec;
};

constexpr uint64_t next_unit(uint32_t fraction, unsigned long units) {
    return static_cast<uint64_t>(fraction) * units;
}

constexpr TimeOfDay time_of_day(uint32_t fraction, unsigned long sixty) {
    const uint64_t hours = next_unit(fraction, kHoursPerDay);
    const uint64_t minutes = next_unit(static_cast<uint32_t>(hours), sixty);
    const uint64_t seconds = next_unit(static_cast<uint32_t>(minutes), sixty);
    return TimeOfDay{static_cast<uint32_t>(hours >> 32U), static_cast<uint32_t>(minutes >> 32U),
                     static_cast<uint32_t>(seconds >> 32U)};
}

// 60, in a register the compiler knows nothing of. Seen as a constant, each
// multiply by 60 is spelled as two shifts, a subtraction and a copy, which
// costs more than the one multiply instruction it replaces. A machine word,
// so that using it needs no widening either.
inline unsigned long sixty_in_register() {
    unsigned long sixty = kSecondsPerMinute;
    __asm__("" : "+r"(sixty));
    return sixty;
}

// Every second of the day, checked at both ends of the fractions it may get
// (the hours, minutes and seconds gone only grow with the fraction), a
// quarter of the day at a time (compilers bound the work of one constant
// evaluation).
constexpr bool time_of_day_matches(uint32_t second, uint32_t fraction) {
    const TimeOfDay time = time_of_day(fraction, kSecondsPerMinute);
    return time.hour == second / kSecondsPerHour &&
           time.min == second % kSecondsPerHour / kSecondsPerMinute && time.sec == second % kSecondsPerMinute;
}

constexpr bool time_of_day_exact(uint32_t first, uint32_t last) {
    for (uint32_t second = first; second <= last; ++second) {
        const uint64_t lowest = (static_cast<uint64_t>(second) << 32U) / kSecondsPerDay + 1U;
        if (lowest + kFractionExcess > 0xffffffffU || !time_of_day_matches(second, static_cast<uint32_t>(lowest)) ||
            !time_of_day_matches(second, static_cast<uint32_t>(lowest + kFractionExcess))) {
            return false;
        }
    }
    return true;
}
static_assert(time_of_day_exact(0U, 21599U), "time of day, first quarter");
static_assert(time_of_day_exact(21600U, 43199U), "time of day, second quarter");
static_assert(time_of_day_exact(43200U, 64799U), "time of day, third quarter");
static_assert(time_of_day_exact(64800U, kSecondsPerDay - 1U), "time of day, last quarter");

// Raw times span 1970-01-01 to 2106-02-07, where the only year divisible by
// 4 without a leap day is 2100. Counting days from 1968-03-01, every leap
// day closes a March-based year and a 4-year cycle; inserting the missing
// 2100-02-29 keeps the cycles regular to the end.
constexpr uint32_t kBaseYear = 1968;
constexpr uint32_t kDaysPer4Years = 1461;
constexpr uint32_t kBaseToEpochDays = 671; // 1968-03-01 to 1970-01-01
constexpr uint32_t kMarch2100Day = 47541;  // 2100-03-01, in days from 1970
constexpr uint32_t kLastDay = 0xffffffffU / kSecondsPerDay;

// 4 from 2100-03-01 00:00:00 on, else 0: the carry out of 32 bits, taken
// from the raw time beside the division rather than after it, and already
// four times the inserted day, as the day count enters the year's multiply.
constexpr uint64_t kCarryFromMarch2100 = 0x100000000ULL - static_cast<uint64_t>(kMarch2100Day) * kSecondsPerDay;
constexpr uint32_t four_after_february_2100(uint32_t raw) {
    return static_cast<uint32_t>((static_cast<uint64_t>(raw) + kCarryFromMarch2100) >> 30U) & 4U;
}
static_assert(four_after_february_2100(kMarch2100Day * kSecondsPerDay) == 4U &&
                  four_after_february_2100(kMarch2100Day * kSecondsPerDay - 1U) == 0U &&
                  four_after_february_2100(0xffffffffU) == 4U && four_after_february_2100(0U) == 0U,
              "the carry marks the days from 2100-03-01");
constexpr uint32_t kLastCycleDay = kLastDay + kBaseToEpochDays + 1U;
static_assert(0U - raw_from_record(date(1968, 3, 1)) == kBaseToEpochDays * kSecondsPerDay,
              "1968-03-01 lies 671 days before the epoch");
static_assert(raw_from_record(date(2100, 3, 1)) == kMarch2100Day * kSecondsPerDay,
              "2100-03-01 lies 47541 days after the epoch");

// Four times the cycle day plus three, over the days of a 4-year cycle,
// gives the year, with a 366th day only in the cycle's last year. One 32 by
// 32-bit multiply does the division: its high word is the year; its low
// word is the fraction of the year gone, from which a second multiply gives
// the day of the year.
constexpr uint32_t kYearMultiplier = 2939745; // 2^32 / 1461, rounded up
constexpr uint32_t kDayOfYearDivisor = 4U * kYearMultiplier;

struct YearAndDay {
    uint32_t years;       // since 1968-03-01
    uint32_t day_of_year; // 0 for March 1st
};

constexpr YearAndDay year_and_day(uint32_t four_days_and_three) {
    const uint64_t position = static_cast<uint64_t>(four_days_and_three) * kYearMultiplier;
    return YearAndDay{static_cast<uint32_t>(position >> 32U),
                      static_cast<uint32_t>(position) / kDayOfYearDivisor};
}

constexpr bool year_and_day_exact() {
    for (uint32_t day = 0; day <= kLastCycleDay; ++day) {
        const YearAndDay got = year_and_day(4U * day + 3U);
        if (got.years != (4U * day + 3U) / kDaysPer4Years ||
            got.day_of_year != (4U * day + 3U) % kDaysPer4Years / 4U) {
            return false;
        }
    }
    return true;
}
static_assert(year_and_day_exact(), "year and day of year by multiply and shift");

// Month and day of a March-based day of the year: the high half of
// 2141 * day + 197913 is the month counted from March as 3 (February 14),
// its low half over 2141 the day of the month counted from 0.
constexpr uint32_t kMonthDayMultiplier = 2141;
constexpr uint32_t kMonthDayOffset = 197913;
constexpr uint32_t kMonthShift = 16;
constexpr uint32_t kDayMask = 0xffff;
constexpr uint32_t kDayMultiplier = 31345; // 2^26 / 2141, rounded up
constexpr uint32_t kDayShift = 26;
constexpr uint32_t kFirstMonth = 3;
static_assert(divides_exactly(kDayMultiplier, kDayShift, kMonthDayMultiplier, kDayMask),
              "day of the month by multiply and shift");

constexpr uint32_t month_day(uint32_t day_of_year) {
    return kMonthDayMultiplier * day_of_year + kMonthDayOffset;
}

// 1 from January 1st (day 306 of a March-based year) on, else 0: a carry
// into bit 9.
constexpr uint32_t kJanuaryDay = 306;
constexpr uint32_t in_next_year(uint32_t day_of_year) {
    return (day_of_year + (512U - kJanuaryDay)) >> 9U;
}

constexpr bool month_and_day_match_lengths() {
    uint32_t day_of_year = 0;
    for (uint32_t month = 0; month < kMonthsPerYear; ++month) {
        if (march_month_start(month) != day_of_year) {
            return false;
        }
        for (uint32_t mday = 0; mday < march_month_length(month); ++mday, ++day_of_year) {
            const uint32_t both = month_day(day_of_year);
            if (both >> kMonthShift != month + kFirstMonth ||
                in_next_year(day_of_year) != (month >= 10U ? 1U : 0U) ||
                ((both & kDayMask) * kDayMultiplier) >> kDayShift != mday) {
                return false;
            }
        }
    }
    return day_of_year == 366U;
}
static_assert(month_and_day_match_lengths(), "month and day of every day of a leap year");

// Two adjacent fields of the record as one 64-bit word, the first in the
// low half. Stored field by field, the compiler gathers them into a vector
// store whose shuffles cost more than the stores they replace.
constexpr uint64_t field_pair(uint32_t first, uint32_t second) {
    return static_cast<uint64_t>(first) | static_cast<uint64_t>(second) << 32U;
}

void store_pair(int32_t *first, uint64_t pair) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    pair = pair << 32U | pair >> 32U;
#endif
    memcpy(first, &pair, sizeof pair);
}

void store_record(uint32_t raw, SUTime *record) {
    const uint64_t split = static_cast<uint64_t>(raw) * kDaySplitMultiplier;
    const auto days = static_cast<uint32_t>(split >> kDaySplitShift);
    const TimeOfDay time = time_of_day(day_fraction(split), sixty_in_register());

    const YearAndDay year =
        year_and_day(4U * (days + kBaseToEpochDays) + 3U + four_after_february_2100(raw));
    const uint32_t both = month_day(year.day_of_year);
    const uint32_t march_month = both >> kMonthShift; // 3 to 14
    // January and February belong to the next calendar year; told from the
    // day of the year beside the month's multiply rather than after it.
    const uint32_t next_year = in_next_year(year.day_of_year);
    const uint32_t mday_from_0 = ((both & kDayMask) * kDayMultiplier) >> kDayShift;

    record->sec = static_cast<int32_t>(time.sec);
    record->min = static_cast<int32_t>(time.min);
    record->hour = static_cast<int32_t>(time.hour);
    // The day of the month counts from 1: that 1 joins the month's half
    // while the day is still being computed.
    store_pair(&record->mday, field_pair(1U, march_month - kMonthsPerYear * next_year) + mday_from_0);
    record->year = static_cast<int32_t>(kBaseYear + year.years + next_year);
}

// Both conversions test the record's pointer first, whichever argument it
// is, and log under their own name. Out of line and marked cold, so that
// the conversions need no stack frame of their own.
__attribute__((noinline, cold)) int refuse_arguments(const SUTime *suTime, const char *caller) {
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
    *rawTime = raw_from_record(*suTime);
    return 0;
}

extern "C" int SU_Base_Raw2SUTime(const uint32_t *rawTime, SUTime *suTime) {
    if (suTime == nullptr || rawTime == nullptr) {
        return refuse_arguments(suTime, __func__);
    }
    // Read before anything is stored: the two may overlap.
    const uint32_t raw = *rawTime;
    store_record(raw, suTime);
    return 0;
}
