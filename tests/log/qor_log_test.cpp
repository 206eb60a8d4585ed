// SPDX-License-Identifier: MIT
// The module log facility: threshold, prefixes, the append rule, the
// destinations, and records logged from several threads at once.
#include <pthread.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "android_log.h"
#include "fake_platform.h"
#include "log_test_support.h"
#include "qor_log.h"
#include "su_base.h"

namespace {

using fake::stdout_of;
using fake::text_entry;

constexpr const char *kSource = "sysutils/base/base";
constexpr const char *kMessage = "open /dev/mem failed\n";

class QorLog : public fake::FacilityTest {};

// The base module's failure record, with the given options and destination.
void base_record(int option, int dest, int prio = ANDROID_LOG_ERROR) {
    qor_log_fun(prio, option, dest, "base", kSource, 100, "regrw", "%s", kMessage);
}

TEST_F(QorLog, ThresholdDropsLowerPriorities) {
    struct Case {
        int level;
        int prio;
        bool written;
    };
    const std::vector<Case> cases{
        {3, 3, true}, {3, 2, false}, {3, -1, false}, {0, 0, true}, {0, -1, false}, {7, 6, false}, {7, 7, true},
    };
    for (const Case &c : cases) {
        fake::clear_log();
        qor_set_log_level(c.level);
        EXPECT_EQ(qor_get_log_level(), c.level);
        const std::string printed = stdout_of([&] { base_record(0, QOR_LOG_TO_LOGCAT, c.prio); });
        EXPECT_EQ(printed, "");
        const std::vector<std::string> expected =
            c.written ? std::vector<std::string>{kMessage} : std::vector<std::string>{};
        EXPECT_EQ(fake::log_messages(), expected) << "level " << c.level << " prio " << c.prio;
    }
}

TEST_F(QorLog, OptionsChooseThePrefixes) {
    struct Case {
        int option;
        std::string printed;
    };
    const std::vector<Case> cases{
        {0x00, kMessage},
        {0x03, kMessage}, // time and pid are for hand-built records only
        {0x08, std::string("[sysutils/base/base]:") + kMessage},
        {0x10, std::string("[regrw]") + kMessage},
        {0x20, std::string("[100]") + kMessage},
        {0x38, std::string("[sysutils/base/base]:[100][regrw]") + kMessage},
        {0x3B, std::string("[sysutils/base/base]:[100][regrw]") + kMessage},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(stdout_of([&] { base_record(c.option, QOR_LOG_TO_STDOUT); }), c.printed) << c.option;
    }
}

TEST_F(QorLog, EveryOtherDestinationIsTheKernelLog) {
    for (const int dest : {int{QOR_LOG_TO_LOGCAT}, 5, -1}) {
        fake::clear_log();
        EXPECT_EQ(stdout_of([&] { base_record(0, dest); }), "") << dest;
        EXPECT_EQ(fake::log_bytes(), text_entry(ANDROID_LOG_ERROR, "base", kMessage)) << dest;
        EXPECT_EQ(fake::log_bytes().size(), 28U);
    }
}

TEST_F(QorLog, PieceThatDoesNotFitIsCutAndNotCounted) {
    struct Case {
        std::size_t length;
        std::string diagnostic;
    };
    const std::vector<Case> cases{
        {999, ""},
        {1000, "ERROR: qor buf too small!\n"},
        {1500, "ERROR: qor buf too small!\n"},
    };
    for (const Case &c : cases) {
        const std::string message(c.length, 'm');
        const std::string printed = stdout_of([&] {
            qor_log_fun(6, 0, QOR_LOG_TO_STDOUT, "t", kSource, 1, "f", "%s", message.c_str());
        });
        EXPECT_EQ(printed, c.diagnostic + std::string(999, 'm')) << c.length;
    }
    // The cut piece left the count where it was: the next piece overwrites it.
    const std::string printed = stdout_of([] {
        qor_log_format_info("%s", "ab");
        qor_log_format_info("%s", std::string(1500, 'x').c_str());
        qor_log_format_info("%s", "cd\n");
        qor_log_print_buf();
        qor_log_format_info("%s", "next\n");
        qor_log_print_buf();
    });
    EXPECT_EQ(printed, "ERROR: qor buf too small!\nabcd\nnext\n");
}

TEST_F(QorLog, OversizedFilePrefixIsOverwrittenByTheMessage) {
    const std::string source(2000, 's');
    const std::string printed = stdout_of([&] {
        qor_log_fun(6, QOR_LOG_OPT_FILE, QOR_LOG_TO_STDOUT, "t", source.c_str(), 1, "f", "message\n");
    });
    EXPECT_EQ(printed, "ERROR: qor buf too small!\nmessage\n");
}

TEST_F(QorLog, EmptyMessageIsReportedAndStillFlushed) {
    const std::string printed = stdout_of([] {
        qor_log_fun(6, 0, QOR_LOG_TO_LOGCAT, "base", kSource, 1, "f", "%s", "");
    });
    EXPECT_EQ(printed, "ERROR: vsnprintf!\n");
    EXPECT_EQ(fake::log_bytes(), text_entry(ANDROID_LOG_ERROR, "base", ""));
}

TEST_F(QorLog, FlushWithoutNewPiecesWritesNothingTwice) {
    const std::string printed = stdout_of([] {
        base_record(0, QOR_LOG_TO_STDOUT);
        qor_log_print_buf();
    });
    EXPECT_EQ(printed, kMessage);
}

TEST_F(QorLog, FormatOptionAppendsTimeThenPid) {
    const std::string pid = R"(\[)" + std::to_string(getpid()) + R"(\])";
    const std::vector<std::pair<int, std::string>> cases{
        {0x03, R"(\[[0-9]+\.[0-9]{6}\])" + pid},
        {0x02, R"(\[[0-9]+\.[0-9]{6}\])"},
        {0x01, pid},
        {0x00, ""},
    };
    for (const auto &[option, pattern] : cases) {
        const std::string printed = stdout_of([option = option] {
            qor_log_format_option(option);
            qor_log_print_buf();
        });
        EXPECT_TRUE(std::regex_match(printed, std::regex(pattern))) << option << ": " << printed;
    }
}

TEST_F(QorLog, LogFileNameOfAHundredCharactersOrNullIsRefused) {
    const std::string accepted = fake::scratch_path(std::string(99, 'a')).substr(0, 99);
    EXPECT_EQ(stdout_of([&] { qor_set_log_file(accepted.c_str()); }), "");
    EXPECT_EQ(qor_get_log_file(), accepted);
    const std::string refused(100, 'b');
    EXPECT_EQ(stdout_of([&] { qor_set_log_file(refused.c_str()); }), "ERROR: file name too long!\n");
    EXPECT_EQ(qor_get_log_file(), accepted);
    EXPECT_EQ(stdout_of([] { qor_set_log_file(nullptr); }), "");
    EXPECT_EQ(qor_get_log_file(), accepted);
}

// Nothing in this executable opens the log file, so it is not open.
TEST_F(QorLog, RecordWhoseFileCannotBeOpenedStaysForTheNextFlush) {
    const std::string missing = fake::scratch_path("no/such/dir/tqor.log");
    qor_set_log_file(missing.c_str());
    const std::string printed = stdout_of([] {
        qor_log_fun(6, 0, QOR_LOG_TO_FILE, "t", kSource, 1, "f", "first\n");
        qor_log_fun(6, 0, QOR_LOG_TO_STDOUT, "t", kSource, 2, "f", "second\n");
    });
    EXPECT_EQ(printed, "ERROR: _buf_log log file open error!\nfirst\nsecond\n");
}

// Runs body in a thread of its own; whether it finished within the bound.
// A thread still blocked then is left to the process's end.
bool finishes(void (*body)(), int seconds = 10) {
    static std::atomic<bool> done;
    static void (*run)();
    done = false;
    run = body;
    pthread_t thread{};
    if (pthread_create(&thread, nullptr, [](void *) -> void * {
            run();
            done = true;
            return nullptr;
        }, nullptr) != 0) {
        return false;
    }
    for (int waited = 0; waited < seconds * 100 && !done; ++waited) {
        usleep(10000);
    }
    if (!done) {
        (void)pthread_detach(thread);
        return false;
    }
    return pthread_join(thread, nullptr) == 0;
}

void wait_for_held_write(std::string_view device) {
    while (fake::held_writes(device) == 0) {
        usleep(1000);
    }
}

// A thread stuck writing to one destination holds up no other thread's
// record, nor a base-module call; and when it is cancelled there, the next
// record still goes through.
TEST_F(QorLog, StalledOrCancelledWriterHoldsUpNoOtherRecord) {
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "stalled");
        fake::clear_log();
        fake::hold_writes(fake::kLogMain, true);
        pthread_t stuck{};
        ASSERT_EQ(pthread_create(&stuck, nullptr, [](void *) -> void * {
                      base_record(0, QOR_LOG_TO_LOGCAT);
                      return nullptr;
                  }, nullptr), 0);
        wait_for_held_write(fake::kLogMain);
        if (cancel) {
            ASSERT_EQ(pthread_cancel(stuck), 0);
            void *result = nullptr;
            ASSERT_EQ(pthread_join(stuck, &result), 0);
            EXPECT_EQ(result, PTHREAD_CANCELED);
        }
        std::string printed;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(finishes([] {
            qor_log_fun(6, 0, QOR_LOG_TO_STDOUT, "t", kSource, 1, "f", "other destination\n");
            char version[16];
            (void)SU_Base_GetVersion(version);
        }));
        printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(printed, "other destination\n");
        fake::hold_writes(fake::kLogMain, false);
        if (!cancel) {
            ASSERT_EQ(pthread_join(stuck, nullptr), 0);
            EXPECT_EQ(fake::log_messages(), std::vector<std::string>{kMessage});
        }
    }
}

