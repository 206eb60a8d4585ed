// SPDX-License-Identifier: MIT
// Fuzzes the calendar conversions: any record converts to seconds without
// undefined behaviour, and any count of seconds converts to a record within
// the fields' ranges that converts back to the same count.
//
// Input: records of six 32-bit fields and counts of four bytes, interleaved.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "su_base.h"

namespace {

void expect(bool holds) {
    if (!holds) {
        __builtin_trap();
    }
}

bool is_leap(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int32_t days_in_month(int32_t mon, int32_t year) {
    constexpr int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return kDays[mon - 1] + (mon == 2 && is_leap(year) ? 1 : 0);
}

void any_record(fuzz::Reader &in) {
    SUTime record{};
    record.sec = in.integral<int32_t>();
    record.min = in.integral<int32_t>();
    record.hour = in.integral<int32_t>();
    record.mday = in.integral<int32_t>();
    record.mon = in.integral<int32_t>();
    record.year = in.integral<int32_t>();
    uint32_t raw = 0;
    expect(SU_Base_SUTime2Raw(&record, &raw) == 0);
}

void round_trip(fuzz::Reader &in) {
    const auto raw = in.integral<uint32_t>();
    SUTime record{};
    expect(SU_Base_Raw2SUTime(&raw, &record) == 0);
    expect(record.sec >= 0 && record.sec <= 59 && record.min >= 0 && record.min <= 59 && record.hour >= 0 &&
           record.hour <= 23 && record.mon >= 1 && record.mon <= 12 && record.year >= 1970 && record.year <= 2106);
    expect(record.mday >= 1 && record.mday <= days_in_month(record.mon, record.year));
    uint32_t back = 0;
    expect(SU_Base_SUTime2Raw(&record, &back) == 0);
    expect(back == raw);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Reader in(data, size);
    while (!in.empty()) {
        if ((in.u8() & 1) != 0) {
            any_record(in);
        } else {
            round_trip(in);
        }
    }
    return 0;
}
