// SPDX-License-Identifier: MIT
// First uses of the logging state in a fresh process. The two tests touch
// different state (the writer, the facility's buffer), so their order does
// not matter.
#include <fcntl.h>
#include <pthread.h>

#include <cerrno>
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "android_log.h"
#include "fake_platform.h"
#include "log_test_support.h"
#include "qor_log.h"

namespace {

class FirstUse : public fake::FacilityTest {};

// A first open that fails for a passing reason leaves the next write to open
// again; then several threads make the next writes at once. Each may open
// the device; one descriptor stays.
TEST_F(FirstUse, ConcurrentFirstWritesKeepOneDescriptor) {
    fake::fail(fake::Call::open, fake::kLogMain, EMFILE);
    EXPECT_EQ(__android_log_write(ANDROID_LOG_INFO, "t", "lost"), -1);
    EXPECT_EQ(errno, EMFILE);
    fake::clear_events();
    constexpr std::size_t kThreads = 8;
    constexpr int kWrites = 20;
    static pthread_barrier_t start;
    ASSERT_EQ(pthread_barrier_init(&start, nullptr, kThreads), 0);
    std::array<pthread_t, kThreads> threads{};
    for (pthread_t &thread : threads) {
        const auto body = [](void *) -> void * {
            (void)pthread_barrier_wait(&start);
            for (int i = 0; i < kWrites; ++i) {
                EXPECT_EQ(__android_log_write(ANDROID_LOG_INFO, "t", "entry"), 9);
            }
            return nullptr;
        };
        ASSERT_EQ(pthread_create(&thread, nullptr, body, nullptr), 0);
    }
    for (pthread_t thread : threads) {
        ASSERT_EQ(pthread_join(thread, nullptr), 0);
    }
    (void)pthread_barrier_destroy(&start);
    EXPECT_EQ(fake::open_count(fake::kLogMain), 1);
    EXPECT_EQ(fake::log_messages(), std::vector<std::string>(kThreads * std::size_t{kWrites}, "entry"));
    // Not inherited by programs the process starts.
    EXPECT_EQ(fake::open_flags(fake::kLogMain), O_WRONLY | O_CLOEXEC);
}

// The only record is dropped by the threshold: the buffer is never created,
// and flushes without a buffer have nothing to write.
TEST_F(FirstUse, DroppedRecordLeavesFlushesNothingToWrite) {
    qor_set_log_file(fake::scratch_path("never.log").c_str());
    const std::string printed = fake::stdout_of([] {
        qor_log_fun(2, 0, QOR_LOG_TO_STDOUT, "t", "sysutils/base/base", 1, "f", "dropped\n");
        qor_log_print_buf();
        qor_log_buf();
        qor_log_to_logcat(6, "t");
    });
    EXPECT_EQ(printed, "");
    EXPECT_EQ(fake::log_bytes(), "");
}

} // namespace