// A record built by hand under the facility's lock arrives whole, while
// other threads' records keep arriving whole too.
TEST_F(QorLog, HandBuiltRecordUnderTheLockStaysWhole) {
    constexpr int kRecords = 300;
    fake::clear_log();
    static std::atomic<bool> stop;
    stop = false;
    pthread_t other{};
    ASSERT_EQ(pthread_create(&other, nullptr, [](void *) -> void * {
                  for (int i = 0; !stop; ++i) {
                      qor_log_fun(6, 0x38, QOR_LOG_TO_LOGCAT, "other", "o.cpp", 7, "run", "record %d\n", i);
                  }
                  return nullptr;
              }, nullptr), 0);
    for (int i = 0; i < kRecords; ++i) {
        qor_log_lock();
        qor_log_lock(); // nests
        qor_log_format_info("hand ");
        qor_log_format_info("%d", i);
        qor_log_unlock();
        qor_log_format_info(" built\n");
        qor_log_to_logcat(6, "hand");
        qor_log_unlock();
    }
    stop = true;
    ASSERT_EQ(pthread_join(other, nullptr), 0);
    int hand = 0;
    for (const fake::LogEntry &entry : fake::log_entries()) {
        if (entry.tag == "hand") {
            EXPECT_EQ(entry.msg, "hand " + std::to_string(hand) + " built\n");
            ++hand;
        } else {
            EXPECT_TRUE(std::regex_match(entry.msg, std::regex(R"(\[o\.cpp\]:\[7\]\[run\]record [0-9]+\n)")))
                << entry.msg;
        }
    }
    EXPECT_EQ(hand, kRecords);
}

