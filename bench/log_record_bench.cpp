// SPDX-License-Identifier: MIT
// Cost of one base-module failure record sent to the kernel log, beside the
// bare gathered write of the same 28-byte entry, and the heap allocations a
// record makes.
//
// Run it under tests/support/private_dev.sh --null-log: the kernel-log
// device is then the null device, in a /dev of the benchmark's own.
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <benchmark/benchmark.h>

#include "android_log.h"
#include "null_log_device.h"
#include "qor_log.h"

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *ptr, size_t size);
}

namespace {

std::atomic<long> allocations{0};

constexpr const char *kLogDevice = "/dev/log_main";

void count_allocations(benchmark::State &state, long before) {
    state.counters["allocs_per_record"] = benchmark::Counter(
        static_cast<double>(allocations.load() - before), benchmark::Counter::kAvgIterations);
}

void BM_FailureRecord(benchmark::State &state) {
    // The first record creates the buffer and opens the device.
    qor_log_fun(6, 0, 2, "base", "sysutils/base/base", 42, "regrw", "open /dev/mem failed\n");
    const long before = allocations.load();
    for ([[maybe_unused]] auto _ : state) {
        qor_log_fun(6, 0, 2, "base", "sysutils/base/base", 42, "regrw", "open /dev/mem failed\n");
    }
    count_allocations(state, before);
}
BENCHMARK(BM_FailureRecord);

void BM_BareWritev(benchmark::State &state) {
    const int fd = open(kLogDevice, O_WRONLY);
    if (fd < 0) {
        state.SkipWithError("cannot open the log device");
        return;
    }
    unsigned char prio = 6;
    char tag[] = "base";
    char msg[] = "open /dev/mem failed\n";
    const std::array<iovec, 3> vec{{{&prio, 1}, {tag, sizeof tag}, {msg, sizeof msg}}};
    const long before = allocations.load();
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(writev(fd, vec.data(), static_cast<int>(vec.size())));
    }
    count_allocations(state, before);
    state.counters["entry_bytes"] = static_cast<double>(1 + sizeof tag + sizeof msg);
    close(fd);
}
BENCHMARK(BM_BareWritev);

} // namespace

// Every heap allocation of the process is counted.
extern "C" {
void *malloc(size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void *calloc(size_t count, size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void *realloc(void *ptr, size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(ptr, size);
}
}

int main(int argc, char **argv) {
    if (!fake::kernel_log_is_null_device()) {
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
