// SPDX-License-Identifier: MIT
// Calendar conversions beside the C library's UTC conversions, on the same
// pseudo-random raw times spread over the unsigned 32-bit range. The time of
// one iteration is the time of one call.
#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>

#include <benchmark/benchmark.h>

#include "su_base.h"

namespace {

constexpr std::size_t kInputs = 4096; // a power of two, for the index mask

struct Inputs {
    std::array<uint32_t, kInputs> raw{};
    std::array<time_t, kInputs> seconds{};
    std::array<SUTime, kInputs> records{};
    std::array<struct tm, kInputs> calendars{};
};

const Inputs &inputs() {
    static const Inputs all = [] {
        Inputs made;
        uint32_t state = 0x2545f491U;
        for (std::size_t i = 0; i < kInputs; ++i) {
            // xorshift32: fixed, reproducible and spread over the whole range
            state ^= state << 13U;
            state ^= state >> 17U;
            state ^= state << 5U;
            made.raw[i] = state;
            // On a 32-bit time_t the upper half wraps to dates before 1970,
            // which the library converts all the same.
            made.seconds[i] = static_cast<time_t>(state);
            SU_Base_Raw2SUTime(&made.raw[i], &made.records[i]);
            gmtime_r(&made.seconds[i], &made.calendars[i]);
        }
        return made;
    }();
    return all;
}

void BM_Raw2SUTime(benchmark::State &state) {
    const Inputs &in = inputs();
    std::size_t i = 0;
    SUTime record{};
    for ([[maybe_unused]] auto _ : state) {
        SU_Base_Raw2SUTime(&in.raw[i++ & (kInputs - 1)], &record);
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(BM_Raw2SUTime);

void BM_gmtime_r(benchmark::State &state) {
    const Inputs &in = inputs();
    std::size_t i = 0;
    struct tm calendar {};
    for ([[maybe_unused]] auto _ : state) {
        gmtime_r(&in.seconds[i++ & (kInputs - 1)], &calendar);
        benchmark::DoNotOptimize(calendar);
    }
}
BENCHMARK(BM_gmtime_r);

void BM_SUTime2Raw(benchmark::State &state) {
    const Inputs &in = inputs();
    std::size_t i = 0;
    uint32_t raw = 0;
    for ([[maybe_unused]] auto _ : state) {
        SU_Base_SUTime2Raw(&in.records[i++ & (kInputs - 1)], &raw);
        benchmark::DoNotOptimize(raw);
    }
}
BENCHMARK(BM_SUTime2Raw);

void BM_timegm(benchmark::State &state) {
    const Inputs &in = inputs();
    std::size_t i = 0;
    for ([[maybe_unused]] auto _ : state) {
        // timegm normalises its argument: give it a fresh copy every call.
        struct tm calendar = in.calendars[i++ & (kInputs - 1)];
        benchmark::DoNotOptimize(timegm(&calendar));
    }
}
BENCHMARK(BM_timegm);

} // namespace
