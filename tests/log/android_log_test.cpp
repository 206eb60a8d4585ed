// SPDX-License-Identifier: MIT
// The kernel log writer with the device present.
#include <sys/resource.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "android_log.h"
#include "fake_platform.h"
#include "log_test_support.h"

namespace {

using fake::text_entry;

class AndroidLog : public fake::Test {};

TEST_F(AndroidLog, TextEntryIsPriorityByteTagAndMessage) {
    struct Case {
        int prio;
        const char *tag;
        std::string expected;
    };
    const std::vector<Case> cases{
        {ANDROID_LOG_ERROR, "base", std::string("\x06" "base\0abc\0", 10)},
        {ANDROID_LOG_ERROR, nullptr, std::string("\x06\0abc\0", 6)},
        {0x104, "base", std::string("\x04" "base\0abc\0", 10)}, // low-order byte only
    };
    for (const Case &c : cases) {
        fake::clear_log();
        EXPECT_EQ(__android_log_write(c.prio, c.tag, "abc"), static_cast<int>(c.expected.size()));
        EXPECT_EQ(fake::log_bytes(), c.expected) << (c.tag != nullptr ? c.tag : "null tag");
    }
}

// An id outside 0 to 3 is refused unless the tag sends the entry to radio.
TEST_F(AndroidLog, RadioTagsOverrideTheLogId) {
    struct Case {
        const char *tag;
        bool radio;
    };
    const std::vector<Case> cases{
        {"RIL", true},    {"RILD", true},   {"RIL_x", true},  {"AT", true},     {"GSM", true},
        {"STK", true},    {"CDMA", true},   {"PHONE", true},  {"SMS", true},    {"HTC_RIL", true},
        {"RI", false},    {"ril", false},   {"ATX", false},   {"GSMX", false},  {"SMSX", false},
        {"STKX", false},  {"PHONES", false}, {"HTC", false},  {"base", false},  {"", false},
    };
    for (const Case &c : cases) {
        fake::clear_log();
        const int result = __android_log_buf_write(7, ANDROID_LOG_INFO, c.tag, "m");
        if (c.radio) {
            EXPECT_EQ(result, static_cast<int>(std::strlen(c.tag)) + 4) << c.tag;
            EXPECT_EQ(fake::log_bytes(), text_entry(ANDROID_LOG_INFO, c.tag, "m")) << c.tag;
        } else {
            EXPECT_EQ(result, -EBADF) << c.tag;
            EXPECT_EQ(fake::log_bytes(), "") << c.tag;
        }
    }
}

TEST_F(AndroidLog, BufWriteHonoursValidIdsOnly) {
    struct Case {
        int id;
        const char *tag;
        int expected;
    };
    const std::vector<Case> cases{
        {LOG_ID_SYSTEM, "base", 10}, {LOG_ID_MAIN, "base", 10}, {7, "base", -EBADF},
        {-1, "base", -EBADF},        {7, "GSM", 9},
    };
    for (const Case &c : cases) {
        fake::clear_log();
        EXPECT_EQ(__android_log_buf_write(c.id, ANDROID_LOG_ERROR, c.tag, "abc"), c.expected) << c.id;
        EXPECT_EQ(fake::log_bytes(), c.expected < 0 ? "" : text_entry(ANDROID_LOG_ERROR, c.tag, "abc"));
    }
    fake::clear_log();
    EXPECT_EQ(__android_log_buf_print(7, ANDROID_LOG_ERROR, "base", "%d", 1), -EBADF);
    EXPECT_EQ(__android_log_buf_print(LOG_ID_SYSTEM, ANDROID_LOG_ERROR, "base", "%d", 1), 8);
    EXPECT_EQ(fake::log_bytes(), text_entry(ANDROID_LOG_ERROR, "base", "1"));
}

int vprint(int prio, const char *tag, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
// Only a C variadic function can make the list the writer takes.
int vprint(int prio, const char *tag, const char *fmt, ...) { // NOLINT(cert-dcl50-cpp)
    va_list ap;
    va_start(ap, fmt);
    const int result = __android_log_vprint(prio, tag, fmt, ap);
    va_end(ap);
    return result;
}

TEST_F(AndroidLog, FormattedMessagesAreCutTo1023Characters) {
    const std::string long_message(1500, 'x');
    const std::string kept(1023, 'x');
    EXPECT_EQ(__android_log_print(ANDROID_LOG_WARN, "t", "%s", long_message.c_str()), 1 + 2 + 1024);
    EXPECT_EQ(vprint(ANDROID_LOG_WARN, "t", "%s!", long_message.c_str()), 1 + 2 + 1024);
    EXPECT_EQ(vprint(ANDROID_LOG_WARN, "t", "%d-%s", 42, "ok"), 1 + 2 + 6);
    const std::vector<fake::LogEntry> expected{
        {ANDROID_LOG_WARN, "t", kept}, {ANDROID_LOG_WARN, "t", kept}, {ANDROID_LOG_WARN, "t", "42-ok"}};
    EXPECT_EQ(fake::log_entries(), expected);
}

TEST_F(AndroidLog, EventEntriesCarryTheTagInHostOrder) {
    const unsigned char payload[] = {0xAA, 0xBB, 0xCC};
    const std::int32_t event_tag = 7;
    std::string tag_bytes(sizeof event_tag, '\0');
    std::memcpy(tag_bytes.data(), &event_tag, sizeof event_tag);
    const std::string payload_bytes(reinterpret_cast<const char *>(payload), sizeof payload);

    EXPECT_EQ(__android_log_bwrite(event_tag, payload, sizeof payload), 7);
    EXPECT_EQ(fake::log_bytes(), tag_bytes + payload_bytes);
    fake::clear_log();
    EXPECT_EQ(__android_log_btwrite(event_tag, 2, payload, sizeof payload), 8);
    EXPECT_EQ(fake::log_bytes(), tag_bytes + '\x02' + payload_bytes);
}

// What the test's logger saw of the last message handed to it.
struct Seen {
    int calls = 0;
    fake::LogEntry entry;
    int32_t buffer_id = -1;
    std::size_t struct_size = 0;
    const char *file = "unset";
};
Seen seen;

void keeping_logger(const struct __android_log_message *message) {
    ++seen.calls;
    seen.entry = {message->priority, message->tag, message->message};
    seen.buffer_id = message->buffer_id;
    seen.struct_size = message->struct_size;
    seen.file = message->file;
}

void chaining_logger(const struct __android_log_message *message) {
    keeping_logger(message);
    __android_log_kernel_logger(message);
}

TEST_F(AndroidLog, TextEntriesGoThroughTheInstalledLogger) {
    const unsigned char payload[] = {0xAA};
    struct Case {
        const char *what;
        __android_logger_function logger;
        int calls;             // messages the test's logger saw
        std::string device;    // what the device received
    };
    const std::vector<Case> cases{
        {"custom logger", keeping_logger, 2, ""},
        {"chained to the kernel logger", chaining_logger, 2,
         text_entry(ANDROID_LOG_ERROR, "base", "abc") + text_entry(ANDROID_LOG_WARN, "GSM", "7")},
        {"logd logger is the kernel logger", __android_log_logd_logger, 0,
         text_entry(ANDROID_LOG_ERROR, "base", "abc") + text_entry(ANDROID_LOG_WARN, "GSM", "7")},
        {"null restores the kernel logger", nullptr, 0,
         text_entry(ANDROID_LOG_ERROR, "base", "abc") + text_entry(ANDROID_LOG_WARN, "GSM", "7")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::clear_log();
        seen = Seen{};
        __android_log_set_logger(c.logger);
        EXPECT_EQ(__android_log_write(ANDROID_LOG_ERROR, "base", "abc"), 10);
        EXPECT_EQ(__android_log_buf_print(LOG_ID_SYSTEM, ANDROID_LOG_WARN, "GSM", "%d", 7), 7);
        EXPECT_EQ(seen.calls, c.calls);
        if (c.calls > 0) { // the last message, after the radio rule
            EXPECT_EQ(seen.entry, (fake::LogEntry{ANDROID_LOG_WARN, "GSM", "7"}));
            EXPECT_EQ(seen.buffer_id, LOG_ID_RADIO);
            EXPECT_EQ(seen.struct_size, sizeof(struct __android_log_message));
            EXPECT_EQ(seen.file, nullptr);
        }
        // Event entries never pass through a logger.
        EXPECT_EQ(__android_log_bwrite(7, payload, sizeof payload), 5);
        EXPECT_EQ(fake::log_bytes(), c.device + std::string("\x07\0\0\0\xAA", 5));
    }
    EXPECT_EQ(seen.calls, 0);
}

TEST_F(AndroidLog, StderrLoggerPrintsOneLinePerMessage) {
    struct Case {
        int prio;
        const char *tag;
        const char *msg;
        std::string line;
    };
    const std::vector<Case> cases{
        {ANDROID_LOG_ERROR, "base", "open /dev/mem failed\n", "E base: open /dev/mem failed\n"},
        {ANDROID_LOG_INFO, "app", "no newline", "I app: no newline\n"},
        {ANDROID_LOG_FATAL, nullptr, "", "F : \n"},
        {42, "t", "m", "? t: m\n"},
    };
    __android_log_set_logger(__android_log_stderr_logger);
    for (const Case &c : cases) {
        testing::internal::CaptureStderr();
        (void)__android_log_write(c.prio, c.tag, c.msg);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
    }
    __android_log_set_logger(nullptr);
    EXPECT_EQ(fake::log_bytes(), "");
}

TEST_F(AndroidLog, InterruptedWriteIsRepeated) {
    ASSERT_GT(__android_log_write(ANDROID_LOG_INFO, "t", "open"), 0); // the device is open
    fake::clear_log();
    fake::clear_events();
    fake::fail(fake::Call::writev, fake::kLogMain, EINTR);
    fake::fail(fake::Call::writev, fake::kLogMain, EINTR);
    EXPECT_EQ(__android_log_write(ANDROID_LOG_ERROR, "base", "abc"), 10);
    EXPECT_EQ(fake::log_bytes(), text_entry(ANDROID_LOG_ERROR, "base", "abc"));
    const std::vector<std::string> three_tries(3, "writev /dev/log_main 3");
    EXPECT_EQ(fake::events(), three_tries);
}

TEST_F(AndroidLog, FailedWriteReturnsMinusOneWithItsErrno) {
    fake::fail(fake::Call::writev, fake::kLogMain, EIO);
    errno = 0;
    EXPECT_EQ(__android_log_write(ANDROID_LOG_ERROR, "base", "abc"), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(fake::log_bytes(), "");
}

TEST_F(AndroidLog, AvailabilityIsTestedOnce) {
    EXPECT_EQ(__android_log_dev_available(), 1);
    fake::remove_device(fake::kLogMain);
    EXPECT_EQ(__android_log_dev_available(), 1);
}

// The child inherits the open device and writes at the shared offset; the
// parent reads the fatal entry back after the child died.
TEST_F(AndroidLog, AssertWritesAFatalEntryAndTraps) {
    GTEST_FLAG_SET(death_test_style, "fast");
    ASSERT_GT(__android_log_write(ANDROID_LOG_INFO, "t", "open"), 0);
    struct Case {
        const char *cond;
        const char *fmt;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"x > 0", nullptr, "Assertion failed: x > 0"},
        {nullptr, nullptr, "Unspecified assertion failed"},
        {"x > 0", "bad value %d", "bad value 5"},
    };
    const auto killed_by_signal = [](int status) { return WIFSIGNALED(status); };
    for (const Case &c : cases) {
        fake::clear_log();
        EXPECT_EXIT(
            {
                const struct rlimit no_core {};
                (void)setrlimit(RLIMIT_CORE, &no_core);
                if (c.fmt != nullptr) {
                    __android_log_assert(c.cond, "app", c.fmt, 5);
                }
                __android_log_assert(c.cond, "app", nullptr);
            },
            killed_by_signal, "");
        const std::vector<fake::LogEntry> expected{{ANDROID_LOG_FATAL, "app", c.expected}};
        EXPECT_EQ(fake::log_entries(), expected);
    }
}

#if defined(__SANITIZE_ADDRESS__)
#define SYSUTILS_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SYSUTILS_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef SYSUTILS_ADDRESS_SANITIZER
// The fake platform hands the writes on to the sanitizer's own interceptors,
// so a segment that reaches past its block is still caught.
TEST_F(AndroidLog, SanitizerStillChecksTheSegmentsWritten) {
    EXPECT_DEATH(
        {
            std::vector<unsigned char> payload(3);
            (void)__android_log_bwrite(7, payload.data(), payload.size() + 1);
        },
        "heap-buffer-overflow");
}
#endif

} // namespace
