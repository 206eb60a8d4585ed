// Calendar conversions: SUTime records to seconds since 1970-01-01 00:00:00
// and back, on the Gregorian calendar with no time zone. Pure arithmetic on
// unsigned 32-bit words, so out-of-range records wrap modulo 2^32 instead of
// overflowing.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base_log.h"
#include "su_base.h"

namespace {

// Lengths of January to December in a common year; readers add February's
// leap day themselves.
constexpr std::array<uint8_t, 12> rtc_days_in_month{31, 28, 31, 30, 31, 30,
                                                    31, 31, 30, 31, 30, 31};

constexpr uint32_t kSecondsPerMinute = 60;
constexpr uint32_t kMinutesPerHour = 60;
constexpr uint32_t kHoursPerDay = 24;
constexpr uint32_t kSecondsPerHour = kSecondsPerMinute * kMinutesPerHour;
constexpr uint32_t kSecondsPerDay = kSecondsPerHour * kHoursPerDay;

// Both directions count months from March, so that February and its leap
// day close the year: index 0 is March, 10 January, 11 February.
constexpr std::size_t kMonthsPerYear = 12;
constexpr std::size_t kMarchOffset = 2;
constexpr std::size_t kFirstMonthOfNextYear = 10;
constexpr std::size_t kDaysPerLeapYear = 366;

constexpr uint32_t march_month_length(std::size_t march_index) {
    const bool february = march_index == kMonthsPerYear - 1;
    const std::size_t calendar_index = (march_index + kMarchOffset) % kMonthsPerYear;
    return rtc_days_in_month[calendar_index] + (february ? 1U : 0U);
}

// First day of each March-based month within its year.
constexpr auto kMarchMonthStart = [] {
    std::array<uint16_t, kMonthsPerYear> start{};
    uint32_t day = 0;
    for (std::size_t month = 0; month < kMonthsPerYear; ++month) {
        start[month] = static_cast<uint16_t>(day);
        day += march_month_length(month);
    }
    return start;
}();

// Day and month in the record's own layout, so that both are copied as one
// piece: stored field by field, they would join the time fields in a packed
// vector store that costs more than it saves.
struct MonthDay {
    int32_t mday;
    int32_t mon;
};
static_assert(offsetof(SUTime, mon) == offsetof(SUTime, mday) + sizeof(int32_t));

// Calendar date of each day of a March-based year, leap day included, and
// whether its calendar year is the next one.
struct DayOfYear {
    MonthDay date;
    uint32_t next_year;
};

constexpr auto kDaysOfMarchYear = [] {
    std::array<DayOfYear, kDaysPerLeapYear> days{};
    std::size_t day = 0;
    for (std::size_t month = 0; month < kMonthsPerYear; ++month) {
        for (uint32_t mday = 1; mday <= march_month_length(month); ++mday) {
            days[day].date.mday = static_cast<int32_t>(mday);
            days[day].date.mon =
                static_cast<int32_t>((month + kMarchOffset) % kMonthsPerYear + 1U);
            days[day].next_year = month >= kFirstMonthOfNextYear ? 1U : 0U;
            ++day;
        }
    }
    return days;
}();

// Record to raw time counts the days before March-based month m (1 for
// March) as (367 * m) / 12 - 30; it must agree with the table.
constexpr uint32_t kMonthFormulaOffset = 30;

constexpr uint32_t days_before_month(uint32_t march_month) {
    return (367U * march_month) / 12U;
}

constexpr bool month_formula_matches_table() {
    for (uint32_t month = 1; month <= kMonthsPerYear; ++month) {
        if (days_before_month(month) != kMarchMonthStart[month - 1] + kMonthFormulaOffset) {
            return false;
        }
    }
    return true;
}
static_assert(month_formula_matches_table());

// Value of the day sum below for 1970-01-01.
constexpr uint32_t kDaySumAtEpoch = 719499;

constexpr uint32_t word(int32_t value) {
    return static_cast<uint32_t>(value);
}

// Every field enters as its 32-bit word: no range check, no normalisation,
// and every step, divisions included, on unsigned values.
constexpr uint32_t raw_from_record(const SUTime &record) {
    uint32_t month = word(record.mon) - 2U;
    uint32_t year = word(record.year);
    if (static_cast<int32_t>(month) <= 0) {
        month += 12U;
        year -= 1U;
    }
    const uint32_t days = year / 4U - year / 100U + year / 400U + days_before_month(month) +
                          word(record.mday) + 365U * year;
    const uint32_t hours = (days - kDaySumAtEpoch) * kHoursPerDay + word(record.hour);
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

// Raw times span 1970-01-01 to 2106-02-07, where the only year divisible by
// 4 without a leap day is 2100. Counting days from 1968-03-01, every leap
// day closes a March-based year and a 4-year cycle; inserting the missing
// 2100-02-29 keeps the cycles regular to the end, so the year and the day
// within it fall out of one division by 1461.
constexpr uint32_t kBaseYear = 1968;
constexpr uint32_t kDaysPer4Years = 1461;
constexpr uint32_t kBaseToEpochDays = 671;  // 1968-03-01 to 1970-01-01
constexpr uint32_t kMarch2100Day = 47541;   // 2100-03-01, in days from 1970
static_assert(0U - raw_from_record(date(1968, 3, 1)) == kBaseToEpochDays * kSecondsPerDay);
static_assert(raw_from_record(date(2100, 3, 1)) == kMarch2100Day * kSecondsPerDay);

// Hour and minute of each minute of the day: one load instead of two more
// divisions.
struct TimeOfDay {
    uint8_t hour;
    uint8_t min;
};

constexpr std::size_t kMinutesPerDay = std::size_t{kHoursPerDay} * kMinutesPerHour;

constexpr auto kTimesOfDay = [] {
    std::array<TimeOfDay, kMinutesPerDay> times{};
    for (uint32_t minute = 0; minute != times.size(); ++minute) {
        times[minute].hour = static_cast<uint8_t>(minute / kMinutesPerHour);
        times[minute].min = static_cast<uint8_t>(minute % kMinutesPerHour);
    }
    return times;
}();

void store_record(uint32_t raw, SUTime *record) {
    const uint32_t days = raw / kSecondsPerDay;
    const uint32_t second_of_day = raw - days * kSecondsPerDay;

    const uint32_t base_days = days + kBaseToEpochDays + (days >= kMarch2100Day ? 1U : 0U);
    // Four times the day plus three, over the days of a 4-year cycle: the
    // year, with a 366th day only in the cycle's last year.
    const uint32_t quarter_days = 4U * base_days + 3U;
    const uint32_t years = quarter_days / kDaysPer4Years;
    const DayOfYear &day = kDaysOfMarchYear[(quarter_days - years * kDaysPer4Years) / 4U];

    const uint32_t minute_of_day = second_of_day / kSecondsPerMinute;
    const TimeOfDay &time = kTimesOfDay[minute_of_day];

    record->sec = static_cast<int32_t>(second_of_day - minute_of_day * kSecondsPerMinute);
    record->min = time.min;
    record->hour = time.hour;
    // Into the record's bytes at mday: the copy spans mday and mon.
    std::memcpy(reinterpret_cast<unsigned char *>(record) + offsetof(SUTime, mday), &day.date,
                sizeof day.date);
    record->year = static_cast<int32_t>(kBaseYear + years + day.next_year);
}

// Both conversions test the record's pointer first, whichever argument it
// is, and log under their own name.
bool arguments_given(const SUTime *suTime, const uint32_t *rawTime, const char *caller, int line) {
    if (suTime == nullptr) {
        SU_LOG_ERROR_AT(caller, line, "*suTime is invalid\n");
        return false;
    }
    if (rawTime == nullptr) {
        SU_LOG_ERROR_AT(caller, line, "*rawTime is invalid\n");
        return false;
    }
    return true;
}

} // namespace

extern "C" int SU_Base_SUTime2Raw(const SUTime *suTime, uint32_t *rawTime) {
    if (!arguments_given(suTime, rawTime, __func__, __LINE__)) {
        return -1;
    }
    *rawTime = raw_from_record(*suTime);
    return 0;
}

extern "C" int SU_Base_Raw2SUTime(const uint32_t *rawTime, SUTime *suTime) {
    if (!arguments_given(suTime, rawTime, __func__, __LINE__)) {
        return -1;
    }
    // Read before anything is stored: the two may overlap.
    const uint32_t raw = *rawTime;
    store_record(raw, suTime);
    return 0;
}