// Records built by several prefixes each: without one lock held across a
// record, pieces of different threads would interleave in the buffer.
TEST_F(QorLog, ConcurrentRecordsStayWhole) {
    constexpr int kThreads = 4;
    constexpr int kRecords = 200;
    fake::set_write_delay_ms(fake::kLogMain, 1);
    std::array<pthread_t, kThreads> threads{};
    std::array<int, kThreads> ids{};
    for (int t = 0; t < kThreads; ++t) {
        ids[static_cast<std::size_t>(t)] = t;
        const auto body = [](void *arg) -> void * {
            const int id = *static_cast<int *>(arg);
            for (int i = 0; i < kRecords; ++i) {
                qor_log_fun(6, 0x38, QOR_LOG_TO_LOGCAT, "worker", "w.cpp", id, "run", "record %d\n", i);
            }
            return nullptr;
        };
        ASSERT_EQ(pthread_create(&threads[static_cast<std::size_t>(t)], nullptr, body,
                                 &ids[static_cast<std::size_t>(t)]),
                  0);
    }
    for (pthread_t thread : threads) {
        ASSERT_EQ(pthread_join(thread, nullptr), 0);
    }
    const std::regex whole(R"(\[w\.cpp\]:\[([0-9]+)\]\[run\]record ([0-9]+)\n)");
    std::set<std::pair<int, int>> seen;
    for (const fake::LogEntry &entry : fake::log_entries()) {
        std::smatch match;
        ASSERT_EQ(entry.prio, 6);
        ASSERT_EQ(entry.tag, "worker");
        ASSERT_TRUE(std::regex_match(entry.msg, match, whole)) << entry.msg;
        EXPECT_TRUE(seen.emplace(std::stoi(match[1]), std::stoi(match[2])).second) << entry.msg;
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kRecords));
}

} // namespace
