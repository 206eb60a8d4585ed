// SPDX-License-Identifier: MIT
// The kernel log writer in a process whose first write finds no device: the
// decision is process-wide, so every test here starts without the device.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "android_log.h"
#include "fake_platform.h"
#include "log_test_support.h"
#include "qor_log.h"
#include "su_base.h"

namespace {

class DeviceAbsent : public fake::Test {
protected:
    void SetUp() override {
        fake::Test::SetUp();
        fake::remove_device(fake::kLogMain);
    }
};

const unsigned char kPayload[] = {1, 2, 3};

const std::vector<std::function<int()>> &every_write() {
    static const std::vector<std::function<int()>> writes{
        [] { return __android_log_write(ANDROID_LOG_ERROR, "base", "abc"); },
        [] { return __android_log_buf_write(LOG_ID_SYSTEM, ANDROID_LOG_ERROR, "base", "abc"); },
        [] { return __android_log_buf_write(7, ANDROID_LOG_ERROR, "base", "abc"); },
        [] { return __android_log_print(ANDROID_LOG_ERROR, "GSM", "%d", 1); },
        [] { return __android_log_buf_print(7, ANDROID_LOG_ERROR, "base", "%d", 1); },
        [] { return __android_log_bwrite(7, kPayload, sizeof kPayload); },
        [] { return __android_log_btwrite(7, 2, kPayload, sizeof kPayload); },
    };
    return writes;
}

TEST_F(DeviceAbsent, EveryWriteIsDiscardedSilently) {
    testing::internal::CaptureStderr();
    const std::string printed = fake::stdout_of([] {
        for (const auto &write : every_write()) {
            EXPECT_EQ(write(), -1);
        }
        qor_log_fun(6, 0, QOR_LOG_TO_LOGCAT, "base", "sysutils/base/base", 1, "f", "lost\n");
    });
    EXPECT_EQ(printed, "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A failed call's errno is the failed system call's, whatever the logging
// of its records did meanwhile (here the failed open of the absent device).
TEST_F(DeviceAbsent, FailedBaseModuleCallsKeepTheirErrno) {
    struct Case {
        const char *what;
        void (*arrange)();
        int (*call)();
        int err;
    };
    const std::vector<Case> cases{
        {"clock absent", [] {}, [] { SUTime t{}; return SU_Base_GetTime(&t); }, ENOENT},
        {"clock open refused", [] { fake::use_fake_rtc(); fake::fail(fake::Call::open, fake::kRtc, EACCES); },
         [] { SUTime t{}; return SU_Base_GetTime(&t); }, EACCES},
        {"clock read refused", [] { fake::use_fake_rtc(); fake::fail(fake::Call::ioctl, fake::kRtc, EIO); },
         [] { SUTime t{}; return SU_Base_SetAlarm(&t); }, EIO},
        {"alarm check", [] { fake::use_fake_rtc(); fake::fail(fake::Call::ioctl, fake::kRtc, EBUSY); },
         [] { return SU_Base_EnableAlarm(); }, EBUSY},
        {"registers", [] {
             const std::string mem = fake::scratch_file("mem", ""); // sparse, past the registers
             ASSERT_EQ(truncate(mem.c_str(), 0x13541000), 0);
             fake::redirect(fake::kDevMem, mem);
             fake::fail(fake::Call::mmap, fake::kDevMem, EPERM); },
         [] { char id[64] = ""; return SU_Base_GetDevID(id); }, EPERM},
        {"power state", [] { fake::fail(fake::Call::open, fake::kPowerState, EROFS); },
         [] { return SU_Base_Suspend(); }, EROFS},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::reset();
        fake::remove_device(fake::kLogMain);
        c.arrange();
        errno = 0;
        EXPECT_EQ(c.call(), -1);
        EXPECT_EQ(errno, c.err) << strerror(errno);
    }
}

TEST_F(DeviceAbsent, DeviceCreatedLaterIsNeverOpened) {
    EXPECT_EQ(__android_log_write(ANDROID_LOG_ERROR, "base", "abc"), -1);
    EXPECT_EQ(__android_log_dev_available(), 0);
    fake::redirect(fake::kLogMain, fake::scratch_file("created_later", ""));
    fake::clear_log();
    for (const auto &write : every_write()) {
        EXPECT_EQ(write(), -1);
    }
    EXPECT_EQ(__android_log_dev_available(), 0) << "the first answer is kept";
    const std::vector<std::string> journal = fake::events();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "open /dev/log_main"), 0);
    EXPECT_EQ(fake::log_bytes(), "");
}

} // namespace
